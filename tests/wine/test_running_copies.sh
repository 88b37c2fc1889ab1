#!/usr/bin/env bash
# Running copies: a running tw32.exe (window "Tidewell") is ended after the
# warning is dismissed; windows whose titles start with the product's name
# in a program of another name are left open.
set -u
. "$(dirname "$0")/lib.sh"
tw_begin running_copies

clean_product_state
data_win='C:\tw-copies'
data_dir=$(fresh_dir "$data_win")
write_profile '[Options]' "dataDir=$data_win"

start_bg tw32 "$TW_TW32"
product_pid=$TW_LAST_PID
expect_window Tidewell "$TW_WINDOW_DEADLINE" tw32.exe >/dev/null || tw_fatal "tw32.exe showed no window"
start_bg decoy_notes "$TW_DECOY" "Tidewell notes"
notes_pid=$TW_LAST_PID
expect_window "Tidewell notes" "$TW_WINDOW_DEADLINE" decoy_window.exe >/dev/null || tw_fatal "the decoy showed no window"
start_bg decoy_plain "$TW_DECOY" "Tidewell"
plain_pid=$TW_LAST_PID
expect_window Tidewell "$TW_WINDOW_DEADLINE" decoy_window.exe >/dev/null || tw_fatal "the second decoy showed no window"

run_setup
warning=$(expect_window "Closing Running Copies") || tw_fatal "no running-copies warning"
if [ -n "$(find_window "Setup Progress")" ]; then
  tw_ok "\"Setup Progress\" is shown behind the warning"
else
  tw_fail "expected \"Setup Progress\" on screen with the warning, got: $(list_windows)"
fi
echo "screenshot with the warning open: $(screenshot warning)"
# Nothing is closed before the user has read the warning.
if kill -0 "$product_pid" 2>/dev/null; then tw_ok "tw32.exe still runs while the warning is open"; else tw_fail "expected tw32.exe to run while the warning is open, got it ended"; fi

answer "Closing Running Copies" Return
expect_window "Add To Startup Group" >/dev/null || tw_fatal "no Startup question"
# WM_QUIT was posted 4 s before the extraction began.
if wait_pid_gone "$product_pid" 10; then tw_ok "tw32.exe has ended"; else tw_fail "expected tw32.exe to have ended, got it running: $(list_windows)"; fi
check_eq "tw32.exe windows" "" "$(find_window Tidewell tw32.exe)"
answer "Add To Startup Group" n settle
answer "Installation Successful" n settle
wait_setup
check_eq "exit code of setup.exe" 0 "$TW_SETUP_RC"

for decoy in "Tidewell notes:$notes_pid" "Tidewell:$plain_pid"; do
  title=${decoy%:*}
  pid=${decoy##*:}
  if kill -0 "$pid" 2>/dev/null; then tw_ok "decoy \"$title\" still runs"; else tw_fail "expected decoy \"$title\" to run, got it ended"; fi
  check_eq "visible decoy windows \"$title\"" "1" "$(find_window "$title" decoy_window.exe | wc -l)"
done
check_file_same "installed main executable" "$TW_TW32" "$data_dir/tw32.exe"

tw_end
