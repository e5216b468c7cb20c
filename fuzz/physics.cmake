corvane_fuzzer(fuzz_airfoil_file SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/physics/AirfoilFileFuzzer.cpp DEPS physics)
# Airplane descriptions through the three flight models.
corvane_fuzzer(fuzz_airplane_description SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/physics/AirplaneDescriptionFuzzer.cpp
  DEPS physics airfoil_table)
