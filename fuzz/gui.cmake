# *.gui pages and *.font descriptions from arbitrary text: a tree or a clear failure, nothing leaked.
set(gui_whole "$<LINK_LIBRARY:WHOLE_ARCHIVE,gui>")
corvane_fuzzer(fuzz_gui_page SOURCES ${CMAKE_CURRENT_LIST_DIR}/gui/GuiPageFuzzer.cpp DEPS ${gui_whole})
corvane_fuzzer(fuzz_font_file SOURCES ${CMAKE_CURRENT_LIST_DIR}/gui/FontFileFuzzer.cpp DEPS ${gui_whole})
