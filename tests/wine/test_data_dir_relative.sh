#!/usr/bin/env bash
# Directory names typed as a user would. A bare name lands in the folder the
# setup was started from (its current directory while the dialog runs) and
# is recorded and linked by its full path. An existing folder typed with a
# trailing backslash is an existing folder: it gets the existing-folder
# question, not the refusal.
set -u
. "$(dirname "$0")/lib.sh"
tw_begin data_dir_relative

# ---- a bare name, typed in a setup started from C:\tw-start
clean_product_state
start_dir=$(fresh_dir 'C:\tw-start')
data_win='C:\tw-start\Tidewell'
data_dir=$(unix_path "$data_win")

start_window_log setup.exe
cd "$start_dir" || tw_fatal "cannot enter $start_dir"
run_setup
cd - >/dev/null || tw_fatal "cannot return to the previous folder"
dialog=$(expect_window "Choose a Data Directory") || tw_fatal "the data directory dialog did not show"
fill_dir_field "$dialog" 'Tidewell'
press "$dialog" Return
wait_gone "$dialog" "$TW_GONE_DEADLINE" || tw_fatal "the dialog did not close after a new folder name"
tw_ok "the dialog closed after a bare new folder name"
finish_install y
stop_window_log

check_eq "exit code of setup.exe" 0 "$TW_SETUP_RC"
check_eq "setup windows in the order they showed" \
  "Choose a Data Directory > Setup Progress > Closing Running Copies > Add To Startup Group > Installation Successful" \
  "$(windows_seen)"
check_eq "[Options] dataDir in tidewell.ini" "$data_win" "$(ini_get "$(profile_path)" Options dataDir)"
check_file_same "installed main executable" "$TW_TW32" "$data_dir/tw32.exe"
check_file_same "installed uninstaller" "$TW_UNINST" "$data_dir/uninst.exe"
check_link "Start Menu item Tidewell" "$TW_PROGRAMS/Tidewell/Tidewell.lnk" "$data_win\\tw32.exe" "$data_win"
check_link "Start Menu item Uninstall" "$TW_PROGRAMS/Tidewell/Uninstall.lnk" "$data_win\\uninst.exe" "$data_win"
startup_link=$(find_ci "$(startup_dir)" "Tidewell.lnk") || startup_link="$(startup_dir)/Tidewell.lnk"
check_link "StartUp item Tidewell" "$startup_link" "$data_win\\tw32.exe" "$data_win"

# ---- an existing folder typed with a trailing backslash
clean_product_state
existing_win='C:\tw-existing\'
existing_dir=$(fresh_dir 'C:\tw-existing')

start_window_log setup.exe
run_setup
dialog=$(expect_window "Choose a Data Directory") || tw_fatal "the data directory dialog did not show"
fill_dir_field "$dialog" "$existing_win"
press "$dialog" Return
answer "Write Data to Existing Directory?" y
wait_gone "$dialog" "$TW_GONE_DEADLINE" || tw_fatal "the dialog did not close after Yes"
finish_install n
stop_window_log

check_eq "exit code of setup.exe" 0 "$TW_SETUP_RC"
check_eq "setup windows in the order they showed" \
  "Choose a Data Directory > Write Data to Existing Directory? > Setup Progress > Closing Running Copies > Add To Startup Group > Installation Successful" \
  "$(windows_seen)"
check_eq "[Options] dataDir in tidewell.ini" "$existing_win" "$(ini_get "$(profile_path)" Options dataDir)"
check_file_same "installed main executable" "$TW_TW32" "$existing_dir/tw32.exe"
check_file_same "installed uninstaller" "$TW_UNINST" "$existing_dir/uninst.exe"

tw_end
