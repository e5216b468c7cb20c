corvane_fuzzer(fuzz_airfoil_file SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/physics/AirfoilFileFuzzer.cpp DEPS physics)
