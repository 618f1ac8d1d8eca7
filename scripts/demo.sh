#!/usr/bin/env bash
# Sets everything up, builds the installer, packs it with a small built-in
# sample application and installs that under Wine the way a user does: on the
# current display when there is one (you press the buttons), otherwise
# headless under Xvfb, where the script presses "立即安装" and "安装完成".
# The stand-in version and event services run on loopback meanwhile. Then it
# prints what happened: the installer's log, the installed tree, the shortcuts
# with their targets, the uninstall values, the version verdict and the
# install event as the event service decoded it; screenshots go to
# build/demo/. Run it again to see an upgrade: the first installation is
# found, removed and installed again.
# usage: scripts/demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  # The product and the packing tool only; scripts/test.sh builds the rest.
  cmake --build --preset "$preset" -j2 --target orvek_setup host_tools
done
# The sample's client and check tool: a small program that notes how it was
# started (the same sample the tests pack).
cmake --build --preset win64 -j2 --target started_probe

build=build/win64
exe=$(ORVEK_SAMPLE_PROGRAM=$build/tests/app/started_probe.exe scripts/make-sample-installer.sh "$build")
prefix=$build/wineprefix
user_dir="$prefix/drive_c/users/$(id -un)"
log="$user_dir/Temp/orvek/teacher-install.log"
demo=build/demo
mkdir -p "$demo"
marker=$demo/.started
touch "$marker"

# The win64 twin talks to the services on the port it was built for
# (ORVEK_STAND_IN_PORT, src/net/CMakeLists.txt).
port=$(sed -n 's/^ORVEK_STAND_IN_PORT:STRING=//p' "$build/CMakeCache.txt")
verdict=status1 record=$demo/services.jsonl
scripts/stand_in_services.py start --port "$port" --verdict "$verdict" --record "$record" \
  --pid-file "$demo/services.pid" --log "$demo/services.log"

headless=1
if [[ -n "${DISPLAY:-}" ]] && xdpyinfo >/dev/null 2>&1; then
  headless=0
  export ORVEK_USE_HOST_DISPLAY=1
fi
scripts/wine-env.sh start "$build" >/dev/null
trap 'scripts/wine-env.sh stop "$build" >/dev/null; scripts/stand_in_services.py stop --pid-file "$demo/services.pid"' EXIT
lines_before=$( [[ -f $log ]] && wc -l <"$log" || echo 0)
new_log_lines() { tail -n +"$((lines_before + 1))" "$log" 2>/dev/null || true; }

if [[ $headless == 0 ]]; then
  echo "the installer is on your display: install, then press 安装完成" >&2
  scripts/wine-env.sh run "$build" "$exe" || true
else
  scripts/wine-env.sh run "$build" "$exe" </dev/null >/dev/null 2>&1 &
  installer=$!
  # Button centres in window coordinates (96 DPI, the lower part starts at 180).
  scripts/wine-env.sh exec "$build" bash -c '
    set -euo pipefail
    demo=$1 log=$2 from=$3 record=$4
    ended() { tail -n +"$from" "$log" 2>/dev/null | grep -qE "$1"; }
    win=$(xdotool search --sync --limit 1 --name "^Orvek" 2>/dev/null | head -1)
    sleep 1
    import -window "$win" "$demo/first-page.png"
    xdotool mousemove --window "$win" 255 219 click 1            # 立即安装
    for _ in $(seq 240); do ended "install ok\.|install failed|mkdir install path error" && break; sleep 0.5; done
    sleep 1
    import -window "$win" "$demo/last-page.png"
    if ended "install ok\."; then
      # The event report is not waited for by the program; the demo waits to show it.
      for _ in $(seq 20); do grep -q "\"POST\"" "$record" && break; sleep 0.5; done
      xdotool mousemove --window "$win" 30 269 click 1           # 运行Orvek客户端: off
      xdotool mousemove --window "$win" 263 227 click 1          # 安装完成
    else
      xdotool mousemove --window "$win" 254 256 click 1          # 关闭
    fi' demo "$demo" "$log" "$((lines_before + 1))" "$record"
  for _ in $(seq 40); do kill -0 "$installer" 2>/dev/null || break; sleep 0.5; done
  kill "$installer" 2>/dev/null || true
  wait "$installer" 2>/dev/null || true
fi

section() { printf '\n== %s\n' "$1"; }
section "installer log ($log)"
# The progress lines in between 0 and 100 percent are left out.
new_log_lines | grep -vE 'UnzipProgressCallback([1-9]|[1-9][0-9])$' | sed -E 's/^[0-9-]+ [0-9:]+ //'
if new_log_lines | grep -q "begin to uninstall oldversion"; then
  echo "(an earlier installation was found and removed first: this run was an upgrade;"
  echo " its configuration was saved as $user_dir/Temp/orvekteacher.cfg)"
fi

target_unix="$prefix/drive_c/Program Files (x86)/orvek/orvekteacher"
section "installed tree ($target_unix)"
(cd "$target_unix" 2>/dev/null && find . -type f | sort | while read -r f; do printf '%8s  %s\n' "$(stat -c %s "$f")" "$f"; done) \
  || echo "(nothing installed)"

section "shortcuts written by this run"
# Desktop, the start menu's Programs folder and the root of the target drive.
mapfile -t links < <(find "$prefix/drive_c" -maxdepth 1 -name '*.lnk' -newer "$marker"; \
  find -L "$user_dir/Desktop" -maxdepth 1 -name '*.lnk' -newer "$marker" 2>/dev/null; \
  find "$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs" -name '*.lnk' -newer "$marker" 2>/dev/null)
if ((${#links[@]})); then
  python3 scripts/show-lnk.py "${links[@]}" | sed -E "/^[^ ]/{s|^$prefix/drive_c|C:|; s|/|\\\\|g}"
else
  echo "(none)"
fi

section "uninstall entry (HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\orvek-teacher)"
# Exported as a Unicode .reg file: reg's console output would lose the Chinese names.
rm -f "$demo/uninstall.reg"
scripts/wine-env.sh run "$build" reg export \
  'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\orvek-teacher' \
  "Z:$(realpath "$demo" | tr / '\\')\\uninstall.reg" /y >/dev/null 2>&1 || true
if [[ -f $demo/uninstall.reg ]]; then
  iconv -f UTF-16 -t UTF-8 "$demo/uninstall.reg" | tr -d '\r' | sed -n '/^"/p'
else
  echo "(none)"
fi

section "version service (stand-in answering $verdict)"
python3 - "$record" <<'PY'
import json, sys
for line in open(sys.argv[1], encoding="utf-8"):
    entry = json.loads(line)
    if entry["method"] == "GET":
        print("asked:", entry["path"] + "?" + entry["query"])
PY
echo "verdict: status 1 (the package may be installed; status 0 would retire it)"

section "install event as the event service received it"
python3 - "$record" <<'PY'
import json, sys
events = [json.loads(l) for l in open(sys.argv[1], encoding="utf-8")]
events = [e for e in events if e["method"] == "POST"]
if not events:
    print("(none yet: the report runs on a thread of its own)")
for e in events:
    document = json.loads(e["body_text"])
    print(json.dumps(document, ensure_ascii=False, indent=2))
    print("token valid:", e.get("token_valid"))
PY

section "screenshots"
ls "$demo"/*.png
