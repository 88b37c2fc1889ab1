# The Windows half of the side-by-side with NSIS (tests/bench/run.sh): with
# SETUP_BENCH_FILES naming a list of files (one path a line, tw32.exe first,
# uninst.exe among them), the real setup over those files (bench_setup, whose
# size is compared) and wine_extract, the setup's extraction stage and its
# limit over the same payload (timed under Wine).
if(NOT SETUP_BENCH_FILES)
  return()
endif()
file(STRINGS ${SETUP_BENCH_FILES} bench_files)
tidewell_add_setup(bench_setup MAIN_EXE tw32.exe FILES ${bench_files})

set(gen ${CMAKE_CURRENT_BINARY_DIR}/bench_setup_payload)
add_executable(wine_extract WIN32 wine_extract.cpp ${PROJECT_SOURCE_DIR}/ui/setup.rc
  ${gen}/payload_blob.S ${gen}/payload_table.cpp)
set_source_files_properties(${gen}/payload_blob.S PROPERTIES OBJECT_DEPENDS ${gen}/payload.bin)
tidewell_use_config(wine_extract tw32.exe "${SETUP_APP_NAME}")
target_include_directories(wine_extract PRIVATE ${PROJECT_SOURCE_DIR}/ui)
target_link_libraries(wine_extract PRIVATE setup_program)
# Both embed the payload that bench_setup's rule packs.
add_dependencies(wine_extract bench_setup)
