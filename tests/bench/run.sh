#!/usr/bin/env bash
# Builds the benchmarks in an optimised host build and prints their figures,
# then the size of the i686 setup.exe without its payload and the speed of
# its zlib.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build/bench
cmake -S . -B $build -G Ninja -DCMAKE_BUILD_TYPE=Release -DSETUP_BENCHMARKS=ON >/dev/null
cmake --build $build --target extract_bench mkpayload_bench mkpayload >/dev/null
work=$(mktemp -d /tmp/tidewell-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

echo "== ExtractPayload"
$build/tests/bench/extract_bench "$work"
echo
echo "== mkpayload"
$build/tests/bench/mkpayload_bench "$work/mkpayload"

# ---------------------------------------------------------------------------
# The Windows stub: the i686 setup.exe minus its payload blob, measured on
# the built files, and the speed of the stub's small zlib.
# ---------------------------------------------------------------------------
echo
echo "== i686 setup.exe"
if cmake --preset win32 >/dev/null 2>&1 && cmake --build --preset win32 --target setup >/dev/null 2>&1; then
  exe=$(stat -c %s build/win32/setup.exe)
  blob=$(stat -c %s build/win32/setup_payload/payload.bin)
  echo "  setup.exe             $exe bytes"
  echo "  payload blob          $blob bytes"
  echo "  stub (exe - blob)     $((exe - blob)) bytes (goal: at most 40960)"
else
  echo "  the win32 preset does not build here (scripts/install-deps.sh all)"
fi
echo
echo "== stub's zlib against the system's"
if cmake --build $build --target inflate_bench >/dev/null 2>&1; then
  $build/tests/bench/inflate_bench
else
  echo "  not built: no zlib sources (scripts/install-deps.sh all)"
fi
# --------------------------------------------------------------- end of stub
