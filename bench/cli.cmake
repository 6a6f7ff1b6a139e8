# reelway-cli against the bare transcoder running the same command lines, and its start-up.
add_executable(bench_cli ${CMAKE_CURRENT_LIST_DIR}/bench_cli.cpp)
target_link_libraries(bench_cli PRIVATE reelway_convert Qt5::Concurrent)
add_dependencies(bench_cli reelway-cli)
