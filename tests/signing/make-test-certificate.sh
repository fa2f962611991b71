#!/usr/bin/env bash
# A throwaway certificate authority and a code-signing certificate it issued,
# for the tests of signing: DIR/ca.pem, DIR/cert.pem, DIR/key.pem (encrypted
# with the password in DIR/password.txt). Never for signing anything shipped.
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"
rm -f ca.key ca.pem cert.pem key.pem cert.csr password.txt ext.cnf ca.srl
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 30 \
  -subj "/CN=Setup kit test CA" -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
printf 'test password %s\n' "$RANDOM$RANDOM" >password.txt
openssl req -newkey rsa:2048 -keyout key.pem -passout file:password.txt -out cert.csr \
  -subj "/CN=Norvane Soft (test)" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >ext.cnf
openssl x509 -req -in cert.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out cert.pem -days 30 \
  -extfile ext.cnf 2>/dev/null
rm -f cert.csr ca.srl ext.cnf
