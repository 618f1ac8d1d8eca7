#!/usr/bin/env bash
# A packed installer signed the way a release is signed (Authenticode, here
# by osslsigncode with a throw-away self-signed certificate), then read by the
# installer's own reader under Wine: everything from the payload offset to the
# end of the file is the archive, its padding and the whole certificate table.
#
# usage: signed_installer_test.sh HARNESS BUILD_DIR PE_CHECK PACKED.exe ARCHIVE.7z
set -euo pipefail
[[ $# -eq 5 ]] || { sed -n '7p' "$0" >&2; exit 2; }
harness=$1 build=$2 check=$3 packed=$4 archive=$5

work=$(mktemp -d "${TMPDIR:-/tmp}/orvek-signed.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Orvek throw-away test signer" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Orvek test installer" \
  -in "$packed" -out "$work/signed.exe" >/dev/null

# The signer wrote the CheckSum of the signed file: its value is the known
# answer for our checksum, and the layout must have survived signing.
"$check" --packed-layout --checksum "$work/signed.exe" || fail "signed file fails the checks"
declare -A facts
while IFS='=' read -r key value; do facts[$key]=$value; done < <("$check" --describe "$work/signed.exe")
offset=${facts[payload_offset]} cert_at=${facts[security_offset]} cert_size=${facts[security_size]}
packed_size=$(stat -c %s "$packed") archive_size=$(stat -c %s "$archive")
(( cert_size > 0 )) || fail "no certificate table"
(( cert_at == packed_size )) || fail "certificate table at $cert_at, expected right behind the packed file ($packed_size)"
(( cert_at + cert_size == facts[file_size] )) || fail "certificate table does not run to the end of the file"

# The reader under Wine, from the signed file itself.
"$harness" run "$build" "$work/signed.exe" "Z:$work/report.txt" "Z:$work/payload.bin" </dev/null \
  || fail "the signed installer did not run (status $?)"
grep -qx "offset=$offset" "$work/report.txt" || fail "reader's offset: $(cat "$work/report.txt")"
grep -qx "version=v6.15.1" "$work/report.txt" || fail "reader's version: $(cat "$work/report.txt")"

{
  cat "$archive"
  head -c $(( cert_at - offset - archive_size )) /dev/zero
  tail -c +$(( cert_at + 1 )) "$work/signed.exe" | head -c "$cert_size"
} >"$work/expected.bin"
cmp "$work/payload.bin" "$work/expected.bin" || fail "archive bytes differ from archive + padding + certificate table"
echo "signed installer: archive $archive_size bytes at $offset, certificate table $cert_size bytes at $cert_at"
