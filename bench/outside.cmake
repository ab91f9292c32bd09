# The harness's VCD conversion beside ffmpeg (bench_outside), run by hand.
add_executable(bench_outside ${CMAKE_CURRENT_LIST_DIR}/outside_bench.cpp)
target_link_libraries(bench_outside PRIVATE quill_outside_harness benchmark::benchmark)
