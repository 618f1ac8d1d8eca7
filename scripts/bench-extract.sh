#!/usr/bin/env bash
# Measures what a user waits for while the installer extracts its payload,
# under Wine, against this machine's references. Prints figures; not a test.
#
# usage: bench-extract.sh [-p PRESET] [-b BUILD_DIR] [-r ROUNDS] [-t THREADS] [-g] [PAYLOAD...]
#   -p PRESET     CMake configure preset of the Windows build (default win64)
#   -b BUILD_DIR  its build folder (default build/bench-PRESET); configured here
#   -r ROUNDS     interleaved rounds per payload (default 5)
#   -t THREADS    decoder thread settings for extra headless runs, comma-
#                 separated, 0 = the library's default (default "0,2"; "" none)
#   -g            only generate and pack the payloads (they take minutes)
#   PAYLOAD       SHAPE:MIB, SHAPE "app" (a few big files, many small ones) or
#                 "files" (files of 16 KiB to 1 MiB); default app:200 files:120
#
# Each round runs, in an order that rotates from round to round:
#   window    the packed installer started as a person starts it, install
#             button pressed (tests/app/install_bench.cpp); times from the
#             installer's own log; also launch-to-visible-window and peak memory
#   headless  the same payload stretch without a window (payload_bench), with
#             the installer's decoder setting, then with each -t setting
#   native    Debian's 7-Zip (7zz x), this machine's reference
#   7za       7-Zip's console program built from the library's source, under
#             the same Wine (its time less a bare Wine start)
# and prints the minimum and median of each figure, and the goals as ratios:
#   extract ms   "begin to unzip file..." to "unzip file finished." in the
#                installer's log (wall time for native and 7za)
#   copy ms      "begin to analyze zip file..." to "begin to unzip file..."
#   process CPU  user + system time of the whole process, start included
#   server CPU   the wineserver's time meanwhile: messages, waits, file opens
#   notices      progress lines in the log; peak memory: peak resident set
# The first round compares every extracted tree with the source, byte for byte.
# Each run's figures stay in BUILD_DIR/bench-runs-SHAPE-MIB.txt.
# Payloads (seeded, deterministic trees and their archives, packed with a
# fixed thread setting so the archive is the same on any machine) are cached
# in build/bench/ of the repository. The build's Wine environment is started
# and stopped only if it was not running already.
set -euo pipefail

usage() { sed -n '5,15p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }

repo="$(dirname "$(dirname "$(readlink -f "$0")")")"
preset=win64
build=""
rounds=5
threads="0,2"
generate_only=0
while getopts "p:b:r:t:gh" opt; do
  case "$opt" in
    p) preset="$OPTARG" ;;
    b) build="$OPTARG" ;;
    r) rounds="$OPTARG" ;;
    t) threads="$OPTARG" ;;
    g) generate_only=1 ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
payloads=("$@")
[[ ${#payloads[@]} -gt 0 ]] || payloads=(app:200 files:120)
[[ "$rounds" =~ ^[1-9][0-9]*$ ]] || usage
[[ -z "$threads" || "$threads" =~ ^[0-9]+(,[0-9]+)*$ ]] || usage
for p in "${payloads[@]}"; do [[ "$p" =~ ^(app|files):[1-9][0-9]*$ ]] || usage; done
build="$(realpath -m "${build:-$repo/build/bench-$preset}")"
harness="$repo/scripts/wine-env.sh"
cache_root="$repo/build/bench"
work="$build/bench-work"
seed=20240601
password=vorplank
# The options the product's payload is packed with, and a fixed thread
# count: with two or more the encoder cuts the stream into blocks that a
# decoder can work on in parallel, with one it writes one solid stream, so
# the archive would otherwise depend on the packing machine.
seven_zip_options=(-t7z -m0=BCJ -m1=LZMA2 -mx=5 -ms=on -mhe=off -mmt=2 "-p$password")

die() { echo "bench-extract: $*" >&2; exit 1; }
command -v 7z >/dev/null || die "7z not found (package p7zip-full)"
command -v 7zz >/dev/null || die "7zz not found (package 7zip)"
[[ -x /usr/bin/time ]] || die "/usr/bin/time not found (package time)"

# The generated tree. Every byte comes from random.Random(seed), file times
# are fixed, and no folder is empty (the installer creates folders only as
# parents of files).
read -r -d '' generator <<'PY' || true
import bisect, itertools, os, random, sys

out, total, seed, shape = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
rng = random.Random(seed)
CHUNK = 1 << 20
STAMP = 1704067200  # 2024-01-01 UTC

def zipf_cum(n):
    return list(itertools.accumulate(1.0 / (i + 1) for i in range(n)))

letters = "etaoinshrdlcumwfgypbvkjxqz_"
vocab = ["".join(rng.choices(letters[:20], k=rng.randint(2, 10))) for _ in range(3000)]
vocab_cum = zipf_cum(len(vocab))
punct = [" ", " ", " ", " ", ", ", ".\n", " = ", "(", ");\n", " {\n  ", "\n}\n", ": ", "\"", "/"]
# Machine-code-like tokens: short byte strings reused with a skewed frequency,
# so the data compresses about as well as a program's code section.
tokens = [rng.randbytes(rng.choice((1, 2, 2, 3, 4, 5, 6, 8))) for _ in range(6000)]
tokens += [bytes(rng.choice((4, 8, 16, 64)))] * 200  # alignment padding
token_cum = zipf_cum(len(tokens))

def text(n):
    parts, size = [], 0
    while size < n:
        words = rng.choices(vocab, cum_weights=vocab_cum, k=4096)
        seps = rng.choices(punct, k=4096)
        piece = "".join(w + s for w, s in zip(words, seps)).encode()
        parts.append(piece)
        size += len(piece)
    return b"".join(parts)[:n]

def binary(n):
    parts, size = [], 0
    while size < n:
        piece = b"".join(rng.choices(tokens, cum_weights=token_cum, k=8192))
        parts.append(piece + rng.randbytes(rng.randint(0, 64)))
        size += len(parts[-1])
    return b"".join(parts)[:n]

def noise(n):
    return rng.randbytes(n)

def mixed(n):
    # A resource pack: text, code and already-compressed blocks in turn.
    parts, size = [], 0
    while size < n:
        kind = rng.choice((text, binary, noise, noise))
        piece = kind(min(n - size, rng.randint(16 << 10, 2 << 20)))
        parts.append(piece)
        size += len(piece)
    return b"".join(parts)

def write(rel, n, make):
    path = os.path.join(out, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        left = n
        while left > 0:
            piece = make(min(left, CHUNK))
            f.write(piece)
            left -= len(piece)
    os.utime(path, (STAMP, STAMP))

# "app": a few big files make 80 % of the payload, small ones the rest.
# "files": only files of 16 KiB to 1 MiB, most a few hundred KiB: many
# progress notices and many files to create per second.
big = [] if shape == "files" else [
    ("bin/engine.dll", 0.18, binary),
    ("bin/orbit.exe", 0.06, binary),
    ("resources/assets.pak", 0.22, mixed),
    ("resources/media/intro.webm", 0.14, noise),
    ("data/catalog.db", 0.10, text),
    ("lib/renderer.dll", 0.10, binary),
]
for rel, share, make in big:
    write(rel, int(total * share), make)

# Files in nested folders: the rest.
top = ["bin", "lib", "resources", "locales", "plugins", "docs", "data", "web", "themes", "tools"]
folders = []
for _ in range(220):
    depth = rng.randint(1, 4)
    folders.append("/".join([rng.choice(top)] + [rng.choice(vocab[:400]) for _ in range(depth - 1)]))
kinds = [(".js", text), (".css", text), (".json", text), (".xml", text), (".txt", text),
         (".lua", text), (".html", text), (".dll", binary), (".bin", binary),
         (".png", noise), (".jpg", noise), (".ogg", noise)]
budget = total - sum(int(total * share) for _, share, _ in big)
count = 0
while budget > 0:
    ext, make = rng.choice(kinds)
    low, high = (14, 20) if shape == "files" else (7, 16)  # log-uniform sizes
    n = min(budget, int(2 ** rng.uniform(low, high)))
    rel = "%s/%s_%d%s" % (rng.choice(folders), rng.choice(vocab), count, ext)
    write(rel, n, make)
    budget -= n
    count += 1

for root, dirs, _ in os.walk(out):
    for d in dirs:
        os.utime(os.path.join(root, d), (STAMP, STAMP))
PY

winpath() { local p; p="$(realpath -m "$1")"; echo "Z:${p//\//\\}"; }

# --- the payloads, cached by everything that decides their bytes ------------
payload_dir() {  # payload_dir SHAPE MIB: prints the cache folder, making it once
  local shape=$1 mib=$2 key dir t0
  key="$( { echo "$generator"; echo "$shape $mib $seed ${seven_zip_options[*]}"; 7z 2>&1 | sed -n 2p; } |
          sha256sum | cut -c1-16)"
  dir="$cache_root/payload-$shape-$mib-$key"
  if [[ ! -f "$dir/complete" ]]; then
    rm -rf "$dir"
    mkdir -p "$dir"
    echo "generating the $shape payload of $mib MiB (seed $seed) and packing it into $dir" >&2
    t0=$SECONDS
    python3 -c "$generator" "$dir/tree" $((mib * 1024 * 1024)) "$seed" "$shape"
    (cd "$dir/tree" && 7z a "${seven_zip_options[@]}" -bd -bso0 -bsp0 "$dir/payload.7z" . )
    echo "  done in $((SECONDS - t0)) s" >&2
    touch "$dir/complete"
  fi
  echo "$dir"
}

mkdir -p "$cache_root"
exec 9>"$cache_root/.lock"
flock 9
declare -A payload_cache
for p in "${payloads[@]}"; do payload_cache[$p]="$(payload_dir "${p%%:*}" "${p##*:}")"; done
flock -u 9
[[ $generate_only -eq 0 ]] || exit 0

# --- the programs --------------------------------------------------------------
mkdir -p "$build"
rm -rf "$work"
mkdir -p "$work"
started=0
cleanup() {
  rm -rf "$work"
  [[ -n "${target_unix:-}" ]] && rm -rf "$target_unix"
  if [[ $started -eq 1 ]]; then "$harness" stop "$build" >/dev/null; fi
}
trap cleanup EXIT

echo "configuring ($preset) and building the installer, payload_bench, install_bench and orvek-pack in $build"
# The presets are read from the current folder.
{ (cd "$repo" && cmake --preset "$preset" -B "$build") &&
  cmake --build "$build" -j2 --target orvek_setup payload_bench install_bench host_tools; } \
  >"$work/build.log" 2>&1 || { tail -n 30 "$work/build.log" >&2; die "build failed ($work/build.log)"; }
product="$build/src/app/orvek-setup.exe"
payload_bench="$build/tests/payload/payload_bench.exe"
install_bench="$build/tests/app/install_bench.exe"
pack_tool="$build/host-tools/tools/pack/orvek-pack"
# The console program from the cache the build took its 7z.dll from.
seven_zip_dir="$(sed -n 's/^ORVEK_7ZDLL_PATH:[A-Z]*=//p' "$build/CMakeCache.txt")"
seven_zip_dir="$(dirname "$(dirname "${seven_zip_dir:-/nonexistent/x86_64/7z.dll}")")"
if [[ ! -f "$seven_zip_dir/x86_64/7za.exe" ]]; then
  seven_zip_dir="$("$repo/scripts/build-7zip.sh" --console --print-dir 2>"$work/7zip.log" | tail -n 1)" ||
    { tail -n 30 "$work/7zip.log" >&2; die "scripts/build-7zip.sh --console failed"; }
fi
console="$seven_zip_dir/x86_64/7za.exe"
[[ -f "$console" ]] || die "7-Zip console program missing: $console (scripts/build-7zip.sh --console)"

if [[ ! -f "$build/wine-run/wineserver.started" ]]; then
  "$harness" start "$build" >/dev/null
  started=1
fi
prefix="$build/wineprefix"
# This prefix's wineserver: its processor time counts the Wine runs' system
# work (messages, waits, file opens) that no Windows process is charged for.
server_pid=""
for pid in $(pgrep -x wineserver64 || true); do
  tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$prefix" && server_pid=$pid
done
[[ -n "$server_pid" ]] || die "no wineserver for $prefix"
ticks_ms=$((1000 / $(getconf CLK_TCK)))
server_ms() { awk -v t="$ticks_ms" '{ print ($14 + $15) * t }' "/proc/$server_pid/stat"; }
log_file="$prefix/drive_c/users/$(id -un)/Temp/orvek/teacher-install.log"
# Where the installer puts the application (its proposed directory); the
# headless stretch extracts to the same place.
target_win='C:\Program Files (x86)\orvek\orvekteacher'
target_unix="$prefix/drive_c/Program Files (x86)/orvek/orvekteacher"

# --- one run of each kind --------------------------------------------------------
# Each run appends "NAME KEY=VALUE..." to $work/results.

# Milliseconds of the day of a log line's time stamp ("2026-12-09 10:13:12:455").
log_ms() { grep -m1 -F "$1" "$log_file" | awk '{ split($2, t, ":"); print ((t[1] * 60 + t[2]) * 60 + t[3]) * 1000 + t[4] }'; }
# The stretch's figures from the installer's log: copy (offset to the archive
# opened and summed up) and extraction ("begin to unzip file..." to "unzip
# file finished."), and the progress notices.
log_figures() {
  local analyze unzip finished
  analyze=$(log_ms "begin to analyze zip file...")
  unzip=$(log_ms "begin to unzip file...")
  finished=$(log_ms "unzip file finished.")
  [[ -n "$analyze" && -n "$unzip" && -n "$finished" ]] || { echo "bad_log=1"; return; }
  echo "copy_ms=$(( (unzip - analyze + 86400000) % 86400000 ))" \
       "extract_ms=$(( (finished - unzip + 86400000) % 86400000 ))" \
       "notices=$(grep -c "UnzipProgressCallback" "$log_file")"
}
field() { sed -n "s/.*\b$2=\([0-9a-z]*\).*/\1/p" <<<"$1"; }
verify() {  # verify DIR: the same files, byte for byte
  if diff -r -q "$tree" "$1" >"$work/diff.txt" 2>&1; then
    echo "identical"
  else
    head -n 5 "$work/diff.txt" >&2
    echo "DIFFERS"
  fi
}
fresh() { rm -rf "$target_unix" "$work/out"; rm -f "$log_file"*; sync; }
wine_run() { "$harness" run "$build" "$@" </dev/null; }
server_before=0
server_delta() { echo "server_ms=$(( $(server_ms) - server_before ))"; }
# Processor time of the installer started by install_bench, sampled from
# /proc until it ends (Wine does not report another process's times); it is
# idle on its finished page by then, so the last sample misses nothing.
watch_installer_cpu() {  # watch_installer_cpu OUT_FILE
  local pid="" line f
  for _ in $(seq 600); do
    pid=$(pgrep -f '^[A-Za-z]:[^ ]*orvek-bench-setup\.exe' | head -n 1 || true)
    [[ -n "$pid" ]] && break
    sleep 0.05
  done
  [[ -n "$pid" ]] || return 0
  while read -r line 2>/dev/null <"/proc/$pid/stat"; do
    f=(${line##*) })
    echo $(( (f[11] + f[12]) * ticks_ms )) >"$1"
    sleep 0.1
  done
}

run_window() {
  fresh
  local out
  server_before=$(server_ms)
  echo - >"$work/window.cpu"
  watch_installer_cpu "$work/window.cpu" &
  local watcher=$!
  out=$(wine_run "$install_bench" "$(winpath "$installer")" 2>"$work/window.err") ||
    { cat "$work/window.err" >&2; die "the installer did not finish: $out"; }
  wait "$watcher" || true
  [[ $(field "$out" outcome) == ok ]] || die "installation failed: $out"
  echo "window $(log_figures) $(server_delta) visible_ms=$(field "$out" launch_to_visible_ms)" \
       "cpu_ms=$(cat "$work/window.cpu") peak_kib=$(field "$out" peak_working_set_kib) check=$([[ $check == 1 ]] && verify "$target_unix" || echo -)" \
       >>"$work/results"
}

run_headless() {  # run_headless NAME [THREADS]
  local name=$1 out
  shift
  fresh
  server_before=$(server_ms)
  out=$(wine_run "$payload_bench" "$(winpath "$installer")" "$target_win" "$@" 2>"$work/headless.err") ||
    { cat "$work/headless.err" >&2; die "payload_bench failed"; }
  echo "$name $(log_figures) $(server_delta) cpu_ms=$(field "$out" cpu_ms)" \
       "peak_kib=$(field "$out" peak_working_set_kib)" \
       "check=$([[ $check == 1 ]] && verify "$target_unix" || echo -)" >>"$work/results"
}

timed() {  # timed FILE COMMAND...: wall s, peak resident KiB, user s, system s into FILE
  /usr/bin/time -f "%e %M %U %S" -o "$1" "${@:2}" >/dev/null 2>"$work/timed.err" </dev/null ||
    { cat "$work/timed.err" >&2; die "failed: ${*:2}"; }
}
wall_ms() { awk '{ printf "%d", $1 * 1000 }' "$1"; }
rss_kib() { awk '{ print $2 }' "$1"; }
cpu_of() { awk '{ printf "%d", ($3 + $4) * 1000 }' "$1"; }

run_native() {
  fresh
  timed "$work/native.time" 7zz x "-p$password" "-o$work/out" "$archive" -y
  echo "native extract_ms=$(wall_ms "$work/native.time") cpu_ms=$(cpu_of "$work/native.time")" \
       "peak_kib=$(rss_kib "$work/native.time")" \
       "check=$([[ $check == 1 ]] && verify "$work/out" || echo -)" >>"$work/results"
}

run_console() {
  fresh
  # A bare start of the same program under the same Wine, taken just before.
  timed "$work/start.time" "$harness" run "$build" "$console"
  server_before=$(server_ms)
  timed "$work/console.time" "$harness" run "$build" "$console" x "-p$password" \
    "-o$(winpath "$work/out")" "$(winpath "$archive")" -y
  local net=$(( $(wall_ms "$work/console.time") - $(wall_ms "$work/start.time") ))
  local cpu=$(( $(cpu_of "$work/console.time") - $(cpu_of "$work/start.time") ))
  echo "7za extract_ms=$net cpu_ms=$cpu $(server_delta) peak_kib=$(rss_kib "$work/console.time")" \
       "check=$([[ $check == 1 ]] && verify "$work/out" || echo -)" >>"$work/results"
}

# --- report -----------------------------------------------------------------------
# stats NAME KEY: "min / median" of KEY over the runs named NAME.
stats() {
  grep "^$1 " "$work/results" | sed -n "s/.*\b$2=\([0-9][0-9]*\).*/\1/p" | sort -n |
    awk '{ v[NR] = $1 } END { if (NR == 0) { print "-"; exit }
           m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
           printf "%d / %d", v[1], m }'
}
# ratio A B: min(A)/min(B) and median(A)/median(B), "x.xx / y.yy".
ratio() {
  awk -v a="$(stats "$1" "$3")" -v b="$(stats "$2" "$3")" 'BEGIN {
    split(a, x, " / "); split(b, y, " / ")
    if (y[1] > 0 && y[2] > 0) printf "%.2f / %.2f", x[1] / y[1], x[2] / y[2]; else print "-" }'
}
mib_stats() {
  stats "$1" peak_kib | awk -F' / ' '$1 != "-" { printf "%.0f / %.0f MiB", $1 / 1024, $2 / 1024; next } { print }'
}
checks() { grep "^$1 " "$work/results" | sed -n 's/.*check=\([A-Za-z-]*\).*/\1/p' | { grep -v '^-$' || true; } | sort -u | paste -sd, -; }

echo "machine:   $(nproc) cores, $(/usr/lib/wine/wine64 --version), 7zz $(7zz 2>&1 | sed -n 2p | awk '{ print $3 }'),"\
     "load $(cut -d' ' -f1-3 /proc/loadavg), $(date '+%Y-%m-%d %H:%M')"
echo "rounds:    $rounds per payload, order rotating; figures are min / median"
status=0
for p in "${payloads[@]}"; do
  dir="${payload_cache[$p]}"
  tree="$dir/tree"
  archive="$dir/payload.7z"
  installer="$work/orvek-bench-setup.exe"
  "$pack_tool" --exe "$product" --version bench --archive "$archive" -o "$installer" >/dev/null
  : >"$work/results"
  kinds=(window headless native console)
  for t in ${threads//,/ }; do kinds+=("threads$t"); done
  for ((r = 0; r < rounds; r++)); do
    check=$([[ $r -eq 0 ]] && echo 1 || echo 0)
    n=${#kinds[@]}
    for ((i = 0; i < n; i++)); do
      kind=${kinds[$(((i + r) % n))]}
      case "$kind" in
        window) run_window ;;
        headless) run_headless headless ;;
        native) run_native ;;
        console) run_console ;;
        threads*) run_headless "$kind" "${kind#threads}" ;;
      esac
    done
  done
  fresh

  echo
  echo "payload $p: $(find "$tree" -type f | wc -l) files, $(du -sb "$tree" | cut -f1) bytes;" \
       "archive $(stat -c %s "$archive") bytes (7z a ${seven_zip_options[*]})"
  printf '  %-34s %-13s %-11s %-13s %-13s %-7s %-15s %s\n' run "extract ms" "copy ms" "process CPU" \
    "server CPU" notices "peak memory" check
  row() {  # row NAME LABEL
    printf '  %-34s %-13s %-11s %-13s %-13s %-7s %-15s %s\n' "$2" "$(stats "$1" extract_ms)" \
      "$(stats "$1" copy_ms)" "$(stats "$1" cpu_ms)" "$(stats "$1" server_ms)" \
      "$(stats "$1" notices | cut -d' ' -f1)" "$(mib_stats "$1")" "$(checks "$1")"
  }
  row window "window, button pressed"
  row headless "headless stretch"
  for t in ${threads//,/ }; do
    row "threads$t" "headless, decoder threads $([[ $t == 0 ]] && echo "default" || echo "$t")"
  done
  row native "native 7zz x"
  row 7za "7za.exe x under Wine (less start)"
  echo "  launch to visible window: $(stats window visible_ms) ms"
  echo "  goals (min / median):"
  echo "    window / headless extraction     $(ratio window headless extract_ms)   (goal <= 1.10)"
  echo "    headless / native extraction     $(ratio headless native extract_ms)   (goal <= 1.30)"
  echo "    headless / 7za.exe extraction    $(ratio headless 7za extract_ms)"
  echo "    launch to visible window         $(stats window visible_ms) ms   (goal <= 1000)"
  cp "$work/results" "$build/bench-runs-${p/:/-}.txt"
  echo "  every run, in order: $build/bench-runs-${p/:/-}.txt"
  grep -q "check=DIFFERS\|bad_log" "$work/results" && status=1
done
exit "$status"
