# A real batch through the main window, for comparison with bench_engine's figures.
add_executable(bench_window_batch ${CMAKE_CURRENT_LIST_DIR}/bench_window_batch.cpp)
target_link_libraries(bench_window_batch PRIVATE reelway_gui Qt5::Widgets)
