#!/usr/bin/env bash
# Install, then uninstall with the installed uninst.exe: first through the
# Uninstall menu entry with nothing else in the directory, then directly with
# a file of the user's in it.
source "$(dirname "$0")/lib.sh"
DIR=$SETUP_DRIVE_C/Program\ Files/Tidewell
MENU=$XDG_DATA_HOME/applications/Tidewell-Tidewell.desktop
UNINSTALL=$XDG_DATA_HOME/applications/Tidewell-Uninstall.desktop
AUTOSTART=$XDG_CONFIG_HOME/autostart/Tidewell.desktop
export TMPDIR=$SCRATCH/tmp
mkdir -p "$DIR" "$TMPDIR"

# run_uninstall COMMAND ANSWER...: runs the uninstaller in the data directory,
# as the menu entry does. After a Yes it waits for the copy it hands over to
# to end: its closing message and the removal of its own temporary file.
run_uninstall() {
  local command=$1
  shift
  printf '%s\n' "$@" | (cd "$DIR" && eval "$command") >"$SCRATCH/uninstall.out" 2>&1
  STATUS=$?
  local deadline=$((SECONDS + 30))
  until [ "$1" != y ] || grep -q "Uninstall Complete" "$SCRATCH/uninstall.out" && [ -z "$(ls -A "$TMPDIR")" ]; do
    [ $SECONDS -ge "$deadline" ] && { fail "the uninstaller's copy did not finish within 30 s"; break; }
    sleep 0.1
  done
  OUT=$(cat "$SCRATCH/uninstall.out")
}

run_setup "" y n
printf '[Window]\r\nx=1\r\n' >>"$INI"
expect_same_file "$PRODUCT_UNINST" "$DIR/uninst.exe"

run_uninstall "$(sed -n 's/^Exec=//p' "$UNINSTALL")" y ""
expect_eq "exit code" 0 "$STATUS"
expect_output "Are you sure you want to remove Tidewell and all of its components from C:\\Program Files\\Tidewell?"
expect_output "Any copies of Tidewell currently running must now be shut down."
expect_output "Tidewell has been removed from your computer."
expect_missing "$DIR"
for entry in "$MENU" "$UNINSTALL" "$AUTOSTART"; do expect_missing "$entry"; done
expect_eq "profile after uninstalling" "[Options]|[Window]|x=1" "$(tr -d '\r' <"$INI" | paste -sd '|')"
expect_eq "temporary files left" "" "$(ls -A "$TMPDIR")"

# A file of the user's keeps the directory; the payload files still go.
mkdir -p "$DIR"
run_setup "" n n
echo "my notes" >"$DIR/notes.txt"
run_uninstall '"$DIR/uninst.exe"' y ""
expect_output "Tidewell has been removed from your computer, but some files in C:\\Program Files\\Tidewell could not be removed. You may delete them yourself."
expect_eq "files left in the data directory" "notes.txt" "$(ls -A "$DIR" 2>/dev/null)"
expect_eq "the user's file" "my notes" "$(cat "$DIR/notes.txt" 2>/dev/null)"
expect_eq "profile entry" "" "$(profile_value)"

# No keeps everything.
run_setup "" n n
run_uninstall '"$DIR/uninst.exe"' n
expect_eq "files after No" "notes.txt tw32.exe uninst.exe" "$(ls "$DIR" | paste -sd ' ')"
expect_eq "profile entry after No" 'C:\Program Files\Tidewell' "$(profile_value)"
finish
