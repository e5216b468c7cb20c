# Text: glyphs laid out and queued per second (no device); a full screen of text (10,000 glyphs) through the
# text queue against the same quads drawn raw on the Direct3D 9 stand-in ("ratio"), with the heap
# allocations of a warm frame ("allocs_per_frame", target 0).
set(gui_whole "$<LINK_LIBRARY:WHOLE_ARCHIVE,gui>")
corvane_bench(bench_gui SOURCES ${CMAKE_CURRENT_LIST_DIR}/gui/GuiBench.cpp DEPS ${gui_whole})
