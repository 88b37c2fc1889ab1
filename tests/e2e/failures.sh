#!/usr/bin/env bash
# The ways a run can end without installing: the user gives up, a file
# cannot be created, the disk is full. None leaves anything of its own.
source "$(dirname "$0")/lib.sh"
DIR=$SETUP_DRIVE_C/Program\ Files/Tidewell

# Cancel at the dialog.
run_setup ":cancel"
expect_eq "exit code" 0 "$STATUS"
expect_output "Shutting Down"
expect_output "The application will not be installed at this time.If you decide to install the application later, just launch this program again to complete the installation process."
expect_no_output "Setup Progress"
expect_no_output "Closing Running Copies"
expect_missing "$INI"

# A directory named uninst.exe blocks the second file.
mkdir -p "$DIR/uninst.exe"
run_setup "" ""
expect_eq "exit code" 0 "$STATUS"
expect_output "Tidewell Installation Failed"
expect_output "The application was not able to create one of its component files."
expect_missing "$DIR/tw32.exe"
expect_missing "$DIR/~setup.tmp"
expect_no_output "Installation Successful"
expect_eq "profile entry from the settled directory" 'C:\Program Files\Tidewell' "$(profile_value)"

# A full disk: no file may grow past 40 KiB (the signal that would end the
# program is ignored, so the write fails as on a full disk).
rmdir "$DIR/uninst.exe"
OUT=$(printf '\n\n' | (cd "$SCRATCH" && trap '' XFSZ && ulimit -f 40 && "$SETUP_BIN") 2>&1)
STATUS=$?
expect_eq "exit code" 0 "$STATUS"
expect_output "The application was unable to finish writing a file to disk."
expect_missing "$DIR/tw32.exe"
expect_missing "$DIR/uninst.exe"
expect_missing "$DIR/~setup.tmp"
finish
