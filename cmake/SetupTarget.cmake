# tidewell_add_setup(<target>
#     MAIN_EXE <file name>
#     FILES <input>...
#     [DEPENDS <targets>...])
#
# Builds a setup executable <target> that carries the given files as its
# payload, in the order given. Each <input> is a path (the file keeps its own
# name) or NAME=PATH (installed as NAME). The first file must be named
# MAIN_EXE. Generator expressions such as $<TARGET_FILE:app> are allowed;
# list the targets that make the files under DEPENDS.
#
# The payload's "uninst.exe" is the project's uninstaller, built as the
# target <target>_uninstaller with the list of the payload's names, unless
# an input is evidently named "uninst.exe" already (uninst.exe=PATH, or a
# PATH whose last component is uninst.exe): then that file is the packager's
# own uninstaller. A generator expression names its file only at build
# time, so give a packager's own uninstaller as uninst.exe=$<TARGET_FILE:...>.
#
# Example, for a packager's own product:
#   tidewell_add_setup(acme_setup MAIN_EXE acme.exe
#                      FILES ${CMAKE_SOURCE_DIR}/dist/acme.exe ${CMAKE_SOURCE_DIR}/dist/readme.txt)
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
  set(own_uninstaller FALSE)
  foreach(input IN LISTS ARG_FILES)
    string(FIND "${input}" "=" eq)
    if(eq GREATER 0)
      string(SUBSTRING "${input}" 0 ${eq} name)
      math(EXPR start "${eq} + 1")
      string(SUBSTRING "${input}" ${start} -1 path)
    else()
      set(path "${input}")
      get_filename_component(name "${input}" NAME)
    endif()
    if(name STREQUAL "uninst.exe")
      set(own_uninstaller TRUE)
    endif()
    list(APPEND file_deps "${path}")
  endforeach()

  set(files ${ARG_FILES})
  set(depends ${ARG_DEPENDS})
  if(NOT own_uninstaller)
    set(uninstaller ${target}_uninstaller)
    set(names ${gen}/payload_names.cpp)
    # The names are checked and listed without reading the files: the
    # uninstaller that carries them is one of them.
    add_custom_command(
      OUTPUT ${names}
      COMMAND mkpayload --main-exe ${ARG_MAIN_EXE} --names ${names}
              ${ARG_FILES} uninst.exe=uninst.exe
      DEPENDS mkpayload
      COMMENT "Listing the payload names of ${target} for its uninstaller"
      VERBATIM)
    set(uninstaller_sources ${PROJECT_SOURCE_DIR}/uninstall/uninstall_main.cpp
        ${PROJECT_SOURCE_DIR}/config/setup_config.cpp ${names})
    if(SETUP_PLATFORM STREQUAL "win")
      add_executable(${uninstaller} WIN32 ${uninstaller_sources})
    else()
      add_executable(${uninstaller} ${uninstaller_sources})
      target_link_libraries(${uninstaller} PRIVATE setup_posix_main)
    endif()
    set_target_properties(${uninstaller} PROPERTIES
      OUTPUT_NAME uninst SUFFIX ".exe" RUNTIME_OUTPUT_DIRECTORY ${gen})
    target_compile_definitions(${uninstaller} PRIVATE SETUP_MAIN_EXE_NAME="${ARG_MAIN_EXE}")
    target_link_libraries(${uninstaller} PRIVATE uninstall_program)
    list(APPEND files uninst.exe=$<TARGET_FILE:${uninstaller}>)
    list(APPEND file_deps $<TARGET_FILE:${uninstaller}>)
    list(APPEND depends ${uninstaller})
  endif()

  add_custom_command(
    OUTPUT ${blob} ${asm} ${table}
    COMMAND mkpayload --main-exe ${ARG_MAIN_EXE} --blob ${blob} --asm ${asm} --table ${table}
            ${files}
    DEPENDS mkpayload ${file_deps} ${depends}
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
