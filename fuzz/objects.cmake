corvane_fuzzer(fuzz_terrain_description SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/objects/TerrainDescriptionFuzzer.cpp
  DEPS objects)
corvane_fuzzer(fuzz_sky_clouds_description SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/objects/SkyCloudsDescriptionFuzzer.cpp
  DEPS objects)
corvane_fuzzer(fuzz_autogen_description SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/objects/AutoGenDescriptionFuzzer.cpp
  DEPS objects)
