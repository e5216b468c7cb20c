corvane_fuzzer(fuzz_single_instance SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform/SingleInstanceFuzzer.cpp
  DEPS platform_win32)
corvane_fuzzer(fuzz_shader_assembler SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform/ShaderAssemblerFuzzer.cpp
  DEPS platform_d3dx9)
