#!/usr/bin/env bash
# Builds the 7-Zip library (7z.dll, i686 and x86_64) that the installer
# embeds, and on request a 7-Zip console program for x86_64, from Debian's
# `7zip` source package. Results are cached under
#   ${ORVEK_CACHE_DIR:-/var/cache/orvek}/7zip/<key>/
#     i686/7z.dll  x86_64/7z.dll  x86_64/7za.exe (with --console)  build-info.txt
# <key> is a hash of this script, tools/7zip/format7z_reduced.mak, the source
# package version and the compiler versions, so editing any of them builds
# afresh. A build runs in a temporary folder next to the cache and is renamed
# into place only when complete; an interrupted build leaves no half cache.
#
# The DLL is a reduced, extract-only build (7z format; Copy, LZMA, LZMA2,
# BCJ, BCJ2; 7zAES with AES and SHA-256), linked statically so that it
# needs no MinGW runtime DLL next to it.
set -euo pipefail

usage() {
  echo "usage: $(basename "$0") [--console] [--print-dir]" >&2
  echo "  --console    also build the x86_64 console program (x86_64/7za.exe)" >&2
  echo "  --print-dir  print the cache folder as the last line of stdout" >&2
}

want_console=0
print_dir=0
for arg in "$@"; do
  case "$arg" in
    --console) want_console=1 ;;
    --print-dir) print_dir=1 ;;
    -h|--help) usage; exit 0 ;;
    *) usage; exit 2 ;;
  esac
done

# Only the cache folder goes to stdout, so that CMake can read it.
exec 3>&1 1>&2

script_path="$(readlink -f "${BASH_SOURCE[0]}")"
repo_dir="$(dirname "$(dirname "$script_path")")"
makefile="$repo_dir/tools/7zip/format7z_reduced.mak"
cache_root="$(realpath -m "${ORVEK_CACHE_DIR:-/var/cache/orvek}")/7zip"
src_sources=/etc/apt/sources.list.d/orvek-src.sources
# Extracting the payload needs only these; anything else in the import table
# would be a runtime DLL the installer does not carry.
allowed_imports="ADVAPI32.dll KERNEL32.dll msvcrt.dll OLEAUT32.dll USER32.dll ole32.dll"

declare -A triplet=([i686]=i686-w64-mingw32 [x86_64]=x86_64-w64-mingw32)

log() { echo "build-7zip: $*"; }
die() { echo "build-7zip: error: $*"; exit 1; }

for arch in i686 x86_64; do
  command -v "${triplet[$arch]}-g++-posix" >/dev/null ||
    die "${triplet[$arch]}-g++-posix not found (package g++-mingw-w64-${arch//_/-}-posix)"
done
command -v dpkg-source >/dev/null || die "dpkg-source not found (package dpkg-dev)"
[[ -f "$makefile" ]] || die "missing $makefile"

source_versions() {
  apt-cache showsrc --only-source 7zip 2>/dev/null | awk '/^Version:/ { print $2 }'
}

# Debian images ship without deb-src entries; add one mirroring the binary
# sources, so that the source comes from the same archive and suites.
ensure_deb_src() {
  [[ -n "$(source_versions)" ]] && return 0
  [[ $EUID -eq 0 ]] || die "no deb-src entry for 7zip; run once as root to add $src_sources"
  if [[ ! -f "$src_sources" ]]; then
    if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
      sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$src_sources.tmp"
    else
      printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' \
        'Suites: bookworm bookworm-updates' 'Components: main' \
        'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' > "$src_sources.tmp"
    fi
    mv "$src_sources.tmp" "$src_sources"
    log "added $src_sources"
  fi
  apt-get -o DPkg::Lock::Timeout=600 update
  [[ -n "$(source_versions)" ]] || die "apt still knows no source package 7zip"
}

newest_version() {
  local best="" v
  while read -r v; do
    if [[ -z "$best" ]] || dpkg --compare-versions "$v" gt "$best"; then best="$v"; fi
  done
  echo "$best"
}

# Strips a fresh build product into place and checks that it is
# self-contained: only system DLLs imported, the expected exports present.
install_checked() {
  local arch="$1" built="$2" dest="$3"; shift 3
  local dll name imports=() exports
  mkdir -p "$(dirname "$dest")"
  "${triplet[$arch]}-strip" -o "$dest" "$built"
  mapfile -t imports < <("${triplet[$arch]}-objdump" -p "$dest" | awk '/DLL Name:/ { print $3 }')
  for dll in "${imports[@]}"; do
    [[ " ${allowed_imports,,} " == *" ${dll,,} "* ]] || die "$dest imports $dll"
  done
  exports="$("${triplet[$arch]}-objdump" -p "$dest" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p')"
  for name in "$@"; do
    grep -qw "$name" <<<"$exports" || die "$dest does not export $name"
  done
  log "$dest: $(stat -c %s "$dest") bytes, imports ${imports[*]}"
}

# Runs one make in the background so that a TERM or INT sent to this script
# (CMake giving up, Ctrl-C) reaches it; bash would otherwise wait for the
# whole make before acting on the signal.
# The same inputs give the same bytes, so the installer that embeds the DLL
# does not change on every fresh build: ld leaves its time stamp out and uses
# the default image base instead of one hashed from the (temporary) output
# path; strip takes SOURCE_DATE_EPOCH, set from the source package's
# changelog once it is unpacked.
stable_link="-Wl,--no-insert-timestamp -Wl,--disable-auto-image-base"

make_pid=0
run_make() {
  local log="$1" rc=0; shift
  make -j2 "$@" >"$log" 2>&1 &
  make_pid=$!
  wait "$make_pid" || rc=$?
  make_pid=0
  if [[ $rc -ne 0 ]]; then tail -n 40 "$log"; fi
  return "$rc"
}
stop_make() {
  if [[ $make_pid -ne 0 ]]; then kill -TERM "$make_pid" 2>/dev/null || true; wait "$make_pid" || true; fi
  exit 130
}
trap stop_make INT TERM

build_dll() {
  local arch="$1" src="$2" work="$3" out="$4" t0 extra=()
  t0=$SECONDS
  if [[ $arch == x86_64 ]]; then
    extra=(IS_X64=1 "LDFLAGS_STATIC_3=$stable_link")
  else
    # The .def names are undecorated; let ld match them to the stdcall symbols.
    extra=("LDFLAGS_STATIC_3=$stable_link -Wl,--enable-stdcall-fixup")
  fi
  log "building $arch 7z.dll"
  run_make "$work/dll-$arch.log" -C "$src/CPP/7zip/Bundles/Format7zExtract" -f "$makefile" \
    IS_MINGW=1 MSYSTEM=1 O="$work/obj-dll-$arch" \
    CC="${triplet[$arch]}-gcc-posix" CXX="${triplet[$arch]}-g++-posix" RC="${triplet[$arch]}-windres" \
    "${extra[@]}" || die "$arch 7z.dll build failed"
  install_checked "$arch" "$work/obj-dll-$arch/7z.dll" "$out/$arch/7z.dll" CreateObject GetHandlerProperty
  echo "$arch/7z.dll $(stat -c %s "$out/$arch/7z.dll") bytes, built in $((SECONDS - t0)) s" >>"$out/build-info.txt"
}

# The console is upstream's 7z-only standalone bundle (with 7zAES); it is
# used to compare extraction speed, so the upstream makefile is kept as is.
build_console() {
  local src="$1" work="$2" out="$3" t0
  t0=$SECONDS
  log "building x86_64 console"
  run_make "$work/console.log" -C "$src/CPP/7zip/Bundles/Alone7z" -f makefile.gcc \
    IS_MINGW=1 MSYSTEM=1 IS_X64=1 O="$work/obj-console" "LDFLAGS_STATIC_3=$stable_link" \
    CC=x86_64-w64-mingw32-gcc-posix CXX=x86_64-w64-mingw32-g++-posix RC=x86_64-w64-mingw32-windres \
    || die "console build failed"
  install_checked x86_64 "$work/obj-console/7zr.exe" "$out/x86_64/7za.exe"
  echo "x86_64/7za.exe $(stat -c %s "$out/x86_64/7za.exe") bytes, built in $((SECONDS - t0)) s" >>"$out/build-info.txt"
}

# Downloads and keeps the source package files for one version; unpacking
# happens per build, in the build's own temporary folder.
fetch_source() {
  local version="$1" dest tmp
  dest="$cache_root/src/$version"
  if [[ -n "$(compgen -G "$dest/*.dsc")" ]]; then return 0; fi
  tmp="$(mktemp -d "$cache_root/tmp.XXXXXX")"
  log "downloading 7zip source $version"
  (cd "$tmp" && apt-get -o APT::Sandbox::User=root source --download-only "7zip=$version")
  mkdir -p "$cache_root/src"
  rm -rf "$dest"
  mv -T "$tmp" "$dest"
}

# Environment a parent make or a packaging run may leave behind would change
# the flags of the upstream makefiles.
unset MAKEFLAGS MFLAGS MAKELEVEL DEB_7Z_CFLAGS DEB_7Z_CXXFLAGS DEB_7Z_CPPFLAGS DEB_7Z_LDFLAGS

ensure_deb_src
version="$(source_versions | newest_version)"
key="$( {
  sha256sum "$script_path" "$makefile" | awk '{ print $1 }'
  echo "$version"
  for arch in i686 x86_64; do "${triplet[$arch]}-g++-posix" --version | head -n 1; done
} | sha256sum | cut -c1-16)"
dir="$cache_root/$key"

complete() {
  [[ -f "$dir/i686/7z.dll" && -f "$dir/x86_64/7z.dll" ]] &&
    { [[ $want_console -eq 0 ]] || [[ -f "$dir/x86_64/7za.exe" ]]; }
}

mkdir -p "$cache_root" || die "cannot create $cache_root (set ORVEK_CACHE_DIR)"
if ! complete; then
  # One build at a time: concurrent configure runs would only compete for
  # the two cores and then race for the same cache folder.
  exec 4>"$cache_root/.lock"
  flock 4
  if ! complete; then
    find "$cache_root" -maxdepth 1 -name 'tmp.*' -exec rm -rf {} +
    fetch_source "$version"
    work="$(mktemp -d "$cache_root/tmp.XXXXXX")"
    trap 'rm -rf "$work"' EXIT
    log "unpacking 7zip $version"
    dpkg-source -x "$cache_root/src/$version"/7zip_*.dsc "$work/src" >/dev/null
    SOURCE_DATE_EPOCH="$(dpkg-parsechangelog -l "$work/src/debian/changelog" -S Timestamp)"
    export SOURCE_DATE_EPOCH
    if [[ -d "$dir" ]]; then
      # DLLs are cached; only the console is missing. Renaming one file is
      # atomic, so the folder is never seen with a half-written program.
      build_console "$work/src" "$work" "$work/out"
      cat "$work/out/build-info.txt" >>"$dir/build-info.txt"
      mv -T "$work/out/x86_64/7za.exe" "$dir/x86_64/7za.exe"
    else
      mkdir -p "$work/out"
      echo "7zip source $version" >"$work/out/build-info.txt"
      for arch in i686 x86_64; do build_dll "$arch" "$work/src" "$work" "$work/out"; done
      [[ $want_console -eq 0 ]] || build_console "$work/src" "$work" "$work/out"
      mv -T "$work/out" "$dir"
    fi
    log "cached in $dir"
  fi
  exec 4>&-
fi

[[ $print_dir -eq 0 ]] || echo "$dir" >&3
