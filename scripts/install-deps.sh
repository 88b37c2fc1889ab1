#!/usr/bin/env bash
# Installs the Debian packages the project needs and that are missing.
#   install-deps.sh host   what the host build and its tests need
#   install-deps.sh all    everything: the Windows cross builds, signing, the
#                          Wine tier (with Wine's 32-bit loader, wine32:i386)
#
# For the Windows builds it also unpacks Debian's zlib source package into
# /usr/local/src/tidewell/zlib (the executables carry an inflate-only zlib
# built from it). The machine's package sources are left as they are: the
# package is fetched through a source list and an index folder of its own.
#
# A package index that a mirror serves out of step (in the middle of a sync)
# does not stop it: the update is tried again, then it goes on with the lists
# apt has. When the 32-bit Wine packages still cannot be installed, it
# installs everything else, names them and apt's reason, and exits 0: the
# Wine tier then runs on the win64 build. Any other package that cannot be
# installed ends it with a non-zero status.
#
# Environment: INSTALL_DEPS_PAUSE (seconds between update attempts),
# INSTALL_DEPS_NOTE (a file that receives the line naming the 32-bit Wine
# packages not installed and why), INSTALL_DEPS_ZLIB_DIR (where the zlib
# sources go).
set -euo pipefail
want=${1:-all}
update_attempts=3
update_pause=${INSTALL_DEPS_PAUSE:-20}
note_file=${INSTALL_DEPS_NOTE:-}

say() { echo "install-deps.sh: $*"; }

# libdeflate-dev and libzopfli-dev (zopfli/zopfli.h, libzopfli): mkpayload's
# compressors, on the build machine only. The cross builds build mkpayload
# too (tools/, with the host compiler), so "all" needs them as much as "host".
packages=(cmake ninja-build g++ zlib1g-dev libdeflate-dev libzopfli-dev libgtest-dev clang-format)
if [ "$want" = all ]; then
  packages+=(g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 dpkg-dev
             binutils-mingw-w64-i686 osslsigncode openssl python3 python3-pefile
             wine64 wine32:i386 fonts-wine xvfb xdotool imagemagick x11-utils)
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo

# sudo clears the environment, so apt's front end is set behind it.
apt_get() { $sudo env DEBIAN_FRONTEND=noninteractive apt-get "$@"; }

# wine32:i386 runs the i686 setup.exe: it needs the i386 architecture.
if [ "$want" = all ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "Adding the i386 architecture"
  $sudo dpkg --add-architecture i386
fi

# Prints those of the given packages that are not installed.
not_installed() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
  return 0
}

# apt's reason in one line, from the output of a failed run: its first
# unmet dependency and its last error.
apt_reason() {
  local unmet last_error
  unmet=$(grep -m 1 -E '^ [^ ]+ : ' "$1" | sed 's/^ *//') || true
  last_error=$(grep -E '^E: ' "$1" | tail -n 1) || true
  if [ -n "$unmet" ] && [ -n "$last_error" ]; then
    echo "$unmet; $last_error"
  else
    echo "${unmet}${last_error:-apt-get gave no reason}"
  fi
}

# Runs `apt-get update`, again after a pause while it fails (a mirror in the
# middle of a sync serves an index at the wrong size for a while). When an
# index stays unavailable, it names it and goes on with the lists apt has.
# Sets index_missing.
update_indexes() {
  local attempt=1 log=$work/update
  until apt_get update -qq 2>&1 | tee "$log"; do
    if [ "$attempt" -ge "$update_attempts" ]; then
      index_missing=1
      local failed
      failed=$(sed -n 's/^[EW]: Failed to fetch \([^ ]*\) *\(.*\)$/\1 (\2)/p' "$log" |
                 sed 's/ \[IP: [^]]*\])$/)/' | sort -u)
      if [ -n "$failed" ]; then
        while IFS= read -r line; do say "index unavailable: $line"; done <<<"$failed"
      else
        say "apt-get update failed: $(apt_reason "$log")"
      fi
      say "going on with the package lists apt has"
      return 0
    fi
    say "apt-get update failed (attempt $attempt of $update_attempts); trying again in $update_pause s"
    sleep "$update_pause"
    attempt=$((attempt + 1))
  done
  [ "$attempt" -eq 1 ] || say "apt-get update succeeded on attempt $attempt"
}

# Installs the missing packages in one transaction with apt's candidates.
# Where that fails with an index missing, the same set is tried once more
# from the release's own suite (-t CODENAME): the release's versions exist
# for both architectures, so the 64-bit and 32-bit copies of a library
# agree even when the update suite's index of one architecture is missing.
# apt does not downgrade an installed package for it. When that fails too,
# everything but the 32-bit Wine packages is installed, which are then
# named with apt's reason.
install_missing() {
  local missing=() optional=() required=() p
  mapfile -t missing < <(not_installed "${packages[@]}")
  [ ${#missing[@]} -gt 0 ] || return 0
  for p in "${missing[@]}"; do
    if [[ $p == *:i386 ]]; then optional+=("$p"); else required+=("$p"); fi
  done
  echo "Installing: ${missing[*]}"
  index_missing=0
  update_indexes

  local log=$work/install codename
  if apt_get install -y -q "${missing[@]}" 2>&1 | tee "$log"; then
    say "installed everything with apt's candidate versions"
    return 0
  fi
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  if [ "$index_missing" -eq 1 ] && [ -n "$codename" ]; then
    say "the install failed with an index missing; the same packages once more, at $codename's own versions (-t $codename)"
    if apt_get install -y -q -t "$codename" "${missing[@]}" 2>&1 | tee "$log"; then
      say "installed everything at $codename's own versions (-t $codename)"
      return 0
    fi
  fi
  local reason
  reason=$(apt_reason "$log")
  if [ ${#optional[@]} -eq 0 ]; then
    say "FAILED: apt-get could not install ${missing[*]}: $reason"
    exit 1
  fi
  say "installing everything but ${optional[*]}"
  if [ ${#required[@]} -gt 0 ] && ! apt_get install -y -q "${required[@]}" 2>&1 | tee "$work/rest"; then
    mapfile -t missing < <(not_installed "${required[@]}")
    say "FAILED: apt-get could not install ${missing[*]:-${required[*]}}: $(apt_reason "$work/rest")"
    exit 1
  fi
  say "NOT INSTALLED: ${optional[*]}: $reason"
  say "the Wine tier runs on the win64 build instead of the i686 one"
  [ -z "$note_file" ] || echo "${optional[*]} could not be installed (apt: $reason)" >"$note_file"
}

work=$(mktemp -d /tmp/install-deps-XXXXXX)
trap 'rm -rf "$work"' EXIT
install_missing
rm -rf "$work"
trap - EXIT

# Unpacks Debian's zlib source package (with Debian's patches applied) into
# $zlib_dir, unless it is there already. apt reads a source list of its own
# and keeps its indexes and cache in a scratch folder, so the machine's
# package sources and apt state stay as they are.
zlib_dir=${INSTALL_DEPS_ZLIB_DIR:-/usr/local/src/tidewell/zlib}
signed="[signed-by=/usr/share/keyrings/debian-archive-keyring.gpg]"

# Fetches and unpacks the zlib source package from the given "URI suite"
# pairs into the current folder.
apt_source_zlib() {
  local scratch=$1
  shift
  local pair
  for pair in "$@"; do echo "deb-src $signed $pair main"; done | $sudo tee "$scratch/sources.list" >/dev/null
  local opts=(-o "Dir::Etc::SourceList=$scratch/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
              -o "Dir::State::Lists=$scratch/lists" -o "Dir::Cache=$scratch/cache"
              -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=")
  $sudo apt-get "${opts[@]}" -qq update && $sudo apt-get "${opts[@]}" -qq source zlib >/dev/null
}

fetch_zlib_sources() {
  [ -f "$zlib_dir/inflate.c" ] && return 0
  local mirror=${DEBIAN_MIRROR:-http://deb.debian.org}
  local suite
  suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  local scratch
  scratch=$($sudo mktemp -d /tmp/tidewell-zlib-XXXXXX)
  # shellcheck disable=SC2064
  trap "$sudo rm -rf '$scratch'" EXIT
  $sudo mkdir -p "$scratch/lists/partial" "$scratch/cache" "$scratch/src"
  # apt downloads as the _apt user where there is one.
  if id _apt >/dev/null 2>&1; then
    $sudo chmod 755 "$scratch"
    $sudo chown _apt "$scratch/lists/partial" "$scratch/src"
  fi

  echo "Fetching Debian's zlib sources into $zlib_dir"
  # The newest fixed version first; a mirror that lacks the update suites'
  # files still serves the release's own version.
  if ! (cd "$scratch/src" && apt_source_zlib "$scratch" "$mirror/debian $suite" \
          "$mirror/debian $suite-updates" "$mirror/debian-security $suite-security"); then
    echo "install-deps.sh: trying the release's own zlib sources"
    $sudo find "$scratch/src" -mindepth 1 -delete
    (cd "$scratch/src" && apt_source_zlib "$scratch" "$mirror/debian $suite")
  fi
  local unpacked
  unpacked=$(find "$scratch/src" -mindepth 1 -maxdepth 1 -type d -name 'zlib-*' | head -n 1)
  if [ -z "$unpacked" ] || [ ! -f "$unpacked/inflate.c" ]; then
    echo "install-deps.sh: the zlib source package did not unpack" >&2
    exit 1
  fi
  # Copied next to its place and renamed, so that an interrupted run leaves
  # no half-filled folder behind.
  $sudo mkdir -p "$(dirname "$zlib_dir")"
  $sudo rm -rf "$zlib_dir.new" "$zlib_dir"
  $sudo cp -a "$unpacked" "$zlib_dir.new"
  $sudo chown -R root:root "$zlib_dir.new"
  $sudo mv -T "$zlib_dir.new" "$zlib_dir"
  echo "zlib sources: $(basename "$unpacked")"
  $sudo rm -rf "$scratch"
  trap - EXIT
}

[ "$want" = all ] && fetch_zlib_sources
exit 0
