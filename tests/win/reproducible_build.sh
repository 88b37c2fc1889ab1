#!/usr/bin/env bash
# Builds the setup target twice, in two fresh build folders at different
# paths, and checks that the two setup.exe files are byte-identical: no time
# stamp and no build path may reach the executable.
#   reproducible_build.sh <source dir> <toolchain file> <build type> [cmake -D options...]
set -u
src=$1
toolchain=$2
build_type=$3
shift 3

work=$(mktemp -d /tmp/tidewell-repro-XXXXXX)
trap 'rm -rf "$work"' EXIT
# Folders of different names and depths, so that a path that leaks shows.
dirs=("$work/a" "$work/another-build-folder/b")

for dir in "${dirs[@]}"; do
  mkdir -p "$dir"
  if ! cmake -S "$src" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_BUILD_TYPE="$build_type" "$@" >"$dir.log" 2>&1 ||
     ! cmake --build "$dir" --target setup >>"$dir.log" 2>&1; then
    echo "FAIL: the build in $dir failed:"
    tail -n 30 "$dir.log"
    exit 1
  fi
done

first=${dirs[0]}/setup.exe
second=${dirs[1]}/setup.exe
echo "sizes: $(stat -c %s "$first") and $(stat -c %s "$second") bytes"
if cmp -s "$first" "$second"; then
  echo "PASS: the two builds of setup.exe are byte-identical"
  exit 0
fi
# cmp counts bytes from 1.
byte=$(cmp "$first" "$second" | awk '{print $5}' | tr -d ,)
offset=$((byte - 1))
printf 'FAIL: setup.exe differs between the builds: first at offset %d (0x%x), %d bytes in all\n' \
  "$offset" "$offset" "$(cmp -l "$first" "$second" | wc -l)"
exit 1
