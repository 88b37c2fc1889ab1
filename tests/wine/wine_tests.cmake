# The Wine tier: the win64 setup.exe run under wine64 on an Xvfb display,
# answered with keystrokes. One Xvfb and one scratch prefix serve a whole
# ctest run: wine_fixture_setup makes them, wine_fixture_cleanup ends them.
# Run with: ctest --preset win64 -L wine
# tests/wine/capture_screens.sh, run by hand, saves pictures of the windows
# into docs/screenshots.
set(TW_WINE_DIR ${PROJECT_SOURCE_DIR}/tests/wine)
set(TW_RUN_DIR ${CMAKE_BINARY_DIR}/wine-run)
set(TW_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)

# A window titled by its first argument, in a program that is not the product.
add_executable(decoy_window WIN32 ${TW_WINE_DIR}/decoy_window.cpp)
target_compile_options(decoy_window PRIVATE -Wall -Wextra -Werror)
# Prints what the controls of a window say (the text of a message box).
add_executable(window_text ${TW_WINE_DIR}/window_text.cpp)

set(TW_ENV
  TW_RUN_DIR=${TW_RUN_DIR}
  TW_PREFIX=${TW_PREFIX}
  TW_SETUP=$<TARGET_FILE:setup>
  TW_TW32=$<TARGET_FILE:tw32>
  TW_UNINST=$<TARGET_FILE:setup_uninstaller>
  TW_DECOY=$<TARGET_FILE:decoy_window>
  TW_WINDOW_TEXT=$<TARGET_FILE:window_text>)

add_test(NAME wine_fixture_setup
  COMMAND ${CMAKE_COMMAND} -E env ${TW_ENV} bash ${TW_WINE_DIR}/fixture.sh setup)
set_tests_properties(wine_fixture_setup PROPERTIES
  LABELS "wine" FIXTURES_SETUP wine_prefix RUN_SERIAL TRUE TIMEOUT 300)

add_test(NAME wine_fixture_cleanup
  COMMAND ${CMAKE_COMMAND} -E env ${TW_ENV} bash ${TW_WINE_DIR}/fixture.sh cleanup)
set_tests_properties(wine_fixture_cleanup PROPERTIES
  LABELS "wine" FIXTURES_CLEANUP wine_prefix RUN_SERIAL TRUE TIMEOUT 120)

foreach(name
    full_install
    startup_declined
    data_dir_dialog
    data_dir_relative
    data_dir_cancel
    profile_kept
    running_copies
    extraction_failure
    uninstall)
  add_test(NAME wine_${name}
    COMMAND ${CMAKE_COMMAND} -E env ${TW_ENV} bash ${TW_WINE_DIR}/test_${name}.sh)
  set_tests_properties(wine_${name} PROPERTIES
    LABELS "wine" FIXTURES_REQUIRED wine_prefix RUN_SERIAL TRUE TIMEOUT 180)
endforeach()
