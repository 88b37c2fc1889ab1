#!/usr/bin/env bash
# Saves a picture of each window the user sees into docs/screenshots: one
# full installation (dialog, progress window with the warning, Startup
# question, closing question), its removal with the installed uninstaller
# (question, closing message) and one failed extraction (failure message).
# Not a test; run by hand after building the win32 preset, the product:
#   bash tests/wine/capture_screens.sh [build dir, default build/win32]
# It makes its own Xvfb and prefix (in the build tree) and removes them at
# the end. In that prefix Wine draws the window frames and captions itself,
# since there is no window manager on the Xvfb display to draw them, and the
# caption buttons' symbols with its Marlett font.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$root/build/win32}" && pwd) || exit 1
out=${TW_SCREENS_DIR:-$root/docs/screenshots}

export TW_RUN_DIR="$build/wine-screens-run"
export TW_PREFIX="$build/wine-screens-prefix"
export TW_SETUP="$build/setup.exe" TW_TW32="$build/product/tw32.exe" TW_UNINST="$build/setup_payload/uninst.exe"
for f in "$TW_SETUP" "$TW_TW32" "$TW_UNINST"; do
  [ -f "$f" ] || { echo "FAIL: $f is missing; build the win32 preset first"; exit 1; }
done
# The loader for the build's programs: Wine's 32-bit one for i686.
if i686-w64-mingw32-objdump -f "$TW_SETUP" 2>/dev/null | grep -q 'pei-i386'; then
  export TW_ARCH=i686 TW_WINE=/usr/lib/wine/wine
else
  export TW_ARCH=x86_64 TW_WINE=/usr/lib/wine/wine64
fi
mkdir -p "$out"

bash "$here/fixture.sh" setup || exit 1
. "$here/lib.sh"
tw_begin screens
# The fixture goes too when this script ends, however it ends.
tw_exit_hook() { bash "$here/fixture.sh" cleanup >/dev/null; }

# Debian's Wine looks for its own fonts in a folder beside its data folder
# where the fonts-wine package does not put them, so a new prefix has no
# Marlett and the close button shows its letter "r" in another font. Wine
# also reads the prefix's Fonts folder when it starts.
marlett=""
for f in /usr/share/wine/fonts/marlett.ttf /opt/wine*/share/wine/fonts/marlett.ttf; do
  [ -f "$f" ] && marlett=$f && break
done
[ -n "$marlett" ] || tw_fatal "no marlett.ttf of Wine's (Debian package fonts-wine) for the caption buttons"
cp "$marlett" "$TW_PREFIX/drive_c/windows/Fonts/"
echo "caption buttons drawn with $marlett"

"$TW_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
tw_stop_wine

# A fingerprint of a window's pixels.
pixels() { import -window "$1" rgb:- 2>/dev/null | md5sum; }

# Hides the folder windows that Wine's Program Manager opens; they show a
# moment after the setup's boxes and would cover them.
hide_folders() {
  local id hidden=1
  for id in $(xdotool search --onlyvisible --classname '^explorer\.exe$' 2>/dev/null); do
    [ -n "$(xdotool getwindowname "$id" 2>/dev/null)" ] || continue
    xdotool windowunmap "$id" 2>/dev/null
    hidden=0
  done
  return $hidden
}

# shoot FILE WINDOW...: brings the windows to the front, the last one on
# top, and saves the smallest part of the screen that holds them all, once
# it has stayed the same for 2.5 s (Wine raises and paints a window some
# time after the click) and no folder window showed meanwhile.
shoot() {
  local file="$out/$1" x0=99999 y0=99999 x1=0 y1=0 id WIDTH HEIGHT X Y WINDOW SCREEN attempt
  shift
  for attempt in 1 2 3 4; do
    hide_folders
    for id in "$@"; do
      activate "$id"
      eval "$(xdotool getwindowgeometry --shell "$id")"
      [ "$X" -lt "$x0" ] && x0=$X
      [ "$Y" -lt "$y0" ] && y0=$Y
      [ $((X + WIDTH)) -gt "$x1" ] && x1=$((X + WIDTH))
      [ $((Y + HEIGHT)) -gt "$y1" ] && y1=$((Y + HEIGHT))
    done
    local crop="$((x1 - x0))x$((y1 - y0))+$x0+$y0" last="" now same=0 deadline=$((SECONDS + 20))
    while [ "$same" -lt 5 ] && [ "$SECONDS" -lt "$deadline" ]; do
      sleep 0.5
      now=$(import -window root -crop "$crop" rgb:- 2>/dev/null | md5sum)
      if [ "$now" == "$last" ]; then same=$((same + 1)); else same=0; fi
      last=$now
    done
    hide_folders || break
  done
  import -window root -crop "$crop" +repage "$file"
  echo "saved $file ($crop)"
}

# One full installation.
clean_product_state
run_setup
dialog=$(expect_window "Choose a Data Directory") || tw_fatal "no dialog"
shoot choose-data-directory.png "$dialog"
press "$dialog" Return
wait_gone "$dialog" "$TW_GONE_DEADLINE" || tw_fatal "the dialog did not close"
warning=$(expect_window "Closing Running Copies") || tw_fatal "no warning"
progress=$(expect_window "Setup Progress") || tw_fatal "no progress window"
shoot setup-progress-with-closing-running-copies.png "$progress" "$warning"
shoot closing-running-copies.png "$warning"
shoot setup-progress.png "$progress"
answer "Closing Running Copies" Return
startup=$(expect_window "Add To Startup Group") || tw_fatal "no Startup question"
shoot add-to-startup-group.png "$startup"
answer "Add To Startup Group" y settle
final=$(expect_window "Installation Successful") || tw_fatal "no closing question"
shoot installation-successful.png "$final"
answer "Installation Successful" n settle
wait_setup
tw_stop_wine

# Its removal, started as the Start Menu item starts it.
data_win="$(win_user_dir)\\Tidewell"
(cd "$(unix_path "$data_win")" && exec "$TW_WINE" "$data_win\\uninst.exe") >/dev/null 2>&1 &
TW_SETUP_PID=$!
question=$(expect_window "Uninstall Tidewell") || tw_fatal "no uninstall question"
shoot uninstall-question.png "$question"
answer "Uninstall Tidewell" y
answer "Closing Running Copies" Return
wait_setup
complete=$(expect_window "Uninstall Complete") || tw_fatal "no closing message"
shoot uninstall-complete.png "$complete"
answer "Uninstall Complete" Return
tw_stop_wine

# One failed extraction: a folder named uninst.exe blocks the uninstaller.
clean_product_state
blocked=$(fresh_dir 'C:\tw-blocked')
mkdir "$blocked/uninst.exe"
write_profile '[Options]' 'dataDir=C:\tw-blocked'
run_setup
answer "Closing Running Copies" Return
failure=$(expect_window "Tidewell Installation Failed") || tw_fatal "no failure message"
progress=$(expect_window "Setup Progress") || tw_fatal "no progress window"
shoot installation-failed.png "$failure"
shoot setup-progress-with-installation-failed.png "$progress" "$failure"
answer "Tidewell Installation Failed" Return
wait_setup

tw_end
