# How the batch's bar and time left move during a real batch, against the time really left.
add_executable(bench_estimate ${CMAKE_CURRENT_LIST_DIR}/bench_estimate.cpp)
target_link_libraries(bench_estimate PRIVATE reelway_convert Qt5::Concurrent)
