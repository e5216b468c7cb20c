corvane_test(rwsdk_world_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/world/ClumpStreamTest.cpp ${CMAKE_CURRENT_LIST_DIR}/world/MeshTest.cpp ${CMAKE_CURRENT_LIST_DIR}/world/ClumpTest.cpp ${CMAKE_CURRENT_LIST_DIR}/world/GeometryTest.cpp ${CMAKE_CURRENT_LIST_DIR}/world/MaterialLightTest.cpp ${CMAKE_CURRENT_LIST_DIR}/world/UserDataTest.cpp ${CMAKE_CURRENT_LIST_DIR}/world/MatFXTest.cpp
  DEPS rwsdk)
