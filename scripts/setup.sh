#!/usr/bin/env bash
# Installs every Debian package the project needs. Safe to run again: it only
# calls apt-get when something is missing.
# usage: scripts/setup.sh
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config          # host build
  clang libclang-rt-14-dev                  # sanitizer build and fuzz targets (libFuzzer)
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64
  wine64 xvfb x11-utils xdotool imagemagick          # running and looking at the program
  fonts-wqy-microhei                        # Chinese page texts under Wine
  googletest nlohmann-json3-dev             # test framework, JSON
  libz-mingw-w64-dev zlib1g-dev             # zlib for Windows and for build tools
  7zip p7zip-full                           # test archives
  osslsigncode openssl                      # signed-installer tests
  dpkg-dev make                             # 7-Zip library from Debian's source
  python3                                   # small test servers and scripts
  python3-jsonschema python3-yaml           # the release manifest checked against its schema
  debootstrap e2fsprogs                     # the emulated guest's Debian root and disk
  qemu-system-x86 qemu-utils                # booting it (scripts/guest.sh)
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
echo "all packages present" >&2
