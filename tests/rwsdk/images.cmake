corvane_test(rwsdk_images_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ImageTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ResampleTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/PaletteQuantizerTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ResourceArenaTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/PipelineTest.cpp
  DEPS rwsdk)
