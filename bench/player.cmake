# Time from opening the preview player to playback, and the stream probe's share.
add_executable(bench_player ${CMAKE_CURRENT_LIST_DIR}/bench_player.cpp)
target_link_libraries(bench_player PRIVATE reelway_player reelway_resources)
