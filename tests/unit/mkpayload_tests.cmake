# mkpayload's unit tests (host build). Included from tests/unit/CMakeLists.txt.
if(NOT TARGET GTest::gtest_main)
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)
get_filename_component(MKPAYLOAD_TEST_ROOT ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)

# Small files packed at build time, the first twice; the table made from them
# is compiled into the tests, which proves that the emitted sources compile
# and link, with shared chunks too.
set(mkpayload_check_dir ${CMAKE_CURRENT_BINARY_DIR}/mkpayload_check)
set(mkpayload_check_main ${mkpayload_check_dir}/check.exe.in)
set(mkpayload_check_uninst ${mkpayload_check_dir}/uninst.exe.in)
set(mkpayload_check_empty ${mkpayload_check_dir}/empty.dat.in)
set(mkpayload_check_text "")
foreach(i RANGE 699)
  string(APPEND mkpayload_check_text "line ${i}: packed by the build and checked by the tests\n")
endforeach()
file(WRITE ${mkpayload_check_main} "${mkpayload_check_text}")
file(WRITE ${mkpayload_check_uninst} "a small uninstaller stand-in\n")
file(WRITE ${mkpayload_check_empty} "")

set(mkpayload_check_blob ${mkpayload_check_dir}/payload.bin)
set(mkpayload_check_asm ${mkpayload_check_dir}/payload_blob.S)
set(mkpayload_check_table ${mkpayload_check_dir}/payload_table.cpp)
add_custom_command(
  OUTPUT ${mkpayload_check_blob} ${mkpayload_check_asm} ${mkpayload_check_table}
  COMMAND mkpayload --main-exe check.exe --blob ${mkpayload_check_blob}
          --asm ${mkpayload_check_asm} --table ${mkpayload_check_table}
          check.exe=${mkpayload_check_main} uninst.exe=${mkpayload_check_uninst}
          empty.dat=${mkpayload_check_empty} copy.exe=${mkpayload_check_main}
  DEPENDS mkpayload ${mkpayload_check_main} ${mkpayload_check_uninst} ${mkpayload_check_empty}
  COMMENT "Packing the mkpayload test payload"
  VERBATIM)
set_source_files_properties(${mkpayload_check_asm} PROPERTIES OBJECT_DEPENDS ${mkpayload_check_blob})

# The names alone, from inputs that do not exist: --names without the packing
# outputs opens no input file. Linked with the table above, it must list the
# same names.
set(mkpayload_check_names ${mkpayload_check_dir}/payload_names.cpp)
add_custom_command(
  OUTPUT ${mkpayload_check_names}
  COMMAND mkpayload --main-exe check.exe --names ${mkpayload_check_names}
          check.exe=${mkpayload_check_dir}/not-built/check.exe
          uninst.exe=${mkpayload_check_dir}/not-built/uninst.exe
          empty.dat=${mkpayload_check_dir}/not-built/empty.dat
          copy.exe=${mkpayload_check_dir}/not-built/check.exe
  DEPENDS mkpayload
  COMMENT "Listing the mkpayload test payload's names"
  VERBATIM)
# Only the sources that include payload/payload.h see the stand-in <windows.h>.
set_source_files_properties(${mkpayload_check_table} ${mkpayload_check_names}
  ${CMAKE_CURRENT_LIST_DIR}/mkpayload_table_test.cpp ${MKPAYLOAD_TEST_ROOT}/payload/checksum.cpp
  PROPERTIES INCLUDE_DIRECTORIES "${MKPAYLOAD_TEST_ROOT};${MKPAYLOAD_TEST_ROOT}/posix/include")

add_executable(mkpayload_tests
  ${CMAKE_CURRENT_LIST_DIR}/mkpayload_test_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mkpayload_names_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mkpayload_pipeline_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mkpayload_tool_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mkpayload_refusal_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mkpayload_table_test.cpp
  ${mkpayload_check_asm}
  ${mkpayload_check_table}
  ${mkpayload_check_names}
  ${MKPAYLOAD_TEST_ROOT}/payload/checksum.cpp)
target_link_libraries(mkpayload_tests PRIVATE mkpayload_core GTest::gtest_main ZLIB::ZLIB)
# The setup's content hash, which the emitted table must hold.
target_include_directories(mkpayload_tests PRIVATE ${MKPAYLOAD_TEST_ROOT})
target_compile_definitions(mkpayload_tests PRIVATE
  MKPAYLOAD_PATH="$<TARGET_FILE:mkpayload>"
  MKPAYLOAD_TEST_CXX="${CMAKE_CXX_COMPILER}"
  MKPAYLOAD_TEST_CMAKE="${CMAKE_COMMAND}"
  MKPAYLOAD_TEST_ROOT="${MKPAYLOAD_TEST_ROOT}"
  MKPAYLOAD_CHECK_MAIN="${mkpayload_check_main}"
  MKPAYLOAD_CHECK_UNINST="${mkpayload_check_uninst}"
  MKPAYLOAD_CHECK_EMPTY="${mkpayload_check_empty}")
add_dependencies(mkpayload_tests mkpayload)
gtest_discover_tests(mkpayload_tests DISCOVERY_TIMEOUT 30 PROPERTIES LABELS unit)
