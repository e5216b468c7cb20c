corvane_test(rwsdk_driver_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DriverStateTest.cpp ${CMAKE_CURRENT_LIST_DIR}/DriverBufferTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/DriverDeviceTest.cpp ${CMAKE_CURRENT_LIST_DIR}/DriverDrawTest.cpp
  DEPS rwsdk)
