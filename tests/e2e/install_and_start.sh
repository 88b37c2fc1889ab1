#!/usr/bin/env bash
# A full installation into the Program Files default, answered Yes to the
# Startup question and to starting the product.
source "$(dirname "$0")/lib.sh"
DIR=$SETUP_DRIVE_C/Program\ Files/Tidewell
mkdir -p "$DIR"

run_setup "" y y
expect_eq "exit code" 0 "$STATUS"
expect_output "Setup Progress"
expect_output "Percent Complete: 100%"
expect_output "Any copies of Tidewell currently running must now be shut down. This may take a few seconds."
expect_output "Tidewell has been successfully installed on your system.Would you like to start Tidewell now?"
expect_no_output "Choose a Data Directory"
expect_same_file "$PRODUCT_MAIN" "$DIR/tw32.exe"
expect_same_file "$PRODUCT_UNINST" "$DIR/uninst.exe"
expect_eq "profile entry" 'C:\Program Files\Tidewell' "$(profile_value)"

if wait_for_file "$TIDEWELL_PRODUCT_LOG" 10; then
  expect_eq "product started in the data directory" "Tidewell started in $DIR" "$(head -n1 "$TIDEWELL_PRODUCT_LOG")"
else
  fail "the product was not started"
fi

# Program Manager's items became desktop entries that start the installed
# program from the data directory.
MENU=$XDG_DATA_HOME/applications/Tidewell-Tidewell.desktop
UNINSTALL=$XDG_DATA_HOME/applications/Tidewell-Uninstall.desktop
AUTOSTART=$XDG_CONFIG_HOME/autostart/Tidewell.desktop
for entry in "$MENU" "$UNINSTALL" "$AUTOSTART"; do
  if [ -f "$entry" ]; then pass "$entry exists"; else fail "$entry is missing"; fi
done
expect_eq "menu entry's directory" "Path=$DIR" "$(grep '^Path=' "$MENU")"
expect_eq "autostart entry's directory" "Path=$DIR" "$(grep '^Path=' "$AUTOSTART")"
grep -q "^Exec=.*Program Files/Tidewell/uninst.exe" "$UNINSTALL" && pass "uninstall entry runs uninst.exe" ||
  fail "uninstall entry: $(grep '^Exec=' "$UNINSTALL")"

# Run the autostart entry the way a session would: its Exec in its Path.
rm -f "$TIDEWELL_PRODUCT_LOG"
exec_line=$(sed -n 's/^Exec=//p' "$AUTOSTART")
(cd "$DIR" && eval "$exec_line")
expect_eq "autostart entry starts the product" "Tidewell started in $DIR" "$(head -n1 "$TIDEWELL_PRODUCT_LOG" 2>/dev/null)"

# Answered No: nothing is started, and the Startup entry is not made.
rm -rf "$XDG_CONFIG_HOME/autostart" "$TIDEWELL_PRODUCT_LOG"
run_setup "" n n
expect_eq "exit code" 0 "$STATUS"
expect_missing "$AUTOSTART"
sleep 0.5
expect_missing "$TIDEWELL_PRODUCT_LOG"
finish
