#!/usr/bin/env bash
# The one way this project runs Windows programs: 64-bit Wine with a
# project-local prefix inside a build folder, a persistent wineserver, Wine's
# services started detached, CJK font replacements and a private Xvfb display.
#
# usage: wine-env.sh start BUILD_DIR            prepare prefix, start server + Xvfb
#        wine-env.sh run   BUILD_DIR PROG [ARGS] run a Windows program (ctest's emulator)
#        wine-env.sh exec  BUILD_DIR CMD [ARGS]  run a Linux command inside the environment
#        wine-env.sh stop  BUILD_DIR            stop what start started
#
# With ORVEK_USE_HOST_DISPLAY=1 and DISPLAY set, `start` uses that display
# instead of a private Xvfb (to watch the program on a desktop).
# Everything it starts is recorded under BUILD_DIR/wine-run and only that is
# stopped again.
set -euo pipefail

usage() { sed -n '6,9p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
[[ $# -ge 2 ]] || usage
cmd=$1 build=$(realpath -m "$2"); shift 2
script_dir=$(dirname "$(readlink -f "$0")")

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEARCH=win64
# No Mono/Gecko installer prompts, no desktop menu entries.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
run_dir="$build/wine-run"

load_display() {
  # Tests always use the harness's own display, never the developer's.
  if [[ -f "$run_dir/display" ]]; then
    DISPLAY=$(cat "$run_dir/display"); export DISPLAY
  fi
}

is_running() { [[ -f "$1" ]] && kill -0 "$(cat "$1")" 2>/dev/null; }

start_xvfb() {
  is_running "$run_dir/xvfb.pid" && return 0
  if [[ "${ORVEK_USE_HOST_DISPLAY:-0}" == 1 && -n "${DISPLAY:-}" ]]; then
    echo "$DISPLAY" >"$run_dir/display"
    return 0
  fi
  local fifo="$run_dir/displayfd"
  rm -f "$fifo"; mkfifo "$fifo"
  # -displayfd picks a free display number, so parallel builds never collide.
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
    3>"$fifo" </dev/null >/dev/null 2>&1 &
  echo $! >"$run_dir/xvfb.pid"
  local n
  read -r -t 20 n <"$fifo" || { echo "Xvfb did not start" >&2; return 1; }
  rm -f "$fifo"
  echo ":$n" >"$run_dir/display"
}

# Settings every test prefix shares with the emulated guest's (scripts/guest.sh):
# Chinese page texts need a CJK face behind the fonts the window asks for,
# Windows 7 is reported, and a crash ends the program without a dialog.
write_prefix_settings() {
  "$WINE" regedit /S "$(winepath_of "$script_dir/wine-settings.reg")" </dev/null >/dev/null 2>&1
  touch "$run_dir/settings.written"
}

# The user's folders are folders of their own, as on Windows (and in the
# emulated guest): Wine links Desktop, Documents and the like to $HOME, which
# every build folder's prefix would then share with the others.
own_user_folders() {
  local folder
  for folder in "$WINEPREFIX"/drive_c/users/*/*; do
    if [[ -L $folder && -d $folder ]]; then rm "$folder"; mkdir "$folder"; fi
  done
}

winepath_of() { echo "Z:${1//\//\\}"; }

start() {
  mkdir -p "$run_dir"
  start_xvfb
  load_display
  if [[ ! -f "$run_dir/wineserver.started" ]]; then
    local fresh=0
    [[ -d "$WINEPREFIX" ]] || fresh=1
    if [[ $fresh == 1 ]]; then
      "$WINE" wineboot -i </dev/null >/dev/null 2>&1
      "$WINESERVER" -w
    fi
    own_user_folders
    # A persistent server, and services started now with stdio detached: a
    # service started later by a test would inherit ctest's pipes and hang it.
    # Without -f the server forks once it listens, so the clients below
    # cannot race it and start a second, non-persistent server.
    setsid "$WINESERVER" -p </dev/null >/dev/null 2>&1
    "$WINE" cmd /c exit </dev/null >/dev/null 2>&1
    [[ $fresh == 1 || ! -f "$run_dir/settings.written" ]] && write_prefix_settings
    touch "$run_dir/wineserver.started"
  fi
  echo "wine environment ready: WINEPREFIX=$WINEPREFIX DISPLAY=${DISPLAY:-}"
}

stop() {
  if [[ -f "$run_dir/wineserver.started" ]]; then
    # -k addresses the server of this WINEPREFIX only.
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w 2>/dev/null || true
  fi
  if is_running "$run_dir/xvfb.pid"; then
    kill "$(cat "$run_dir/xvfb.pid")" 2>/dev/null || true
  fi
  rm -f "$run_dir/wineserver.started" "$run_dir/wineserver.pid" "$run_dir/xvfb.pid" "$run_dir/display"
  echo "wine environment stopped"
}

case "$cmd" in
  start) start ;;
  stop) stop ;;
  run)
    [[ $# -ge 1 ]] || usage
    load_display
    exec "$WINE" "$@" ;;
  exec)
    [[ $# -ge 1 ]] || usage
    load_display
    export ORVEK_WINE="$WINE"
    exec "$@" ;;
  *) usage ;;
esac
