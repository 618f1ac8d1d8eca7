#!/usr/bin/env bash
# Builds everything and runs every test: host unit tests, the same under
# AddressSanitizer and UndefinedBehaviorSanitizer with each fuzz target over
# its corpus and for a few seconds more, the static checks of the i686
# product and the product itself in an emulated 32-bit Windows (the guest is
# built first when it is not cached), and the Windows tests of the x86_64
# twin under 64-bit Wine.
# usage: scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

start=$(date +%s)
for preset in host sanitize win32 win64; do
  echo "== build $preset" >&2
  cmake --preset "$preset" -DORVEK_WERROR=ON >/dev/null
  cmake --build --preset "$preset" -j2
done

echo "== guest" >&2
guest_start=$(date +%s)
scripts/guest.sh build
echo "guest ready in $(( $(date +%s) - guest_start )) s" >&2

status=0
for preset in host sanitize win32 win64; do
  echo "== test $preset" >&2
  # Wine tests share one prefix and one display: run them one at a time.
  ctest --preset "$preset" --timeout 600 || status=1
done
echo "all tests finished in $(( $(date +%s) - start )) s" >&2
exit $status
