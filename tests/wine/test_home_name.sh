#!/usr/bin/env bash
# Wine names the profile folder after USER: C:\users\Łukasz, which the ANSI
# functions spell as the look-alike C:\users\Lukasz under code page 1252.
# The dialog proposes it by its short name, and the files land in it.
set -u
. "$(dirname "$0")/lib.sh"
tw_begin home_name

export USER=Łukasz  # taken when Wine's server starts; tw_begin ended it
home="$TW_PREFIX/drive_c/users/$USER" lookalike="$TW_PREFIX/drive_c/users/Lukasz"
tw_exit_hook() { rm -rf "$home" "$lookalike"; }
clean_product_state
run_setup
dialog=$(expect_window "Choose a Data Directory") || tw_fatal "the data directory dialog did not show"
proposal=$(window_text "Choose a Data Directory" | grep -m 1 '^C:')
check_eq "the proposal, plain ASCII, no look-alike" "$proposal" \
  "$(LC_ALL=C grep -xE '[ -~]+\\Tidewell' <<<"$proposal" | grep -vxF 'C:\users\Lukasz\Tidewell')"
press "$dialog" Return
finish_install n
check_file_same "main executable in the user's profile folder" "$TW_TW32" "$home/Tidewell/tw32.exe"
check_absent "the look-alike folder" "$lookalike"
check_eq "[Options] dataDir" "$proposal" "$(ini_get "$(profile_path)" Options dataDir)"

tw_end
