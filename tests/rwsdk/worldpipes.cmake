# Worlds, their attachments and the Direct3D 9 world pipelines; tangents are checked against Eigen.
find_package(Eigen3 REQUIRED NO_MODULE)
corvane_test(rwsdk_worldpipe_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/world/VertexPackTest.cpp ${CMAKE_CURRENT_LIST_DIR}/world/InstanceTest.cpp ${CMAKE_CURRENT_LIST_DIR}/world/WorldObjectsTest.cpp
  DEPS rwsdk Eigen3::Eigen)
corvane_test(rwsdk_worlddraw_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/world/WorldDrawTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/world/VertexShadersTest.cpp DEPS rwsdk)
corvane_test(rwsdk_matfxdraw_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/world/MatFXDrawTest.cpp DEPS rwsdk)
