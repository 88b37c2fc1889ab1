# tidewell_add_setup(<target>
#     MAIN_EXE <file name>
#     FILES <input>...
#     [DEPENDS <targets>...] [LEVEL <1..12|zlib|zopfli>]
#     [VERSION <a[.b[.c[.d]]]>] [COMPANY <text>] [COPYRIGHT <text>]
#     [DESCRIPTION <text>] [UNINSTALL_DESCRIPTION <text>] [ICON <file.ico>]
#     [SIGN_PKCS12 <file> SIGN_PASSWORD_FILE <file> [SIGN_TIME <unix time>]])
#
# Builds a setup executable <target> that carries the given files as its
# payload, in the order given. Each <input> is a path (the file keeps its own
# name) or NAME=PATH (installed as NAME); an <input> with a / before its
# first = is a path, so folders such as r=1 may lie on it. The first file
# must be named MAIN_EXE. Generator expressions such as $<TARGET_FILE:app>
# are allowed; list the targets that make the files under DEPENDS. LEVEL is
# mkpayload's --level: libdeflate's 1 to 12 (12 when not given), zlib, or
# zopfli, the smallest installer at some 50 times the packing time.
#
# The payload's "uninst.exe" is the project's uninstaller, built as the
# target <target>_uninstaller with the list of the payload's names, unless
# an input is evidently named "uninst.exe" already (uninst.exe=PATH, or a
# PATH whose last component is uninst.exe): then that file is the packager's
# own uninstaller. A generator expression names its file only at build
# time, so give a packager's own uninstaller as uninst.exe=$<TARGET_FILE:...>.
#
# On Windows the setup and the uninstaller it builds carry a manifest (run as
# administrator; Common Controls 6; supported Windows Vista to 11), an icon and
# a version resource:
#   ICON         the icon of both programs, an .ico file (default: the
#                project's own, ui/tidewell.ico); its images count against
#                the setup's size
#   VERSION      FILEVERSION, PRODUCTVERSION and their strings; one to four
#                numbers from 0 to 65535, missing ones are 0 (default 1.0.0.0)
#   COMPANY      CompanyName (default Tidewell)
#   COPYRIGHT    LegalCopyright (default "Copyright (C) " and the company)
#   DESCRIPTION  the setup's FileDescription (default "<app name> Setup")
#   UNINSTALL_DESCRIPTION  the uninstaller's (default "<app name> Uninstaller")
# ProductName is the application's name, SETUP_APP_NAME; InternalName and
# OriginalFilename are the program's file name. Texts are printable ASCII
# without " or \. The values are kept as the properties TIDEWELL_VERSION,
# TIDEWELL_COMPANY, TIDEWELL_COPYRIGHT, TIDEWELL_DESCRIPTION,
# TIDEWELL_UNINSTALL_DESCRIPTION and TIDEWELL_ICON (the icon's full path) of
# <target>, for checks of the built files.
#
# With SIGN_PKCS12 (a PKCS#12 file with the code-signing certificate and its
# key) and SIGN_PASSWORD_FILE (a file whose first line is its password),
# osslsigncode signs the uninstaller right after its link, before it is
# packed, so the installed uninst.exe is signed too, and then the linked
# setup. A packager's own uninst.exe is packed as given. The signing time is
# SIGN_TIME, else SOURCE_DATE_EPOCH from the build's environment, else the
# time of the build; a fixed one keeps the build reproducible. Each linker's
# output is kept in <target>_payload/unsigned/. A failed signing fails the
# build and removes the program, so that the next build links it again.
#
# Example, for a packager's own product:
#   tidewell_add_setup(acme_setup MAIN_EXE acme.exe VERSION 2.1 COMPANY "Acme Ltd"
#                      FILES ${CMAKE_SOURCE_DIR}/dist/acme.exe ${CMAKE_SOURCE_DIR}/dist/readme.txt)

# tidewell_use_config(<target> <main exe name> <application name>)
# Compiles the configuration record (config/setup_config.cpp) into <target>
# with the two names that the build gives it.
function(tidewell_use_config target main_exe app_name)
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/config/setup_config.cpp)
  target_compile_definitions(${target} PRIVATE SETUP_MAIN_EXE_NAME="${main_exe}"
                             SETUP_APP_NAME="${app_name}")
endfunction()

# Signs <target>'s program right after each link (cmake/SignExecutable.cmake),
# keeping the linker's output in <unsigned_dir>. A changed certificate or
# password file links and signs it again.
function(_tidewell_sign_after_link target unsigned_dir pkcs12 password_file time)
  set(script ${PROJECT_SOURCE_DIR}/cmake/SignExecutable.cmake)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DOSSLSIGNCODE=${SETUP_OSSLSIGNCODE} -DFILE=$<TARGET_FILE:${target}>
            -DUNSIGNED=${unsigned_dir}/$<TARGET_FILE_NAME:${target}> -DPKCS12=${pkcs12}
            -DPASSWORD_FILE=${password_file} -DTIME=${time} -P ${script}
    COMMENT "Signing $<TARGET_FILE_NAME:${target}>"
    VERBATIM)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${pkcs12} ${password_file} ${script})
endfunction()

# Starts a Windows program at loader/win_entry.cpp instead of the C
# runtime's startup code, which the programs do not need.
function(_tidewell_use_own_entry target)
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/loader/win_entry.cpp)
  # An ordinary object, not one optimised at link time: the linker takes the
  # entry point by its name, which link-time optimisation would drop.
  set_source_files_properties(${PROJECT_SOURCE_DIR}/loader/win_entry.cpp PROPERTIES
    COMPILE_OPTIONS -fno-lto)
  target_link_options(${target} PRIVATE -nostartfiles)
endfunction()

# Stops the configuration unless <value> is a text that a resource script
# and a C string can hold as it is: printable ASCII, without " or \.
function(_tidewell_check_text what value)
  if(NOT value MATCHES "^[ -~]+$" OR value MATCHES "[\"\\\\]")
    message(FATAL_ERROR "${what} \"${value}\" must be printable ASCII text without \" or \\")
  endif()
endfunction()

# Sets <out> to the full path of the icon file <file> (relative to the calling
# folder) after checking that a resource script can name it and that it is an
# icon file: reserved 0, type 1, at least one image.
function(_tidewell_check_icon what file out)
  get_filename_component(path "${file}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  if(NOT EXISTS "${path}" OR IS_DIRECTORY "${path}")
    message(FATAL_ERROR "${what}: no file ${path}")
  endif()
  if(path MATCHES "[\"\\]")
    message(FATAL_ERROR "${what}: the path ${path} must not hold \" or \\")
  endif()
  file(READ "${path}" header LIMIT 6 HEX)
  string(LENGTH "${header}" length)
  if(NOT length EQUAL 12 OR NOT header MATCHES "^00000100" OR header MATCHES "0000$")
    message(FATAL_ERROR "${what}: ${path} is not an icon (.ico) file")
  endif()
  set(${out} "${path}" PARENT_SCOPE)
endfunction()

# The programs' manifest as they carry it: ui/program.manifest without its
# comments and indentation, which Windows does not read and which would
# cost the setup a whole 512-byte block of its file. Sets <out> to its path.
function(_tidewell_compact_manifest out)
  set(source ${PROJECT_SOURCE_DIR}/ui/program.manifest)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  file(READ ${source} text)
  string(REGEX REPLACE "<!--[^>]*-->" "" text "${text}")
  string(REGEX REPLACE "[\r\n]+ *" " " text "${text}")
  string(REGEX REPLACE "> +<" "><" text "${text}")
  string(STRIP "${text}" text)
  file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/program.manifest CONTENT "${text}\n")
  set(${out} ${PROJECT_BINARY_DIR}/program.manifest PARENT_SCOPE)
endfunction()

# The files a program's resource script takes in, so that a changed manifest
# or icon compiles it again.
function(_tidewell_resource_depends script manifest icon)
  set_source_files_properties(${script} PROPERTIES OBJECT_DEPENDS "${manifest};${icon}")
endfunction()

# Sets <numbers> to the four parts of a version "a[.b[.c[.d]]]" joined with
# commas (FILEVERSION's form) and <text> to the same joined with dots.
function(_tidewell_parse_version what version numbers text)
  string(REPLACE "." ";" parts "${version}")
  list(LENGTH parts count)
  set(error "${what} \"${version}\" must be one to four numbers from 0 to 65535, separated by dots")
  if(NOT version MATCHES "^[0-9]+(\\.[0-9]+)*$" OR count GREATER 4)
    message(FATAL_ERROR "${error}")
  endif()
  set(values "")
  foreach(part IN LISTS parts)
    string(LENGTH "${part}" digits)
    if(digits GREATER 5)
      message(FATAL_ERROR "${error}")
    endif()
    math(EXPR value "${part}")
    if(value GREATER 65535)
      message(FATAL_ERROR "${error}")
    endif()
    list(APPEND values ${value})
  endforeach()
  while(count LESS 4)
    list(APPEND values 0)
    math(EXPR count "${count} + 1")
  endwhile()
  list(JOIN values "," joined_numbers)
  list(JOIN values "." joined_text)
  set(${numbers} "${joined_numbers}" PARENT_SCOPE)
  set(${text} "${joined_text}" PARENT_SCOPE)
endfunction()

# Splits a payload input as mkpayload does: NAME=PATH at the first = when no /
# comes before it, else the whole input is a path, named after its last
# component.
function(_tidewell_split_input input name_var path_var)
  string(FIND "${input}" "=" eq)
  set(name "")
  if(eq GREATER_EQUAL 0)
    string(SUBSTRING "${input}" 0 ${eq} name)
  endif()
  if(eq GREATER_EQUAL 0 AND NOT name MATCHES "/")
    math(EXPR start "${eq} + 1")
    string(SUBSTRING "${input}" ${start} -1 path)
  else()
    set(path "${input}")
    get_filename_component(name "${input}" NAME)
  endif()
  set(${name_var} "${name}" PARENT_SCOPE)
  set(${path_var} "${path}" PARENT_SCOPE)
endfunction()

function(tidewell_add_setup target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG ""
    "MAIN_EXE;LEVEL;VERSION;COMPANY;COPYRIGHT;DESCRIPTION;UNINSTALL_DESCRIPTION;ICON;SIGN_PKCS12;SIGN_PASSWORD_FILE;SIGN_TIME"
    "FILES;DEPENDS")
  if(NOT ARG_MAIN_EXE OR NOT ARG_FILES)
    message(FATAL_ERROR "tidewell_add_setup(${target}): MAIN_EXE and FILES are required")
  endif()
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "tidewell_add_setup(${target}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()

  set(level_option "")
  if(DEFINED ARG_LEVEL)
    if(NOT ARG_LEVEL MATCHES "^([1-9]|1[0-2]|zlib|zopfli)$")
      message(FATAL_ERROR "tidewell_add_setup(${target}): LEVEL \"${ARG_LEVEL}\" must be a number "
                          "from 1 to 12, zlib or zopfli")
    endif()
    set(level_option --level ${ARG_LEVEL})
  endif()

  # The version resource's values, checked here rather than left to the
  # resource compiler.
  if(NOT DEFINED ARG_VERSION)
    set(ARG_VERSION 1.0.0.0)
  endif()
  if(NOT DEFINED ARG_COMPANY)
    set(ARG_COMPANY "Tidewell")
  endif()
  if(NOT DEFINED ARG_COPYRIGHT)
    set(ARG_COPYRIGHT "Copyright (C) ${ARG_COMPANY}")
  endif()
  if(NOT DEFINED ARG_DESCRIPTION)
    set(ARG_DESCRIPTION "${SETUP_APP_NAME} Setup")
  endif()
  if(NOT DEFINED ARG_UNINSTALL_DESCRIPTION)
    set(ARG_UNINSTALL_DESCRIPTION "${SETUP_APP_NAME} Uninstaller")
  endif()
  _tidewell_check_text("SETUP_APP_NAME" "${SETUP_APP_NAME}")
  foreach(key COMPANY COPYRIGHT DESCRIPTION UNINSTALL_DESCRIPTION)
    _tidewell_check_text("tidewell_add_setup(${target}): ${key}" "${ARG_${key}}")
  endforeach()
  _tidewell_parse_version("tidewell_add_setup(${target}): VERSION" "${ARG_VERSION}"
                          info_version_numbers info_version)
  _tidewell_compact_manifest(info_manifest)
  if(NOT DEFINED ARG_ICON)
    set(ARG_ICON ${PROJECT_SOURCE_DIR}/ui/tidewell.ico)
  endif()
  _tidewell_check_icon("tidewell_add_setup(${target}): ICON" "${ARG_ICON}" info_icon)
  set(info_company "${ARG_COMPANY}")
  set(info_copyright "${ARG_COPYRIGHT}")
  set(info_product "${SETUP_APP_NAME}")

  # Signing, on Windows only: both files or neither, and a time in seconds.
  set(sign FALSE)
  if(ARG_SIGN_PKCS12 OR ARG_SIGN_PASSWORD_FILE OR ARG_SIGN_TIME)
    if(NOT ARG_SIGN_PKCS12 OR NOT ARG_SIGN_PASSWORD_FILE)
      message(FATAL_ERROR "tidewell_add_setup(${target}): SIGN_PKCS12 and SIGN_PASSWORD_FILE "
                          "go together")
    endif()
    get_filename_component(sign_pkcs12 "${ARG_SIGN_PKCS12}" ABSOLUTE)
    get_filename_component(sign_password "${ARG_SIGN_PASSWORD_FILE}" ABSOLUTE)
    foreach(file "${sign_pkcs12}" "${sign_password}")
      if(NOT EXISTS "${file}" OR IS_DIRECTORY "${file}")
        message(FATAL_ERROR "tidewell_add_setup(${target}): no file ${file} to sign with")
      endif()
    endforeach()
    if(NOT "${ARG_SIGN_TIME}" MATCHES "^[0-9]*$")
      message(FATAL_ERROR "tidewell_add_setup(${target}): SIGN_TIME \"${ARG_SIGN_TIME}\" must be "
                          "a time in seconds since 1970")
    endif()
    if(SETUP_PLATFORM STREQUAL "win")
      find_program(SETUP_OSSLSIGNCODE osslsigncode REQUIRED)
      set(sign TRUE)
    endif()
  endif()

  set(gen ${CMAKE_CURRENT_BINARY_DIR}/${target}_payload)
  set(blob ${gen}/payload.bin)
  set(asm ${gen}/payload_blob.S)
  set(table ${gen}/payload_table.cpp)
  file(MAKE_DIRECTORY ${gen})

  set(file_deps "")
  set(own_uninstaller FALSE)
  foreach(input IN LISTS ARG_FILES)
    _tidewell_split_input("${input}" name path)
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
    set(uninstaller_sources ${PROJECT_SOURCE_DIR}/uninstall/uninstall_main.cpp ${names})
    if(SETUP_PLATFORM STREQUAL "win")
      set(info_internal_name uninst)
      set(info_description "${ARG_UNINSTALL_DESCRIPTION}")
      configure_file(${PROJECT_SOURCE_DIR}/ui/program_info.rc.in ${gen}/uninst_info.rc @ONLY)
      _tidewell_resource_depends(${gen}/uninst_info.rc "${info_manifest}" "${info_icon}")
      add_executable(${uninstaller} WIN32 ${uninstaller_sources} ${gen}/uninst_info.rc)
      _tidewell_use_own_entry(${uninstaller})
    else()
      add_executable(${uninstaller} ${uninstaller_sources})
      target_link_libraries(${uninstaller} PRIVATE setup_posix_main)
    endif()
    set_target_properties(${uninstaller} PROPERTIES
      OUTPUT_NAME uninst SUFFIX ".exe" RUNTIME_OUTPUT_DIRECTORY ${gen})
    tidewell_use_config(${uninstaller} ${ARG_MAIN_EXE} "${SETUP_APP_NAME}")
    target_link_libraries(${uninstaller} PRIVATE uninstall_program)
    if(sign)
      _tidewell_sign_after_link(${uninstaller} ${gen}/unsigned "${sign_pkcs12}" "${sign_password}"
                                "${ARG_SIGN_TIME}")
    endif()
    list(APPEND files uninst.exe=$<TARGET_FILE:${uninstaller}>)
    list(APPEND file_deps $<TARGET_FILE:${uninstaller}>)
    list(APPEND depends ${uninstaller})
  endif()

  add_custom_command(
    OUTPUT ${blob} ${asm} ${table}
    COMMAND mkpayload --main-exe ${ARG_MAIN_EXE} --blob ${blob} --asm ${asm} --table ${table}
            ${level_option} ${files}
    DEPENDS mkpayload ${file_deps} ${depends}
    COMMENT "Packing the payload of ${target}"
    VERBATIM)
  set_source_files_properties(${asm} PROPERTIES OBJECT_DEPENDS ${blob})

  # The version and publisher that the setup writes into the product's
  # entry in Apps & features (desktop/uninstall_entry.cpp).
  file(CONFIGURE OUTPUT ${gen}/product_info.cpp
       CONTENT "extern const char kProductVersion[] = \"${info_version}\";\n\
extern const char kProductPublisher[] = \"${ARG_COMPANY}\";\n")
  set(sources ${PROJECT_SOURCE_DIR}/setup/setup_main.cpp ${asm} ${table} ${gen}/product_info.cpp)
  if(SETUP_PLATFORM STREQUAL "win")
    set(info_internal_name ${target})
    set(info_description "${ARG_DESCRIPTION}")
    configure_file(${PROJECT_SOURCE_DIR}/ui/program_info.rc.in ${gen}/${target}_info.rc @ONLY)
    _tidewell_resource_depends(${gen}/${target}_info.rc "${info_manifest}" "${info_icon}")
    list(APPEND sources ${PROJECT_SOURCE_DIR}/ui/setup.rc ${gen}/${target}_info.rc)
    add_executable(${target} WIN32 ${sources})
    _tidewell_use_own_entry(${target})
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${target} SUFFIX ".exe")
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/ui)
  else()
    add_executable(${target} ${sources})
    target_link_libraries(${target} PRIVATE setup_posix_main)
  endif()
  tidewell_use_config(${target} ${ARG_MAIN_EXE} "${SETUP_APP_NAME}")
  target_link_libraries(${target} PRIVATE setup_program)
  if(sign)
    _tidewell_sign_after_link(${target} ${gen}/unsigned "${sign_pkcs12}" "${sign_password}"
                              "${ARG_SIGN_TIME}")
  endif()
  set_target_properties(${target} PROPERTIES
    TIDEWELL_VERSION "${info_version}" TIDEWELL_COMPANY "${ARG_COMPANY}"
    TIDEWELL_COPYRIGHT "${ARG_COPYRIGHT}" TIDEWELL_DESCRIPTION "${ARG_DESCRIPTION}"
    TIDEWELL_UNINSTALL_DESCRIPTION "${ARG_UNINSTALL_DESCRIPTION}" TIDEWELL_ICON "${info_icon}")
endfunction()
