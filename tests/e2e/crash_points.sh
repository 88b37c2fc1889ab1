#!/usr/bin/env bash
# A setup killed at any point, then a run that fails, then one that succeeds.
# For a first installation and for a reinstallation over a previous version,
# the setup is killed (as kill -9 would) at each progress update, rename,
# rewrite of an installed file (before it and before its new end), profile
# write and Program Manager command in turn. The next
# run fails (a 100-block file size limit stops it in the uninstaller's
# file): it must leave exactly the previous files or exactly the new ones,
# byte for byte (nothing of the product after a first installation), and no
# staging folder. The run after it must install the new files whole.
source "$(dirname "$0")/lib.sh"
DIR=$SETUP_DRIVE_C/Program\ Files/Tidewell
PREVIOUS=$SCRATCH/previous
mkdir -p "$PREVIOUS"
# The previous tw32.exe is longer than the new one, so a rewrite cut short
# leaves the new bytes before the previous tail.
head -c 40000 /dev/urandom >"$PREVIOUS/tw32.exe"
printf 'previous uninstaller' >"$PREVIOUS/uninst.exe"

prepare() {  # KIND: a scratch drive with no installation, or the previous one
  rm -rf "$SETUP_DRIVE_C" "$SETUP_WINDOWS_DIR" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"
  mkdir -p "$DIR" "$SETUP_WINDOWS_DIR"
  [ "$1" == reinstall ] && cp "$PREVIOUS/tw32.exe" "$PREVIOUS/uninst.exe" "$DIR/"
  return 0
}

# What the folder holds: "previous", "new", "nothing", or a description.
state() {
  local listing
  listing=$(ls -A "$DIR" | paste -sd ' ')
  if [ -z "$listing" ]; then
    echo nothing
  elif [ "$listing" != "tw32.exe uninst.exe" ]; then
    echo "the files: $listing"
  elif cmp -s "$DIR/tw32.exe" "$PRODUCT_MAIN" && cmp -s "$DIR/uninst.exe" "$PRODUCT_UNINST"; then
    echo new
  elif cmp -s "$DIR/tw32.exe" "$PREVIOUS/tw32.exe" && cmp -s "$DIR/uninst.exe" "$PREVIOUS/uninst.exe"; then
    echo previous
  else
    echo "a mix: tw32.exe $(stat -c %s "$DIR/tw32.exe") bytes, uninst.exe $(stat -c %s "$DIR/uninst.exe") bytes"
  fi
}

held=0
points=0
for kind in first reinstall; do
  before=$([ $kind == first ] && echo nothing || echo previous)
  for event in "SetDlgItemTextA|" "MoveFileExA|" "SetFilePointer|" "SetEndOfFile" \
               "WritePrivateProfileStringA|" "DdeExecute|"; do
    for ((count = 1; ; count++)); do
      prepare $kind
      printf '\n\n\n\n' | (cd "$SCRATCH" && SETUP_KILL_AT_EVENT=$event SETUP_KILL_AT_COUNT=$count \
        "$SETUP_BIN") >/dev/null 2>&1
      [ $? -eq 137 ] || break
      points=$((points + 1))
      point="$kind, killed at ${event%|} #$count"
      OUT=$(printf '\n\n\n\n' | (cd "$SCRATCH" && trap '' XFSZ && ulimit -f 100 && "$SETUP_BIN") 2>&1)
      after_failure=$(state)
      failed=$(grep -c "Tidewell Installation Failed" <<<"$OUT")
      run_setup "" n n
      after_success=$(state)
      staging=$([ -e "$DIR/~setup.tmp" ] && echo "a staging folder" || echo "no staging folder")
      if [ "$failed" -ge 1 ] && { [ "$after_failure" == "$before" ] || [ "$after_failure" == new ]; } &&
         [ "$after_success" == new ] && [ "$staging" == "no staging folder" ]; then
        held=$((held + 1))
      else
        fail "$point: the failing run (failed: $failed) left $after_failure, the next one $after_success and $staging"
      fi
    done
  done
done
expect_eq "crash points that held, of $points" "$points" "$held"
[ "$points" -ge 20 ] || fail "only $points crash points were found"
finish
