# The conversion engine against the bare transcoder running the same command lines.
add_executable(bench_engine ${CMAKE_CURRENT_LIST_DIR}/bench_engine.cpp)
target_link_libraries(bench_engine PRIVATE reelway_convert Qt5::Concurrent)
