corvane_bench(bench_network SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/network/DplayBench.cpp DEPS platform_dplay)
# The network game's dispatch with 16 peers' traffic against a memcpy of the same bytes, and the bytes each
# peer of a 4-peer dogfight sends; runs in the built data tree.
corvane_bench(bench_network_game SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/network/DispatchBench.cpp
              ${CMAKE_CURRENT_SOURCE_DIR}/AllocationCounter.cpp DEPS network aircraft weapons)
