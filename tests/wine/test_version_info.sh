#!/usr/bin/env bash
# The version resources of setup.exe and uninst.exe, read back through
# Windows' own GetFileVersionInfoA and VerQueryValueA (file_version.exe):
# the strings of the table the Translation entry names are the configured
# ones, and the numeric versions are the string versions.
set -u
. "$(dirname "$0")/lib.sh"
tw_begin version_info

for program in "setup.exe|$TW_SETUP|$TW_SETUP_DESCRIPTION" "uninst.exe|$TW_UNINST|$TW_UNINSTALL_DESCRIPTION"; do
  IFS='|' read -r name path description <<<"$program"
  # Drive Z: is the host's root folder in a Wine prefix.
  info=$("$TW_WINE" "$TW_FILE_VERSION" "Z:${path//\//\\}" 2>/dev/null | tr -d '\r')
  echo "$name as Windows reads it:"
  sed 's/^/  /' <<<"$info"
  while IFS='|' read -r key expected; do
    check_eq "$name $key" "$expected" "$(sed -n "s/^$key=//p" <<<"$info")"
  done <<EXPECTED
FILEVERSION|$TW_VERSION
PRODUCTVERSION|$TW_VERSION
Translation|0409 04b0
CompanyName|$TW_COMPANY
FileDescription|$description
FileVersion|$TW_VERSION
InternalName|${name%.exe}
OriginalFilename|$name
ProductName|$TW_PRODUCT
ProductVersion|$TW_VERSION
LegalCopyright|$TW_COPYRIGHT
EXPECTED
done

tw_end
