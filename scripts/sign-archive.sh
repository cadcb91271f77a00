#!/usr/bin/env bash
# Signs a setup archive for the downloader: writes ARCHIVE.sig beside it (docs/trust.md).
#
#   scripts/sign-archive.sh KEY ARCHIVE [NAME]
#
# KEY: the vendor's ECDSA P-256 private key (PEM), whose public key the program is built with
# (PLENWICK_ARCHIVE_KEYS); ARCHIVE: the archive as it will be served; NAME: the archive's file
# name as the program derives it (default: ARCHIVE's own name, e.g. Archive_x64-stable.zip).
# Make a key and the public key file to build with:
#   openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out archive-key.pem
#   openssl pkey -in archive-key.pem -pubout -out archive-keys.pem
set -euo pipefail

fail() {
  echo "sign-archive: $*" >&2
  exit 1
}
[ $# -ge 2 ] && [ $# -le 3 ] || {
  echo "usage: $0 KEY ARCHIVE [NAME]" >&2
  exit 2
}
key=$1
archive=$2
name=${3:-$(basename -- "$archive")}
[ -r "$key" ] || fail "the key $key cannot be read"
[ -f "$archive" ] && [ -r "$archive" ] || fail "the archive $archive cannot be read"
openssl pkey -in "$key" -noout -text 2>/dev/null | grep -q "ASN1 OID: prime256v1" ||
  fail "$key is no ECDSA P-256 private key"
case "$name" in
  "" | *[[:cntrl:]]*) fail "the name \"$name\" is empty or holds control characters" ;;
esac

work=$(mktemp -d "${TMPDIR:-/tmp}/sign-archive.XXXXXX")
trap 'rm -rf "$work"' EXIT

size=$(stat -c %s -- "$archive")
sha256=$(sha256sum -- "$archive" | cut -d' ' -f1)
# The key's identifier: the SHA-256 of its public key's DER SubjectPublicKeyInfo.
key_id=$(openssl pkey -in "$key" -pubout -outform DER 2>/dev/null | sha256sum | cut -d' ' -f1)
printf 'plenwick-archive-signature: 1\nname: %s\nsize: %s\nsha256: %s\nkey: %s\n' \
  "$name" "$size" "$sha256" "$key_id" >"$work/statement"
openssl dgst -sha256 -sign "$key" -out "$work/signature.der" "$work/statement" ||
  fail "signing failed"

# The DER signature's two integers, r and s, as 32 bytes each in hex.
mapfile -t integers < <(openssl asn1parse -inform DER -in "$work/signature.der" |
  sed -n 's/.*prim: INTEGER *:\([0-9A-Fa-f]*\)$/\1/p')
[ ${#integers[@]} -eq 2 ] || fail "the signature is not an ECDSA signature"
rs=
for n in "${integers[@]}"; do
  n=$(tr 'A-F' 'a-f' <<<"$n")
  n=$(printf '%064s' "$n" | tr ' ' 0)
  n=${n: -64}
  rs+=$n
done

{
  cat "$work/statement"
  printf 'signature: %s\n' "$rs"
} >"$work/sig"
# Checked before it is written: the key's public half verifies what was signed.
openssl pkey -in "$key" -pubout -out "$work/public.pem" 2>/dev/null
openssl dgst -sha256 -verify "$work/public.pem" -signature "$work/signature.der" \
  "$work/statement" >/dev/null || fail "the signature does not verify"
mv -f "$work/sig" "$archive.sig"
echo "$archive.sig: $name, $size bytes, key $key_id"
