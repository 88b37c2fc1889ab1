#!/usr/bin/env bash
# Builds the benchmarks in an optimised host build and prints their figures.
# Each section is a function; add one and list it in "sections" below.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build/bench
cmake -S . -B $build -G Ninja -DCMAKE_BUILD_TYPE=Release -DSETUP_BENCHMARKS=ON >/dev/null
cmake --build $build --target extract_bench mkpayload_bench mkpayload >/dev/null
work=$(mktemp -d /tmp/tidewell-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

extract_section() {
  echo "== ExtractPayload"
  $build/tests/bench/extract_bench "$work"
}

# Peak RSS for 64 and 256 MiB, and the --jobs 2 speedup of the whole run with
# its spread. MKPAYLOAD_BENCH_RUNS sets the number of alternating pairs.
mkpayload_section() {
  echo "== mkpayload"
  $build/tests/bench/mkpayload_bench "$work/mkpayload" "${MKPAYLOAD_BENCH_RUNS:-7}"
}

stub_section() {
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
}

sections=(extract_section mkpayload_section stub_section)
for section in "${sections[@]}"; do
  "$section"
  echo
done
