#!/usr/bin/env bash
# Makes the payload archive of the test installers the way the release payload
# is made: a solid 7z archive, LZMA2 behind BCJ, encrypted data, plain item
# list. Its length is deliberately not a multiple of 8.
# usage: make_test_archive.sh OUTPUT.7z PASSWORD
set -euo pipefail
[[ $# -eq 2 ]] || { echo "usage: $0 OUTPUT.7z PASSWORD" >&2; exit 2; }
out=$(realpath -m "$1") password=$2

content=$(mktemp -d)
trap 'rm -rf "$content"' EXIT
mkdir -p "$content/bin" "$content/data"
echo "payload of a test installer" >"$content/readme.txt"
seq 1 50000 >"$content/data/numbers.txt"
# Incompressible bytes, so the archive has a realistic, odd length.
head -c 200003 /dev/urandom >"$content/bin/noise.bin"

for attempt in 1 2 3 4 5 6 7 8; do
  rm -f "$out"
  (cd "$content" && 7z a -t7z -m0=BCJ -m1=LZMA2 -mx=5 -ms=on -mhe=off -p"$password" "$out" . >/dev/null)
  (( $(stat -c %s "$out") % 8 != 0 )) && exit 0
  head -c "$attempt" /dev/urandom >>"$content/readme.txt"
done
echo "could not make an archive of unaligned length" >&2
exit 1
