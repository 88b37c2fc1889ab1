#!/usr/bin/env bash
# The data directory dialog's controls follow the prefix's visual style:
# its OK button looks different with Wine's theme on and off, which only the
# controls of Common Controls 6 do (user32's own ignore the theme). The
# themed dialog is saved in the test's logs.
set -u
. "$(dirname "$0")/lib.sh"
tw_begin themed_controls

theme_key='HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager'
# set_theme 1|0: turns the prefix's theme on or off for the programs started next.
set_theme() {
  "$TW_WINE" reg add "$theme_key" /v ThemeActive /d "$1" /f >/dev/null 2>&1
  tw_stop_wine
}
# Later tests find the theme as the prefix had it.
tw_exit_hook() { set_theme 1; }

# open_dialog: starts the setup and sets dialog to the data directory
# dialog's id once its pixels have stayed the same for a second.
open_dialog() {
  clean_product_state
  run_setup
  dialog=$(expect_window "Choose a Data Directory") || tw_fatal "the data directory dialog did not show"
  activate "$dialog"
  local last="" now same=0 deadline=$((SECONDS + 20))
  while [ "$same" -lt 4 ] && [ "$SECONDS" -lt "$deadline" ]; do
    sleep 0.25
    now=$(import -window "$dialog" rgb:- 2>/dev/null | md5sum)
    if [ "$now" == "$last" ]; then same=$((same + 1)); else same=0; fi
    last=$now
  done
}

# save_ok_button DIALOG FILE: the OK button's part of the dialog (7,78 to
# 57,92 of its 217x98 dialog units) as a PNG.
save_ok_button() {
  local WIDTH HEIGHT X Y WINDOW SCREEN
  eval "$(xdotool getwindowgeometry --shell "$1")"
  local x0=$((WIDTH * 7 / 217)) y0=$((HEIGHT * 78 / 98)) x1=$((WIDTH * 57 / 217)) y1=$((HEIGHT * 92 / 98))
  import -window "$1" -crop "$((x1 - x0))x$((y1 - y0))+$x0+$y0" +repage "$2"
}

# close_dialog DIALOG: Cancel, and the two notices that follow.
close_dialog() {
  press "$1" Escape
  answer "Shutting Down" Return
  answer "Application Not Installed" Return
  wait_setup
}

set_theme 1
open_dialog
echo "the themed dialog: $(screenshot themed-data-directory "$dialog")"
save_ok_button "$dialog" "$TW_LOG_DIR/ok-themed.png"
close_dialog "$dialog"

set_theme 0
open_dialog
echo "the dialog without a theme: $(screenshot classic-data-directory "$dialog")"
save_ok_button "$dialog" "$TW_LOG_DIR/ok-classic.png"
close_dialog "$dialog"

# At least a quarter of the button's pixels change with the theme: its
# frame and face, not a stray pixel.
total=$(identify -format '%[fx:w*h]' "$TW_LOG_DIR/ok-themed.png")
changed=$(compare -metric AE "$TW_LOG_DIR/ok-themed.png" "$TW_LOG_DIR/ok-classic.png" null: 2>&1)
if [ -n "$total" ] && [ "${changed%%.*}" -ge $((total / 4)) ] 2>/dev/null; then
  tw_ok "pixels of the OK button that the theme changes: $changed of $total"
else
  tw_fail "pixels of the OK button that the theme changes: expected at least a quarter of $total, got $changed"
fi

tw_end
