# Films: the CPU time per frame of the sample test pattern played through the filter graph and the texture
# renderer (decode, convert, copy and texture upload), against FFmpeg decoding the same
# file alone ("ratio").
corvane_bench(bench_video SOURCES ${CMAKE_CURRENT_LIST_DIR}/gui/VideoBench.cpp DEPS "$<LINK_LIBRARY:WHOLE_ARCHIVE,gui>"
  platform_d3d9)
target_compile_definitions(bench_video PRIVATE CORVANE_DATA="${CORVANE_DATA_DIR}")
