# Helpers of the same name as another file's: compiled alone.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/TextureTest.cpp PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
corvane_test(rwsdk_pixelformat_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/PixelFormatTest.cpp DEPS rwsdk)
corvane_test(rwsdk_textures_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/RasterFormatTest.cpp ${CMAKE_CURRENT_LIST_DIR}/TextureTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/CharsetTest.cpp
  DEPS rwsdk)
