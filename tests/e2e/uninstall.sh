#!/usr/bin/env bash
# Install, then uninstall with the installed uninst.exe, as the Uninstall
# menu entry starts it: an old installation's uninstaller leaves the current
# one's entries and records alone; the current one's removes them and the
# directory the setup made, whatever directory its command line names; a
# folder the user chose stays, and so does one that holds a file of the
# user's.
source "$(dirname "$0")/lib.sh"
MENU=$XDG_DATA_HOME/applications/Tidewell-Tidewell.desktop
UNINSTALL=$XDG_DATA_HOME/applications/Tidewell-Uninstall.desktop
AUTOSTART=$XDG_CONFIG_HOME/autostart/Tidewell.desktop
export TMPDIR=$SCRATCH/tmp XDG_RUNTIME_DIR=$SCRATCH/run
mkdir -p "$TMPDIR" "$XDG_RUNTIME_DIR"

# run_uninstall DIR ANSWER...: runs DIR's uninst.exe in DIR, as the menu
# entry does, but with a typed command line that names another program's
# folder, which must stay untouched. After a Yes it waits for the copy it
# hands over to: its closing message and the removal of its own temporary
# file.
mkdir -p "$SETUP_DRIVE_C/other"
echo "another program's" | tee "$SETUP_DRIVE_C/other/uninst.exe" >"$SETUP_DRIVE_C/other/tw32.exe"
run_uninstall() {
  local dir=$1
  shift
  printf '%s\n' "$@" | (cd "$dir" && ./uninst.exe 8 9 'C:\other') >"$SCRATCH/uninstall.out" 2>&1
  STATUS=$?
  local deadline=$((SECONDS + 30))
  until [ "$1" != y ] || { grep -q "Uninstall Complete" "$SCRATCH/uninstall.out" && [ -z "$(ls -A "$TMPDIR")" ]; }; do
    [ $SECONDS -ge "$deadline" ] && { fail "the uninstaller's copy did not finish within 30 s"; break; }
    sleep 0.1
  done
  OUT=$(cat "$SCRATCH/uninstall.out")
}
entries() { ls "$XDG_DATA_HOME/applications" "$XDG_CONFIG_HOME/autostart" 2>/dev/null | grep -c desktop; }

# An old installation in C:\old with the Startup item, then the current one
# in C:\new; both directories are made by the dialog.
run_setup 'C:\old' "" y n
expect_eq "profile after the first installation" 'C:\old' "$(profile_value)"
sed -i 's/^dataDir=.*/dataDir=C:\\new/' "$INI"
run_setup "" "" n n
expect_same_file "$PRODUCT_UNINST" "$SETUP_DRIVE_C/new/uninst.exe"
expect_eq "desktop entries of the current installation" 3 "$(entries)"

run_uninstall "$SETUP_DRIVE_C/old" y ""
expect_eq "exit code" 0 "$STATUS"
expect_output "Are you sure you want to remove Tidewell and all of its components from C:\\old?"
expect_output "Tidewell has been removed from your computer."
expect_eq "the old directory, no longer recorded as made by the setup" "" "$(ls -A "$SETUP_DRIVE_C/old")"
expect_eq "desktop entries after the old uninstaller" 3 "$(entries)"
expect_eq "the menu entry's program" "Exec=$SETUP_DRIVE_C/new/tw32.exe" "$(grep '^Exec=' "$MENU")"
expect_eq "profile entry after the old uninstaller" 'C:\new' "$(profile_value)"

run_uninstall "$SETUP_DRIVE_C/new" y ""
expect_output "Tidewell has been removed from your computer."
expect_missing "$SETUP_DRIVE_C/new"
for entry in "$MENU" "$UNINSTALL" "$AUTOSTART"; do expect_missing "$entry"; done
expect_eq "profile after uninstalling" "[Options]" "$(tr -d '\r' <"$INI" | paste -sd '|')"
expect_eq "temporary files left" "" "$(ls -A "$TMPDIR")"

# A folder the user chose, which existed before, stays.
mkdir -p "$SETUP_DRIVE_C/mine"
run_setup 'C:\mine' y "" n n
run_uninstall "$SETUP_DRIVE_C/mine" y ""
expect_output "Tidewell has been removed from your computer."
expect_eq "the user's folder after uninstalling" "" "$(ls -A "$SETUP_DRIVE_C/mine" 2>&1)"

# A file of the user's keeps the directory the setup made; the payload files
# still go. No keeps everything.
rm -rf "$SETUP_DRIVE_C/mine"
run_setup 'C:\tw' "" n n
echo "my notes" >"$SETUP_DRIVE_C/tw/notes.txt"
run_uninstall "$SETUP_DRIVE_C/tw" n
expect_eq "files after No" "notes.txt tw32.exe uninst.exe" "$(ls "$SETUP_DRIVE_C/tw" | paste -sd ' ')"
run_uninstall "$SETUP_DRIVE_C/tw" y ""
expect_output "Tidewell has been removed from your computer. The directory C:\\tw was kept because it holds files that Tidewell did not install."
expect_eq "files left in the data directory" "notes.txt" "$(ls -A "$SETUP_DRIVE_C/tw" 2>/dev/null)"
expect_eq "profile entry" "" "$(profile_value)"
expect_eq "the folder the command lines named" "another program's|another program's" \
  "$(cat "$SETUP_DRIVE_C/other/uninst.exe" "$SETUP_DRIVE_C/other/tw32.exe" | paste -sd '|')"
finish
