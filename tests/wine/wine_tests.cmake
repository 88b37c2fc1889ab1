# The Wine tier: setup.exe run on an Xvfb display and answered with
# keystrokes. It runs the i686 build, the product, under Wine's 32-bit loader;
# only on a machine that refuses 32-bit programs does it run the x86_64 build
# under wine64 instead, and says so loudly at its start and its end.
# fixture.sh decides by starting a 32-bit program; in the build it does not
# run, the tier's tests are skipped. One Xvfb and one scratch prefix serve a
# whole ctest run: wine_fixture_setup makes them, wine_fixture_cleanup ends
# them.
# Run with: ctest --preset win32 -L wine
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
# The setup's extraction of its own payload, ended before its second file:
# the leftovers of a killed setup.
set(setup_gen ${CMAKE_BINARY_DIR}/setup_payload)
add_executable(killed_setup WIN32 ${TW_WINE_DIR}/killed_setup.cpp ${setup_gen}/payload_blob.S
  ${setup_gen}/payload_table.cpp)
set_source_files_properties(${setup_gen}/payload_blob.S PROPERTIES OBJECT_DEPENDS
  ${setup_gen}/payload.bin)
tidewell_use_config(killed_setup "${SETUP_MAIN_EXE_NAME}" "${SETUP_APP_NAME}")
target_link_libraries(killed_setup PRIVATE setup_program)
add_dependencies(killed_setup setup)
# Prints a file's version resource as Windows' version functions read it.
add_executable(file_version ${TW_WINE_DIR}/file_version.cpp)
target_link_libraries(file_version PRIVATE version)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(TW_ARCH i686)
  set(TW_WINE /usr/lib/wine/wine)
else()
  set(TW_ARCH x86_64)
  set(TW_WINE /usr/lib/wine/wine64)
endif()

set(TW_ENV
  TW_RUN_DIR=${TW_RUN_DIR}
  TW_PREFIX=${TW_PREFIX}
  TW_SETUP=$<TARGET_FILE:setup>
  TW_PAYLOAD_BLOB=$<TARGET_FILE_DIR:setup>/setup_payload/payload.bin
  TW_TW32=$<TARGET_FILE:tw32>
  TW_UNINST=$<TARGET_FILE:setup_uninstaller>
  TW_DECOY=$<TARGET_FILE:decoy_window>
  TW_KILLED_SETUP=$<TARGET_FILE:killed_setup>
  TW_WINDOW_TEXT=$<TARGET_FILE:window_text>
  TW_FILE_VERSION=$<TARGET_FILE:file_version>
  TW_ARCH=${TW_ARCH}
  TW_WINE=${TW_WINE}
  TW_SIGNED_DIR=${CMAKE_BINARY_DIR}/signing
  "TW_VERSION=$<TARGET_PROPERTY:setup,TIDEWELL_VERSION>"
  "TW_COMPANY=$<TARGET_PROPERTY:setup,TIDEWELL_COMPANY>"
  "TW_COPYRIGHT=$<TARGET_PROPERTY:setup,TIDEWELL_COPYRIGHT>"
  "TW_PRODUCT=${SETUP_APP_NAME}"
  "TW_SETUP_DESCRIPTION=$<TARGET_PROPERTY:setup,TIDEWELL_DESCRIPTION>"
  "TW_UNINSTALL_DESCRIPTION=$<TARGET_PROPERTY:setup,TIDEWELL_UNINSTALL_DESCRIPTION>")

add_test(NAME wine_fixture_setup
  COMMAND ${CMAKE_COMMAND} -E env ${TW_ENV} bash ${TW_WINE_DIR}/fixture.sh setup)
set_tests_properties(wine_fixture_setup PROPERTIES
  LABELS "wine" FIXTURES_SETUP wine_prefix RUN_SERIAL TRUE TIMEOUT 300 SKIP_RETURN_CODE 77)

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
    reinstall
    interrupted_reinstall
    uninstall
    shortcut_files
    apps_features
    version_info
    themed_controls
    signed_install
    home_name)
  add_test(NAME wine_${name}
    COMMAND ${CMAKE_COMMAND} -E env ${TW_ENV} bash ${TW_WINE_DIR}/test_${name}.sh)
  set_tests_properties(wine_${name} PROPERTIES
    LABELS "wine" FIXTURES_REQUIRED wine_prefix RUN_SERIAL TRUE TIMEOUT 180 SKIP_RETURN_CODE 77)
endforeach()
# Two installations, two removals and Wine's own uninstaller.
set_tests_properties(wine_apps_features PROPERTIES TIMEOUT 300)
# The setup signed with a throw-away certificate comes from win_signing.
set_tests_properties(wine_signed_install PROPERTIES FIXTURES_REQUIRED "wine_prefix;signed_setup")
