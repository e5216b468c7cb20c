# Image-file decoding: megapixels per second of the BMP, PNG, TIFF and DDS readers on 1024 x 1024 files
# against ImageMagick decoding the same files, and DXT1 block decoding against libsquish.
find_program(IMAGEFILES_BENCH_CONVERT NAMES convert-im6.q16 convert-im6 convert PATHS /usr/bin NO_DEFAULT_PATH)
find_library(IMAGEFILES_BENCH_SQUISH NAMES squish)
if(IMAGEFILES_BENCH_CONVERT AND IMAGEFILES_BENCH_SQUISH)
  corvane_bench(bench_rwsdk_imagefiles SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk_imagefiles.cpp
                DEPS rwsdk ${IMAGEFILES_BENCH_SQUISH})
  target_compile_definitions(bench_rwsdk_imagefiles PRIVATE IMAGEFILES_CONVERT="${IMAGEFILES_BENCH_CONVERT}")
endif()
