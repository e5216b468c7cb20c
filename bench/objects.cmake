corvane_bench(bench_objects SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/objects/TerrainSegmentBench.cpp
  DEPS objects sample_terrain)
target_compile_definitions(bench_objects PRIVATE SAMPLE_TERRAIN_INFO="${PROJECT_SOURCE_DIR}/data/Data/Terrain1.info")
