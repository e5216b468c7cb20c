# Image-file readers: BMP, PNG, TIFF and DDS headers and data from arbitrary bytes.
foreach(format bmp png tiff dds)
  string(SUBSTRING ${format} 0 1 first)
  string(TOUPPER ${first} first)
  string(SUBSTRING ${format} 1 -1 rest)
  corvane_fuzzer(fuzz_${format} SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk/${first}${rest}FileFuzzer.cpp DEPS rwsdk)
endforeach()
