#!/usr/bin/env bash
# The installed uninst.exe, started the way the Start Menu item starts it:
# after an installation with the Startup item and with tw32.exe running, it
# ends the product and removes the links, the group, the data directory and
# the profile's dataDir (keeping the other entries). A second installation
# with a file of the user's in its directory keeps that file and the
# directory, and says so.
set -u
. "$(dirname "$0")/lib.sh"
tw_begin uninstall

clean_product_state
data_win='C:\tw-uninstall'
data_dir=$(fresh_dir "$data_win")
write_profile '[General]' 'color=blue' '[Options]' "dataDir=$data_win" 'fontSize=12'
group_dir="$TW_PROGRAMS/Tidewell"

# install STARTUP_KEY: a run of the setup into the recorded directory.
install() {
  run_setup
  finish_install "$1"
  check_eq "exit code of setup.exe" 0 "$TW_SETUP_RC"
  check_file_same "installed uninstaller" "$TW_UNINST" "$data_dir/uninst.exe"
}

# The copy in the temporary folder that the uninstaller hands over to.
copy_procs() {
  ps -eo pid=,args= | awk 'tolower($2) ~ /\\temp\\uns[0-9a-f]+\.tmp$/ { print $1 }'
}

# uninstall CLOSING_TEXT: starts the target of Uninstall.lnk in its
# working directory, answers every box, checks the closing message's text and
# waits for the copy to end.
uninstall() {
  local link="$group_dir/Uninstall.lnk" target workdir
  target=$(lnk_field "$link" target)
  workdir=$(lnk_field "$link" workdir)
  check_eq "Uninstall.lnk target" "$data_win\\uninst.exe" "$target"
  echo "starting $target in $workdir"
  (cd "$(unix_path "$workdir")" && exec "$TW_WINE" "$target") >"$TW_LOG_DIR/uninst.out" 2>&1 &
  TW_SETUP_PID=$!
  expect_window "Uninstall Tidewell" >/dev/null || tw_fatal "no question"
  check_box_text "the question" "Uninstall Tidewell" \
    "Are you sure you want to remove Tidewell and all of its components from $data_win?"
  answer "Uninstall Tidewell" y
  answer "Closing Running Copies" Return
  wait_setup
  check_eq "exit code of uninst.exe" 0 "$TW_SETUP_RC"
  expect_window "Uninstall Complete" >/dev/null || tw_fatal "no closing message"
  check_box_text "the closing message" "Uninstall Complete" "$1"
  answer "Uninstall Complete" Return
  local deadline=$((SECONDS + TW_GONE_DEADLINE))
  while [ -n "$(copy_procs)" ]; do
    [ "$SECONDS" -ge "$deadline" ] && { tw_fail "the uninstaller's copy still runs: $(copy_procs)"; break; }
    sleep 0.2
  done
}

install y
startup_link=$(find_ci "$(startup_dir)" "Tidewell.lnk") || startup_link="$(startup_dir)/Tidewell.lnk"
for link in "$group_dir/Tidewell.lnk" "$group_dir/Uninstall.lnk" "$startup_link"; do
  check_exists "link before uninstalling" "$link"
done
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
check_absent "the group's folder" "$group_dir"
check_absent "StartUp item Tidewell" "$startup_link"
check_absent "the data directory" "$data_dir"
ini=$(profile_path)
echo "tidewell.ini after uninstalling:"
tr -d '\r' <"$ini" | sed 's/^/  /'
if ini_get "$ini" Options dataDir >/dev/null; then tw_fail "expected no dataDir, got '$(ini_get "$ini" Options dataDir)'"; else tw_ok "no dataDir in tidewell.ini"; fi
check_eq "[Options] fontSize" "12" "$(ini_get "$ini" Options fontSize)"
check_eq "[General] color" "blue" "$(ini_get "$ini" General color)"

# Again, with a file of the user's in the directory.
tw_stop_wine
fresh_dir "$data_win" >/dev/null
write_profile '[Options]' "dataDir=$data_win"
install n
printf 'mine\r\n' >"$data_dir/notes.txt"
tw_stop_wine
uninstall "Tidewell has been removed from your computer, but some files in $data_win could not be removed. You may delete them yourself."
check_eq "files left in the data directory" "notes.txt" "$(ls "$data_dir" 2>/dev/null | paste -sd ' ')"
check_eq "the user's file" "mine" "$(tr -d '\r' <"$data_dir/notes.txt" 2>/dev/null)"
check_absent "the group's folder" "$group_dir"

tw_end
