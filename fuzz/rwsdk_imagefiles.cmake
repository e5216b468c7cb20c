# Image-file readers: BMP, PNG, TIFF and DDS headers and data from arbitrary bytes.
foreach(format bmp png tiff dds)
  corvane_fuzzer(fuzz_${format} SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_${format}.cpp DEPS rwsdk)
endforeach()
