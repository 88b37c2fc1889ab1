# shellcheck shell=bash
# Harness of the Wine tier: one Xvfb and one scratch Wine prefix per ctest
# run (made by fixture.sh), windows found by their captions, answers given
# with keystrokes, and checks that print what they got.
#
# A test script sources this file, calls tw_begin NAME, runs its steps and
# ends with tw_end. Every check prints "ok: ..." or "FAIL: ...". A failed
# check lets the test go on; tw_fatal stops it. On any failure the names of
# all windows and the path of a screenshot are printed, and the prefix's
# processes are ended in every case.
#
# Environment (set by wine_tests.cmake):
#   TW_RUN_DIR   run directory of fixture.sh (display number, Xvfb pid, logs)
#   TW_PREFIX    the scratch Wine prefix
#   TW_SETUP     setup.exe; TW_TW32, TW_UNINST the payload files;
#   TW_DECOY     decoy_window.exe
#   TW_WINDOW_TEXT  window_text.exe, which prints what a window's controls say
#   TW_WINE      the Wine loader for the build: /usr/lib/wine/wine for i686

TW_WINE=${TW_WINE:-/usr/lib/wine/wine}
if [ -x /usr/lib/wine/wineserver64 ]; then
  TW_WINESERVER=${TW_WINESERVER:-/usr/lib/wine/wineserver64}
else
  TW_WINESERVER=${TW_WINESERVER:-wineserver}
fi

# Deadlines, in seconds. A window of the setup normally shows within a
# second or two; the first start of Wine in a prefix takes longer.
TW_WINDOW_DEADLINE=${TW_WINDOW_DEADLINE:-60}
TW_GONE_DEADLINE=${TW_GONE_DEADLINE:-30}
# The setup pauses twice for 4 seconds while closing running copies.
TW_SETUP_DEADLINE=${TW_SETUP_DEADLINE:-90}

TW_FAILS=0
TW_NAME=""
TW_SETUP_PID=""
TW_SETUP_RC=""
TW_WATCH_PID=""
TW_BG_PIDS=()

# ---------------------------------------------------------------- output

tw_ok() { echo "ok: $*"; }

tw_fail() {
  echo "FAIL: $*"
  TW_FAILS=$((TW_FAILS + 1))
}

# Ends the test at once; the exit trap prints the screen and cleans up.
tw_fatal() {
  echo "FAIL: $*"
  TW_FAILS=$((TW_FAILS + 1))
  exit 1
}

# check_eq WHAT EXPECTED ACTUAL
check_eq() {
  if [ "$2" == "$3" ]; then
    tw_ok "$1: ${3:-(nothing)}"
  else
    tw_fail "$1: expected '${2:-(nothing)}', got '${3:-(nothing)}'"
  fi
}

# check_file_same WHAT EXPECTED_FILE ACTUAL_FILE
check_file_same() {
  if [ ! -f "$3" ]; then
    tw_fail "$1: expected a copy of $2, got no file at $3"
  elif cmp -s "$2" "$3"; then
    tw_ok "$1: $3 is byte-identical to $2 ($(stat -c %s "$3") bytes)"
  else
    tw_fail "$1: $3 differs from $2 ($(cmp "$2" "$3" 2>&1 | head -1))"
  fi
}

check_exists() {
  if [ -e "$2" ]; then tw_ok "$1: $2 exists"; else tw_fail "$1: expected $2 to exist, got nothing"; fi
}

check_absent() {
  if [ -e "$2" ]; then
    tw_fail "$1: expected no $2, got $(stat -c %F "$2")"
  else
    tw_ok "$1: no $2"
  fi
}

# ---------------------------------------------------------------- session

# Prepares the environment, checks the fixture and arms the exit trap.
tw_begin() {
  TW_NAME=$1
  # Messages of functions whose standard output is captured go to fd 3.
  exec 3>&1
  : "${TW_RUN_DIR:?TW_RUN_DIR is not set (run the tests through ctest)}"
  : "${TW_PREFIX:?TW_PREFIX is not set (run the tests through ctest)}"
  # The fixture found that this build does not run the tier here.
  if [ -s "$TW_RUN_DIR/skip" ]; then
    echo "skipped: $(cat "$TW_RUN_DIR/skip")"
    exit 77
  fi
  if [ ! -s "$TW_RUN_DIR/display" ] || [ ! -d "$TW_PREFIX/drive_c" ]; then
    echo "FAIL: the Wine fixture is missing: no display or prefix under $TW_RUN_DIR, $TW_PREFIX"
    exit 1
  fi
  export DISPLAY=":$(cat "$TW_RUN_DIR/display")"
  local xvfb_pid
  xvfb_pid=$(cat "$TW_RUN_DIR/xvfb.pid" 2>/dev/null)
  if [ -z "$xvfb_pid" ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
    echo "FAIL: the fixture's Xvfb (pid '${xvfb_pid}') is not running"
    exit 1
  fi
  export WINEPREFIX=$TW_PREFIX
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
  export WINESERVER=$TW_WINESERVER

  TW_LOG_DIR="$TW_RUN_DIR/$TW_NAME"
  rm -rf "$TW_LOG_DIR"
  mkdir -p "$TW_LOG_DIR"
  TW_USER_DIR=$(tw_user_dir)
  TW_PROGRAMS="$TW_USER_DIR/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
  # All users' Programs folder, where the setup makes its shortcut files.
  TW_COMMON_PROGRAMS="$TW_PREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
  trap tw_on_exit EXIT
  # Processes left by an earlier test of this run would answer for us.
  tw_stop_wine
  echo "test $TW_NAME: display $DISPLAY, prefix $WINEPREFIX, logs $TW_LOG_DIR"
}

tw_end() {
  if [ "$TW_FAILS" -eq 0 ]; then
    echo "PASS: $TW_NAME"
    exit 0
  fi
  echo "FAIL: $TW_NAME: $TW_FAILS check(s) failed"
  exit 1
}

tw_on_exit() {
  local status=$?
  trap - EXIT
  if [ "$status" -ne 0 ] || [ "$TW_FAILS" -ne 0 ]; then
    dump_screen "failure"
    [ -s "$TW_LOG_DIR/windows.log" ] && { echo "windows seen:"; sed 's/^/  /' "$TW_LOG_DIR/windows.log"; }
    [ "$status" -eq 0 ] && status=1
  fi
  stop_window_log
  tw_stop_wine
  local pid
  for pid in "${TW_BG_PIDS[@]}" $TW_SETUP_PID; do
    kill "$pid" 2>/dev/null
  done
  # A script can add its own last step.
  if declare -F tw_exit_hook >/dev/null; then tw_exit_hook; fi
  exit "$status"
}

# Ends every process of the prefix and waits, within a deadline, for the
# server to go.
tw_stop_wine() {
  "$TW_WINESERVER" -k >/dev/null 2>&1
  timeout 20 "$TW_WINESERVER" -w >/dev/null 2>&1
  return 0
}

# The profile folder of the prefix's user (drive_c/users/<user>).
tw_user_dir() {
  local d
  for d in "$TW_PREFIX"/drive_c/users/*; do
    case "${d##*/}" in
      Public | public) ;;
      *) [ -d "$d" ] && { echo "$d"; return 0; } ;;
    esac
  done
  echo "$TW_PREFIX/drive_c/users/$(id -un)"
}

# unix_path 'C:\a\b' -> the path of that file in the prefix.
unix_path() {
  local p=$1 drive rest
  drive=$(printf '%s' "${p:0:1}" | tr 'A-Z' 'a-z')
  rest=${p:2}
  printf '%s/drive_%s%s' "$TW_PREFIX" "$drive" "${rest//\\//}"
}

# The Windows form of the user's profile folder, e.g. C:\users\ann.
win_user_dir() { printf 'C:\\users\\%s' "${TW_USER_DIR##*/}"; }

# find_ci DIR NAME: the entry of DIR whose name equals NAME without case.
find_ci() {
  local e
  for e in "$1"/*; do
    if [ "$(printf '%s' "${e##*/}" | tr 'A-Z' 'a-z')" == "$(printf '%s' "$2" | tr 'A-Z' 'a-z')" ]; then
      echo "$e"
      return 0
    fi
  done
  return 1
}

startup_dir() {
  find_ci "$TW_PROGRAMS" "StartUp" || echo "$TW_PROGRAMS/StartUp"
}

common_startup_dir() {
  find_ci "$TW_COMMON_PROGRAMS" "StartUp" || echo "$TW_COMMON_PROGRAMS/StartUp"
}

# Removes what earlier tests may have left: the profile, the default and
# fallback data directories, the Start Menu entries (the user's and all
# users') and the product's parent log.
clean_product_state() {
  rm -f "$TW_PREFIX/drive_c/windows/tidewell.ini"
  rm -rf "$TW_PREFIX/drive_c/Program Files/Tidewell" "$TW_USER_DIR/Tidewell"
  rm -rf "$TW_PROGRAMS/Tidewell" "$TW_COMMON_PROGRAMS/Tidewell"
  local link
  link=$(find_ci "$(startup_dir)" "Tidewell.lnk") && rm -f "$link"
  link=$(find_ci "$(common_startup_dir)" "Tidewell.lnk") && rm -f "$link"
  find "$TW_PREFIX/drive_c/users" -iname tw32-parent.log -delete 2>/dev/null
  return 0
}

# parent_log_field parent|directory: what the product wrote on start about
# the program that started it (tw32-parent.log in its temporary folder);
# waits for the file within the window deadline.
parent_log_field() {
  local deadline=$((SECONDS + TW_WINDOW_DEADLINE)) log=""
  while [ -z "$log" ] && [ "$SECONDS" -lt "$deadline" ]; do
    log=$(find "$TW_PREFIX/drive_c/users" -iname tw32-parent.log 2>/dev/null | head -n 1)
    [ -z "$log" ] && sleep 0.2
  done
  [ -n "$log" ] && tr -d '\r' <"$log" | sed -n "s/^$1=//p"
}

# The product's key in Apps & features, as Windows' reg.exe names it.
TW_UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tidewell'

# uninstall_value NAME: a value of the product's Apps & features entry, as
# the prefix's reg.exe reads it; nothing when there is no such value.
uninstall_value() {
  "$TW_WINE" reg query "$TW_UNINSTALL_KEY" /v "$1" 2>/dev/null | tr -d '\r' |
    awk -v name="$1" '$1 == name { sub(/^[ \t]*[^ \t]+[ \t]+[^ \t]+[ \t]+/, ""); print }'
}

# The entries Wine's own uninstaller lists, one "key|||name" a line.
apps_listed() {
  "$TW_WINE" uninstaller --list 2>/dev/null | tr -d '\r'
}

# The profile the setup reads and writes, in the prefix's Windows folder.
profile_path() { echo "$TW_PREFIX/drive_c/windows/tidewell.ini"; }

# write_profile LINE...: writes tidewell.ini with CRLF line ends.
write_profile() {
  printf '%s\r\n' "$@" >"$(profile_path)"
}

# fresh_dir 'C:\a\b': removes and remakes that folder of the prefix (the
# parents too); prints its Unix path.
fresh_dir() {
  local d
  d=$(unix_path "$1")
  rm -rf "$d"
  mkdir -p "$d"
  echo "$d"
}

# ---------------------------------------------------------------- programs

# run_setup: starts setup.exe in the background.
run_setup() {
  echo "starting $TW_SETUP"
  "$TW_WINE" "$TW_SETUP" >"$TW_LOG_DIR/setup.out" 2>&1 &
  TW_SETUP_PID=$!
}

# wait_setup DEADLINE: waits for setup.exe to end; sets TW_SETUP_RC.
wait_setup() {
  local deadline=$((SECONDS + ${1:-$TW_SETUP_DEADLINE}))
  while kill -0 "$TW_SETUP_PID" 2>/dev/null; do
    if [ "$SECONDS" -ge "$deadline" ]; then
      tw_fatal "setup.exe did not end within ${1:-$TW_SETUP_DEADLINE} s"
    fi
    sleep 0.2
  done
  wait "$TW_SETUP_PID"
  TW_SETUP_RC=$?
  TW_SETUP_PID=""
}

# start_bg LOGNAME PROGRAM ARGS...: starts a Windows program in the
# background; its pid is in TW_LAST_PID.
start_bg() {
  local log=$1
  shift
  "$TW_WINE" "$@" >"$TW_LOG_DIR/$log.out" 2>&1 &
  TW_LAST_PID=$!
  TW_BG_PIDS+=("$TW_LAST_PID")
}

# wine_procs EXE: pids of the Windows processes of this test's prefix whose
# program file is named EXE (without case). Wine shows a process by the path
# it was started with: a Windows path, or a Unix path for a program started
# from Linux. Other prefixes on the machine (other test runs) are left out.
wine_procs() {
  local pid
  for pid in $(ps -eo pid=,args= | awk -v exe="$1" '
    { path = tolower($2)
      if (path !~ /^([a-z]:\\|\/)/) next
      n = split(path, part, /[\\\/]/)
      if (part[n] == tolower(exe)) print $1 }'); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$TW_PREFIX" && echo "$pid"
  done
  return 0
}

# wait_pid_gone PID DEADLINE: true when the process ended in time.
wait_pid_gone() {
  local deadline=$((SECONDS + $2))
  while kill -0 "$1" 2>/dev/null; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.2
  done
  return 0
}

# finish_install STARTUP_KEY: answers the rest of a successful run: the
# warning with Enter, the Startup question with STARTUP_KEY (y or n) and
# the offer to start the product with n; then waits for the setup to end.
finish_install() {
  answer "Closing Running Copies" Return
  answer "Add To Startup Group" "$1" settle
  answer "Installation Successful" n settle
  wait_setup
}

# The uninstaller's copies in the temporary folder, of this test's prefix.
uninstaller_copies() {
  local pid
  for pid in $(ps -eo pid=,args= | awk 'tolower($2) ~ /\\temp\\uns[0-9a-f]+\.tmp$/ { print $1 }'); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$TW_PREFIX" && echo "$pid"
  done
  return 0
}

# finish_uninstall CLOSING_TEXT: answers an uninstaller started in the
# background as TW_SETUP_PID: Yes to its question, the running-copies
# warning; checks the closing message's text and waits for its copy in the
# temporary folder to end.
finish_uninstall() {
  answer "Uninstall Tidewell" y
  answer "Closing Running Copies" Return
  wait_setup
  check_eq "exit code of uninst.exe" 0 "$TW_SETUP_RC"
  expect_window "Uninstall Complete" >/dev/null || tw_fatal "no closing message"
  check_box_text "the closing message" "Uninstall Complete" "$1"
  # Escape, not Return: a folder window of Program Manager may have taken the keys.
  answer "Uninstall Complete" Escape settle
  local deadline=$((SECONDS + TW_GONE_DEADLINE))
  while [ -n "$(uninstaller_copies)" ]; do
    [ "$SECONDS" -ge "$deadline" ] && { tw_fail "the uninstaller's copy still runs: $(uninstaller_copies)"; break; }
    sleep 0.2
  done
}

# ---------------------------------------------------------------- windows

# The exact-match regular expression for a caption.
name_regex() {
  printf '^%s$' "$(printf '%s' "$1" | sed 's/[][\.*^$?+(){}|/]/\\&/g')"
}

# find_window NAME [CLASS]: ids of the visible windows with exactly that
# caption (and that X class instance, which Wine sets to the program's file
# name), one a line.
find_window() {
  local id
  if [ -n "${2:-}" ]; then
    for id in $(xdotool search --onlyvisible --classname "$(name_regex "$2")" 2>/dev/null); do
      [ "$(xdotool getwindowname "$id" 2>/dev/null)" == "$1" ] && echo "$id"
    done
  else
    xdotool search --onlyvisible --name "$(name_regex "$1")" 2>/dev/null
  fi
  return 0
}

window_visible() {
  xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'
}

# wait_window NAME DEADLINE [CLASS]: prints the id of the first visible
# window with that caption; false when none showed in time.
wait_window() {
  local deadline=$((SECONDS + $2)) id
  while :; do
    id=$(find_window "$1" "${3:-}" | head -n 1)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.1
  done
}

# wait_gone ID DEADLINE: true when the window is gone or hidden in time.
wait_gone() {
  local deadline=$((SECONDS + $2))
  while window_visible "$1"; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.1
  done
  return 0
}

# expect_window NAME [DEADLINE] [CLASS]: like wait_window, fatal when the
# window does not show.
expect_window() {
  local id
  if id=$(wait_window "$1" "${2:-$TW_WINDOW_DEADLINE}" "${3:-}"); then
    echo "ok: window \"$1\" is shown (id $id)" >&3
    echo "$id"
    return 0
  fi
  echo "FAIL: expected the window \"$1\" within ${2:-$TW_WINDOW_DEADLINE} s, got none" >&3
  return 1
}

# activate ID: makes the window Wine's foreground window. There is no
# window manager, and Wine's programs (such as the folder windows that its
# Program Manager opens) take the foreground when they show, so giving the
# X focus alone is not enough: the window is raised and clicked near its
# top left corner, on its background or frame, which no control occupies.
activate() {
  xdotool windowraise "$1" 2>/dev/null
  xdotool mousemove --window "$1" 4 4 click 1 2>/dev/null
  xdotool windowfocus --sync "$1" 2>/dev/null
}

# press ID KEY...: activates the window and presses the keys.
press() {
  local id=$1
  shift
  activate "$id"
  xdotool key --clearmodifiers "$@" 2>/dev/null
}

# fill_dir_field DIALOG TEXT: replaces the text of the data directory
# dialog's edit field. The field is clicked (its place follows from the
# dialog's layout: 7,50 to 210,64 of 217x98 dialog units), its text
# selected with Home and Shift+End, and the new text typed over it.
fill_dir_field() {
  local id=$1 WIDTH HEIGHT X Y WINDOW SCREEN
  eval "$(xdotool getwindowgeometry --shell "$id")"
  local x=$((WIDTH * 108 / 217)) y=$((HEIGHT * 57 / 98))
  activate "$id"
  xdotool mousemove --window "$id" "$x" "$y" click 1
  xdotool key --clearmodifiers Home shift+End
  xdotool type --clearmodifiers --delay 30 "$2"
  echo "typed into the dialog's field: $2"
}

# wait_settled SECONDS DEADLINE: waits until the set of visible windows
# has stayed the same for SECONDS (at most DEADLINE seconds in all).
wait_settled() {
  local quiet=$1 deadline=$((SECONDS + $2)) last="" now since=$SECONDS
  while [ "$SECONDS" -lt "$deadline" ]; do
    now=$(xdotool search --onlyvisible --name . 2>/dev/null | sort | paste -sd ' ')
    if [ "$now" != "$last" ]; then
      last=$now
      since=$SECONDS
    elif [ $((SECONDS - since)) -ge "$quiet" ]; then
      return 0
    fi
    sleep 0.25
  done
  return 0
}

# answer NAME KEY [settle]: waits for the window NAME, presses KEY and
# waits for the window to close. The folder windows that Wine's Program
# Manager opens show a moment after the setup's next box and take the
# foreground; with "settle", the key is pressed only once no window has
# shown for 2 s. Should such a window still take the key, it is pressed
# again after 8 s, at most three times in all. Only letter keys and Return
# are used: they are harmless in those folder windows, and Return is only
# used before the setup has opened any of them.
answer() {
  local name=$1 key=$2 id attempt
  id=$(expect_window "$name") || tw_fatal "no \"$name\" to answer"
  [ "${3:-}" == "settle" ] && wait_settled 2 15
  for attempt in 1 2 3; do
    window_visible "$id" || break
    press "$id" "$key"
    if wait_gone "$id" 8; then
      tw_ok "answered \"$name\" with $key"
      return 0
    fi
    echo "note: \"$name\" still open 8 s after $key (attempt $attempt)"
  done
  window_visible "$id" && tw_fatal "\"$name\" did not close after $key"
  tw_ok "answered \"$name\" with $key"
}

# All windows with their names, visible or not.
list_windows() {
  local id
  for id in $(xdotool search --name . 2>/dev/null); do
    local state=hidden
    window_visible "$id" && state=visible
    printf '  %s %-8s "%s"\n' "$id" "$state" "$(xdotool getwindowname "$id" 2>/dev/null)"
  done
}

# screenshot LABEL [WINDOW]: saves a PNG in the test's log folder and
# prints its path.
screenshot() {
  local file="$TW_LOG_DIR/$1.png"
  if import -window "${2:-root}" "$file" 2>/dev/null; then
    echo "$file"
  else
    echo "(no screenshot: import failed)"
  fi
}

# dump_screen LABEL: what was on screen, for a failure report.
dump_screen() {
  echo "windows on $DISPLAY:"
  list_windows
  echo "screenshot: $(screenshot "$1")"
  echo "Windows processes:"
  ps -eo pid=,stat=,etime=,args= | awk '$4 ~ /^([A-Za-z]:\\|\/).*\.exe$/ || $4 ~ /wineserver/' | sed 's/^/  /'
  if [ -s "$TW_LOG_DIR/setup.out" ]; then
    echo "output of setup.exe (last lines):"
    tail -n 20 "$TW_LOG_DIR/setup.out" | sed 's/^/  /'
  fi
}

# window_text CAPTION: the texts of the controls of the window with that
# caption (a message box: its text and its buttons), one a line.
window_text() {
  "$TW_WINE" "$TW_WINDOW_TEXT" "$1" 2>/dev/null | tr -d '\r'
}

# check_box_text WHAT CAPTION TEXT: the window's controls include TEXT.
check_box_text() {
  local got
  got=$(window_text "$2")
  if grep -qxF -- "$3" <<<"$got"; then
    tw_ok "$1: \"$3\""
  else
    tw_fail "$1: expected \"$3\", got: $(paste -sd '|' <<<"$got")"
  fi
}

# ---------------------------------------------------------------- window log

# Records, every 0.2 s, the visible top-level windows of a program (by its
# file name, e.g. setup.exe) in the test's windows.log, one line per change:
# "<seconds> <id>=<name>|<id>=<name>...", ids in creation order.
start_window_log() {
  local class=$1
  : >"$TW_LOG_DIR/windows.log"
  (
    last=""
    start=$(date +%s.%N)
    while :; do
      now=""
      for id in $(xdotool search --onlyvisible --classname "$(name_regex "$class")" 2>/dev/null | sort -n); do
        now="$now|$id=$(xdotool getwindowname "$id" 2>/dev/null)"
      done
      if [ "$now" != "$last" ]; then
        printf '%.1f %s\n' "$(echo "$(date +%s.%N) - $start" | bc)" "${now#|}" >>"$TW_LOG_DIR/windows.log"
        last=$now
      fi
      sleep 0.2
    done
  ) &
  TW_WATCH_PID=$!
}

stop_window_log() {
  if [ -n "$TW_WATCH_PID" ]; then
    kill "$TW_WATCH_PID" 2>/dev/null
    wait "$TW_WATCH_PID" 2>/dev/null
    TW_WATCH_PID=""
  fi
}

# The names of the logged windows in the order they first showed, joined
# with " > ". Windows without a name and input-method windows are left out.
windows_seen() {
  tr '|' '\n' <"$TW_LOG_DIR/windows.log" | sed -n 's/^[^=]*=//p' |
    grep -v -e '^$' -e '^Default IME$' | awk '!seen[$0]++' | paste -sd '>' | sed 's/>/ > /g'
}

# ---------------------------------------------------------------- files

# ini_get FILE SECTION KEY: the value of an entry (sections and keys
# compared without case, as the profile functions do).
ini_get() {
  [ -f "$1" ] || return 1
  tr -d '\r' <"$1" | awk -v sec="$2" -v key="$3" '
    BEGIN { sec = tolower(sec); key = tolower(key) }
    /^[ \t]*\[/ { s = $0; sub(/^[ \t]*\[/, "", s); sub(/\].*$/, "", s); in_sec = (tolower(s) == sec); next }
    in_sec {
      eq = index($0, "=")
      if (eq == 0) next
      k = substr($0, 1, eq - 1); gsub(/^[ \t]+|[ \t]+$/, "", k)
      if (tolower(k) == key) { v = substr($0, eq + 1); gsub(/^[ \t]+|[ \t]+$/, "", v); print v; found = 1; exit }
    }
    END { exit found ? 0 : 1 }'
}

# lnk_field FILE target|workdir: the target path (the local base path of
# the link's location block, ANSI) or the working directory (UTF-16LE) of
# a shell link.
lnk_field() {
  python3 - "$1" "$2" <<'EOF'
import struct, sys

data = open(sys.argv[1], "rb").read()
want = sys.argv[2]
if len(data) < 76 or struct.unpack_from("<I", data, 0)[0] != 0x4C:
    sys.exit("not a shell link: " + sys.argv[1])
flags = struct.unpack_from("<I", data, 20)[0]
pos = 76
if flags & 0x1:  # an item id list comes first
    pos += 2 + struct.unpack_from("<H", data, pos)[0]
target = ""
if flags & 0x2:  # the location block holds the target as ANSI text
    size, header, lflags, _vol, base = struct.unpack_from("<IIIII", data, pos)
    if lflags & 0x1:
        start = pos + base
        target = data[start:data.index(b"\0", start)].decode("latin-1")
    pos += size
unicode = bool(flags & 0x80)
strings = {}
for bit, key in ((0x4, "name"), (0x8, "relative"), (0x10, "workdir"), (0x20, "arguments"), (0x40, "icon")):
    if flags & bit:
        count = struct.unpack_from("<H", data, pos)[0]
        pos += 2
        width = 2 if unicode else 1
        raw = data[pos:pos + count * width]
        pos += count * width
        strings[key] = raw.decode("utf-16-le" if unicode else "latin-1").rstrip("\0")
if want == "target":
    print(target)
else:
    print(strings.get(want, ""))
EOF
}

# check_link WHAT FILE TARGET WORKDIR
check_link() {
  if [ ! -f "$2" ]; then
    tw_fail "$1: expected a link at $2, got no file"
    return
  fi
  check_eq "$1 target" "$3" "$(lnk_field "$2" target)"
  check_eq "$1 working directory" "$4" "$(lnk_field "$2" workdir)"
}
