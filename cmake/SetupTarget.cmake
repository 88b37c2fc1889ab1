# tidewell_add_setup(<target>
#     MAIN_EXE <file name>
#     FILES <input>...
#     [DEPENDS <targets>...])
#
# Builds a setup executable <target> that carries the given files as its
# payload, in the order given. Each <input> is a path (the file keeps its own
# name) or NAME=PATH (installed as NAME). The first file must be named
# MAIN_EXE and one file must be "uninst.exe"; mkpayload refuses anything else.
# Generator expressions such as $<TARGET_FILE:app> are allowed; list the
# targets that make the files under DEPENDS.
#
# Example, for a packager's own product:
#   tidewell_add_setup(acme_setup MAIN_EXE acme.exe
#                      FILES ${CMAKE_SOURCE_DIR}/dist/acme.exe ${CMAKE_SOURCE_DIR}/dist/uninst.exe)
function(tidewell_add_setup target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "MAIN_EXE" "FILES;DEPENDS")
  if(NOT ARG_MAIN_EXE OR NOT ARG_FILES)
    message(FATAL_ERROR "tidewell_add_setup(${target}): MAIN_EXE and FILES are required")
  endif()

  set(gen ${CMAKE_CURRENT_BINARY_DIR}/${target}_payload)
  set(blob ${gen}/payload.bin)
  set(asm ${gen}/payload_blob.S)
  set(table ${gen}/payload_table.cpp)
  file(MAKE_DIRECTORY ${gen})

  set(file_deps "")
  foreach(input IN LISTS ARG_FILES)
    string(FIND "${input}" "=" eq)
    if(eq GREATER 0)
      math(EXPR start "${eq} + 1")
      string(SUBSTRING "${input}" ${start} -1 path)
    else()
      set(path "${input}")
    endif()
    list(APPEND file_deps "${path}")
  endforeach()

  add_custom_command(
    OUTPUT ${blob} ${asm} ${table}
    COMMAND mkpayload --main-exe ${ARG_MAIN_EXE} --blob ${blob} --asm ${asm} --table ${table}
            ${ARG_FILES}
    DEPENDS mkpayload ${file_deps} ${ARG_DEPENDS}
    COMMENT "Packing the payload of ${target}"
    VERBATIM)
  set_source_files_properties(${asm} PROPERTIES OBJECT_DEPENDS ${blob})

  set(sources ${PROJECT_SOURCE_DIR}/setup/setup_main.cpp ${PROJECT_SOURCE_DIR}/config/setup_config.cpp
      ${asm} ${table})
  if(SETUP_PLATFORM STREQUAL "win")
    list(APPEND sources ${PROJECT_SOURCE_DIR}/ui/setup.rc)
    add_executable(${target} WIN32 ${sources})
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${target} SUFFIX ".exe")
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/ui)
  else()
    add_executable(${target} ${sources})
    target_link_libraries(${target} PRIVATE setup_posix_main)
  endif()
  target_compile_definitions(${target} PRIVATE SETUP_MAIN_EXE_NAME="${ARG_MAIN_EXE}")
  target_link_libraries(${target} PRIVATE setup_program)
endfunction()
