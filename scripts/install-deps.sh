#!/usr/bin/env bash
# Installs the Debian packages the project needs and that are missing.
#   install-deps.sh host   what the host build and its tests need
#   install-deps.sh all    everything: the Windows cross builds and the Wine tier too
set -euo pipefail
want=${1:-all}

packages=(cmake ninja-build g++ zlib1g-dev libgtest-dev clang-format)
if [ "$want" = all ]; then
  packages+=(g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 libz-mingw-w64-dev
             binutils-mingw-w64-i686 wine64 xvfb xdotool imagemagick x11-utils python3)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
