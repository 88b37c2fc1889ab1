#!/usr/bin/env bash
# The data directory dialog's OK button looks otherwise with Wine's theme on
# than off, as only Common Controls 6 draws it. Both dialogs go to the logs.
set -u
. "$(dirname "$0")/lib.sh"
tw_begin themed_controls

# theme 1|0 NAME: theme on or off; the dialog to NAME.png, its OK button to NAME-ok.png.
theme() {
  "$TW_WINE" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager' /v ThemeActive /d "$1" /f
  tw_stop_wine
  clean_product_state
  run_setup
  local dialog WIDTH HEIGHT X Y WINDOW SCREEN
  dialog=$(expect_window "Choose a Data Directory") || tw_fatal "no data directory dialog"
  activate "$dialog"
  wait_settled 2 10
  echo "saved $(screenshot "$2" "$dialog")"
  eval "$(xdotool getwindowgeometry --shell "$dialog")"  # OK: 7,78 50x14 of 217x98 dialog units
  import -window "$dialog" -crop "$((WIDTH * 50 / 217))x$((HEIGHT * 14 / 98))+$((WIDTH * 7 / 217))+$((HEIGHT * 78 / 98))" \
    +repage "$TW_LOG_DIR/$2-ok.png"
  press "$dialog" Escape
  answer "Shutting Down" Return
  answer "Application Not Installed" Return
  wait_setup
}

theme 0 classic-data-directory
theme 1 themed-data-directory  # and on for the later tests, as the prefix was made
# The button's frame and face change, not a stray pixel.
total=$(identify -format '%[fx:w*h]' "$TW_LOG_DIR/themed-data-directory-ok.png")
changed=$(compare -metric AE "$TW_LOG_DIR"/{themed,classic}-data-directory-ok.png null: 2>&1)
[ "${changed%%.*}" -ge $((total / 4)) ] 2>/dev/null && tw_ok "OK button pixels the theme changes: $changed of $total" ||
  tw_fail "OK button pixels the theme changes: expected at least a quarter of $total, got $changed"
tw_end
