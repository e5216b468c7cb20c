corvane_test(rwsdk_pixelformat_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/PixelFormatTest.cpp DEPS rwsdk)
corvane_test(rwsdk_textures_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/RasterFormatTest.cpp ${CMAKE_CURRENT_LIST_DIR}/TextureTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/CharsetTest.cpp
  DEPS rwsdk)
