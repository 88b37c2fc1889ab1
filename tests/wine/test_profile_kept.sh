#!/usr/bin/env bash
# An existing tidewell.ini: its dataDir is the dialog's proposal (it wins
# over the computed ones), and after the run every other section and entry
# is still there, with dataDir updated to the folder the user chose, which
# is recorded as made by the setup.
set -u
. "$(dirname "$0")/lib.sh"
tw_begin profile_kept

clean_product_state
fresh_dir 'C:\tw-ini' >/dev/null
data_win='C:\tw-ini\data'
data_dir=$(unix_path "$data_win")
write_profile '[General]' 'color=blue' '[Options]' 'dataDir=C:\tw-ini\missing\data' 'fontSize=12' \
  '[Recent]' 'file1=C:\docs\a.txt'

start_window_log setup.exe
run_setup
dialog=$(expect_window "Choose a Data Directory") || tw_fatal "the data directory dialog did not show"
# The proposal from the profile has no parent folder, so it cannot be made.
press "$dialog" Return
answer "Can't Create Directory" Return
if window_visible "$dialog"; then tw_ok "the dialog stays open"; else tw_fail "expected the dialog to stay open, got it closed"; fi
check_absent "proposed home folder" "$TW_USER_DIR/Tidewell"

fill_dir_field "$dialog" "$data_win"
press "$dialog" Return
wait_gone "$dialog" "$TW_GONE_DEADLINE" || tw_fatal "the dialog did not close after a new folder name"
finish_install n
stop_window_log

check_eq "exit code of setup.exe" 0 "$TW_SETUP_RC"
check_eq "setup windows in the order they showed" \
  "Choose a Data Directory > Can't Create Directory > Setup Progress > Closing Running Copies > Add To Startup Group > Installation Successful" \
  "$(windows_seen)"
check_file_same "installed main executable" "$TW_TW32" "$data_dir/tw32.exe"
check_file_same "installed uninstaller" "$TW_UNINST" "$data_dir/uninst.exe"

ini=$(profile_path)
echo "tidewell.ini after the run:"
tr -d '\r' <"$ini" | sed 's/^/  /'
check_eq "[Options] dataDir" "$data_win" "$(ini_get "$ini" Options dataDir)"
check_eq "[Options] fontSize" "12" "$(ini_get "$ini" Options fontSize)"
check_eq "[General] color" "blue" "$(ini_get "$ini" General color)"
check_eq "[Recent] file1" 'C:\docs\a.txt' "$(ini_get "$ini" Recent file1)"
check_eq "sections" "[General] [Options] [Recent]" "$(tr -d '\r' <"$ini" | grep '^\[' | paste -sd ' ')"
check_eq "[Options] dataDirCreated" "$data_win" "$(ini_get "$ini" Options dataDirCreated)"
check_eq "number of entries" "5" "$(tr -d '\r' <"$ini" | grep -c '=')"

tw_end
