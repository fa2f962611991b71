#!/usr/bin/env bash
# Signs a Windows program in place with an Authenticode signature (SHA-256).
#
#   sign-program.sh FILE CERT KEY [PASSWORD_FILE] [TIMESTAMP_URL] [DESCRIPTION]
#
# CERT is the certificate (PEM or DER, the chain may follow it in the same PEM
# file), KEY its private key, PASSWORD_FILE the key's password on its first
# line (empty for an unencrypted key). With SOURCE_DATE_EPOCH set, the
# signing time is that instead of now, so that the same program and key sign
# to the same bytes (a timestamp server's answer is never the same).
set -euo pipefail
file=$1 cert=$2 key=$3 pass=${4:-} ts=${5:-} desc=${6:-}
args=(sign -h sha256 -certs "$cert" -key "$key")
[ -n "$pass" ] && args+=(-readpass "$pass")
[ -n "$ts" ] && args+=(-ts "$ts")
[ -n "$desc" ] && args+=(-n "$desc")
[ -n "${SOURCE_DATE_EPOCH:-}" ] && args+=(-time "$SOURCE_DATE_EPOCH")
tmp="$file.signing"
rm -f "$tmp"
if ! out=$(osslsigncode "${args[@]}" -in "$file" -out "$tmp" 2>&1); then
  rm -f "$tmp"
  printf 'sign-program: cannot sign %s:\n%s\n' "$file" "$out" >&2
  exit 1
fi
mv -f "$tmp" "$file"
