#!/usr/bin/env bash
# A setup cut off at any point, then a run that fails for want of room,
# which must leave exactly the previous files or the new ones, then one that
# must install the new files and leave no staging folder. Three kinds: a
# first installation; a reinstallation over a previous version (tw32.exe
# gets shorter, uninst.exe has a second name outside and goes aside,
# help.txt grows, readme.txt is the same); and that reinstallation stopped by
# a file size limit while it writes help.txt, so that it rolls itself back.
# Cut by a power cut at every file call that changes the disk (seed 0 keeps
# every write: a kill; seeds 1 to 3 keep, restore or zero each sector written
# since its file's last flush) and killed at every progress update, profile
# write and Program Manager command.
source "$(dirname "$0")/lib.sh"
SETUP_BIN=$SWEEP_SETUP
NEW=$(dirname "$SETUP_BIN")/sweep_files
FILES="help.txt readme.txt tw32.exe uninst.exe"
DIR=$SETUP_DRIVE_C/Program\ Files/Tidewell
PREVIOUS=$SCRATCH/previous
mkdir -p "$PREVIOUS"
head -c 70000 /dev/urandom >"$PREVIOUS/tw32.exe"
printf 'previous uninstaller' >"$PREVIOUS/uninst.exe"
printf 'previous help' >"$PREVIOUS/help.txt"
cp "$NEW/readme.txt" "$PREVIOUS/"

prepare() {  # KIND: a scratch drive with no installation, or the previous one
  rm -rf "$SETUP_DRIVE_C" "$SETUP_WINDOWS_DIR" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"
  mkdir -p "$DIR" "$SETUP_WINDOWS_DIR" "$SETUP_DRIVE_C/backup"
  if [ "$1" != first ]; then
    for f in $FILES; do cp "$PREVIOUS/$f" "$DIR/"; done
    ln "$DIR/uninst.exe" "$SETUP_DRIVE_C/backup/uninst.exe"
  fi
}

# What the folder holds: "previous", "new", "nothing", or a description.
state() {
  local listing f same_new=1 same_previous=1
  listing=$(ls -A "$DIR" | paste -sd ' ')
  [ -z "$listing" ] && { echo nothing; return; }
  [ "$listing" != "$FILES" ] && { echo "the files: $listing"; return; }
  for f in $FILES; do
    cmp -s "$DIR/$f" "$NEW/$f" || same_new=0
    cmp -s "$DIR/$f" "$PREVIOUS/$f" || same_previous=0
  done
  if [ $same_new == 1 ]; then echo new; elif [ $same_previous == 1 ]; then echo previous; else
    echo "a mix: $(for f in $FILES; do printf '%s %s bytes, ' "$f" "$(stat -c %s "$DIR/$f")"; done)"
  fi
}

held=0
points=0
# point WHAT VARIABLE=VALUE...: the setup cut off as the variables say, then
# the failing run and the successful one; status 1 when nothing cut it off.
point() {
  local what=$1 after_failure after_success failed backup=ok
  shift
  prepare $kind
  printf '\n\n\n\n' | (cd "$SCRATCH" && trap '' XFSZ && ulimit -f $limit && env "$@" "$SETUP_BIN") \
    >/dev/null 2>&1
  [ $? -eq 137 ] || return 1
  points=$((points + 1))
  OUT=$(printf '\n\n\n\n' | (cd "$SCRATCH" && SETUP_DISK_FREE=0 "$SETUP_BIN") 2>&1)
  after_failure=$(state)
  failed=$(grep -c "Tidewell Installation Failed" <<<"$OUT")
  run_setup "" n n
  after_success=$(state)
  [ $kind == first ] || cmp -s "$SETUP_DRIVE_C/backup/uninst.exe" "$PREVIOUS/uninst.exe" ||
    backup="changed"
  if { [ "$after_failure" == "$before" ] || [ "$after_failure" == new ]; } &&
     { [ "$failed" -ge 1 ] || [ "$after_failure" == new ]; } && [ "$after_success" == new ] &&
     [ ! -e "$DIR/~setup.tmp" ] && [ $backup == ok ]; then
    held=$((held + 1))
  else
    fail "$kind, $what: the failing run (failed: $failed) left $after_failure, the next one" \
      "$after_success; staging folder: $(ls -A "$DIR/~setup.tmp" 2>&1); second name: $backup"
  fi
}

for kind in first reinstall failing; do
  before=$([ $kind == first ] && echo nothing || echo previous)
  limit=$([ $kind == failing ] && echo 80 || echo unlimited)
  for ((call = 1; ; call++)); do
    for seed in 0 1 2 3; do
      point "power cut at file call $call, seed $seed" SETUP_POWER_CUT_AT=$call \
        SETUP_POWER_CUT_SEED=$seed || break 2
    done
  done
  for event in "SetDlgItemTextA|" "WritePrivateProfileStringA|" "DdeExecute|"; do
    for ((count = 1; ; count++)); do
      point "killed at ${event%|} #$count" SETUP_KILL_AT_EVENT=$event SETUP_KILL_AT_COUNT=$count ||
        break
    done
  done
done
expect_eq "cut-off points that held, of $points" "$points" "$held"
[ "$points" -ge 100 ] || fail "only $points cut-off points were found"
finish
