# Copying streams that fit against encoding them again, through the conversion job.
add_executable(bench_copy ${CMAKE_CURRENT_LIST_DIR}/bench_copy.cpp)
target_link_libraries(bench_copy PRIVATE reelway_convert Qt5::Concurrent)
