# The whole sample world along the play command's camera path; run it in build/data with vblank_mode=0.
corvane_bench(bench_scenery_world SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/frontend/SceneryWorldBench.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/AllocationCounter.cpp DEPS frontend objects scene)
# Where a frame of the flyover goes, section by section: time, rasteriser time, pixels and GL calls.
corvane_bench(bench_frame_costs SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/frontend/FrameCostBench.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/AllocationCounter.cpp ${CMAKE_CURRENT_SOURCE_DIR}/FrameProbe.cpp DEPS frontend objects scene)
# The flyover in a shown window for a number of seconds, for side-by-side frame rates against a reference
# game (scripts/side-by-side).
add_executable(flyover_window ${CMAKE_CURRENT_SOURCE_DIR}/frontend/FlyoverWindow.cpp)
target_link_libraries(flyover_window PRIVATE frontend objects scene)
target_include_directories(flyover_window PRIVATE ${PROJECT_SOURCE_DIR})
