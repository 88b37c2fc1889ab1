#!/usr/bin/env bash
# Installing over a working installation: a damaged setup program touches
# nothing. (A reinstallation killed at any point: crash_points.sh.)
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

finish
