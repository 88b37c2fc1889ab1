#!/usr/bin/env bash
# The default cannot be entered: the user types a directory at the dialog.
# A second run finds it through the profile and asks nothing about it.
source "$(dirname "$0")/lib.sh"
mkdir -p "$SETUP_DRIVE_C/apps"

run_setup 'C:\apps\tidewell' "" n n
expect_eq "exit code" 0 "$STATUS"
expect_output "Choose a Data Directory"
expect_output "This application requires a directory in which to store its data files."
expect_output 'C:\Tidewell'
expect_same_file "$PRODUCT_MAIN" "$SETUP_DRIVE_C/apps/tidewell/tw32.exe"
expect_same_file "$PRODUCT_UNINST" "$SETUP_DRIVE_C/apps/tidewell/uninst.exe"
expect_eq "profile entry" 'C:\apps\tidewell' "$(profile_value)"

run_setup "" n n
expect_eq "exit code" 0 "$STATUS"
expect_no_output "Choose a Data Directory"
expect_no_output "Write Data to Existing Directory?"
expect_output "Installation Successful"

# An existing directory needs a Yes; No keeps the dialog open.
rm -f "$INI"
mkdir -p "$SETUP_DRIVE_C/existing"
run_setup 'C:\existing' n 'C:\existing' y "" n n
expect_eq "exit code" 0 "$STATUS"
expect_eq "questions about the existing directory" 2 "$(grep -c 'Write Data to Existing Directory?' <<<"$OUT")"
expect_same_file "$PRODUCT_MAIN" "$SETUP_DRIVE_C/existing/tw32.exe"
finish
