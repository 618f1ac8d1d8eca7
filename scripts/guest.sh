#!/usr/bin/env bash
# The emulated 32-bit Windows lane: a Debian guest under full-system emulation
# (these machines run no 32-bit code) with 32-bit and 64-bit Wine, in which
# the i686 product runs as shipped.
#
# usage: guest.sh build [--print-dir]             build the guest unless cached
#        guest.sh run JOB OUT [INPUT...]          boot once and run one job
#        guest.sh result OUT CASE                 print one case's outcome
#
# A job is a bash script run as root inside the guest, in a folder of its
# own (/root/job) with every INPUT (file or folder) copied beside it. It runs
# its cases with
#   guest_case NAME COMMAND [ARGS...]
# which records each case's output, exit status and time under OUT/out/cases/;
# everything else the job writes to /job/out lands in OUT/out/. `run` fails
# when the guest does not finish the job within ORVEK_GUEST_TIMEOUT seconds
# (1500); `result` exits with the case's status (1 when it did not run).
#
# Inside the guest, for the job: LANG=zh_CN.UTF-8 (code page 936, as on the
# school PCs), an Xvfb display, a running Wine server for each prepared
# prefix, the functions `wine32` (a 32-bit prefix: the 32-bit Windows 7 PC)
# and `wine64` (a 64-bit prefix: a 32-bit program under WoW64), and helpers
# for cases: exit_code, expect_exit, finished, new_lines, wait_for_line,
# capture (see write_runner). The loopback is up; there is no other network.
#
# The guest is cached under ${ORVEK_CACHE_DIR:-/var/cache/orvek}/guest/<key>/
#   vmlinuz  initrd.img  rootfs.img (the Debian root, raw ext4)
#   prepared.qcow2 (the prefixes, an overlay of rootfs.img)  build-info.txt
# <key> is a hash of the recipe below (its functions and package lists), the
# shared Wine settings and the archive the packages come from: changing
# any of them builds afresh. A build runs in a temporary folder beside the
# cache and is renamed into place only when complete. Runs boot the cached
# overlay with -snapshot, so the cache is never written.
set -euo pipefail

usage() { sed -n '6,8p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }

script_path=$(readlink -f "${BASH_SOURCE[0]}")
script_dir=$(dirname "$script_path")
cache_root="$(realpath -m "${ORVEK_CACHE_DIR:-/var/cache/orvek}")/guest"
settings_reg="$script_dir/wine-settings.reg"

log() { echo "guest: $*" >&2; }
die() { echo "guest: error: $*" >&2; exit 1; }

# ------------------------------------------------------------------ recipe

# amd64 packages of the guest. The kernel comes from the guest's own root.
guest_packages=(
  linux-image-amd64 initramfs-tools kmod          # a bootable root with its modules
  wine wine32 wine64 libwine libwine:i386          # 32-bit and 64-bit Wine (WoW64)
  xvfb xdotool imagemagick                         # a display, pressing buttons, screenshots
  fonts-wqy-microhei                               # the page texts are Chinese
  locales                                          # zh_CN.UTF-8: code page 936 for Wine
  iproute2 python3 procps                          # loopback, the stand-in services
)
# Wine loads these X libraries at run time; it needs them for both
# architectures.
wine_x_libraries=(libxrender1 libxrandr2 libxi6 libxcursor1 libxcomposite1 libxinerama1
                  libxfixes3 libxxf86vm1)

# PID 1 of the guest: the share tagged "job" holds a script `run`, which is
# run and whose status is kept; then the guest powers off at once.
write_init() {
  cat >"$1" <<'INIT'
#!/bin/sh
mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sys /sys
mountpoint -q /dev || mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /tmp
hostname guest
ip link set lo up
modprobe -a 9pnet_virtio 9p
mkdir -p /job
if mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 job /job; then
  echo "guest: job started at $(cut -d' ' -f1 /proc/uptime) s" >/dev/console
  /bin/bash /job/run </dev/null >/job/run.log 2>&1
  echo $? >/job/run.status
  sync
fi
echo o >/proc/sysrq-trigger
sleep 60
INIT
  chmod 755 "$1"
}

# The guest's packages come from the main archive the host's apt uses (its
# first entry), without the security archive: Multi-Arch packages must have
# one version in both architectures, and that archive's i386 index has been
# seen out of step with its amd64 one ("Mirror sync in progress"). The guest
# has no network, so it misses nothing by that.
guest_sources() {
  awk 'BEGIN { RS = ""; ORS = "\n" } NR == 1 { print }' /etc/apt/sources.list.d/debian.sources
}

build_rootfs() {
  local root="$1" mirror
  mirror=$(guest_sources | awk '/^URIs:/ { print $2; exit }')
  debootstrap --variant=minbase --arch=amd64 bookworm "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    { tail -n 30 "$work/debootstrap.log" >&2; die "debootstrap failed"; }
  guest_sources >"$root/etc/apt/sources.list.d/debian.sources"
  rm -f "$root/etc/apt/sources.list"
  # Nothing starts services inside the chroot.
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
  chmod 755 "$root/usr/sbin/policy-rc.d"
  # A small initramfs with just what finds the root disk.
  mkdir -p "$root/etc/initramfs-tools/conf.d"
  echo MODULES=list >"$root/etc/initramfs-tools/conf.d/modules"
  printf '%s\n' virtio_pci virtio_blk ext4 crc32c_generic >"$root/etc/initramfs-tools/modules"
  echo 'zh_CN.UTF-8 UTF-8' >"$root/etc/locale.gen"
  mount_chroot "$root"
  in_chroot "$root" dpkg --add-architecture i386
  local i
  # A mirror caught mid-sync answers with a size mismatch for a while.
  for i in 1 2 3 4 5; do
    in_chroot "$root" apt-get update >"$work/apt-update.log" 2>&1 && break
    [[ $i -lt 5 ]] || { tail -n 20 "$work/apt-update.log" >&2; die "apt-get update failed"; }
    sleep 20
  done
  local all=("${guest_packages[@]}" "${wine_x_libraries[@]}")
  all+=("${wine_x_libraries[@]/%/:i386}")
  in_chroot "$root" apt-get install -y --no-install-recommends "${all[@]}" >"$work/apt-install.log" 2>&1 ||
    { tail -n 40 "$work/apt-install.log" >&2; die "package installation failed"; }
  in_chroot "$root" apt-get clean
  umount_chroot "$root"
  rm -f "$root/usr/sbin/policy-rc.d"
  rm -rf "$root"/var/lib/apt/lists/*
  write_init "$root/sbin/orvek-init"
}

# The prefixes are made inside the guest: wineboot of a 32-bit prefix runs
# 32-bit code. They become the overlay that every run boots.
prepare_job() {
  cat <<'JOB'
set -euo pipefail
export HOME=/root LANG=zh_CN.UTF-8 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
Xvfb :9 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=:9
boot() {
  local arch=$1 loader=$2
  export WINEARCH=$arch WINEPREFIX=/root/prefix-$arch
  "$loader" wineboot -i
  /usr/lib/wine/wineserver -w
  "$loader" regedit /S 'Z:\job\wine-settings.reg'
  /usr/lib/wine/wineserver -w
  # The user's folders are folders of their own, as on Windows; Wine would
  # link Desktop, Documents and the like to $HOME, which the prefixes share.
  local folder
  for folder in "$WINEPREFIX"/drive_c/users/root/*; do
    if [[ -L $folder ]]; then rm "$folder"; mkdir "$folder"; fi
  done
}
boot win32 /usr/lib/wine/wine
boot win64 /usr/lib/wine/wine64
test -f /root/prefix-win32/drive_c/windows/system32/kernel32.dll
test -f /root/prefix-win64/drive_c/windows/syswow64/kernel32.dll
sync
JOB
}

recipe_key() {
  {
    declare -f write_init build_rootfs prepare_job
    declare -p guest_packages wine_x_libraries
    cat "$settings_reg"
    guest_sources
  } | sha256sum | cut -c1-16
}

mount_chroot() {
  mount -t proc proc "$1/proc"
  mount --bind /dev "$1/dev"
  mount -t devpts devpts "$1/dev/pts"
  chroot_mounted="$1"
}
umount_chroot() {
  local m
  for m in dev/pts dev proc; do umount "$1/$m" 2>/dev/null || umount -l "$1/$m" || true; done
  chroot_mounted=""
}
in_chroot() {
  local root=$1; shift
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}

# Boots DISK with the share SHARE (where `run` is) and waits for the guest to
# power off. -cpu Nehalem: under `max` every 32-bit process dies in a guest
# kernel oops, and without AVX masked off the 7-Zip library decodes wrongly.
# No network device: the services run on the guest's loopback.
boot_guest() {
  local dir=$1 disk=$2 share=$3 limit=$4; shift 4
  timeout --foreground -k 10 "$limit" qemu-system-x86_64 -machine q35 -accel tcg -cpu Nehalem -smp 1 -m 3072 \
    -nic none -display none -monitor none -serial "file:$share/console.log" -no-reboot \
    -kernel "$dir/vmlinuz" -initrd "$dir/initrd.img" \
    -append "root=/dev/vda rw console=ttyS0 init=/sbin/orvek-init quiet" \
    -drive "file=$disk,if=virtio,format=qcow2" \
    -virtfs "local,path=$share,mount_tag=job,security_model=none" "$@"
}

# ------------------------------------------------------------------ build

chroot_mounted=""
work=""
cleanup_build() {
  [[ -z $chroot_mounted ]] || umount_chroot "$chroot_mounted"
  [[ -z $work ]] || rm -rf "$work"
}

build() {
  local key dir t0 t
  command -v debootstrap >/dev/null || die "debootstrap missing (scripts/setup.sh)"
  command -v qemu-system-x86_64 >/dev/null || die "qemu-system-x86_64 missing (scripts/setup.sh)"
  [[ $EUID -eq 0 ]] || die "building the guest needs root (debootstrap, chroot)"
  key=$(recipe_key)
  dir="$cache_root/$key"
  [[ -f $dir/prepared.qcow2 ]] && { echo "$dir"; return 0; }
  mkdir -p "$cache_root"
  exec 4>"$cache_root/.lock"
  flock 4
  if [[ ! -f $dir/prepared.qcow2 ]]; then
    find "$cache_root" -maxdepth 1 -name 'tmp.*' -exec rm -rf {} +
    work=$(mktemp -d "$cache_root/tmp.XXXXXX")
    trap cleanup_build EXIT
    trap 'exit 130' INT TERM
    local out="$work/out"
    mkdir -p "$out"
    t0=$SECONDS t=$SECONDS
    log "building the guest $key (about 12 minutes)"
    build_rootfs "$work/rootfs"
    echo "root file system: $((SECONDS - t)) s" >>"$out/build-info.txt"
    cp "$work"/rootfs/boot/vmlinuz-* "$out/vmlinuz"
    cp "$work"/rootfs/boot/initrd.img-* "$out/initrd.img"
    t=$SECONDS
    mke2fs -q -t ext4 -L guest -d "$work/rootfs" "$out/rootfs.img" 8G
    rm -rf "$work/rootfs"
    echo "disk image: $((SECONDS - t)) s" >>"$out/build-info.txt"
    t=$SECONDS
    (cd "$out" && qemu-img create -q -f qcow2 -b rootfs.img -F raw prepared.qcow2)
    mkdir -p "$work/share"
    prepare_job >"$work/share/run"
    cp "$settings_reg" "$work/share/wine-settings.reg"
    boot_guest "$out" "$out/prepared.qcow2" "$work/share" 900 ||
      { tail -n 30 "$work/share/console.log" >&2; die "the preparing boot failed"; }
    [[ "$(cat "$work/share/run.status" 2>/dev/null)" == 0 ]] ||
      { tail -n 30 "$work/share/run.log" >&2; die "preparing the Wine prefixes failed"; }
    echo "Wine prefixes (one boot): $((SECONDS - t)) s" >>"$out/build-info.txt"
    echo "whole build: $((SECONDS - t0)) s" >>"$out/build-info.txt"
    mv -T "$out" "$dir"
    log "cached in $dir ($((SECONDS - t0)) s)"
  fi
  exec 4>&-
  echo "$dir"
}

# ------------------------------------------------------------------ run

# What the guest's init runs: the environment every job gets, then the job.
write_runner() {
  cat >"$1" <<'RUN'
set -uo pipefail
export HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
export LANG=zh_CN.UTF-8 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
mkdir -p /job/out/cases
# The job works on a copy on the guest's own disk: Wine loads programs
# wrongly from the share (an installer crashed in its start-up code there
# and ran from the disk).
cp -a /job/in /root/job
cd /root/job
uptime_s() { cut -d' ' -f1 /proc/uptime; }
echo "job started at uptime $(uptime_s) s"

Xvfb :1 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=:1

wine32() { WINEARCH=win32 WINEPREFIX=/root/prefix-win32 /usr/lib/wine/wine "$@"; }
wine64() { WINEARCH=win64 WINEPREFIX=/root/prefix-win64 /usr/lib/wine/wine64 "$@"; }
seconds_since() { awk -v a="$1" -v b="$(uptime_s)" 'BEGIN { printf "%.0f", b - a }'; }

# A persistent server per prefix, its services started now and detached.
# Again after a failed case: that ends whatever the case left running in
# either prefix, so that it cannot disturb the next one.
start_wine() {
  local prefix t
  for prefix in /root/prefix-win32 /root/prefix-win64; do
    WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null
    WINEPREFIX=$prefix /usr/lib/wine/wineserver -w
    WINEPREFIX=$prefix setsid /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
  done
  for w in wine32 wine64; do
    t=$(uptime_s)
    "$w" cmd /c exit </dev/null >/dev/null 2>&1
    echo "$w started in $(seconds_since "$t") s"
  done
}
start_wine

# exit_code WINE PROGRAM [ARGS...] runs a Windows program to its end and
# prints its exit code; expect_exit CODE WINE PROGRAM [ARGS...] also fails
# unless the code is CODE. The code comes from cmd: a Unix exit status keeps
# only 8 bits of it (4605 would read 253).
printf '@start "" /wait %%*\r\n@echo exit code %%errorlevel%%\r\n' >/tmp/exit-code.bat
exit_code() {
  local wine=$1; shift
  { "$wine" cmd /c 'Z:\tmp\exit-code.bat' "$@" </dev/null 2>/dev/null || true; } | tr -d '\r' |
    sed -n 's/^exit code //p'
}
expect_exit() {
  local want=$1 got; shift
  got=$(exit_code "$@")
  echo "exit code ${got:-none} (expected $want): $*"
  [[ $got == "$want" ]]
}
# finished PID SECONDS: waits that long for the background run PID to end.
finished() {
  local deadline=$((SECONDS + $2))
  while kill -0 "$1" 2>/dev/null; do
    ((SECONDS < deadline)) || { echo "still running after $2 s"; return 1; }
    sleep 0.5
  done
  wait "$1"
}
# new_lines FILE FROM prints FILE after line FROM.
new_lines() { tail -n +"$(($2 + 1))" "$1"; }
# wait_for_line FILE FROM PATTERN SECONDS PID: waits that long for a line
# matching PATTERN after line FROM of FILE, while the background run PID
# goes on.
wait_for_line() {
  local deadline=$((SECONDS + $4))
  until new_lines "$1" "$2" 2>/dev/null | grep -qE "$3"; do
    kill -0 "$5" 2>/dev/null || { echo "the program ended before a line matching '$3'"; return 1; }
    ((SECONDS < deadline)) || { echo "no line matching '$3' in $4 s"; return 1; }
    sleep 0.5
  done
}

# capture WINDOW FILE saves an X window as a PNG file once it is drawn and
# holds still: two captures in a row alike, and more than one colour.
capture() {
  local previous="" now deadline=$((SECONDS + 60))
  until ((SECONDS > deadline)); do
    # Fails while the window is not yet mapped.
    import -window "$1" /tmp/capture.ppm 2>/dev/null || { sleep 0.5; continue; }
    now=$(md5sum </tmp/capture.ppm)
    if [[ $now == "$previous" && $(identify -format %k /tmp/capture.ppm) -gt 1 ]]; then
      convert /tmp/capture.ppm "$2"
      return 0
    fi
    previous=$now
  done
  echo "window $1 was not drawn in 60 s"; return 1
}

guest_case() {
  local name=$1 t rc; shift
  t=$(uptime_s)
  echo "case $name"
  ( set -eEuo pipefail
    trap 'echo "failed: $BASH_COMMAND (line $LINENO)"' ERR
    "$@" ) >"/job/out/cases/$name.log" 2>&1
  rc=$?
  echo "$rc" >"/job/out/cases/$name.status"
  seconds_since "$t" >"/job/out/cases/$name.seconds"
  echo "case $name: status $rc, $(cat "/job/out/cases/$name.seconds") s"
  [[ $rc == 0 ]] || start_wine
}

source ./job.sh
echo "job ended at uptime $(uptime_s) s"
RUN
}

run() {
  [[ $# -ge 2 ]] || usage
  local job out dir t0 input
  job=$(realpath "$1") out=$(realpath -m "$2"); shift 2
  [[ -f $job ]] || die "no job script $job"
  dir=$(build)
  rm -rf "$out"
  mkdir -p "$out/in" "$out/out"
  cp "$job" "$out/in/job.sh"
  for input in "$@"; do cp -a "$input" "$out/in/"; done
  write_runner "$out/run"
  t0=$SECONDS
  log "booting $dir"
  local rc=0
  boot_guest "$dir" "$dir/prepared.qcow2" "$out" "${ORVEK_GUEST_TIMEOUT:-1500}" -snapshot || rc=$?
  cat "$out/run.log" 2>/dev/null >&2 || true
  log "guest ran $((SECONDS - t0)) s (qemu status $rc)"
  [[ -f $out/run.status ]] || { tail -n 40 "$out/console.log" >&2; die "the guest did not finish the job"; }
  [[ "$(cat "$out/run.status")" == 0 ]] || die "the job failed (status $(cat "$out/run.status"))"
}

result() {
  [[ $# -eq 2 ]] || usage
  local cases="$1/out/cases" name=$2
  [[ -f $cases/$name.status ]] || { echo "case $name did not run (see $1/run.log)"; exit 1; }
  cat "$cases/$name.log"
  echo "case $name: status $(cat "$cases/$name.status"), $(cat "$cases/$name.seconds") s in the guest"
  exit "$(cat "$cases/$name.status")"
}

[[ $# -ge 1 ]] || usage
cmd=$1; shift
case "$cmd" in
  build)
    case "${1:-}" in
      --print-dir) build ;;
      "") build >/dev/null ;;
      *) usage ;;
    esac ;;
  run) run "$@" ;;
  result) result "$@" ;;
  *) usage ;;
esac
