#!/usr/bin/env bash
# The installed uninst.exe, started the way the Start Menu item starts it:
# after an installation into a directory the setup made, with the Startup
# item and with tw32.exe running, it ends the product and removes the links,
# the data directory and the profile's entries (keeping the others); the
# group's folder, holding a file of the user's, stays with that file. An
# installation into an existing folder that holds a file of the user's keeps
# the folder and the file, and says so; the group, empty then, goes. Started
# with a typed command line that names another program's folder, it still
# asks about and removes only its own installation.
set -u
. "$(dirname "$0")/lib.sh"
tw_begin uninstall

clean_product_state
data_win='C:\tw-uninstall'
data_dir=$(unix_path "$data_win")
rm -rf "$data_dir"
write_profile '[General]' 'color=blue' '[Options]' "dataDir=$data_win" 'fontSize=12'
group_dir="$TW_PROGRAMS/Tidewell"

# install STARTUP_KEY [ANSWER_DIALOG]: a run of the setup; the data directory
# dialog, when it shows, is answered by the function ANSWER_DIALOG.
install() {
  run_setup
  [ -n "${2:-}" ] && "$2"
  finish_install "$1"
  check_eq "exit code of setup.exe" 0 "$TW_SETUP_RC"
  check_file_same "installed uninstaller" "$TW_UNINST" "$data_dir/uninst.exe"
}

# uninstall CLOSING_TEXT [ARG...]: starts the target of Uninstall.lnk in
# its working directory, with the arguments, answers every box, checks the
# closing message's text and waits for the copy to end.
uninstall() {
  local link="$group_dir/Uninstall.lnk" target workdir
  target=$(lnk_field "$link" target)
  workdir=$(lnk_field "$link" workdir)
  check_eq "Uninstall.lnk target" "$data_win\\uninst.exe" "$target"
  echo "starting $target ${*:2} in $workdir"
  (cd "$(unix_path "$workdir")" && exec "$TW_WINE" "$target" "${@:2}") >"$TW_LOG_DIR/uninst.out" 2>&1 &
  TW_SETUP_PID=$!
  expect_window "Uninstall Tidewell" >/dev/null || tw_fatal "no question"
  check_box_text "the question" "Uninstall Tidewell" \
    "Are you sure you want to remove Tidewell and all of its components from $data_win?"
  finish_uninstall "$1"
}

# The recorded directory does not exist: the dialog proposes it, and Enter
# makes it.
accept_proposal() { answer "Choose a Data Directory" Return; }
install y accept_proposal
startup_link=$(find_ci "$(startup_dir)" "Tidewell.lnk") || startup_link="$(startup_dir)/Tidewell.lnk"
for link in "$group_dir/Tidewell.lnk" "$group_dir/Uninstall.lnk" "$startup_link"; do
  check_exists "link before uninstalling" "$link"
done
printf 'mine\r\n' >"$group_dir/notes.txt"
tw_stop_wine
start_bg tw32 "$data_win\\tw32.exe"
product_pid=$TW_LAST_PID
expect_window Tidewell "$TW_WINDOW_DEADLINE" tw32.exe >/dev/null || tw_fatal "tw32.exe showed no window"

start_window_log uninst.exe
uninstall "Tidewell has been removed from your computer."
stop_window_log
if wait_pid_gone "$product_pid" 10; then tw_ok "tw32.exe has ended"; else tw_fail "expected tw32.exe to have ended, got it running"; fi
check_absent "Start Menu item Tidewell" "$group_dir/Tidewell.lnk"
check_absent "Start Menu item Uninstall" "$group_dir/Uninstall.lnk"
check_eq "the group's folder, with the user's file" "notes.txt" "$(ls "$group_dir" 2>/dev/null | paste -sd ' ')"
rm -rf "$group_dir"
check_absent "StartUp item Tidewell" "$startup_link"
check_absent "the data directory the setup made" "$data_dir"
ini=$(profile_path)
echo "tidewell.ini after uninstalling:"
tr -d '\r' <"$ini" | sed 's/^/  /'
check_eq "[Options] entries of the installation" "" \
  "$(tr -d '\r' <"$ini" | grep -iE '^(dataDir|dataDirCreated|startupItem)=')"
check_eq "[Options] fontSize" "12" "$(ini_get "$ini" Options fontSize)"
check_eq "[General] color" "blue" "$(ini_get "$ini" General color)"

# An existing folder with a file of the user's, chosen at the dialog with a
# Yes, and no Startup item: the folder and the file stay, and no StartUp
# folder window opens. The uninstaller is started with a typed command line
# that names another program's folder, which is asked about and touched no
# more than any other.
tw_stop_wine
data_win='C:\tw-mine'
data_dir=$(fresh_dir "$data_win")
printf 'mine\r\n' >"$data_dir/notes.txt"
write_profile '[Options]'
choose_existing() {
  local dialog
  dialog=$(expect_window "Choose a Data Directory") || tw_fatal "no data directory dialog"
  fill_dir_field "$dialog" "$data_win"
  press "$dialog" Return
  answer "Write Data to Existing Directory?" y
}
install n choose_existing
tw_stop_wine
other=$(fresh_dir 'C:\tw-other')
printf 'another program\r\n' | tee "$other/uninst.exe" >"$other/tw32.exe"
uninstall "Tidewell has been removed from your computer. The directory $data_win was kept because it holds files that Tidewell did not install." 8 9 'C:\tw-other'
check_eq "files left in the folder" "notes.txt" "$(ls "$data_dir" 2>/dev/null | paste -sd ' ')"
check_eq "the user's file" "mine" "$(tr -d '\r' <"$data_dir/notes.txt" 2>/dev/null)"
check_absent "the group's folder" "$group_dir"
check_eq "StartUp folder windows" "" "$(find_window StartUp)"
check_eq "the folder the command line named" "tw32.exe another program|uninst.exe another program" \
  "$(for f in "$other"/*; do printf '%s %s\n' "${f##*/}" "$(tr -d '\r' <"$f")"; done | paste -sd '|')"

tw_end
