#!/usr/bin/env bash
# The Wine tier's per-run fixture.
#   fixture.sh setup    starts one Xvfb on a free display and makes a fresh
#                       scratch prefix with a single `wineboot -i`
#   fixture.sh cleanup  ends the prefix's processes and the Xvfb, removes the
#                       prefix; logs and screenshots stay in the run folder
# Environment: TW_RUN_DIR (run folder), TW_PREFIX (the prefix).
set -u
: "${TW_RUN_DIR:?}" "${TW_PREFIX:?}"

TW_WINE=${TW_WINE:-/usr/lib/wine/wine64}
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

setup() {
  for tool in "$TW_WINE" "$TW_WINESERVER" Xvfb xdotool xwininfo import python3 bc; do
    if ! command -v "$tool" >/dev/null; then
      echo "FAIL: $tool is not installed"
      exit 1
    fi
  done
  mkdir -p "$TW_RUN_DIR"
  # Leftovers of an interrupted run.
  stop_wine
  stop_xvfb
  rm -rf "$TW_PREFIX"

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
  "$TW_WINE" wineboot -i >"$TW_RUN_DIR/wineboot.log" 2>&1
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
}

case "${1:-}" in
  setup) setup ;;
  cleanup) cleanup ;;
  *)
    echo "usage: $0 setup|cleanup"
    exit 2
    ;;
esac
