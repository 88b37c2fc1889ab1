# The Windows builds' zlib: only the decompression side, built small.
#
# The program calls nothing but uncompress, so only the inflate sources are
# compiled, without gzip support (NO_GZIP) and for size. The sources are
# Debian's zlib source package, unpacked by scripts/install-deps.sh. The
# host build and mkpayload keep using the system's zlib.
set(SETUP_ZLIB_SOURCE_DIR /usr/local/src/tidewell/zlib
    CACHE PATH "Unpacked zlib sources for the Windows builds (scripts/install-deps.sh all)")
if(NOT EXISTS ${SETUP_ZLIB_SOURCE_DIR}/inflate.c)
  message(FATAL_ERROR "No zlib sources in ${SETUP_ZLIB_SOURCE_DIR}: run scripts/install-deps.sh all "
                      "or set SETUP_ZLIB_SOURCE_DIR")
endif()

# Only the public headers go on the include path, not the whole source folder.
set(inflate_zlib_include ${CMAKE_BINARY_DIR}/inflate-zlib/include)
configure_file(${SETUP_ZLIB_SOURCE_DIR}/zlib.h ${inflate_zlib_include}/zlib.h COPYONLY)
configure_file(${SETUP_ZLIB_SOURCE_DIR}/zconf.h ${inflate_zlib_include}/zconf.h COPYONLY)

add_library(inflate_zlib STATIC
  ${SETUP_ZLIB_SOURCE_DIR}/adler32.c
  ${SETUP_ZLIB_SOURCE_DIR}/inffast.c
  ${SETUP_ZLIB_SOURCE_DIR}/inflate.c
  ${SETUP_ZLIB_SOURCE_DIR}/inftrees.c
  ${SETUP_ZLIB_SOURCE_DIR}/uncompr.c
  ${SETUP_ZLIB_SOURCE_DIR}/zutil.c)
target_compile_definitions(inflate_zlib PRIVATE NO_GZIP)
target_compile_options(inflate_zlib PRIVATE -Os)
target_include_directories(inflate_zlib SYSTEM PUBLIC ${inflate_zlib_include})
