#!/usr/bin/env bash
# Builds the benchmarks in an optimised host build and prints their figures,
# then the size of the i686 setup.exe without its payload.
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
echo
echo "== i686 setup.exe"
if [ -f build/win32/setup.exe ]; then
  exe=$(stat -c %s build/win32/setup.exe)
  blob=$(stat -c %s build/win32/setup_payload/payload.bin)
  echo "  setup.exe             $exe bytes"
  echo "  payload               $blob bytes"
  echo "  setup.exe - payload   $((exe - blob)) bytes"
else
  echo "  build/win32/setup.exe is not built (cmake --preset win32 && cmake --build --preset win32)"
fi
