#!/usr/bin/env bash
# The Startup question answered No: the product's own group gets its two
# items, the StartUp folder gets none. The profile names an existing
# folder, so no dialog is shown.
set -u
. "$(dirname "$0")/lib.sh"
tw_begin startup_declined

clean_product_state
data_win='C:\tw-nostartup'
data_dir=$(fresh_dir "$data_win")
write_profile '[Options]' "dataDir=$data_win"

start_window_log setup.exe
run_setup
finish_install n
stop_window_log
check_eq "exit code of setup.exe" 0 "$TW_SETUP_RC"
check_eq "setup windows in the order they showed" \
  "Setup Progress > Closing Running Copies > Add To Startup Group > Installation Successful" \
  "$(windows_seen)"

check_file_same "installed main executable" "$TW_TW32" "$data_dir/tw32.exe"
check_file_same "installed uninstaller" "$TW_UNINST" "$data_dir/uninst.exe"
check_link "Start Menu item Tidewell" "$TW_PROGRAMS/Tidewell/Tidewell.lnk" "$data_win\\tw32.exe" "$data_win"
check_link "Start Menu item Uninstall" "$TW_PROGRAMS/Tidewell/Uninstall.lnk" "$data_win\\uninst.exe" "$data_win"
check_eq "links in the StartUp folder ($(startup_dir))" "" "$(ls "$(startup_dir)" | paste -sd ' ')"
check_eq "[Options] dataDir in tidewell.ini" "$data_win" "$(ini_get "$(profile_path)" Options dataDir)"

tw_end
