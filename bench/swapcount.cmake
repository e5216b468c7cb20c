# A buffer-swap counter loaded with LD_PRELOAD into any GL program (ours or a reference game), for frame
# rates measured side by side: scripts/side-by-side runs it.
add_library(swap_counter MODULE ${CMAKE_CURRENT_LIST_DIR}/swapcount/SwapCounter.cpp)
target_link_libraries(swap_counter PRIVATE ${CMAKE_DL_LIBS})
set_target_properties(swap_counter PROPERTIES PREFIX "" CXX_VISIBILITY_PRESET hidden)
