# The Windows builds' small zlib (inflate only, for size) against the
# system's zlib, both on this machine: uncompress throughput over the same
# payload chunks. Built with SETUP_BENCHMARKS=ON when the zlib sources are
# unpacked (scripts/install-deps.sh all); run by tests/bench/run.sh.
include(${PROJECT_SOURCE_DIR}/cmake/InflateZlib.cmake)
if(SETUP_BENCHMARKS AND NOT CMAKE_CROSSCOMPILING AND EXISTS ${SETUP_ZLIB_SOURCE_DIR}/inflate.c)
  # Z_PREFIX renames its symbols (z_uncompress), so both zlibs link into one program.
  tidewell_add_inflate_zlib(inflate_zlib_prefixed Z_PREFIX)
  target_sources(inflate_zlib_prefixed PRIVATE ${CMAKE_CURRENT_LIST_DIR}/small_uncompress.c)
  target_include_directories(inflate_zlib_prefixed PRIVATE ${SETUP_ZLIB_SOURCE_DIR})

  add_executable(inflate_bench ${CMAKE_CURRENT_LIST_DIR}/inflate_bench.cpp
    ${PROJECT_SOURCE_DIR}/tests/unit/support/test_payload.cpp)
  tidewell_use_config(inflate_bench tw32.exe Tidewell)
  target_include_directories(inflate_bench PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(inflate_bench PRIVATE setup_program inflate_zlib_prefixed)
endif()
