#!/usr/bin/env bash
# A reinstallation killed after it wrote tw32.exe and before it came to
# uninst.exe, then a run that fails at uninst.exe (another program holds it
# open, letting it be neither written nor renamed), then a run that
# succeeds. The failing run first rolls the killed run back, so it leaves
# exactly the previous files; the last one leaves exactly the new ones and
# no staging folder. (The host's crash_points test cuts the setup off at
# every point; here killed_setup.exe, the setup's own extraction ended
# before its second file, leaves what a setup killed there leaves.)
set -u
. "$(dirname "$0")/lib.sh"
tw_begin interrupted_reinstall

clean_product_state
data_win='C:\tw-interrupted'
data_dir=$(fresh_dir "$data_win")
write_profile '[Options]' "dataDir=$data_win"
# The previous installation: two other programs stand in for its files.
cp "$TW_DECOY" "$data_dir/tw32.exe"
cp "$TW_WINDOW_TEXT" "$data_dir/uninst.exe"
"$TW_WINE" "$TW_KILLED_SETUP" "$data_win" >"$TW_LOG_DIR/killed.out" 2>&1
check_eq "exit status of the killed run" 137 "$?"
check_file_same "the killed run's new tw32.exe" "$TW_TW32" "$data_dir/tw32.exe"
check_exists "the killed run's journal" "$data_dir/~setup.tmp/journal"

start_bg holder "$TW_DECOY" Holder --hold "$data_win\\uninst.exe"
holder=$TW_LAST_PID
if ! expect_window Holder >/dev/null; then
  kill -0 "$holder" 2>/dev/null || wait "$holder"
  tw_fatal "the program holding uninst.exe showed no window (exit status $?: 3 is a failed open)"
fi
run_setup
answer "Closing Running Copies" Return
expect_window "Tidewell Installation Failed" >/dev/null || tw_fatal "no failure message"
check_box_text "failure while uninst.exe is held" "Tidewell Installation Failed" \
  "The application was not able to create one of its component files. The disk is full, or a copy of the application is already running, or you do not have write access to the directory in which you are attempting to install the application. Check your available disk space and run the setup program again."
answer "Tidewell Installation Failed" Return
wait_setup
check_eq "exit code of the failing run" 0 "$TW_SETUP_RC"
check_file_same "previous tw32.exe after the failing run" "$TW_DECOY" "$data_dir/tw32.exe"
check_file_same "previous uninst.exe after the failing run" "$TW_WINDOW_TEXT" "$data_dir/uninst.exe"
check_absent "staging folder after the failing run" "$data_dir/~setup.tmp"

kill "$holder"
wait_pid_gone "$holder" 30 || tw_fatal "the program holding uninst.exe did not end"
run_setup
finish_install n
check_eq "exit code of the last run" 0 "$TW_SETUP_RC"
check_file_same "new tw32.exe" "$TW_TW32" "$data_dir/tw32.exe"
check_file_same "new uninst.exe" "$TW_UNINST" "$data_dir/uninst.exe"
check_absent "staging folder after the last run" "$data_dir/~setup.tmp"
check_eq "the data directory" "tw32.exe uninst.exe" "$(ls -A "$data_dir" | paste -sd ' ')"

tw_end
