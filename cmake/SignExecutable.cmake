# Signs a freshly linked Windows program in place with osslsigncode (Authenticode,
# SHA-256). The build runs it after the link of each program that
# tidewell_add_setup signs:
#   cmake -DOSSLSIGNCODE=<tool> -DFILE=<program> -DUNSIGNED=<copy> -DPKCS12=<file>
#         -DPASSWORD_FILE=<file> [-DTIME=<unix time>] -P SignExecutable.cmake
# The signing time is TIME, else SOURCE_DATE_EPOCH from the build's
# environment, else now; a fixed time gives the same signed bytes on every
# build. The linker's output is kept as UNSIGNED. When signing fails the
# program is removed: the build fails, and the next one links and signs it
# again instead of taking an unsigned file as up to date.
foreach(name OSSLSIGNCODE FILE UNSIGNED PKCS12 PASSWORD_FILE)
  if(NOT ${name})
    message(FATAL_ERROR "SignExecutable.cmake: ${name} is not set")
  endif()
endforeach()

set(time_option "")
if(NOT "${TIME}" STREQUAL "")
  set(time_option -time ${TIME})
elseif(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(time_option -time $ENV{SOURCE_DATE_EPOCH})
endif()

set(signed "${FILE}.signing")
file(REMOVE "${signed}")
execute_process(
  COMMAND "${OSSLSIGNCODE}" sign -pkcs12 "${PKCS12}" -readpass "${PASSWORD_FILE}" -h sha256
          ${time_option} -in "${FILE}" -out "${signed}"
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT EXISTS "${signed}")
  file(REMOVE "${FILE}" "${signed}")
  message(FATAL_ERROR "Signing ${FILE} failed (${result}); the unsigned file is removed.\n${output}")
endif()

get_filename_component(unsigned_dir "${UNSIGNED}" DIRECTORY)
file(MAKE_DIRECTORY "${unsigned_dir}")
file(RENAME "${FILE}" "${UNSIGNED}")
file(RENAME "${signed}" "${FILE}")
# osslsigncode writes its output without execute bits; the linker's had them.
file(CHMOD "${FILE}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                      WORLD_READ WORLD_EXECUTE)
