corvane_test(rwsdk_collision_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/collision/CollisionTest.cpp
  DEPS rwsdk)
