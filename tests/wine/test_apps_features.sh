#!/usr/bin/env bash
# The product in Wine's list of installed programs (Apps & features): after
# a setup the entry names the product, its version and publisher, the
# installation and its uninstaller, and "Yes" to the last question starts
# the product through the desktop's Explorer, in the data directory. A
# second installation elsewhere takes the entry over; the first one's
# uninstaller leaves it. Removing the product from Wine's uninstaller runs
# uninst.exe through its usual questions, and the entry is gone after it.
set -u
. "$(dirname "$0")/lib.sh"
tw_begin apps_features

clean_product_state
"$TW_WINE" reg delete "$TW_UNINSTALL_KEY" /f >/dev/null 2>&1

# install DIRECTORY START_KEY: a setup into an existing DIRECTORY, without
# a Startup item; START_KEY answers the offer to start the product.
install() {
  fresh_dir "$1" >/dev/null
  write_profile '[Options]' "dataDir=$1"
  run_setup
  answer "Closing Running Copies" Return
  answer "Add To Startup Group" n settle
  answer "Installation Successful" "$2" settle
  wait_setup
  check_eq "exit code of setup.exe" 0 "$TW_SETUP_RC"
}

old_win='C:\tw-apps-old'
new_win='C:\tw-apps-new'
install "$old_win" y
check_eq "the product's parent" "explorer.exe" "$(parent_log_field parent)"
check_eq "the product's directory" "$old_win" "$(parent_log_field directory)"
listed=$(apps_listed)
echo "uninstaller --list:"
sed 's/^/  /' <<<"$listed"
check_eq "Tidewell in uninstaller --list" "Tidewell|||Tidewell" "$(grep -x 'Tidewell|||Tidewell' <<<"$listed")"
check_eq "DisplayVersion" "$TW_VERSION" "$(uninstall_value DisplayVersion)"
check_eq "Publisher" "$TW_COMPANY" "$(uninstall_value Publisher)"
check_eq "DisplayIcon" "$old_win\\tw32.exe" "$(uninstall_value DisplayIcon)"
check_eq "UninstallString" "\"$old_win\\uninst.exe\"" "$(uninstall_value UninstallString)"
size=$(( ($(stat -c %s "$TW_TW32") + $(stat -c %s "$TW_UNINST") + 1023) / 1024 ))
check_eq "EstimatedSize" "$(printf '0x%x' "$size")" "$(uninstall_value EstimatedSize)"
check_eq "NoModify, NoRepair" "0x1 0x1" "$(uninstall_value NoModify) $(uninstall_value NoRepair)"
tw_stop_wine

install "$new_win" n
check_eq "InstallLocation after a second installation" "$new_win" "$(uninstall_value InstallLocation)"
echo "starting $old_win\\uninst.exe"
"$TW_WINE" "$old_win\\uninst.exe" >"$TW_LOG_DIR/old-uninst.out" 2>&1 &
TW_SETUP_PID=$!
finish_uninstall "Tidewell has been removed from your computer."
check_eq "InstallLocation after the old installation's uninstaller" "$new_win" \
  "$(uninstall_value InstallLocation)"
tw_stop_wine

echo "starting uninstaller --remove Tidewell"
"$TW_WINE" uninstaller --remove Tidewell >"$TW_LOG_DIR/wine-uninstaller.out" 2>&1 &
TW_SETUP_PID=$!
expect_window "Uninstall Tidewell" >/dev/null || tw_fatal "no question from the uninstaller Wine started"
check_box_text "the question" "Uninstall Tidewell" \
  "Are you sure you want to remove Tidewell and all of its components from $new_win?"
finish_uninstall "Tidewell has been removed from your computer."
check_absent "the installed uninstaller" "$(unix_path "$new_win")/uninst.exe"
check_eq "Tidewell in uninstaller --list" "" "$(apps_listed | grep -x 'Tidewell|||Tidewell')"
check_eq "DisplayName" "" "$(uninstall_value DisplayName)"

tw_end
