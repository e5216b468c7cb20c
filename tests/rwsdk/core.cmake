# Helpers of the same name as another file's: compiled alone.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/PluginTest.cpp PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
corvane_test(rwsdk_core_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/EngineTest.cpp ${CMAKE_CURRENT_LIST_DIR}/FreeListTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/PluginTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ErrorTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/StreamTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ChunkTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/StringTest.cpp ${CMAKE_CURRENT_LIST_DIR}/Im3DTest.cpp
  DEPS rwsdk)
