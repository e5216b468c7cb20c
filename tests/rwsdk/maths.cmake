# Helpers of the same name as another file's: compiled alone.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/CameraTest.cpp PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
# Vectors, matrices, processor features, frames and cameras, checked against GLM and Eigen.
find_package(Eigen3 REQUIRED NO_MODULE)
corvane_test(rwsdk_maths_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/MathsTest.cpp ${CMAKE_CURRENT_LIST_DIR}/FrameTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/CameraTest.cpp
  DEPS rwsdk Eigen3::Eigen)
