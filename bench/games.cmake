# A single-player mission's frame split into its sections with 10, 50 and 200 more computer-flown
# airplanes and 200 trucks; run it in build/data with vblank_mode=0.
corvane_bench(bench_game_frames SOURCES ${CMAKE_CURRENT_LIST_DIR}/games/GameFrameBench.cpp
              ${CMAKE_CURRENT_LIST_DIR}/FrameProbe.cpp
              DEPS games frontend cameras hud cockpit weapons pilots aircraft objects scene)
