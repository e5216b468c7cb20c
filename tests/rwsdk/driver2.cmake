corvane_test(rwsdk_driver_state_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DriverTextureStateTest.cpp ${CMAKE_CURRENT_LIST_DIR}/DriverCameraWindowTest.cpp
  DEPS rwsdk)

corvane_test(rwsdk_show_raster_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/ShowRasterTest.cpp DEPS rwsdk)
