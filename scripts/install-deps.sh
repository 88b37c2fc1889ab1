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
set -euo pipefail
want=${1:-all}

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

# wine32:i386 runs the i686 setup.exe: it needs the i386 architecture.
if [ "$want" = all ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "Adding the i386 architecture"
  $sudo dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

# Unpacks Debian's zlib source package (with Debian's patches applied) into
# $zlib_dir, unless it is there already. apt reads a source list of its own
# and keeps its indexes and cache in a scratch folder, so the machine's
# package sources and apt state stay as they are.
zlib_dir=/usr/local/src/tidewell/zlib
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
