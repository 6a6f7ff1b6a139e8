add_executable(bench_sourcelist ${CMAKE_CURRENT_LIST_DIR}/bench_sourcelist.cpp)
target_link_libraries(bench_sourcelist PRIVATE reelway_gui Qt5::Widgets)
