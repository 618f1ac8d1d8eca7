#!/usr/bin/env bash
# Packs a sample installer from a built product and a small built-in sample
# application, the way a release installer is packed. Prints its path.
# ORVEK_SAMPLE_PROGRAM, when set, is a Windows program copied in as the
# client and the environment-check tool (the tests use one that records how
# it was started); otherwise both are small text files. With
# ORVEK_SAMPLE_WITHOUT_CHECK_TOOL=1 the sample has no environment-check tool
# and goes to BUILD_DIR/sample-without-check-tool instead of BUILD_DIR/sample.
# With ORVEK_SAMPLE_FILLER_FILES=N it carries N more small files (res/filler),
# so that its extraction lasts long enough to be interrupted, and goes to
# BUILD_DIR/sample-with-filler.
# Beside the installer it writes the release artifacts (scripts/release_artifacts.py:
# the SHA-256 file and the package manager's manifest set) with the build's
# ORVEK_RELEASE_URL and ORVEK_WEB_SITE.
# usage: scripts/make-sample-installer.sh BUILD_DIR [VERSION]
set -euo pipefail
[[ $# -ge 1 ]] || { echo "usage: $0 BUILD_DIR [VERSION]" >&2; exit 2; }
build=$(realpath "$1")
version=${2:-v6.15.1}
cd "$(dirname "$0")/.."

exe=$build/src/app/orvek-setup.exe
pack=$build/host-tools/tools/pack/orvek-pack
[[ -x $pack ]] || pack=build/host/tools/pack/orvek-pack
out=$build/sample
[[ ${ORVEK_SAMPLE_WITHOUT_CHECK_TOOL:-0} == 1 ]] && out=$build/sample-without-check-tool
filler=${ORVEK_SAMPLE_FILLER_FILES:-0}
(( filler > 0 )) && out=$build/sample-with-filler
mkdir -p "$out"

# A small application tree: nested folders, a Chinese name, a read-only file,
# the client's configuration (saved when an earlier installation is removed)
# and the updater (removed when the installer's path says "noupdate").
app=$out/app
rm -rf "$app" && mkdir -p "$app/bin" "$app/res/lang" "$app/lib/ia32/win32/runtime-check"
if [[ ${ORVEK_SAMPLE_WITHOUT_CHECK_TOOL:-0} == 1 ]]; then
  rm -r "$app/lib/ia32/win32/runtime-check"
fi
if [[ -n ${ORVEK_SAMPLE_PROGRAM:-} ]]; then
  cp "$ORVEK_SAMPLE_PROGRAM" "$app/orvekclient.exe"
else
  printf 'MZ sample client\n' >"$app/orvekclient.exe"
fi
check_tool=$app/lib/ia32/win32/runtime-check
if [[ -d $check_tool ]]; then
  if [[ -n ${ORVEK_SAMPLE_PROGRAM:-} ]]; then
    cp "$ORVEK_SAMPLE_PROGRAM" "$check_tool/orvekRunTimeCheck.exe"
  else
    printf 'MZ sample environment check\n' >"$check_tool/orvekRunTimeCheck.exe"
  fi
fi
printf '[client]\nserver=127.0.0.1\n' >"$app/bin/config.ini"
printf 'classroom=3-2\nteacher=sample\n' >"$app/app.cfg"
printf 'MZ sample updater\n' >"$app/update.exe"
printf '中文资源\n' >"$app/res/lang/zh-CN.txt"
printf '教师客户端说明\n' >"$app/res/说明.txt"
head -c 262144 /dev/zero | tr '\0' 'x' >"$app/res/data.bin"
chmod a-w "$app/bin/config.ini"
if (( filler > 0 )); then
  mkdir -p "$app/res/filler"
  for ((i = 0; i < filler; i++)); do printf 'filler %d\n' "$i" >"$app/res/filler/$i.txt"; done
fi

archive=$out/payload.7z
rm -f "$archive"
(cd "$app" && 7z a -t7z -m0=BCJ -m1=LZMA2 -mx=5 -ms=on -mhe=off -pvorplank "$archive" . >/dev/null)
installer=$out/orvek-setup-$version.exe
"$pack" --exe "$exe" --version "$version" --archive "$archive" -o "$installer" >&2
setting() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
scripts/release_artifacts.py "$installer" --version "$version" \
  --release-url "$(setting ORVEK_RELEASE_URL)" --web-site "$(setting ORVEK_WEB_SITE)"
echo "$installer"
