# Mission files from any text: loaded into a small world and ticked.
corvane_fuzzer(fuzz_mission_file SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/mission/MissionFuzzer.cpp
  DEPS "$<LINK_LIBRARY:WHOLE_ARCHIVE,mission>")
