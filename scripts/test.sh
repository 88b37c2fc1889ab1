#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test:
# host unit and end-to-end tests (under ASan and UBSan), the Windows checks
# of both Windows builds, and the Wine tier on the i686 build (on the win64
# build where this machine refuses 32-bit programs, as it does when 32-bit
# Wine could not be installed). Its last line says which build's Wine tier
# ran, and why not the i686 build's.
set -euo pipefail
cd "$(dirname "$0")/.."
# install-deps.sh writes here which 32-bit Wine packages it could not
# install, and apt's reason.
deps_note=build/install-deps.note
mkdir -p build
rm -f "$deps_note"
INSTALL_DEPS_NOTE=$deps_note scripts/install-deps.sh all

for preset in host win32 win64; do
  echo "=== build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

# What the Wine fixture decided for a build: its loud line where the tier did
# not run as usual (the i686 build's where this machine refuses 32-bit
# programs, and the win64 build's, which then runs the tier instead), else
# why the tier was skipped there.
wine_verdict() {
  local run=build/$1/wine-run
  if [ -s "$run/banner" ]; then
    cat "$run/banner"
  elif [ -s "$run/skip" ]; then
    echo "note: the Wine tier of $1 was skipped: $(cat "$run/skip")"
  fi
  return 0
}

# One line: which build's Wine tier ran and, where it was not the i686
# build's, why (install-deps.sh's reason when 32-bit Wine was not installed,
# else the fixture's).
wine_summary() {
  local why
  if [ ! -s build/win32/wine-run/skip ]; then
    echo "=== Wine tier: ran on the i686 build"
    return 0
  fi
  why=$(cat build/win32/wine-run/skip)
  [ ! -s "$deps_note" ] || why=$(cat "$deps_note")
  if [ -s build/win64/wine-run/skip ]; then
    echo "=== Wine tier: did not run: not on the i686 build because $why; not on the win64 build because $(cat build/win64/wine-run/skip)"
  else
    echo "=== Wine tier: ran on the win64 build, not on the i686 build because $why"
  fi
}

status=0
echo "=== test: host"
ctest --preset host || status=1
echo "=== test: win32"
ctest --preset win32 -LE wine || status=1
# The Wine tier drives a real desktop; a test that fails is run once more
# (its first failure and its screen dump stay in the log).
echo "=== test: win32, the Wine tier"
ctest --preset win32 -L wine --repeat until-pass:2 || status=1
wine_verdict win32
echo "=== test: win64"
ctest --preset win64 --repeat until-pass:2 || status=1
wine_verdict win64
wine_summary
exit $status
