# Image-file decoding: megapixels per second of the BMP, PNG, TIFF and DDS readers on 1024 x 1024 files
# against ImageMagick (Magick++, in process) decoding the same files to RGBA, and DXT1 block decoding against
# libsquish.
find_program(IMAGEFILES_BENCH_CONVERT NAMES convert-im6.q16 convert-im6 convert PATHS /usr/bin NO_DEFAULT_PATH)
find_library(IMAGEFILES_BENCH_SQUISH NAMES squish)
find_package(PkgConfig REQUIRED)
pkg_check_modules(IMAGEFILES_BENCH_MAGICK IMPORTED_TARGET Magick++)
if(IMAGEFILES_BENCH_CONVERT AND IMAGEFILES_BENCH_SQUISH AND IMAGEFILES_BENCH_MAGICK_FOUND)
  corvane_bench(bench_rwsdk_imagefiles SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk/ImageFilesBench.cpp
                DEPS rwsdk ${IMAGEFILES_BENCH_SQUISH} PkgConfig::IMAGEFILES_BENCH_MAGICK)
  target_compile_definitions(bench_rwsdk_imagefiles PRIVATE IMAGEFILES_CONVERT="${IMAGEFILES_BENCH_CONVERT}")
endif()
