# shellcheck shell=bash
# The side-by-side with NSIS, sourced by tests/bench/run.sh, which defines
# $build (the optimised host build), $work (a scratch folder), spread, median
# and goal.
#
# Both installers carry the same generated files (tests/bench/make_bench_set.cpp:
# about 110 MiB in some 1300 files of programs, text, compressed files and
# data, the same bytes on every machine), in the same order; for the sizes
# also the set with repeats (the same files, then copies, signed builds and
# preallocated stores of some of them: 5 % more bytes):
#   ours  the real setup.exe over the set, built by tidewell_add_setup in an
#         i686 build (build/bench-win32), mkpayload at its default level;
#   NSIS  makensis (apt-get install nsis; only this bench needs it) with
#         SetCompressor zlib (non-solid), Unicode false (the x86-ansi stub),
#         a silent installer. It stores a file equal to an earlier one once.
# Printed, timings as medians of alternating runs with their min and max
# (NSIS_BENCH_PAIRS packing pairs, default 5, ZOPFLI_BENCH_PAIRS with
# --level zopfli, default 3; WINE_BENCH_ROUNDS extraction rounds, default 15,
# since other work on the machine moves a 1-second extraction much more than
# a 15-second packing; at least 5, 3 and 5):
#   - packing time and CPU time, mkpayload --jobs 2 at its default level and
#     with zopfli against makensis, and their peak memory;
#   - installer size ours/NSIS on both sets, default level and zopfli (a
#     zopfli installer is the default one with the zopfli blob in place of
#     its own: the same table, so exact up to the 512-byte alignment of the
#     section); every compression level's blob size and time, for the choice
#     of the default level (LEVEL_RUNS runs each, default 3);
#   - under Wine, i686: extraction time ours/NSIS, ours/direct (a first
#     installation; over the previous version, from make_bench_set's
#     "previous", where every file changes; over the same version) and
#     direct/limit, the time of the payload check, and, counted by the host
#     build's stand-in over the same files (extract_bench), each run's flushes
#     and the most room it takes. Extraction time is what
#     the file system sees: from the first file created in the target folder
#     (or in the staging folder inside it) to the last file in place, closed
#     after writing or moved in (watch_files.cpp, inotify). "ours" is
#     wine_extract.exe setup: the setup's extraction stage, ExtractPayload
#     with ReportProgress, its progress window drawn on an Xvfb display, the
#     files journaled and flushed; "direct" is the same stage writing each
#     file straight into place without a flush, as it did before it could
#     undo a failure; NSIS runs
#     silently (/S), with no window. "limit" is wine_extract.exe limit: the
#     same chunks through uncompress and fwrite with the same zlib, nothing
#     else. Every run's files are compared with the set.

nsis_xvfb=""
nsis_prefix=""

# Ends what the section started: its Xvfb and its Wine prefix's processes.
nsis_cleanup() {
  if [ -n "$nsis_prefix" ]; then
    WINEPREFIX=$nsis_prefix "$(nsis_wineserver)" -k >/dev/null 2>&1 || true
    rm -rf "$nsis_prefix/drive_c/bench"
  fi
  nsis_prefix=""
  if [ -n "$nsis_xvfb" ] && [ "$(cat "/proc/$nsis_xvfb/comm" 2>/dev/null)" == "Xvfb" ]; then
    kill "$nsis_xvfb"
  fi
  nsis_xvfb=""
}

nsis_wineserver() {
  if command -v wineserver >/dev/null; then
    echo wineserver
  elif [ -x /usr/lib/wine/wineserver64 ]; then
    echo /usr/lib/wine/wineserver64
  else
    echo /usr/lib/wine/wineserver32
  fi
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f\n", a / b }'; }

# nsis_ratio WHAT A B GOAL: the ratio of the medians of the totals A and B
# (one a line, round by round), the spread of the rounds' own ratios, and
# the goal (at most GOAL).
nsis_ratio() {
  local a b r rounds
  a=$(printf '%s' "$2" | median)
  b=$(printf '%s' "$3" | median)
  r=$(ratio "$a" "$b")
  rounds=$(paste -d' ' <(printf '%s' "$2") <(printf '%s' "$3") | awk '{ printf "%.4f\n", $1 / $2 }' |
    spread | sed 's/^[^ ]* //')
  echo "  $1: $r (rounds $rounds); goal at most $4: $(goal "$r" "$4")"
}

# The NSIS script for the files listed in $1, writing the installer $2.
nsis_script() {
  echo 'Unicode false'
  echo 'SetCompressor zlib'
  echo "OutFile \"$2\""
  echo 'Name "Bench"'
  echo 'InstallDir "C:\nsisbench"'
  echo 'RequestExecutionLevel user'
  echo 'SilentInstall silent'
  echo 'Section'
  echo '  SetOutPath "$INSTDIR"'
  while read -r file; do echo "  File \"$file\""; done <"$1"
  echo 'SectionEnd'
}

# Runs a command under measure; prints "seconds peak_KiB cpu_seconds".
nsis_measure() {
  local result seconds peak status cpu
  result=$("$build/tests/bench/measure" "$work/measure.log" "$@")
  read -r seconds peak status cpu <<<"$result"
  if [ "$status" != 0 ]; then
    echo "  $1 failed with status $status; its output:" >&2
    tail -n 20 "$work/measure.log" >&2
    return 1
  fi
  echo "$seconds $peak $cpu"
}

nsis_section() {
  echo "== side by side with NSIS ($(makensis -VERSION 2>/dev/null || echo "not installed"))"
  if ! command -v makensis >/dev/null; then
    echo "  makensis is not installed: apt-get install nsis (only this bench needs it)"
    return
  fi
  local pairs=${NSIS_BENCH_PAIRS:-5} zpairs=${ZOPFLI_BENCH_PAIRS:-3} rounds=${WINE_BENCH_ROUNDS:-15}
  [ "$pairs" -ge 5 ] || pairs=5
  [ "$zpairs" -ge 3 ] || zpairs=3
  [ "$rounds" -ge 5 ] || rounds=5
  local set=$work/set list=$work/set.list rlist=$work/repeats.list
  "$build/tests/bench/make_bench_set" "$set" "$list"
  "$build/tests/bench/make_bench_set" "$work/repeats" "$rlist" repeats
  "$build/tests/bench/make_bench_set" "$work/previous" "$work/previous.list" previous
  local files
  files=$(wc -l <"$list")
  mkdir -p "$work/nsis" "$work/pack"
  nsis_script "$list" "$work/nsis/setup.exe" >"$work/setup.nsi"
  nsis_script "$rlist" "$work/nsis/repeats.exe" >"$work/repeats.nsi"

  local win=build/bench-win32 rwin=build/bench-win32-repeats
  if ! { nsis_build_win32 $win "$list" bench_setup wine_extract &&
         nsis_build_win32 $rwin "$rlist" bench_setup; } >"$work/win32.log" 2>&1; then
    echo "  the i686 build failed (scripts/install-deps.sh all); the end of its log:"
    tail -n 20 "$work/win32.log"
    return
  fi
  local ours_exe=$win/tests/bench/bench_setup.exe extract_exe=$win/tests/bench/wine_extract.exe
  local blob=$win/tests/bench/bench_setup_payload/payload.bin
  # The blob assembled and linked into setup.exe once more, timed: part of
  # our packing that mkpayload's time leaves out.
  rm -f "$win/tests/bench/CMakeFiles/bench_setup.dir/bench_setup_payload/payload_blob.S.obj"
  local link
  link=$(nsis_measure cmake --build $win --target bench_setup) || return

  nsis_packing "$pairs" "$list" 12 "$blob" "$link" || return
  echo
  nsis_packing "$zpairs" "$list" zopfli || return
  cp "$work/pack/p.bin" "$work/pack/zopfli.bin"
  echo
  nsis_sizes "$ours_exe" "$blob" "$rwin/tests/bench/bench_setup.exe" \
    "$rwin/tests/bench/bench_setup_payload/payload.bin" "$rlist" || return
  echo
  nsis_levels "$list" "$(($(stat -c %s "$ours_exe") - $(stat -c %s "$blob")))" \
    "$(stat -c %s "$work/nsis/setup.exe")"
  echo
  nsis_extraction "$rounds" "$set" "$files" "$extract_exe" || true
}

# Configures an i686 build in $1 over the files listed in $2 and builds the
# targets that follow.
nsis_build_win32() {
  local dir=$1 list=$2
  shift 2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DSETUP_BENCHMARKS=ON -DSETUP_BENCH_FILES="$list" &&
    cmake --build "$dir" --target "$@"
}

# Packing: mkpayload --jobs 2 at level $3 and makensis over the same files,
# alternating. Leaves the blob of the last run in $work/pack/p.bin.
nsis_packing() {
  local pairs=$1 list=$2 level=$3 blob=${4:-} link=${5:-}
  local mkpayload=$build/tools/mkpayload/mkpayload
  local -a inputs ours=() theirs=() ratios=() ours_cpu=() theirs_cpu=() cpu_ratios=()
  mapfile -t inputs <"$list"
  local ours_peak=0 nsis_peak=0 i who result seconds peak cpu shared=""
  for ((i = 0; i < pairs; i++)); do
    for who in $([ $((i % 2)) -eq 0 ] && echo "ours nsis" || echo "nsis ours"); do
      if [ "$who" = ours ]; then
        result=$(nsis_measure "$mkpayload" --jobs 2 --level "$level" --main-exe tw32.exe \
          --blob "$work/pack/p.bin" --asm "$work/pack/p.S" --table "$work/pack/p.cpp" \
          "${inputs[@]}") || return 1
        read -r seconds peak cpu <<<"$result"
        shared=$(tail -n 1 "$work/measure.log")
        ours+=("$seconds")
        ours_cpu+=("$cpu")
        [ "$peak" -gt "$ours_peak" ] && ours_peak=$peak
      else
        result=$(nsis_measure makensis -V1 "$work/setup.nsi") || return 1
        read -r seconds peak cpu <<<"$result"
        theirs+=("$seconds")
        theirs_cpu+=("$cpu")
        [ "$peak" -gt "$nsis_peak" ] && nsis_peak=$peak
      fi
    done
    ratios+=("$(ratio "${ours[i]}" "${theirs[i]}")")
    cpu_ratios+=("$(ratio "${ours_cpu[i]}" "${theirs_cpu[i]}")")
  done
  local packing
  packing=$(printf '%s\n' "${ratios[@]}" | median)
  echo "packing at level $level, $pairs alternating pairs (load average" \
    "$(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores), seconds:"
  echo "  mkpayload --jobs 2    $(printf '%s\n' "${ours[@]}" | spread), CPU" \
    "$(printf '%s\n' "${ours_cpu[@]}" | spread); peak memory $ours_peak KiB"
  echo "  makensis              $(printf '%s\n' "${theirs[@]}" | spread), CPU" \
    "$(printf '%s\n' "${theirs_cpu[@]}" | spread); peak memory $nsis_peak KiB"
  echo "  time ours/makensis    $(printf '%s\n' "${ratios[@]}" | spread)$(
    [ "$level" = 12 ] && echo "; goal at most 0.5: $(goal "$packing" 0.5)")"
  echo "  CPU time ours/makensis $(printf '%s\n' "${cpu_ratios[@]}" | spread)"
  echo "  peak memory of mkpayload: goal at most 65536 KiB: $(goal "$ours_peak" 65536)"
  echo "  $shared"
  [ -n "$link" ] || return 0
  echo "  assembling and linking the blob into setup.exe, once: $(cut -d' ' -f1 <<<"$link") s" \
    "(not in mkpayload's time)"
  if cmp -s "$work/pack/p.bin" "$blob"; then
    echo "  the blob is byte-identical to the one the i686 build packed"
  else
    echo "  the blob DIFFERS from the one the i686 build packed"
  fi
}

# Installer sizes ours/NSIS: the generated set ($1 setup.exe, $2 its blob)
# and the set with repeats ($3, $4; its file list $5), each at the default
# level and with zopfli.
nsis_sizes() {
  local exe=$1 blob=$2 rexe=$3 rblob=$4 rlist=$5
  local mkpayload=$build/tools/mkpayload/mkpayload result
  local -a inputs
  mapfile -t inputs <"$rlist"
  result=$(nsis_measure "$mkpayload" --jobs 2 --level zopfli --main-exe tw32.exe \
    --blob "$work/pack/rz.bin" --asm "$work/pack/rz.S" --table "$work/pack/rz.cpp" \
    "${inputs[@]}") || return 1
  echo "  with repeats, --level zopfli once: $(cut -d' ' -f1 <<<"$result") s, CPU" \
    "$(cut -d' ' -f3 <<<"$result") s, peak memory $(cut -d' ' -f2 <<<"$result") KiB;" \
    "$(tail -n 1 "$work/measure.log")"
  result=$(nsis_measure makensis -V1 "$work/repeats.nsi") || return 1
  echo "  with repeats, makensis once: $(cut -d' ' -f1 <<<"$result") s"
  local nsis rnsis
  nsis=$(stat -c %s "$work/nsis/setup.exe")
  rnsis=$(stat -c %s "$work/nsis/repeats.exe")
  echo "installer size ours/NSIS (ours is the same every build, NSIS differs by a few bytes):"
  printf '  %-13s %-7s %11s %11s %9s  %s\n' set level ours NSIS ours/NSIS goal
  nsis_size_row generated 12 "$(stat -c %s "$exe")" "$nsis" ""
  nsis_size_row generated zopfli \
    "$(($(stat -c %s "$exe") - $(stat -c %s "$blob") + $(stat -c %s "$work/pack/zopfli.bin")))" \
    "$nsis" ""
  nsis_size_row "with repeats" 12 "$(stat -c %s "$rexe")" "$rnsis" 0.99
  nsis_size_row "with repeats" zopfli \
    "$(($(stat -c %s "$rexe") - $(stat -c %s "$rblob") + $(stat -c %s "$work/pack/rz.bin")))" \
    "$rnsis" 0.98
}

nsis_size_row() {
  local size_ratio
  size_ratio=$(ratio "$3" "$4")
  printf '  %-13s %-7s %11s %11s %9s  %s\n' "$1" "$2" "$3" "$4" "$size_ratio" \
    "$([ -n "$5" ] && echo "at most $5: $(goal "$size_ratio" "$5")")"
}

# Every compression level over the set: blob size and time, mkpayload --jobs 2.
nsis_levels() {
  local list=$1 stub=$2 nsis_size=$3
  local mkpayload=$build/tools/mkpayload/mkpayload runs=${LEVEL_RUNS:-3}
  local -a inputs
  mapfile -t inputs <"$list"
  echo "compression levels, mkpayload --jobs 2, median of $runs runs; installer = blob + the" \
    "rest of setup.exe ($stub bytes):"
  printf '  %-6s %12s %9s %9s %9s %11s\n' level "blob bytes" "vs zlib" "seconds" "CPU s" "inst./NSIS"
  local level zlib_size="" i result seconds peak cpu
  for level in zlib 1 6 9 10 11 12; do
    local -a times=() cpus=()
    for ((i = 0; i < runs; i++)); do
      result=$(nsis_measure "$mkpayload" --jobs 2 --level "$level" --main-exe tw32.exe \
        --blob "$work/pack/l.bin" --asm "$work/pack/l.S" --table "$work/pack/l.cpp" \
        "${inputs[@]}") || return 1
      read -r seconds peak cpu <<<"$result"
      times+=("$seconds")
      cpus+=("$cpu")
    done
    local size
    size=$(stat -c %s "$work/pack/l.bin")
    [ -n "$zlib_size" ] || zlib_size=$size
    printf '  %-6s %12s %9s %9s %9s %11s\n' "$level" "$size" "$(ratio "$size" "$zlib_size")" \
      "$(printf '%s\n' "${times[@]}" | median)" "$(printf '%s\n' "${cpus[@]}" | median)" \
      "$(ratio "$((size + stub))" "$nsis_size")"
  done
}

# Starts an Xvfb for the section and exports its DISPLAY.
nsis_start_xvfb() {
  rm -f "$work/display"
  setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
    3>"$work/display" </dev/null >"$work/xvfb.log" 2>&1 &
  nsis_xvfb=$!
  local deadline=$((SECONDS + 30))
  until grep -q $'\n' "$work/display" 2>/dev/null; do
    if ! kill -0 "$nsis_xvfb" 2>/dev/null || [ $SECONDS -ge $deadline ]; then return 1; fi
    sleep 0.1
  done
  export DISPLAY=":$(tr -dc '0-9' <"$work/display")"
}

# Runs one installer into C:\bench\KIND under Wine, over an installed copy
# of the set when KIND ends in "_re"; prints the seconds from the first file
# created to the last one in place (what the file system sees; "-" over an
# installed copy, where no file is created), then, for wine_extract, the
# seconds it timed itself from the extraction's call to its return.
nsis_extract_once() {
  local kind=$1 set=$2 files=$3 extract_exe=$4
  local dir=$WINEPREFIX/drive_c/bench/$kind
  rm -rf "$dir" "$WINEPREFIX/drive_c/bench/elapsed.txt"
  mkdir -p "$dir"
  [[ $kind == *_re ]] && cp -a "$set/." "$dir/"
  [[ $kind == *_chg ]] && cp -a "$work/previous/." "$dir/"
  sync
  rm -f "$work/watch.out"
  "$build/tests/bench/watch_files" "$dir" >"$work/watch.out" &
  local watcher=$!
  until grep -q ready "$work/watch.out" 2>/dev/null; do sleep 0.02; done
  local rc=0
  case $kind in
    ours*) /usr/lib/wine/wine "$extract_exe" setup "C:\\bench\\$kind" || rc=$? ;;
    direct*) /usr/lib/wine/wine "$extract_exe" direct "C:\\bench\\$kind" || rc=$? ;;
    limit) /usr/lib/wine/wine "$extract_exe" limit "C:\\bench\\limit" || rc=$? ;;
    nsis) /usr/lib/wine/wine "$work/nsis/setup.exe" /S "/D=C:\\bench\\nsis" || rc=$? ;;
  esac
  kill -TERM "$watcher"
  wait "$watcher" || true
  local seconds="" created="" closed="" self="-"
  read -r seconds created closed < <(tail -n 1 "$work/watch.out") || true
  [[ $kind == *_re || $kind == *_chg ]] && seconds=-
  [ -f "$WINEPREFIX/drive_c/bench/elapsed.txt" ] &&
    self=$(awk '{ printf "%.4f", $1 / 1e6 }' "$WINEPREFIX/drive_c/bench/elapsed.txt")
  if [ "$rc" -ne 0 ] || { [ "$seconds" != - ] && [ "$closed" != "$files" ]; } ||
     ! diff -rq "$dir" "$set" >/dev/null; then
    echo "  $kind: exit status $rc, $closed of $files files closed, or they differ from the set" >&2
    return 1
  fi
  echo "$seconds $self"
}

nsis_extraction() {
  local pairs=$1 set=$2 files=$3 extract_exe=$4 load
  load=$(cut -d' ' -f1-3 /proc/loadavg)
  if [ ! -x /usr/lib/wine/wine ]; then
    echo "extraction: no i686 Wine here (/usr/lib/wine/wine: wine32:i386)"
    return
  fi
  nsis_prefix=$PWD/$build/wine-prefix
  export WINEPREFIX=$nsis_prefix WINEARCH=win32 WINEDEBUG=-all
  export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
  if ! nsis_start_xvfb; then
    echo "extraction: Xvfb did not start; its log:"
    cat "$work/xvfb.log"
    return
  fi
  if [ ! -d "$WINEPREFIX/drive_c/windows" ]; then
    /usr/lib/wine/wine wineboot -i >"$work/wineboot.log" 2>&1 || true
    "$(nsis_wineserver)" -w || true
  fi
  # NSIS takes part where its installer was built.
  local -a kinds=(ours direct ours_chg direct_chg ours_re direct_re limit)
  [ -f "$work/nsis/setup.exe" ] && kinds+=(nsis)
  # One run of each first, not counted: Wine starting in the prefix, the
  # installers read into the page cache. It also tells whether i686 runs.
  local kind
  for kind in "${kinds[@]}"; do
    if ! nsis_extract_once $kind "$set" "$files" "$extract_exe" >/dev/null; then
      echo "extraction: the first $kind run under i686 Wine failed"
      nsis_cleanup
      return
    fi
  done
  # Per kind, the file system's seconds and the self-timed ones, a round a line.
  local i fs own
  declare -A seen=() timed=()
  for ((i = 0; i < pairs; i++)); do
    local -a order=("${kinds[@]}")
    [ $((i % 2)) -eq 1 ] && order=($(printf '%s\n' "${kinds[@]}" | tac))
    for kind in "${order[@]}"; do
      read -r fs own < <(nsis_extract_once $kind "$set" "$files" "$extract_exe") || {
        nsis_cleanup
        return 1
      }
      seen[$kind]+="$fs"$'\n'
      timed[$kind]+="$own"$'\n'
    done
  done
  # The check of the whole payload against its checksum, before anything.
  local check_dir=$WINEPREFIX/drive_c/bench/check micros="" bytes=""
  rm -rf "$check_dir" && mkdir -p "$check_dir"
  /usr/lib/wine/wine "$extract_exe" check "C:\\bench\\check" &&
    read -r micros bytes <"$check_dir/check.txt" || true
  nsis_cleanup
  echo "extraction under Wine $(/usr/lib/wine/wine --version 2>/dev/null) (i686), $files files," \
    "$pairs alternating rounds (load average $load before, $(cut -d' ' -f1-3 /proc/loadavg) after);" \
    "each figure a ratio of the medians of the totals, with the lowest and highest of the" \
    "rounds' own ratios:"
  echo "  timed by the program itself, from the extraction's call to its return, seconds:"
  for kind in ours direct ours_chg direct_chg ours_re direct_re limit; do
    printf '    %-10s %s\n' "$kind" "$(printf '%s' "${timed[$kind]}" | spread)"
  done
  nsis_ratio "ours/direct, a first installation" "${timed[ours]}" "${timed[direct]}" 1.2
  nsis_ratio "ours/direct, over the previous version (every file changes)" "${timed[ours_chg]}" \
    "${timed[direct_chg]}" 1.2
  nsis_ratio "ours/direct, over the same version" "${timed[ours_re]}" "${timed[direct_re]}" 0.35
  echo "  as the file system sees it, from the first file created to the last in place, seconds:"
  for kind in ours direct limit nsis; do
    [ -n "${seen[$kind]:-}" ] && printf '    %-10s %s\n' "$kind" "$(printf '%s' "${seen[$kind]}" | spread)"
  done
  nsis_ratio "direct/limit, the writing itself" "${seen[direct]}" "${seen[limit]}" 1.05
  if [ -n "${seen[nsis]:-}" ]; then
    nsis_ratio "ours/NSIS (silent), a first installation" "${seen[ours]}" "${seen[nsis]}" 0.9999
  fi
  mkdir -p "$work/room"
  "$build/tests/bench/extract_bench" "$work/room" "$set.list" "$work/previous.list" | sed 's/^/  /'
  if [ -n "$micros" ]; then
    echo "  payload check         $(awk -v m="$micros" 'BEGIN { printf "%.2f", m / 1000 }') ms for" \
      "$bytes compressed bytes (fastest of 20), $(awk -v m="$micros" -v b="$bytes" \
      'BEGIN { printf "%.2f", m / 1000 * 104857600 / b }') ms per 100 MiB"
  else
    echo "  payload check         failed to run"
  fi
}

# The extraction under Wine alone, without the packing figures (NSIS takes
# part where makensis is installed): tests/bench/run.sh wine_extraction_section.
wine_extraction_section() {
  echo "== extraction under Wine"
  local set=$work/set list=$work/set.list win=build/bench-win32 files
  "$build/tests/bench/make_bench_set" "$set" "$list"
  "$build/tests/bench/make_bench_set" "$work/previous" "$work/previous.list" previous
  files=$(wc -l <"$list")
  if ! nsis_build_win32 $win "$list" wine_extract >"$work/win32.log" 2>&1; then
    echo "  the i686 build failed (scripts/install-deps.sh all); the end of its log:"
    tail -n 20 "$work/win32.log"
    return
  fi
  if command -v makensis >/dev/null; then
    mkdir -p "$work/nsis"
    nsis_script "$list" "$work/nsis/setup.exe" >"$work/setup.nsi"
    makensis -V1 "$work/setup.nsi" >/dev/null
  fi
  nsis_extraction "${WINE_BENCH_ROUNDS:-15}" "$set" "$files" "$win/tests/bench/wine_extract.exe"
}
