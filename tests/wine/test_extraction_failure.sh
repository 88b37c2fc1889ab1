#!/usr/bin/env bash
# A failed extraction: a folder named uninst.exe in the data directory
# keeps the second payload file from taking its place, which the setup sees
# before it writes anything. The failure message shows while "Setup
# Progress" is still open; nothing is written, nothing is registered, and
# the exit code is 0.
set -u
. "$(dirname "$0")/lib.sh"
tw_begin extraction_failure

clean_product_state
data_win='C:\tw-blocked'
data_dir=$(fresh_dir "$data_win")
mkdir "$data_dir/uninst.exe"
write_profile '[Options]' "dataDir=$data_win"

start_window_log setup.exe
run_setup
answer "Closing Running Copies" Return
failure=$(expect_window "Tidewell Installation Failed") || tw_fatal "no failure message"
if [ -n "$(find_window "Setup Progress")" ]; then
  tw_ok "\"Setup Progress\" is still shown with the failure message"
else
  tw_fail "expected \"Setup Progress\" on screen with the failure message, got: $(list_windows)"
fi
check_absent "main executable while the failure is shown" "$data_dir/tw32.exe"
check_absent "staging folder while the failure is shown" "$data_dir/~setup.tmp"
answer "Tidewell Installation Failed" Return
wait_setup
stop_window_log

check_eq "exit code of setup.exe" 0 "$TW_SETUP_RC"
check_eq "setup windows in the order they showed" \
  "Setup Progress > Closing Running Copies > Tidewell Installation Failed" "$(windows_seen)"
check_absent "main executable after the rollback" "$data_dir/tw32.exe"
check_absent "staging folder after the rollback" "$data_dir/~setup.tmp"
if [ -d "$data_dir/uninst.exe" ]; then tw_ok "the blocking folder uninst.exe is left alone"; else tw_fail "expected the folder $data_dir/uninst.exe, got none"; fi
check_absent "Start Menu group" "$TW_PROGRAMS/Tidewell"
check_eq "links in the StartUp folder" "" "$(ls "$(startup_dir)" | paste -sd ' ')"
check_eq "tw32.exe processes" "" "$(wine_procs tw32.exe | paste -sd ' ')"

tw_end
