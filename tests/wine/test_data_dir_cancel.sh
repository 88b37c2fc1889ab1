#!/usr/bin/env bash
# Cancel in the data directory dialog (Escape): two notices, exit code 0,
# and nothing written: no profile, no folder, no Start Menu group.
set -u
. "$(dirname "$0")/lib.sh"
tw_begin data_dir_cancel

clean_product_state
start_window_log setup.exe
run_setup
dialog=$(expect_window "Choose a Data Directory") || tw_fatal "the data directory dialog did not show"
press "$dialog" Escape
answer "Shutting Down" Return
answer "Application Not Installed" Return
wait_setup
stop_window_log

check_eq "exit code of setup.exe" 0 "$TW_SETUP_RC"
check_eq "setup windows in the order they showed" \
  "Choose a Data Directory > Shutting Down > Application Not Installed" "$(windows_seen)"
check_absent "profile" "$(profile_path)"
check_absent "proposed data folder" "$TW_USER_DIR/Tidewell"
check_absent "default data folder" "$TW_PREFIX/drive_c/Program Files/Tidewell"
check_absent "Start Menu group" "$TW_PROGRAMS/Tidewell"
check_eq "links in the StartUp folder" "" "$(ls "$(startup_dir)" | paste -sd ' ')"

tw_end
