#!/usr/bin/env bash
# Directory names typed as a user would: a bare name lands in the directory
# the setup was started in and is recorded by its full path, so the desktop
# entries start the installed program from anywhere; a rooted name lands on
# drive C:, never on the host's real /.
source "$(dirname "$0")/lib.sh"
START_DIR=$SETUP_DRIVE_C/downloads
DIR=$START_DIR/Tidewell
mkdir -p "$START_DIR"

run_setup Tidewell "" y y
expect_eq "exit code" 0 "$STATUS"
expect_same_file "$PRODUCT_MAIN" "$DIR/tw32.exe"
expect_same_file "$PRODUCT_UNINST" "$DIR/uninst.exe"
expect_eq "profile entry" 'C:\downloads\Tidewell' "$(profile_value)"
if wait_for_file "$TIDEWELL_PRODUCT_LOG" 10; then
  expect_eq "product started in the data directory" "Tidewell started in $DIR" "$(head -n1 "$TIDEWELL_PRODUCT_LOG")"
else
  fail "the product was not started"
fi

# Each entry's command, run from / rather than from its Path, starts the
# installed program.
for entry in "$XDG_DATA_HOME/applications/Tidewell-Tidewell.desktop" "$XDG_CONFIG_HOME/autostart/Tidewell.desktop"; do
  expect_eq "directory of $(basename "$entry")" "Path=$DIR" "$(grep '^Path=' "$entry" 2>/dev/null)"
  rm -f "$TIDEWELL_PRODUCT_LOG"
  exec_line=$(sed -n 's/^Exec=//p' "$entry" 2>/dev/null)
  (cd / && eval "$exec_line")
  expect_eq "$(basename "$entry") starts the product" "Tidewell started in /" "$(head -n1 "$TIDEWELL_PRODUCT_LOG" 2>/dev/null)"
done

# A rooted name without a drive, started outside every drive: drive C:.
rm -f "$INI"
START_DIR=$SCRATCH
run_setup '\Tidewell' "" n n
expect_eq "exit code" 0 "$STATUS"
expect_same_file "$PRODUCT_MAIN" "$SETUP_DRIVE_C/Tidewell/tw32.exe"
expect_eq "profile entry" 'C:\Tidewell' "$(profile_value)"
finish
