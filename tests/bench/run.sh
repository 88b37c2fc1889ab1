#!/usr/bin/env bash
# Builds the benchmarks in an optimised host build and prints their figures:
# extraction, mkpayload, the i686 setup.exe without its payload with the
# speed of its zlib, and the side-by-side with NSIS. Each section is a
# function; add one and list it in "sections" below. A section can be run
# alone: tests/bench/run.sh nsis_section.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build/bench
cmake -S . -B $build -G Ninja -DCMAKE_BUILD_TYPE=Release -DSETUP_BENCHMARKS=ON >/dev/null
cmake --build $build --target extract_bench mkpayload_bench mkpayload make_bench_set measure \
  watch_files >/dev/null
work=$(mktemp -d /tmp/tidewell-bench-XXXXXX)
trap 'nsis_cleanup; rm -rf "$work"' EXIT

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

# The Windows stub: the i686 setup.exe minus its payload blob, measured on the
# built files.
stub_section() {
  echo "== i686 setup.exe"
  if cmake --preset win32 >/dev/null 2>&1 && cmake --build --preset win32 --target setup >/dev/null 2>&1; then
    exe=$(stat -c %s build/win32/setup.exe)
    blob=$(stat -c %s build/win32/setup_payload/payload.bin)
    echo "  setup.exe             $exe bytes"
    echo "  payload blob          $blob bytes"
    echo "  stub (exe - blob)     $((exe - blob)) bytes (goal: at most 51200)"
  else
    echo "  the win32 preset does not build here (scripts/install-deps.sh all)"
  fi
}

# The speed of the stub's small zlib against the system's.
inflate_section() {
  echo "== stub's zlib against the system's"
  if cmake --build $build --target inflate_bench >/dev/null 2>&1; then
    $build/tests/bench/inflate_bench
  else
    echo "  not built: no zlib sources (scripts/install-deps.sh all)"
  fi
}

# "median (min min, max max)" of the numbers on standard input, one a line.
spread() {
  sort -g | awk '{ v[NR] = $1 } END {
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%.3f (min %.3f, max %.3f)", m, v[1], v[NR] }'
}

# Prints the median of the numbers on standard input.
median() { spread | cut -d' ' -f1; }

# Prints "met" or "NOT met" for: value (a median) at most limit.
goal() { awk -v v="$1" -v l="$2" 'BEGIN { print (v <= l ? "met" : "NOT met") }'; }

. tests/bench/nsis_section.sh

sections=(extract_section mkpayload_section stub_section inflate_section nsis_section)
[ $# -gt 0 ] && sections=("$@")
for section in "${sections[@]}"; do
  "$section"
  echo
done
