corvane_fuzzer(fuzz_terrain_description SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/objects/TerrainDescriptionFuzzer.cpp
  DEPS objects)
corvane_fuzzer(fuzz_sky_clouds_description SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/objects/SkyCloudsDescriptionFuzzer.cpp
  DEPS objects)
corvane_fuzzer(fuzz_autogen_description SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/objects/AutoGenDescriptionFuzzer.cpp
  DEPS objects)
# Structures, airbases, vehicles and ships from their descriptions, placed and run in a world.
corvane_fuzzer(fuzz_world_objects SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/objects/WorldObjectsFuzzer.cpp DEPS objects)
