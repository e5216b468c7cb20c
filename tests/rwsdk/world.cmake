corvane_test(rwsdk_world_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/world/ClumpStreamTest.cpp
  DEPS rwsdk)
