# The listener's load driver and the minimal server it is measured against (plain programs, not
# Google Benchmark); bench/run-network-bench.sh runs them.
add_executable(load_driver LoadDriver.cpp)
target_link_libraries(load_driver PRIVATE vvp_compiler_policy Threads::Threads)
target_compile_definitions(load_driver PRIVATE VVP_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
add_executable(baseline_server BaselineServer.cpp)
target_link_libraries(baseline_server PRIVATE vvp_compiler_policy)
