#!/usr/bin/env bash
# Makes the archives the payload tests extract, with the real 7z tool and the
# options the product payload is packed with.
#   usage: make_fixtures.sh OUTPUT_DIR
# OUTPUT_DIR/tree is the source tree; the archives sit next to it.
set -euo pipefail
[[ $# -eq 1 ]] || { echo "usage: $(basename "$0") OUTPUT_DIR" >&2; exit 2; }
out="$1"
pack=(7z a -t7z -m0=BCJ -m1=LZMA2 -mx=5 -ms=on -bd -bb0)

rm -rf "$out.tmp"
mkdir -p "$out.tmp/tree"
cd "$out.tmp/tree"

# Hundreds of files in nested folders, small and large, text and binary.
for d in 0 1 2 3 4 5; do
  for s in a b c d e; do
    mkdir -p "dir$d/sub$s/deep"
    for f in 0 1 2 3 4 5 6 7 8 9; do
      printf 'file %s/%s/%s\n' "$d" "$s" "$f" > "dir$d/sub$s/f$f.txt"
    done
    head -c $((d * 3000 + 17)) /dev/urandom > "dir$d/sub$s/deep/blob.bin"
  done
done
head -c 3000000 /dev/urandom > big.bin
: > empty-file.txt
mkdir -p "中文目录" empty_folder
printf '说明\n' > "中文目录/说明文档.txt"
printf 'read-only target\n' > readonly.txt

"${pack[@]}" -mhe=off -pvorplank ../good.7z . >/dev/null
"${pack[@]}" -mhe=on -pvorplank ../good-he.7z . >/dev/null
"${pack[@]}" -mhe=off -pwrongpass ../wrong-password.7z . >/dev/null
cd ..

size=$(stat -c %s good.7z)
head -c $((size / 2)) good.7z > truncated.7z

# Damaged data behind intact headers: the big file's stream fails its check.
cp good.7z corrupt.7z
printf '\xde\xad\xbe\xef\xde\xad\xbe\xef\xde\xad\xbe\xef\xde\xad\xbe\xef' |
  dd of=corrupt.7z bs=1 seek=$((size / 3)) conv=notrunc status=none

mkdir -p small
printf 'evil\n' > small/a.txt
(cd small && "${pack[@]}" -mhe=off -pvorplank ../evil-dotdot.7z a.txt >/dev/null)
cp evil-dotdot.7z evil-absolute.7z
7z rn -pvorplank evil-dotdot.7z a.txt '../evil.txt' >/dev/null
7z rn -pvorplank evil-absolute.7z a.txt 'C:\abs.txt' >/dev/null
# Backslashes inside stored names, which the library hands over as U+F05C.
printf 'evil\n' > small/b.txt
(cd small && "${pack[@]}" -mhe=off -pvorplank ../evil-backslash.7z a.txt b.txt >/dev/null)
7z rn -pvorplank evil-backslash.7z a.txt '..\evil.txt' b.txt 'sub\..\..\evil.txt' >/dev/null
rm -rf small

cd ..
rm -rf "$out"
mv "$out.tmp" "$out"
