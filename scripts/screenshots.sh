#!/usr/bin/env bash
# Renders the installer window in its four page states under the project's
# Wine environment and writes them as PNG files to docs/.
#
# usage: scripts/screenshots.sh BUILD_DIR   (a configured and built win64 tree)
set -euo pipefail

[[ $# -eq 1 ]] || { sed -n '5p' "$0" | sed 's/^# //' >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "$1")
harness="$root/scripts/wine-env.sh"

cmake --build "$build" --target window_screenshots
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$harness" start "$build" >/dev/null
# Wine's Z: drive is the Linux root.
"$harness" run "$build" "$build/tests/app/window_screenshots.exe" "Z:${out//\//\\}"
mkdir -p "$root/docs"
cp "$out"/page-*.png "$root/docs/"
ls "$root"/docs/page-*.png
