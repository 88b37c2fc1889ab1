#!/usr/bin/env bash
# The data directory dialog's answers: an existing file is refused, so are a
# device name and a name longer than Windows takes, an existing folder needs
# a Yes (No keeps the dialog open), and a new folder whose parent exists is
# made and receives the payload.
set -u
. "$(dirname "$0")/lib.sh"
tw_begin data_dir_dialog

clean_product_state
parent=$(fresh_dir 'C:\tw-typed')
printf 'notes\r\n' >"$parent/note.txt"
data_win='C:\tw-typed\app'
data_dir=$(unix_path "$data_win")

start_window_log setup.exe
run_setup
dialog=$(expect_window "Choose a Data Directory") || tw_fatal "the data directory dialog did not show"

fill_dir_field "$dialog" 'C:\tw-typed\note.txt'
press "$dialog" Return
answer "Please Enter a Directory Name" Return
if window_visible "$dialog"; then tw_ok "the dialog stays open after a file name"; else tw_fail "expected the dialog to stay open after a file name, got it closed"; fi

# Windows makes \\.\nul of this name: a device, never a directory.
fill_dir_field "$dialog" 'C:\tw-typed\nul'
press "$dialog" Return
answer "Can't Create Directory" Return
# Longer than MAX_PATH: the ANSI functions refuse it whole.
fill_dir_field "$dialog" "C:\\tw-typed\\$(printf 'x%.0s' $(seq 260))"
press "$dialog" Return
answer "Directory Name Too Long" Return
if window_visible "$dialog"; then tw_ok "the dialog stays open after a device and a long name"; else tw_fail "expected the dialog to stay open, got it closed"; fi

fill_dir_field "$dialog" 'C:\tw-typed'
press "$dialog" Return
answer "Write Data to Existing Directory?" n
if window_visible "$dialog"; then tw_ok "the dialog stays open after No"; else tw_fail "expected the dialog to stay open after No, got it closed"; fi
check_eq "files in C:\\tw-typed after No" "note.txt" "$(ls "$parent" | paste -sd ' ')"

fill_dir_field "$dialog" "$data_win"
press "$dialog" Return
wait_gone "$dialog" "$TW_GONE_DEADLINE" || tw_fatal "the dialog did not close after a new folder name"
tw_ok "the dialog closed after a new folder name"

finish_install n
stop_window_log
check_eq "exit code of setup.exe" 0 "$TW_SETUP_RC"
check_eq "setup windows in the order they showed" \
  "Choose a Data Directory > Please Enter a Directory Name > Can't Create Directory > Directory Name Too Long > Write Data to Existing Directory? > Setup Progress > Closing Running Copies > Add To Startup Group > Installation Successful" \
  "$(windows_seen)"

check_file_same "installed main executable" "$TW_TW32" "$data_dir/tw32.exe"
check_file_same "installed uninstaller" "$TW_UNINST" "$data_dir/uninst.exe"
check_eq "files in C:\\tw-typed" "app note.txt" "$(ls "$parent" | sort | paste -sd ' ')"
check_eq "text of the refused file" "notes" "$(tr -d '\r' <"$parent/note.txt")"
check_absent "proposed folder, not chosen" "$TW_USER_DIR/Tidewell"
check_eq "[Options] dataDir in tidewell.ini" "$data_win" "$(ini_get "$(profile_path)" Options dataDir)"
check_link "Start Menu item Tidewell" "$TW_PROGRAMS/Tidewell/Tidewell.lnk" "$data_win\\tw32.exe" "$data_win"

tw_end
