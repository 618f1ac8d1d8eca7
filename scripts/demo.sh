#!/usr/bin/env bash
# Sets everything up, builds the installer and starts it under Wine: on the
# current display when there is one, otherwise headless under Xvfb with a
# screenshot written to build/demo/installer.png.
# usage: scripts/demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j2
done

build=build/win64
exe=$build/src/app/orvek-setup.exe
[[ -x scripts/make-sample-installer.sh ]] && exe=$(scripts/make-sample-installer.sh "$build")

if [[ -n "${DISPLAY:-}" ]] && xdpyinfo >/dev/null 2>&1; then
  export ORVEK_USE_HOST_DISPLAY=1
  scripts/wine-env.sh start "$build"
  trap 'scripts/wine-env.sh stop "$build"' EXIT
  scripts/wine-env.sh run "$build" "$exe"
  exit 0
fi

scripts/wine-env.sh start "$build"
trap 'scripts/wine-env.sh stop "$build"' EXIT
mkdir -p build/demo
scripts/wine-env.sh run "$build" "$exe" </dev/null >/dev/null 2>&1 &
installer=$!
scripts/wine-env.sh exec "$build" bash -c '
  set -euo pipefail
  win=$(xdotool search --sync --limit 1 --name "Orvek" 2>/dev/null | head -1)
  sleep 1
  import -window "$win" build/demo/installer.png'
kill "$installer" 2>/dev/null || true
wait "$installer" 2>/dev/null || true
echo "screenshot: build/demo/installer.png"
