#!/usr/bin/env bash
# Checks that a program (setup.exe, uninst.exe) is a GUI program whose import
# table names only KERNEL32.dll, USER32.dll and msvcrt.dll, and that it can be
# loaded at any address (ASLR): marked DYNAMIC_BASE and carrying its base
# relocations.
set -u
objdump=$1
exe=$2
headers=$("$objdump" -p "$exe") || { echo "FAIL: cannot read $exe"; exit 1; }

subsystem=$(printf '%s\n' "$headers" | awk '/^Subsystem/ {print $2; exit}')
echo "subsystem: $subsystem"
if [ "$subsystem" != "00000002" ]; then
  echo "FAIL: expected the Windows GUI subsystem (00000002), got $subsystem"
  exit 1
fi

relocations=$(printf '%s\n' "$headers" | awk '/Base Relocation Directory/ {print $4; exit}')
echo "base relocations: ${relocations:-none} bytes (hex)"
if ! printf '%s\n' "$headers" | grep -qw DYNAMIC_BASE || [ -z "$relocations" ] ||
   [ "$relocations" = 00000000 ] || [ "$relocations" = 0000000000000000 ]; then
  echo "FAIL: expected DYNAMIC_BASE and a base relocation table"
  exit 1
fi

dlls=$(printf '%s\n' "$headers" | awk '/DLL Name:/ {print $3}' | sort -u)
echo "imports:" $dlls
status=0
for dll in $dlls; do
  case "$dll" in
    KERNEL32.dll|USER32.dll|msvcrt.dll) ;;
    *) echo "FAIL: unexpected import $dll"; status=1 ;;
  esac
done
for needed in KERNEL32.dll USER32.dll msvcrt.dll; do
  printf '%s\n' "$dlls" | grep -qx "$needed" || { echo "FAIL: $needed is not imported"; status=1; }
done
[ $status -eq 0 ] && echo "PASS: relocatable (DYNAMIC_BASE), imports are KERNEL32.dll, USER32.dll and msvcrt.dll only"
exit $status
