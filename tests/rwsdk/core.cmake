corvane_test(rwsdk_core_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/EngineTest.cpp ${CMAKE_CURRENT_LIST_DIR}/FreeListTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/PluginTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ErrorTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/StreamTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ChunkTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/StringTest.cpp ${CMAKE_CURRENT_LIST_DIR}/Im3DTest.cpp
  DEPS rwsdk)
