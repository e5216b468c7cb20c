corvane_test(rwsdk_anim_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/anim/SmallPluginsTest.cpp ${CMAKE_CURRENT_LIST_DIR}/anim/AnimToolkitTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/anim/HAnimTest.cpp
  DEPS rwsdk)
