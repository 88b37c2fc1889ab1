#!/usr/bin/env bash
# Program Manager refuses the items: Wine's AddItem fails when the link
# cannot be saved, and folders of the user's bear the links' names. (Wine
# shows no window without its Explorer, so "no Program Manager" is left to
# the outcome table.) The setup makes shortcut files in all users' Start
# menu instead and, with oleaut32 kept from loading, starts the product
# itself. A reinstallation whose Startup item Program Manager makes drops
# the earlier Startup file and record. The uninstaller removes exactly the
# recorded files, the group's folder it made and Program Manager's Startup
# item; the user's folders and files stay.
set -u
. "$(dirname "$0")/lib.sh"
tw_begin shortcut_files

clean_product_state
data_win='C:\tw-shortcuts'
data_dir=$(fresh_dir "$data_win")
write_profile '[Options]' "dataDir=$data_win"
group_dir="$TW_COMMON_PROGRAMS/Tidewell"
startup_dir=$(common_startup_dir)
user_startup=$(startup_dir)
mkdir -p "$TW_PROGRAMS/Tidewell/Tidewell.lnk" "$TW_PROGRAMS/Tidewell/Uninstall.lnk" \
  "$user_startup/Tidewell.lnk" "$startup_dir"
printf 'mine\r\n' >"$startup_dir/mine.txt"

# A program of the user's keeps Explorer running with Wine's usual DLLs.
start_bg decoy "$TW_DECOY" "Notes"
expect_window Notes >/dev/null || tw_fatal "the decoy window did not show"
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;oleaut32=d" run_setup
answer "Closing Running Copies" Return
answer "Add To Startup Group" y settle
answer "Installation Successful" y settle
wait_setup
check_eq "exit code of setup.exe" 0 "$TW_SETUP_RC"

check_link "all users' item Tidewell" "$group_dir/Tidewell.lnk" "$data_win\\tw32.exe" "$data_win"
check_link "all users' item Uninstall" "$group_dir/Uninstall.lnk" "$data_win\\uninst.exe" "$data_win"
check_link "all users' StartUp item Tidewell" "$startup_dir/Tidewell.lnk" "$data_win\\tw32.exe" "$data_win"
ini=$(profile_path)
echo "tidewell.ini after installing:"
tr -d '\r' <"$ini" | sed 's/^/  /'
programs_win='C:\ProgramData\Microsoft\Windows\Start Menu\Programs'
check_eq "[Options] shortcutFolder" "$programs_win\\Tidewell" "$(ini_get "$ini" Options shortcutFolder)"
check_eq "[Options] startupItem" 1 "$(ini_get "$ini" Options startupItem)"
check_eq "the product's parent" "setup.exe" "$(parent_log_field parent)"
check_eq "the product's directory" "$data_win" "$(parent_log_field directory)"

# Program Manager makes the Startup item once the user's folder is gone.
rm -rf "$user_startup/Tidewell.lnk"
run_setup
finish_install y
check_link "Program Manager's StartUp item Tidewell" "$user_startup/Tidewell.lnk" "$data_win\\tw32.exe" "$data_win"
check_absent "all users' StartUp item after reinstalling" "$startup_dir/Tidewell.lnk"
check_eq "records after reinstalling" "programShortcut shortcutFolder startupItem uninstallShortcut" \
  "$(tr -d '\r' <"$ini" | sed -nE 's/^(shortcutFolder|\w+Shortcut|startupItem)=.*/\1/p' | sort | paste -sd ' ')"

target=$(lnk_field "$group_dir/Uninstall.lnk" target)
echo "starting $target"
(cd "$data_dir" && exec "$TW_WINE" "$target") >"$TW_LOG_DIR/uninst.out" 2>&1 &
TW_SETUP_PID=$!
finish_uninstall "Tidewell has been removed from your computer."
check_absent "the group's folder the setup made" "$group_dir"
check_absent "all users' StartUp item" "$startup_dir/Tidewell.lnk"
check_eq "the user's file beside it" "mine" "$(tr -d '\r' <"$startup_dir/mine.txt" 2>/dev/null)"
check_eq "the user's folders in Program Manager's group" "Tidewell.lnk Uninstall.lnk" \
  "$(ls "$TW_PROGRAMS/Tidewell" 2>/dev/null | paste -sd ' ')"
check_absent "Program Manager's StartUp item" "$user_startup/Tidewell.lnk"
check_eq "records left in tidewell.ini" "" "$(tr -d '\r' <"$ini" | grep -iE \
  '^(shortcutFolder|programShortcut|uninstallShortcut|startupShortcut|startupItem)=')"
rm -rf "$startup_dir/mine.txt" "$TW_PROGRAMS/Tidewell" "$user_startup/Tidewell.lnk"

tw_end
