#!/usr/bin/env bash
# Sets everything up, builds the installer, packs it with a small built-in
# sample application and starts it under Wine: on the current display when
# there is one (press "立即安装" yourself), otherwise headless under Xvfb,
# where the script presses the install button, waits for the installation to
# end and writes screenshots to build/demo/.
# usage: scripts/demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  # The product and the packing tool only; scripts/test.sh builds the rest.
  cmake --build --preset "$preset" -j2 --target orvek_setup host_tools
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
log="$build/wineprefix/drive_c/users/$(id -un)/Temp/orvek/teacher-install.log"
lines_before=$( [[ -f $log ]] && wc -l <"$log" || echo 0)
scripts/wine-env.sh run "$build" "$exe" </dev/null >/dev/null 2>&1 &
installer=$!
# Press "立即安装" as a person would, wait for the installation to end, and
# keep a picture of the first and the last page.
scripts/wine-env.sh exec "$build" bash -c '
  set -euo pipefail
  win=$(xdotool search --sync --limit 1 --name "Orvek" 2>/dev/null | head -1)
  sleep 1
  import -window "$win" build/demo/first-page.png
  xdotool mousemove --window "$win" 255 219 click 1
  for _ in $(seq 120); do
    tail -n +'"$((lines_before + 1))"' "'"$log"'" 2>/dev/null | grep -qE "install ok\.|install failed" && break
    sleep 1
  done
  sleep 1
  import -window "$win" build/demo/installer.png'
kill "$installer" 2>/dev/null || true
wait "$installer" 2>/dev/null || true
echo "log: $log" >&2
tail -n +"$((lines_before + 1))" "$log" | grep -E "begin to install|unzip file finished|install ok|install failed" >&2 || true
echo "screenshots: build/demo/first-page.png build/demo/installer.png"
