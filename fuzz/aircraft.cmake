# Whole airplanes from any description: loaded with each flight-model kind, placed and flown in a world.
corvane_fuzzer(fuzz_airplane_load SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/aircraft/AirplaneLoadFuzzer.cpp
  DEPS aircraft airfoil_table)
