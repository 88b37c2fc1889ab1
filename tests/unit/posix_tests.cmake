# Unit tests of the POSIX stand-in (included from tests/unit/CMakeLists.txt).
find_package(GTest REQUIRED)
include(GoogleTest)

add_executable(posix_tests
  ${CMAKE_CURRENT_LIST_DIR}/posix_paths_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix_files_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix_profile_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix_dialogs_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix_windows_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix_dde_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix_progman_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix_rc2cpp_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix_terminal_test.cpp
)
target_include_directories(posix_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/support)
target_link_libraries(posix_tests PRIVATE setup_posix rc_parser GTest::gtest_main)
target_compile_definitions(posix_tests PRIVATE RC2CPP_PATH="$<TARGET_FILE:rc2cpp>")
add_dependencies(posix_tests rc2cpp)
gtest_discover_tests(posix_tests DISCOVERY_MODE PRE_TEST PROPERTIES LABELS unit)
