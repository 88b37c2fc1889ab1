#!/usr/bin/env bash
# A first installation as a user makes it: the default folder cannot be
# entered, so the dialog proposes the home-folder fallback, which the user
# accepts with Enter; the warning is dismissed, the Startup question is
# answered Yes and the offer to start the product No.
set -u
. "$(dirname "$0")/lib.sh"
tw_begin full_install

clean_product_state
data_win="$(win_user_dir)\\Tidewell"
data_dir=$(unix_path "$data_win")
echo "expected data directory: $data_win ($data_dir)"

start_window_log setup.exe
run_setup

dialog=$(expect_window "Choose a Data Directory") || tw_fatal "the data directory dialog did not show"
press "$dialog" Return
wait_gone "$dialog" "$TW_GONE_DEADLINE" || tw_fatal "the dialog did not close after Enter"
tw_ok "the dialog closed after Enter"

warning=$(expect_window "Closing Running Copies") || tw_fatal "no running-copies warning"
if [ -n "$(find_window "Setup Progress")" ]; then
  tw_ok "\"Setup Progress\" is shown together with \"Closing Running Copies\""
else
  tw_fail "expected \"Setup Progress\" on screen with the warning, got: $(list_windows)"
fi
answer "Closing Running Copies" Return

startup=$(expect_window "Add To Startup Group") || tw_fatal "no Startup question"
progress_left=$(find_window "Setup Progress")
check_eq "\"Setup Progress\" windows shown while the Startup question is open" "" "$progress_left"
answer "Add To Startup Group" y settle
answer "Installation Successful" n settle

wait_setup
stop_window_log
check_eq "exit code of setup.exe" 0 "$TW_SETUP_RC"

check_eq "setup windows in the order they showed" \
  "Choose a Data Directory > Setup Progress > Closing Running Copies > Add To Startup Group > Installation Successful" \
  "$(windows_seen)"

check_file_same "installed main executable" "$TW_TW32" "$data_dir/tw32.exe"
check_file_same "installed uninstaller" "$TW_UNINST" "$data_dir/uninst.exe"
check_eq "files in the data directory" "tw32.exe uninst.exe" "$(ls "$data_dir" 2>/dev/null | sort | paste -sd ' ')"
check_eq "[Options] dataDir in tidewell.ini" "$data_win" \
  "$(ini_get "$TW_PREFIX/drive_c/windows/tidewell.ini" Options dataDir)"

check_link "Start Menu item Tidewell" "$TW_PROGRAMS/Tidewell/Tidewell.lnk" "$data_win\\tw32.exe" "$data_win"
check_link "Start Menu item Uninstall" "$TW_PROGRAMS/Tidewell/Uninstall.lnk" "$data_win\\uninst.exe" "$data_win"
startup_link=$(find_ci "$(startup_dir)" "Tidewell.lnk") || startup_link="$(startup_dir)/Tidewell.lnk"
check_link "StartUp item Tidewell" "$startup_link" "$data_win\\tw32.exe" "$data_win"
# Program Manager made the items (Wine's refuses the ReplaceItem of a first
# installation, which counts for nothing), so the Startup item is recorded
# and the setup made no shortcut files of its own besides.
ini="$TW_PREFIX/drive_c/windows/tidewell.ini"
check_eq "[Options] startupItem" 1 "$(ini_get "$ini" Options startupItem)"
check_absent "all users' group folder" "$TW_COMMON_PROGRAMS/Tidewell"
check_absent "all users' StartUp item" "$(common_startup_dir)/Tidewell.lnk"
check_eq "shortcut records in tidewell.ini" "" \
  "$(tr -d '\r' <"$ini" | grep -iE '^(shortcutFolder|programShortcut|uninstallShortcut|startupShortcut)=')"

# The final question was answered No, so the product was not started; the
# setup starts it before it ends, so it would be listed by now.
check_eq "tw32.exe processes after answering No" "" "$(wine_procs tw32.exe | paste -sd ' ')"

tw_end
