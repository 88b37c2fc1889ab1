#!/usr/bin/env bash
# The Wine tier's per-run fixture.
#   fixture.sh setup    starts one Xvfb on a free display, makes a fresh
#                       scratch prefix with a single `wineboot -i` and decides
#                       whether this build runs the tier (see decide_tier)
#   fixture.sh cleanup  ends the prefix's processes and the Xvfb, removes the
#                       prefix; logs and screenshots stay in the run folder
# Environment: TW_RUN_DIR (run folder), TW_PREFIX (the prefix), TW_ARCH (the
# build's i686 or x86_64), TW_WINE32 (Wine's 32-bit loader).
set -u
: "${TW_RUN_DIR:?}" "${TW_PREFIX:?}"

TW_ARCH=${TW_ARCH:-i686}
TW_WINE32=${TW_WINE32:-/usr/lib/wine/wine}
# The prefix is made by wine64: it serves 32-bit programs too where this
# machine runs them, and 64-bit ones where it does not.
TW_WINE64=${TW_WINE64:-/usr/lib/wine/wine64}
if [ -x /usr/lib/wine/wineserver64 ]; then
  TW_WINESERVER=${TW_WINESERVER:-/usr/lib/wine/wineserver64}
else
  TW_WINESERVER=${TW_WINESERVER:-wineserver}
fi
export WINEPREFIX=$TW_PREFIX WINEDEBUG=-all WINESERVER=$TW_WINESERVER
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'

# Ends the Xvfb recorded in the run folder, if it is still the one this
# fixture started.
stop_xvfb() {
  local pid
  pid=$(cat "$TW_RUN_DIR/xvfb.pid" 2>/dev/null) || return 0
  if [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" == "Xvfb" ]; then
    kill "$pid"
    local deadline=$((SECONDS + 10))
    while kill -0 "$pid" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.1; done
    echo "ended Xvfb (pid $pid)"
  fi
  rm -f "$TW_RUN_DIR/xvfb.pid" "$TW_RUN_DIR/display"
}

stop_wine() {
  if [ -d "$TW_PREFIX" ]; then
    "$TW_WINESERVER" -k >/dev/null 2>&1
    timeout 30 "$TW_WINESERVER" -w >/dev/null 2>&1
  fi
  return 0
}

# skip REASON: the tier does not run in this build; its tests see the
# reason in the run folder and are skipped.
skip() {
  echo "$1" >"$TW_RUN_DIR/skip"
  echo "skipped: $1"
  stop_wine
  stop_xvfb
  exit 77
}

# Whether this machine runs 32-bit Windows programs: Wine's 32-bit loader
# starts Wine's own i686 cmd.exe in the prefix, which must say that it runs
# as x86. Sets seen to what it printed.
runs_32bit() {
  if [ ! -x "$TW_WINE32" ]; then
    seen="no $TW_WINE32 (package wine32:i386)"
    return 1
  fi
  seen=$(timeout 120 "$TW_WINE32" cmd /c 'echo %PROCESSOR_ARCHITECTURE%' 2>&1 | tr -d '\r' | tail -n 3 | paste -sd ' ')
  stop_wine
  [ "$seen" == x86 ] || { seen="$TW_WINE32 cmd /c echo %PROCESSOR_ARCHITECTURE% printed '${seen}'"; return 1; }
}

# The i686 build runs the tier; the x86_64 build only where this machine
# refuses 32-bit programs. Then both builds say so in one loud line, kept in
# the run folder's banner for the cleanup and scripts/test.sh to repeat.
decide_tier() {
  local seen=""
  if runs_32bit; then
    [ "$TW_ARCH" == i686 ] || skip "this machine runs 32-bit programs, so the Wine tier runs the i686 build (ctest --preset win32 -L wine)"
    echo "ok: this machine runs 32-bit programs ($TW_WINE32 ran cmd.exe as $seen): the tier runs the i686 build"
  elif [ "$TW_ARCH" == i686 ]; then
    echo "######## THE WINE TIER DOES NOT RUN THE i686 BUILD: this machine refuses 32-bit programs ($seen); it runs the win64 build: ctest --preset win64 -L wine ########" |
      tee "$TW_RUN_DIR/banner"
    skip "this machine refuses 32-bit programs ($seen): the tier runs on the win64 build"
  else
    echo "######## THE WINE TIER RUNS THE WIN64 BUILD, NOT THE i686 PRODUCT: this machine refuses 32-bit programs ($seen) ########" |
      tee "$TW_RUN_DIR/banner"
  fi
}

setup() {
  for tool in "$TW_WINE64" "$TW_WINESERVER" Xvfb xdotool xwininfo import python3 bc; do
    if ! command -v "$tool" >/dev/null; then
      echo "FAIL: $tool is not installed"
      exit 1
    fi
  done
  mkdir -p "$TW_RUN_DIR"
  # Leftovers of an interrupted or earlier run.
  stop_wine
  stop_xvfb
  rm -rf "$TW_PREFIX"
  rm -f "$TW_RUN_DIR/skip" "$TW_RUN_DIR/banner"

  # Xvfb picks a free display itself and writes its number once it is ready.
  rm -f "$TW_RUN_DIR/display.tmp"
  setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
    3>"$TW_RUN_DIR/display.tmp" </dev/null >"$TW_RUN_DIR/xvfb.log" 2>&1 &
  local pid=$!
  echo "$pid" >"$TW_RUN_DIR/xvfb.pid"
  local deadline=$((SECONDS + 30))
  until [ -s "$TW_RUN_DIR/display.tmp" ] && grep -q $'\n' "$TW_RUN_DIR/display.tmp"; do
    if ! kill -0 "$pid" 2>/dev/null || [ "$SECONDS" -ge "$deadline" ]; then
      echo "FAIL: Xvfb did not report a display within 30 s; its log:"
      cat "$TW_RUN_DIR/xvfb.log"
      stop_xvfb
      exit 1
    fi
    sleep 0.1
  done
  tr -dc '0-9' <"$TW_RUN_DIR/display.tmp" >"$TW_RUN_DIR/display"
  rm -f "$TW_RUN_DIR/display.tmp"
  export DISPLAY=":$(cat "$TW_RUN_DIR/display")"
  echo "ok: Xvfb (pid $pid) on display $DISPLAY"

  local start=$SECONDS
  "$TW_WINE64" wineboot -i >"$TW_RUN_DIR/wineboot.log" 2>&1
  local rc=$?
  timeout 120 "$TW_WINESERVER" -w >/dev/null 2>&1
  if [ "$rc" -ne 0 ] || [ ! -d "$TW_PREFIX/drive_c/windows" ] || [ ! -d "$TW_PREFIX/drive_c/users" ]; then
    echo "FAIL: wineboot -i ended with $rc and made no usable prefix at $TW_PREFIX; its log:"
    cat "$TW_RUN_DIR/wineboot.log"
    stop_wine
    stop_xvfb
    exit 1
  fi
  echo "ok: prefix $TW_PREFIX made in $((SECONDS - start)) s"
  decide_tier
}

cleanup() {
  stop_wine
  stop_xvfb
  rm -rf "$TW_PREFIX"
  if [ -e "$TW_PREFIX" ]; then
    echo "FAIL: could not remove $TW_PREFIX"
    exit 1
  fi
  echo "ok: prefix removed, display closed"
  [ -s "$TW_RUN_DIR/banner" ] && cat "$TW_RUN_DIR/banner"
  return 0
}

case "${1:-}" in
  setup) setup ;;
  cleanup) cleanup ;;
  *)
    echo "usage: $0 setup|cleanup"
    exit 2
    ;;
esac
