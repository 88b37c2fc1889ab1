# zlib's decompression side, built small, for the Windows builds.
#
# The program calls nothing but uncompress, so only the inflate sources are
# compiled, without gzip support (NO_GZIP), without unwind tables, and for
# size except the decoding loop. The fixed Huffman decoding tables are built
# in memory on first use (BUILDFIXED, which zlib offers for small builds:
# not thread-safe, and the programs inflate on one thread) instead of being
# carried as about 2 KB of constant data in every executable. The sources are Debian's zlib source
# package, unpacked by scripts/install-deps.sh. The host build and mkpayload
# keep using the system's zlib.
set(SETUP_ZLIB_SOURCE_DIR /usr/local/src/tidewell/zlib
    CACHE PATH "Unpacked zlib sources for the Windows builds (scripts/install-deps.sh all)")

# tidewell_add_inflate_zlib(<target> [<definition>...])
# A static library of the inflate sources, built as the Windows builds use
# them; the definitions are added to the compile (Z_PREFIX, for example).
function(tidewell_add_inflate_zlib target)
  if(NOT EXISTS ${SETUP_ZLIB_SOURCE_DIR}/inflate.c)
    message(FATAL_ERROR "No zlib sources in ${SETUP_ZLIB_SOURCE_DIR}: run "
                        "scripts/install-deps.sh all or set SETUP_ZLIB_SOURCE_DIR")
  endif()
  set(dir ${SETUP_ZLIB_SOURCE_DIR})
  add_library(${target} STATIC
    ${dir}/adler32.c ${dir}/inffast.c ${dir}/inflate.c ${dir}/inftrees.c ${dir}/uncompr.c
    ${dir}/zutil.c)
  target_compile_definitions(${target} PRIVATE NO_GZIP BUILDFIXED ${ARGN})
  target_compile_options(${target} PRIVATE -Os -ffunction-sections -fno-asynchronous-unwind-tables)
  # The decoding loop, where the time goes, is optimised for speed as in
  # Debian's own zlib build (-O3): for about 1 KB, decompression keeps the
  # system zlib's speed (tests/bench/inflate_bench.cpp).
  set_source_files_properties(${dir}/inffast.c TARGET_DIRECTORY ${target} PROPERTIES
                              COMPILE_OPTIONS -O3)
endfunction()
