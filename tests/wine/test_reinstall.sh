#!/usr/bin/env bash
# Installing over a working installation. A damaged setup.exe says so before
# it touches anything: the installed files are the very same files after it.
# A reinstallation while the installed tw32.exe runs and ignores the request
# to quit either replaces the installation or leaves it whole, never half.
set -u
. "$(dirname "$0")/lib.sh"
tw_begin reinstall

clean_product_state
data_win='C:\tw-reinstall'
data_dir=$(fresh_dir "$data_win")
write_profile '[Options]' "dataDir=$data_win"
run_setup
finish_install n
check_eq "exit code of the first installation" 0 "$TW_SETUP_RC"
check_file_same "installed main executable" "$TW_TW32" "$data_dir/tw32.exe"

# The installed files by inode and modification time: unchanged means the
# very same files, not copies written again.
identity() { stat -c '%i %Y' "$data_dir/tw32.exe" "$data_dir/uninst.exe" | paste -sd ' '; }
before=$(identity)
damaged="$TW_LOG_DIR/damaged-setup.exe"
python3 "$(dirname "$0")/../support/damage_setup.py" "$TW_SETUP" "$TW_PAYLOAD_BLOB" "$damaged"
start_window_log damaged-setup.exe
TW_SETUP=$damaged run_setup
expect_window "Tidewell Installation Failed" >/dev/null || tw_fatal "no failure message from the damaged setup"
check_box_text "damaged setup's message" "Tidewell Installation Failed" \
  "The setup program is damaged: one of its component files could not be unpacked. Obtain a new copy of the setup program and run it again."
answer "Tidewell Installation Failed" Return
wait_setup
stop_window_log
check_eq "damaged setup's windows" "Tidewell Installation Failed" "$(windows_seen)"
check_eq "installed files (inode, time) after the damaged setup" "$before" "$(identity)"
check_absent "staging folder after the damaged setup" "$data_dir/~setup.tmp"

# The previous installation: a tw32.exe that ignores WM_QUIT, running from
# the data directory, and an uninst.exe that differs from the new one.
cp "$TW_DECOY" "$data_dir/tw32.exe"
cp "$TW_WINDOW_TEXT" "$data_dir/uninst.exe"
start_bg stubborn "$data_dir/tw32.exe" Tidewell --ignore-quit
stubborn_pid=$TW_LAST_PID
expect_window Tidewell "$TW_WINDOW_DEADLINE" tw32.exe >/dev/null || tw_fatal "the stubborn tw32.exe showed no window"
run_setup
answer "Closing Running Copies" Return
# Either the installation is replaced (the running file renamed aside) or
# the swap fails and the failure is reported with the previous files back.
outcome=""
deadline=$((SECONDS + TW_SETUP_DEADLINE))
while [ -z "$outcome" ] && [ "$SECONDS" -lt "$deadline" ]; do
  [ -n "$(find_window "Add To Startup Group")" ] && outcome=replaced
  [ -n "$(find_window "Tidewell Installation Failed")" ] && outcome=kept
  sleep 0.2
done
case "$outcome" in
  replaced)
    answer "Add To Startup Group" n settle
    answer "Installation Successful" n settle ;;
  kept) answer "Tidewell Installation Failed" Return ;;
  *) tw_fatal "neither the Startup question nor a failure showed within $TW_SETUP_DEADLINE s" ;;
esac
wait_setup
echo "outcome with a running tw32.exe that ignores WM_QUIT: $outcome"
if kill -0 "$stubborn_pid" 2>/dev/null; then tw_ok "the stubborn tw32.exe still runs"; else tw_fail "expected the stubborn tw32.exe to run on, got it ended"; fi
if [ "$outcome" == replaced ]; then
  check_file_same "main executable replaced" "$TW_TW32" "$data_dir/tw32.exe"
  check_file_same "uninstaller replaced" "$TW_UNINST" "$data_dir/uninst.exe"
else
  check_file_same "main executable kept" "$TW_DECOY" "$data_dir/tw32.exe"
  check_file_same "uninstaller kept" "$TW_WINDOW_TEXT" "$data_dir/uninst.exe"
  check_absent "staging folder" "$data_dir/~setup.tmp"
fi
echo "staging folder afterwards: $(ls -AR "$data_dir/~setup.tmp" 2>/dev/null | paste -sd ' ' || true)"

tw_end
