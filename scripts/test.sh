#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test:
# host unit and end-to-end tests (under ASan and UBSan), the Windows import
# check, and the Wine tier on the win64 build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh all

for preset in host win32 win64; do
  echo "=== build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

status=0
for preset in host win32; do
  echo "=== test: $preset"
  ctest --preset "$preset" || status=1
done
# The Wine tier drives a real desktop; a test that fails is run once more
# (its first failure and its screen dump stay in the log).
echo "=== test: win64"
ctest --preset win64 --repeat until-pass:2 || status=1
exit $status
