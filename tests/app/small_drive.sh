#!/usr/bin/env bash
# A small drive for the low-disk-space cases: an 820 MiB tmpfs that the Wine
# prefix of BUILD_DIR sees as S:. Mounting needs root; without it nothing is
# made and the tests that need the drive skip themselves.
# usage: small_drive.sh mount|unmount BUILD_DIR
set -euo pipefail
[[ $# -eq 2 ]] || { echo "usage: $0 mount|unmount BUILD_DIR" >&2; exit 2; }
build=$(realpath -m "$2")
dir=$build/small-drive
link=$build/wineprefix/dosdevices/s:
case "$1" in
  mount)
    mkdir -p "$dir"
    if ! mountpoint -q "$dir"; then
      mount -t tmpfs -o size=820m,mode=0777 tmpfs "$dir" 2>/dev/null || {
        echo "small drive not mounted (needs root); its tests will skip" >&2; exit 0; }
    fi
    mkdir -p "$(dirname "$link")"
    ln -sfn "$dir" "$link" ;;
  unmount)
    # Only what mount made: the link, then the mount.
    [[ -L $link ]] && rm -f "$link"
    if mountpoint -q "$dir"; then umount "$dir"; fi ;;
  *) echo "usage: $0 mount|unmount BUILD_DIR" >&2; exit 2 ;;
esac
