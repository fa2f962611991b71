#!/usr/bin/env bash
# The signed programs of a build made with the test certificate: Setup.exe
# and the uninstaller inside its package verify against the test authority,
# a copy with one byte changed does not, nor does one with bytes appended
# after the signature; the package is sound and the inspection accepts the
# signed program.
#
#   signing_test.sh SETUP_SIGNED.EXE SIGNING_DIR STP [--inspect INSPECT_PY MANIFEST]
set -u
setup=$1 sig=$2 stp=$3
shift 3
. "$(dirname "$0")/../../tests/checks.sh"
verify() {  # verify FILE: 0 when its signature holds and chains to the test authority
  osslsigncode verify -CAfile "$sig/ca.pem" -in "$1" >"$work/verify.log" 2>&1
}
flip() {  # flip FILE OFFSET: changes one byte in place
  local b
  b=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
  printf "\\$(printf %03o $((b ^ 1)))" | dd of="$1" bs=1 seek="$2" conv=notrunc 2>/dev/null
}

verify "$setup"; check "Setup.exe verifies against the test authority" 0 $?
grep -q "SHA256" "$work/verify.log"; check "with SHA-256 digests" 0 $?
cp "$setup" "$work/changed.exe"
flip "$work/changed.exe" 2000
verify "$work/changed.exe"; check "a copy with one byte changed fails" 1 $?
cp "$setup" "$work/package-changed.exe"
# A byte near the end of the program, before the signature: the package.
table=$(python3 -c "
import struct,sys
d=open(sys.argv[1],'rb').read()
pe=struct.unpack_from('<I',d,0x3c)[0]
opt=pe+24
dirs=opt+(96 if struct.unpack_from('<H',d,opt)[0]==0x10b else 112)
print(struct.unpack_from('<I',d,dirs+32)[0])" "$setup")
flip "$work/package-changed.exe" $((table - 100))
verify "$work/package-changed.exe"; check "so does one changed in its last section" 1 $?
cp "$setup" "$work/appended.exe"
printf 'appended' >>"$work/appended.exe"
verify "$work/appended.exe"; check "and one with bytes after its signature" 1 $?
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/other.key" -out "$work/other.pem" \
  -days 1 -subj "/CN=Another authority" 2>/dev/null
osslsigncode verify -CAfile "$work/other.pem" -in "$setup" >/dev/null 2>&1
check "nor does it verify against another authority" 1 $?

# The signing script: a wrong key password fails, naming the file, and leaves
# the program as it was; the right one signs it in place.
here=$(dirname "$(realpath "$0")")
sign=$here/../../cmake/sign-program.sh
osslsigncode remove-signature -in "$setup" -out "$work/unsigned.exe" >/dev/null 2>&1
cp "$work/unsigned.exe" "$work/tosign.exe"
printf 'not the password\n' >"$work/wrong.txt"
"$sign" "$work/tosign.exe" "$sig/cert.pem" "$sig/key.pem" "$work/wrong.txt" >/dev/null 2>"$work/err"
check "a wrong key password fails" 1 $?
grep -q "tosign.exe" "$work/err"; check "naming the program" 0 $?
cmp -s "$work/unsigned.exe" "$work/tosign.exe"; check "which stays as it was" 0 $?
[ ! -e "$work/tosign.exe.signing" ]; check "with nothing left beside it" 0 $?
SOURCE_DATE_EPOCH=1700000000 "$sign" "$work/tosign.exe" "$sig/cert.pem" "$sig/key.pem" "$sig/password.txt"
check "the right one signs" 0 $?
verify "$work/tosign.exe"; check "and the program verifies" 0 $?
cp "$work/unsigned.exe" "$work/tosign2.exe"
SOURCE_DATE_EPOCH=1700000000 "$sign" "$work/tosign2.exe" "$sig/cert.pem" "$sig/key.pem" "$sig/password.txt"
cmp -s "$work/tosign.exe" "$work/tosign2.exe"; check "under SOURCE_DATE_EPOCH the same bytes again" 0 $?

# The package inside: sound, and its uninstaller signed with its list.
"$stp" verify "$sig/Signed.stp" >"$work/out" 2>&1; check "the signed package is sound" 0 $?
"$stp" extract "$sig/Signed.stp" "$work/dest" --system-dir "$work/sys" >/dev/null 2>&1
check "and extracts" 0 $?
verify "$work/dest/Uninst.exe"; check "its Uninst.exe verifies" 0 $?
grep -q "NvUninstallList 1" "$work/dest/Uninst.exe"; check "and carries its list" 0 $?
cp "$work/dest/Uninst.exe" "$work/uninst-changed.exe"
size=$(stat -c %s "$work/uninst-changed.exe")
# The list lies before the signature: a change to it is a change to what was signed.
at=$(grep -obUa "NvUninstallList 1" "$work/uninst-changed.exe" | head -1 | cut -d: -f1)
flip "$work/uninst-changed.exe" $((at + 20))
verify "$work/uninst-changed.exe"; check "a changed list fails its signature" 1 $?
[ "$at" -lt "$size" ]; check "list found" 0 $?
"$stp" pack "$work/dest" -o "$work/again.stp" --uninstaller "$work/dest/Uninst.exe" >/dev/null 2>&1
check "pack takes the folder's own signed Uninst.exe as it is" 0 $?
rm "$work/dest/Uninst.exe"
"$stp" pack "$work/dest" -o "$work/broken.stp" --uninstaller "$setup" >"$work/err" 2>&1
check "pack refuses to add a list to a signed program" 1 $?
grep -q "is signed" "$work/err"; check "saying so" 0 $?

if [ "${1:-}" = "--inspect" ]; then
  python3 "$2" "$setup" "$3" >"$work/inspect" 2>&1
  check "the inspection accepts the signed Setup.exe" 0 $?
  grep -q "^ok   signed" "$work/inspect"; check "and reports its signature" 0 $?
  cat "$work/inspect" | grep -E "signed|size"
fi

checks_done
