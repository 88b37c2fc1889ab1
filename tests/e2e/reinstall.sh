#!/usr/bin/env bash
# Installing over a working installation: a damaged setup program touches
# nothing, and a reinstallation killed at any point is finished by the next
# run with nothing of it left behind.
source "$(dirname "$0")/lib.sh"
DIR=$SETUP_DRIVE_C/Program\ Files/Tidewell
mkdir -p "$DIR"

# expect_installed WHAT: the product's files are in place, whole, and
# nothing of a run's staging is left.
expect_installed() {
  expect_same_file "$PRODUCT_MAIN" "$DIR/tw32.exe"
  expect_same_file "$PRODUCT_UNINST" "$DIR/uninst.exe"
  expect_missing "$DIR/~setup.tmp"
}

run_setup "" n n
expect_eq "first installation: exit code" 0 "$STATUS"
expect_installed

# The same setup program with one byte of its payload flipped.
DAMAGED=$SCRATCH/damaged-setup
python3 "$(dirname "$0")/../support/damage_setup.py" "$SETUP_BIN" "$PAYLOAD_BLOB" "$DAMAGED"
chmod +x "$DAMAGED"
OUT=$(printf '\n' | (cd "$SCRATCH" && "$DAMAGED") 2>&1)
STATUS=$?
expect_eq "damaged setup: exit code" 0 "$STATUS"
expect_output "The setup program is damaged"
expect_no_output "Closing Running Copies"
expect_installed
rm -f "$TIDEWELL_PRODUCT_LOG"
(cd "$DIR" && "$DIR/tw32.exe")
expect_eq "the previous installation starts" "Tidewell started in $DIR" \
  "$(head -n1 "$TIDEWELL_PRODUCT_LOG" 2>/dev/null)"

# A reinstallation killed while it writes its files, half way through the
# swap, and between renaming an installed file aside and moving the new one
# in (the second try to move it in); each time the next run completes the
# installation.
for point in "SetDlgItemTextA|#1|1002|Percent Complete: 50%:1" \
             "MoveFileExA|uninst.exe|:1" \
             "MoveFileExA|~setup.tmp/0/uninst.exe.new|uninst.exe|:2"; do
  OUT=$(printf '\n\n\n' | (cd "$SCRATCH" && SETUP_KILL_AT_EVENT=${point%:*} \
    SETUP_KILL_AT_COUNT=${point##*:} "$SETUP_BIN") 2>&1)
  STATUS=$?
  expect_eq "killed at $point: exit status" 137 "$STATUS"
  run_setup "" n n
  expect_eq "rerun after $point: exit code" 0 "$STATUS"
  expect_output "Tidewell has been successfully installed on your system."
  expect_installed
done
finish
