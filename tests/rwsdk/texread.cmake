corvane_test(rwsdk_texread_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TextureReadTest.cpp
  DEPS rwsdk)
corvane_test(rwsdk_ddstex_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/DdsTextureTest.cpp DEPS rwsdk)
corvane_test(rwsdk_sample_textures_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/SampleTexturesTest.cpp DEPS rwsdk)
