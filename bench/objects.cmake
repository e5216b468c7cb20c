corvane_bench(bench_objects SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/objects/TerrainSegmentBench.cpp
  DEPS objects sample_terrain)
target_compile_definitions(bench_objects PRIVATE SAMPLE_TERRAIN_INFO="${PROJECT_SOURCE_DIR}/data/Data/Terrain1.info")
# 100 explosions and 50 smoke columns; run it in build/data with vblank_mode=0.
corvane_bench(bench_effects SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/objects/EffectsBench.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/AllocationCounter.cpp DEPS objects scene)
# Frames of the sample terrain; run it in build/data with vblank_mode=0.
corvane_bench(bench_terrain_frames SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/objects/TerrainFrameBench.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/AllocationCounter.cpp DEPS objects scene)
corvane_bench(bench_sky_clouds SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/objects/SkyCloudsBench.cpp DEPS objects)
target_compile_definitions(bench_sky_clouds PRIVATE SAMPLE_SKY_INFO="${PROJECT_SOURCE_DIR}/data/Data/Sky1.info"
  SAMPLE_CLOUDS_INFO="${PROJECT_SOURCE_DIR}/data/Data/Clouds1.info")
# Smoke trails per frame and a wreck's split, without a device.
corvane_bench(bench_trails_wrecks SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/objects/TrailWreckBench.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/AllocationCounter.cpp DEPS objects scene)
# Sector builds of the sample generated scenery (needs the sample_data target built).
corvane_bench(bench_autogen SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/objects/AutoGenBench.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/AllocationCounter.cpp DEPS objects scene)
target_compile_definitions(bench_autogen PRIVATE SAMPLE_DATA_DIR="${CORVANE_DATA_DIR}")
# Frames of the sample sky, clouds and sea along a path, and the airplane shadow's passes; run it in
# build/data with vblank_mode=0.
corvane_bench(bench_scene_frames SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/objects/SceneFramesBench.cpp DEPS objects scene)
# 200 cars and 20 ships with their wakes: the run pass per frame against a plain loop of the same motion.
corvane_bench(bench_vehicles SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/objects/VehiclesBench.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/AllocationCounter.cpp DEPS objects scene sample_terrain)
target_compile_definitions(bench_vehicles PRIVATE SAMPLE_TERRAIN_INFO="${PROJECT_SOURCE_DIR}/data/Data/Terrain1.info"
  SAMPLE_MODELS_DIR="${PROJECT_BINARY_DIR}/data/Data/Models")
add_dependencies(bench_vehicles sample_data)
