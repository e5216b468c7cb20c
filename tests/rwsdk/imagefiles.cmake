# Image files: BMP, PNG, TIFF and DDS readers against files that ImageMagick writes at build time.
find_program(IMAGEFILES_CONVERT NAMES convert-im6.q16 convert-im6 convert PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
find_program(IMAGEFILES_TIFF2RGBA NAMES tiff2rgba REQUIRED)
# Debian's libsquish.pc names no prefix, so the library is found directly.
find_library(IMAGEFILES_SQUISH NAMES squish REQUIRED)
set(imagefiles_dir ${CMAKE_CURRENT_BINARY_DIR}/imagefiles)
add_custom_command(
  OUTPUT ${imagefiles_dir}/stamp
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/imagefiles/make_fixtures.sh ${IMAGEFILES_CONVERT} ${imagefiles_dir}
  COMMAND ${CMAKE_COMMAND} -E touch ${imagefiles_dir}/stamp
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/imagefiles/make_fixtures.sh
  COMMENT "Writing the image-file test set with ImageMagick")
add_custom_target(rwsdk_imagefiles_fixtures DEPENDS ${imagefiles_dir}/stamp)
corvane_test(rwsdk_imagefiles_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/BmpFileTest.cpp ${CMAKE_CURRENT_LIST_DIR}/PngFileTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/TiffFileTest.cpp ${CMAKE_CURRENT_LIST_DIR}/DdsFileTest.cpp
  DEPS rwsdk ${IMAGEFILES_SQUISH})
add_dependencies(rwsdk_imagefiles_tests rwsdk_imagefiles_fixtures)
target_compile_definitions(rwsdk_imagefiles_tests PRIVATE IMAGEFILES_FIXTURES="${imagefiles_dir}"
  IMAGEFILES_CONVERT="${IMAGEFILES_CONVERT}" IMAGEFILES_TIFF2RGBA="${IMAGEFILES_TIFF2RGBA}")
