# The desktop app measured on the real engine (a plain program, not Google Benchmark);
# bench/run-desktop-bench.sh runs it beside vvp itself.
if(TARGET vvp_desktop_engine)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  add_executable(desktop_stall_bench DesktopStallBench.cpp)
  target_link_libraries(desktop_stall_bench PRIVATE vvp_desktop_engine)
endif()
