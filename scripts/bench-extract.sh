#!/usr/bin/env bash
# Times the installer's payload stretch under Wine on a generated,
# application-like payload and compares it with the 7-Zip console program
# extracting the same archive under Wine. Prints figures; not a test.
#
# usage: bench-extract.sh [BUILD_DIR] [PAYLOAD_MIB]
#   BUILD_DIR    a configured win64 build (default build/bench-win64)
#   PAYLOAD_MIB  uncompressed payload size in MiB (default 300)
# The payload (a seeded, deterministic tree and its 7z archive) is cached in
# build/bench/ of the repository; the installer file and the extracted trees
# live in BUILD_DIR/bench-work and are removed at the end. The build's Wine
# environment is started and stopped only if it was not running already.
set -euo pipefail

usage() { sed -n '6,12p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
[[ "${1:-}" == -h || "${1:-}" == --help ]] && usage
[[ $# -le 2 ]] || usage

repo="$(dirname "$(dirname "$(readlink -f "$0")")")"
build="$(realpath -m "${1:-$repo/build/bench-win64}")"
mib="${2:-300}"
[[ "$mib" =~ ^[1-9][0-9]*$ ]] || usage
[[ -f "$build/CMakeCache.txt" ]] || { echo "bench-extract: $build is not a configured build" >&2; exit 1; }
harness="$repo/scripts/wine-env.sh"
cache_root="$repo/build/bench"
work="$build/bench-work"
seed=20240601
password=vorplank
# Exactly the options the product's payload is packed with.
seven_zip_options=(-t7z -m0=BCJ -m1=LZMA2 -mx=5 -ms=on -mhe=off "-p$password")

die() { echo "bench-extract: $*" >&2; exit 1; }
command -v 7z >/dev/null || die "7z not found (package 7zip)"
[[ -x /usr/bin/time ]] || die "/usr/bin/time not found (package time)"

# The application-like tree: nested folders of small text, binary and image
# files, a few big files, about a quarter of all bytes incompressible. Every
# byte comes from random.Random(seed), file times are fixed, and no folder is
# empty (the installer creates folders only as parents of files).
read -r -d '' generator <<'PY' || true
import bisect, itertools, os, random, sys

out, total, seed = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
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

# A few big files: 80 % of the payload.
big = [
    ("bin/engine.dll", 0.18, binary),
    ("bin/orbit.exe", 0.06, binary),
    ("resources/assets.pak", 0.22, mixed),
    ("resources/media/intro.webm", 0.14, noise),
    ("data/catalog.db", 0.10, text),
    ("lib/renderer.dll", 0.10, binary),
]
for rel, share, make in big:
    write(rel, int(total * share), make)

# Small files in nested folders: the remaining 20 %.
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
    n = min(budget, int(2 ** rng.uniform(7, 16)))  # 128 B to 64 KiB, log-uniform
    rel = "%s/%s_%d%s" % (rng.choice(folders), rng.choice(vocab), count, ext)
    write(rel, n, make)
    budget -= n
    count += 1

for root, dirs, _ in os.walk(out):
    for d in dirs:
        os.utime(os.path.join(root, d), (STAMP, STAMP))
PY

winpath() { local p; p="$(realpath -m "$1")"; echo "Z:${p//\//\\}"; }

# --- the payload, cached by everything that decides its bytes --------------
key="$( { echo "$generator"; echo "$mib $seed ${seven_zip_options[*]}"; 7z 2>&1 | sed -n 2p; } |
        sha256sum | cut -c1-16)"
cache="$cache_root/payload-$key"
mkdir -p "$cache_root"
exec 9>"$cache_root/.lock"
flock 9
if [[ ! -f "$cache/complete" ]]; then
  find "$cache_root" -mindepth 1 -maxdepth 1 -name 'payload-*' -exec rm -rf {} +
  echo "generating the ${mib} MiB payload (seed $seed) and packing it; cached in $cache"
  mkdir -p "$cache"
  t0=$SECONDS
  python3 -c "$generator" "$cache/tree" $((mib * 1024 * 1024)) "$seed"
  echo "  generated in $((SECONDS - t0)) s"
  t0=$SECONDS
  (cd "$cache/tree" && 7z a "${seven_zip_options[@]}" -bd -bso0 -bsp0 "$cache/payload.7z" . )
  echo "  packed in $((SECONDS - t0)) s"
  (cd "$cache/tree" && find . -type f -print0 | sort -z | xargs -0 sha256sum) >"$cache/manifest"
  touch "$cache/complete"
fi
flock -u 9

# --- the programs ------------------------------------------------------------
rm -rf "$work"
mkdir -p "$work"
cleanup() {
  rm -rf "$work"
  if [[ ${started:-0} -eq 1 ]]; then "$harness" stop "$build" >/dev/null; fi
}
trap cleanup EXIT

echo "building payload_bench, orvek_setup and the host tools in $build"
cmake --build "$build" -j2 --target payload_bench host_tools >"$work/build.log" 2>&1 ||
  { tail -n 30 "$work/build.log" >&2; die "build failed: cmake --build $build --target payload_bench host_tools"; }
bench_exe="$build/tests/payload/payload_bench.exe"
pack_tool="$build/host-tools/tools/pack/orvek-pack"
product="$build/src/app/orvek-setup.exe"
product_note=""
if ! cmake --build "$build" -j2 --target orvek_setup >"$work/build.log" 2>&1; then
  product_note="orvek_setup did not build"
fi
# The console program from the cache the build took its 7z.dll from, when it
# is there; otherwise whatever build-7zip.sh builds now.
seven_zip_dir="$(sed -n 's/^ORVEK_7ZDLL_PATH:[A-Z]*=//p' "$build/CMakeCache.txt")"
seven_zip_dir="$(dirname "$(dirname "${seven_zip_dir:-/nonexistent/x86_64/7z.dll}")")"
if [[ ! -f "$seven_zip_dir/x86_64/7za.exe" ]]; then
  seven_zip_dir="$("$repo/scripts/build-7zip.sh" --console --print-dir 2>"$work/build.log" | tail -n 1)" ||
    { tail -n 30 "$work/build.log" >&2; die "scripts/build-7zip.sh --console failed"; }
fi
console="$seven_zip_dir/x86_64/7za.exe"
[[ -f "$console" ]] || die "7-Zip console program missing: $console (scripts/build-7zip.sh --console)"

installer="$work/setup.exe"
if [[ -z "$product_note" ]]; then
  "$pack_tool" --exe "$product" --version bench --archive "$cache/payload.7z" -o "$installer" >/dev/null
  installer_kind="the product $(realpath --relative-to="$repo" "$product") packed by orvek-pack"
else
  # Installer-like stand-in: an MZ header with the payload offset at 128.
  python3 - "$installer" "$cache/payload.7z" <<'PY'
import struct, sys
offset = 4096
head = bytearray(offset)
head[0:2] = b"MZ"
head[128:132] = struct.pack("<i", offset)
with open(sys.argv[1], "wb") as out, open(sys.argv[2], "rb") as src:
    out.write(head)
    while chunk := src.read(1 << 20):
        out.write(chunk)
PY
  installer_kind="a stand-in (MZ header + archive at 4096; $product_note)"
fi

started=0
if [[ ! -f "$build/wine-run/wineserver.started" ]]; then
  "$harness" start "$build" >/dev/null
  started=1
fi

# Peak memory for both programs is the same figure: the maximum resident set
# of the wine64 process that runs the Windows program (wine-env.sh execs it,
# so /usr/bin/time waits on it directly).
timed_run() {  # timed_run NAME PROGRAM ARGS... ; stdout to $work/NAME.out
  local name="$1"; shift
  sync
  /usr/bin/time -f "%e %M %U %S" -o "$work/$name.time" "$harness" run "$build" "$@" \
    >"$work/$name.out" 2>"$work/$name.err" </dev/null
}
field() { sed -n "s/.*\b$2=\([0-9]*\).*/\1/p" "$1"; }
verify() {  # verify DIR: the same folders and files, byte for byte
  if diff -r -q "$cache/tree" "$1" >"$work/diff.txt"; then
    echo "identical to the source tree"
  else
    head -n 20 "$work/diff.txt" >&2
    echo "DIFFERS from the source tree ($(wc -l <"$work/diff.txt") differences)"
    return 1
  fi
}

files=$(wc -l <"$cache/manifest")
bytes=$(find "$cache/tree" -type f -printf '%s\n' | awk '{ n += $1 } END { print n }')
echo
echo "payload:   $bytes bytes in $files files, $(find "$cache/tree" -mindepth 1 -type d | wc -l) folders" \
     "(fingerprint $(sha256sum "$cache/manifest" | cut -c1-16))"
echo "archive:   $(stat -c %s "$cache/payload.7z") bytes (7z a ${seven_zip_options[*]})"
echo "installer: $(stat -c %s "$installer") bytes, $installer_kind"
echo "machine:   $(nproc) cores, $(/usr/lib/wine/wine64 --version), load $(cut -d' ' -f1-3 /proc/loadavg)"

# Start-up cost of a Windows process under this Wine, to read the console
# program's wall time (which includes it) against the stretch's own clocks.
timed_run start "$console" || true
read -r start_s _ _ _ <"$work/start.time"

status=0
timed_run stretch "$bench_exe" "$(winpath "$installer")" "$(winpath "$work/out-stretch")" ||
  { cat "$work/stretch.err" >&2; die "payload_bench failed"; }
read -r stretch_s stretch_rss stretch_user stretch_sys <"$work/stretch.time"
copy_ms=$(field "$work/stretch.out" copy_ms)
extract_ms=$(field "$work/stretch.out" extract_ms)
total_ms=$(field "$work/stretch.out" total_ms)
notices=$(field "$work/stretch.out" progress_notices)
inner_peak=$(field "$work/stretch.out" peak_working_set_kib)
stretch_check=$(verify "$work/out-stretch") || status=1
rm -rf "$work/out-stretch"

timed_run console "$console" x "-p$password" "-o$(winpath "$work/out-7za")" "$(winpath "$cache/payload.7z")" -y ||
  { tail -n 20 "$work/console.out" "$work/console.err" >&2; die "7za.exe failed"; }
read -r console_s console_rss console_user console_sys <"$work/console.time"
console_check=$(verify "$work/out-7za") || status=1
rm -rf "$work/out-7za"

ms() { awk -v s="$1" 'BEGIN { printf "%d", s * 1000 }'; }
cpu_ms() { awk -v u="$1" -v s="$2" 'BEGIN { printf "%d", (u + s) * 1000 }'; }
start_ms=$(ms "$start_s")
console_ms=$(ms "$console_s")
console_net_ms=$((console_ms > start_ms ? console_ms - start_ms : console_ms))
mib_of() { awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

echo
echo "installer stretch under wine64 (payload_bench: ExtractPayload on the installer file)"
echo "  copy phase       $copy_ms ms  (offset, payload copy out of the installer; library, open and size sum)"
echo "  extraction       $extract_ms ms  (first progress notice to the end; $notices progress notices)"
echo "  stretch total    $total_ms ms; process wall time incl. Wine start $(ms "$stretch_s") ms," \
     "CPU (user+sys) $(cpu_ms "$stretch_user" "$stretch_sys") ms"
echo "  peak memory      $(mib_of "$stretch_rss") max resident (wine64 process, /usr/bin/time %M);" \
     "PeakWorkingSetSize inside $(mib_of "$inner_peak")"
echo "  result           $stretch_check"
echo "7-Zip console 7za.exe x under wine64 (same archive, $(basename "$seven_zip_dir") cache)"
echo "  wall time        $console_ms ms incl. Wine start; Wine start alone (7za.exe, no command) $start_ms ms" \
     "=> extraction about $console_net_ms ms"
echo "  CPU (user+sys)   $(cpu_ms "$console_user" "$console_sys") ms"
echo "  peak memory      $(mib_of "$console_rss") max resident (wine64 process, /usr/bin/time %M)"
echo "  result           $console_check"
echo "ratios (stretch / 7za.exe)"
echo "  extraction       $(ratio "$extract_ms" "$console_net_ms")  ($extract_ms ms / $console_net_ms ms)"
echo "  whole stretch    $(ratio "$total_ms" "$console_net_ms")  (copy + extraction / 7za.exe extraction)"
echo "  process CPU      $(ratio "$(cpu_ms "$stretch_user" "$stretch_sys")" "$(cpu_ms "$console_user" "$console_sys")")"
echo "  peak memory      $(ratio "$stretch_rss" "$console_rss")"
exit "$status"
