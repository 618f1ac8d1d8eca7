# The i686 product in the emulated guest (scripts/guest.sh runs this job;
# tests/guest/CMakeLists.txt makes each `guest_case` one ctest test).
# Inputs beside it: the packed sample installers, the sample's tree (app/),
# the canary DLL and the load probe, the stand-in services, the shortcut
# reader, the lists of planted DLL names and lane.env (the service addresses
# built into the product).

source ./lane.env
here='Z:\root\job'  # this folder, as Windows programs see it
installer="$here\\orvek-setup-v6.15.1.exe"
out='Z:\job\out'
declare -A prefix=([wine32]=/root/prefix-win32 [wine64]=/root/prefix-win64)
# Where %ProgramFiles% points for a 32-bit program.
declare -A programs=([wine32]='C:\Program Files' [wine64]='C:\Program Files (x86)')
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\orvek-teacher'
# The uninstall entry's root for each scope: a silent run installs for all
# users, the window (with no all-users installation) for the teacher.
declare -A root=([all-users]=HKLM [per-user]=HKCU)
client_link='Orvek教师客户端.lnk'

unix_path() { local p=${2//\\//}; echo "${prefix[$1]}/drive_c/${p#C:/}"; }
target() { echo "${programs[$1]}\\orvek\\orvekteacher"; }

# Exactly the sample's files with their bytes, the uninstall entry of the
# scope (HKCU, the one view a 32-bit and a 64-bit program share, or HKLM in
# the 32-bit view) and none of the other, and every shortcut pointing into
# the target (the user's own folders or the common ones).
expect_installed() {
  local wine=$1 scope=$2 other dir
  [[ $scope == all-users ]] && other=per-user || other=all-users
  dir=$(target "$wine")
  diff -r app "$(unix_path "$wine" "$dir")"
  "$wine" reg export "${root[$scope]}\\$uninstall_key" 'Z:\tmp\entry.reg' /y /reg:32 >/dev/null
  local entry
  entry=$(iconv -f UTF-16 -t UTF-8 /tmp/entry.reg | tr -d '\r')
  echo "$entry"
  grep -qFx "\"UninstallString\"=\"${dir//\\/\\\\}\\\\uninstall.exe\"" <<<"$entry"
  grep -qFx '"DisplayName"="Orvek教师客户端"' <<<"$entry"
  if "$wine" reg query "${root[$other]}\\$uninstall_key" /reg:32 >/dev/null 2>&1; then
    echo "a $other uninstall entry is there too"; return 1
  fi
  if "$wine" reg query "HKCU\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\orvek-teacher" \
       >/dev/null 2>&1; then
    echo "the uninstall entry is also below Wow6432Node"; return 1
  fi
  local links
  mapfile -t links < <(find "${prefix[$wine]}/drive_c" -name "*$client_link" | sort)
  python3 show-lnk.py "${links[@]}"
  [[ ${#links[@]} == 4 ]] || { echo "expected 4 shortcuts, found ${#links[@]}"; return 1; }
  [[ $(python3 show-lnk.py "${links[@]}" | grep -cFx "    target: $dir\\orvekclient.exe") == 3 ]]
  python3 show-lnk.py "${links[@]}" | grep -qFx "    target: $dir\\uninstall.exe"
  if [[ $scope == all-users ]]; then
    printf '%s\n' "${links[@]}" | grep -q '/users/Public/Desktop/' || { echo "no common desktop shortcut"; return 1; }
  fi
}

# Removes what an installation left, so that the next one finds none.
remove_installation() {
  local wine=$1
  rm -rf "$(unix_path "$wine" "$(target "$wine")")"
  "$wine" reg delete "HKCU\\$uninstall_key" /f /reg:32 >/dev/null 2>&1 || true
  "$wine" reg delete "HKLM\\$uninstall_key" /f /reg:32 >/dev/null 2>&1 || true
  find "${prefix[$wine]}/drive_c" -name "*$client_link" -delete
}

# The stand-in services under the names built into the product.
start_services() {
  local url host port ports=()
  for url in "$version_url" "$event_url"; do
    host=${url#http://}; host=${host%%/*}; port=80
    [[ $host == *:* ]] && port=${host##*:} && host=${host%:*}
    echo "127.0.0.1 $host" >>/etc/hosts
    [[ " ${ports[*]} " == *" $port "* ]] || ports+=("$port")
  done
  for port in "${ports[@]}"; do
    python3 stand_in_services.py start --port "$port" --version-verdict 6.14.0=status0 \
      --record /job/out/services.jsonl --pid-file "/tmp/services-$port.pid" --log "/job/out/services-$port.log"
  done
}

silent_install() {
  local wine=$1
  expect_exit 0 "$wine" "$installer" /S "/LOG=$out\\silent-$wine.log"
  expect_installed "$wine" all-users
}

# A teacher's installation: the first page, the install button, the
# finished page, the finish button.
window_install() {
  remove_installation wine32
  local log from win
  log=$(unix_path wine32 'C:\users\root\Temp\orvek\teacher-install.log')
  from=$( [[ -f $log ]] && wc -l <"$log" || echo 0)
  exit_code wine32 "$installer" >/tmp/window.rc &
  local installer_run=$!
  win=$(timeout 120 xdotool search --sync --limit 1 --name '^Orvek')
  capture "$win" /job/out/window-first-page.png
  xdotool mousemove --window "$win" 255 219 click 1     # 立即安装
  wait_for_line "$log" "$from" 'install ok\.|install failed' 300 "$installer_run"
  new_lines "$log" "$from" | grep -vE 'UnzipProgressCallback'
  capture "$win" /job/out/window-finished-page.png
  new_lines "$log" "$from" | grep -q 'install ok\.'
  xdotool mousemove --window "$win" 30 269 click 1      # 运行Orvek客户端: off
  xdotool mousemove --window "$win" 263 227 click 1     # 安装完成
  finished "$installer_run" 60
  echo "exit code $(cat /tmp/window.rc) (expected 0) after the finish button"
  [[ $(cat /tmp/window.rc) == 0 ]]
  expect_installed wine32 per-user
}

upgrade() {
  expect_exit 0 wine32 "$here\\orvek-setup-v6.15.2.exe" /S "/LOG=$out\\upgrade.log"
  grep -F 'begin to uninstall oldversion C:\Program Files\orvek\orvekteacher\' /job/out/upgrade.log
  expect_installed wine32 all-users
}

retired_package() {
  expect_exit 4605 wine32 "$here\\orvek-setup-v6.14.0.exe" /S "/LOG=$out\\retired.log"
}

# Each silent installation reported its event, signed, before it ended.
install_event() {
  python3 - <<'PY'
import json
posts = [json.loads(line) for line in open("/job/out/services.jsonl", encoding="utf-8")]
posts = [p for p in posts if p["method"] == "POST"]
for p in posts:
    print(p["path"], "token valid:", p.get("token_valid"), p.get("body_text"))
assert posts and all(p.get("token_valid") is True for p in posts), "a token does not verify"
records = [r for p in posts for r in json.loads(p["body_text"])["logJson"]]
versions = {r["appVersion"] for r in records if r["page"] == ".def.app.install"}
assert {"v6.15.1", "v6.15.2"} <= versions, f"install events for {versions}"
PY
}

names() { sed -e 's/#.*//' -e 's/[[:space:]].*//' "$@" | grep . | sort -u; }
prefer_native() {  # EXE NAME...
  printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\%s\\DllOverrides]\r\n' "$1"
  shift
  printf '"%s"="native,builtin"\r\n' "${@%.dll}"
}

# Planted copies of the system DLLs beside the installer, and Wine told to
# prefer them to its own, as Windows would for a file it finds there.
planted_dlls() {
  remove_installation wine32
  local dir=/tmp/planted reg=/tmp/planted.reg name
  mkdir -p "$dir"
  for name in $(names run_time_dlls.txt system_folder_dlls.txt); do cp canary.dll "$dir/$name"; done
  cp orvek-setup-v6.15.1.exe "$dir/orvek-setup.exe"
  cp plant_probe.exe "$dir/probe.exe"
  # The probe has no manifest: with version.dll from its folder it would not
  # even start, so it prefers only the run-time names.
  { printf 'REGEDIT4\r\n'
    prefer_native orvek-setup.exe $(names run_time_dlls.txt system_folder_dlls.txt)
    prefer_native probe.exe $(names run_time_dlls.txt); } >"$reg"
  wine32 regedit /S 'Z:\tmp\planted.reg'
  export ORVEK_CANARY_LOG='Z:\tmp\canary.log'
  # The canary is seen when something does load it.
  expect_exit 1 wine32 'Z:\tmp\planted\probe.exe' default winhttp.dll
  grep -q 'winhttp.dll' /tmp/canary.log
  rm /tmp/canary.log
  expect_exit 0 wine32 'Z:\tmp\planted\orvek-setup.exe' /S "/LOG=$out\\planted.log"
  [[ ! -s /tmp/canary.log ]] || { echo "loaded:"; cat /tmp/canary.log; return 1; }
  expect_installed wine32 all-users
}

# Reported as Windows XP, the installer refuses: silently with 1150, and
# otherwise with its message box and nothing else.
xp_gate() {
  cp orvek-setup-v6.15.1.exe /tmp/orvek-xp.exe
  wine32 reg add 'HKCU\Software\Wine\AppDefaults\orvek-xp.exe' /v Version /d winxp /f >/dev/null
  expect_exit 1150 wine32 'Z:\tmp\orvek-xp.exe' /S
  exit_code wine32 'Z:\tmp\orvek-xp.exe' >/tmp/xp.rc &
  local box refused_run=$!
  box=$(timeout 60 xdotool search --sync --limit 1 --name '^错误$')
  capture "$box" /job/out/xp-refusal.png
  if xdotool search --name '^Orvek' >/dev/null; then echo "the installer window appeared"; return 1; fi
  xdotool key Return
  finished "$refused_run" 60
  echo "exit code $(cat /tmp/xp.rc) (expected 0) after the refusal box"
  [[ $(cat /tmp/xp.rc) == 0 ]]
}

start_services
guest_case silent_install_win32 silent_install wine32
guest_case silent_install_wow64 silent_install wine64
guest_case window_install window_install
guest_case upgrade upgrade
guest_case retired_package retired_package
guest_case install_event install_event
guest_case planted_dlls planted_dlls
guest_case xp_gate xp_gate
