corvane_test(rwsdk_anim_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/anim/SmallPluginsTest.cpp
  DEPS rwsdk)
