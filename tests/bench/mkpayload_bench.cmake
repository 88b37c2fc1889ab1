# mkpayload's benchmark: built only with SETUP_BENCHMARKS=ON and run by
# tests/bench/run.sh (or the run_mkpayload_bench target); it is not a test. It
# runs mkpayload as a process of its own, so cross builds skip it.
if(SETUP_BENCHMARKS AND NOT CMAKE_CROSSCOMPILING)
  add_executable(mkpayload_bench ${CMAKE_CURRENT_LIST_DIR}/mkpayload_bench.cpp)
  target_compile_definitions(mkpayload_bench PRIVATE MKPAYLOAD_PATH="$<TARGET_FILE:mkpayload>")
  add_dependencies(mkpayload_bench mkpayload)
  add_custom_target(run_mkpayload_bench
    COMMAND mkpayload_bench ${CMAKE_CURRENT_BINARY_DIR}/mkpayload_bench_work
    DEPENDS mkpayload_bench mkpayload
    USES_TERMINAL)
endif()
