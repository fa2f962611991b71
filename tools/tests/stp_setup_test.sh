#!/usr/bin/env bash
# stp setup from the command line: the usage errors, a refusal and a missing
# stub (the refusals themselves are SetupStampTest's), nothing left behind by a failure, the stub found through STP_STUB,
# and signing in the same command (the uninstaller with its list inside the
# package, then Setup.exe) with the throwaway test certificate.
#
#   stp_setup_test.sh STP STUB UNINST STAGE SETTINGS SIGNING_DIR
set -u
stp=$1 stub=$2 uninst=$3 stage=$4 settings=$5 sig=$6
. "$(dirname "$0")/../../tests/checks.sh"
export STP_UNINSTALLER=$uninst
setup() { "$stp" setup "$stage" --stub "$stub" "$@" >"$work/out" 2>&1; }

# The product's settings with its pictures beside them.
mkdir -p "$work/p"
cp -r "$(dirname "$settings")/art" "$work/p/"
cp "$settings" "$work/p/good.settings"
edit() {  # edit NAME SED: a settings file changed by SED
  sed "$2" "$work/p/good.settings" >"$work/p/$1.settings"
}

setup -o "$work/Setup.exe" --settings "$work/p/good.settings"
check "setup" 0 $?
contains "it says what it wrote" "Setup.exe: 5 files" "$work/out"
"$stp" setup "$stage" -o "$work/Setup2.exe" >"$work/out" 2>&1
check "setup without --settings is a usage error" 2 $?
"$stp" setup "$stage" --settings x >"$work/out" 2>&1
check "setup without -o is a usage error" 2 $?
setup -o "$work/x.exe" --settings "$work/p/good.settings" --sign-cert "$sig/cert.pem"
check "a certificate without its key is a usage error" 2 $?

# One refusal through the command line: its exit code, its message on the
# way out, and no file written. Every refusal's message is checked where it
# is made (SetupStampTest).
edit unknown 's/^Version/Versoin/'
setup -o "$work/unknown.exe" --settings "$work/p/unknown.settings"
check "settings unknown: refused" 1 $?
contains "settings unknown: the message" "unknown key 'Versoin'" "$work/out"
[ ! -e "$work/unknown.exe" ]; check "settings unknown: nothing written" 0 $?

# The stub: a missing one names the option that gives it.
"$stp" setup "$stage" -o "$work/s.exe" --settings "$work/p/good.settings" \
  --stub "$work/none.exe" >"$work/out" 2>&1
check "a missing stub" 1 $?
contains "names the option" "does not exist: give one with --stub FILE" "$work/out"
STP_STUB=$stub "$stp" setup "$stage" -o "$work/env.exe" --settings "$work/p/good.settings" \
  >"$work/out" 2>&1
check "the stub from STP_STUB" 0 $?
ls "$work" | grep -E '\.(part|stp|unsigned|signing)$|Uninst' >"$work/left"
check "no temporary file left" "" "$(cat "$work/left")"

if command -v osslsigncode >/dev/null && [ -f "$sig/cert.pem" ]; then
  cp "$stub" "$work/signed-stub.exe"
  "$(dirname "$0")/../../cmake/sign-program.sh" "$work/signed-stub.exe" "$sig/cert.pem" \
    "$sig/key.pem" "$sig/password.txt"
  "$stp" setup "$stage" -o "$work/s.exe" --settings "$work/p/good.settings" \
    --stub "$work/signed-stub.exe" >"$work/out" 2>&1
  check "a signed stub" 1 $?
  contains "is refused" "the stub is signed" "$work/out"

  sign=(--sign-cert "$sig/cert.pem" --sign-key "$sig/key.pem" --sign-key-password-file
        "$sig/password.txt")
  SOURCE_DATE_EPOCH=1767225600 setup -o "$work/Signed.exe" --settings "$work/p/good.settings" \
    "${sign[@]}"
  check "setup signed" 0 $?
  osslsigncode verify -CAfile "$sig/ca.pem" -in "$work/Signed.exe" >"$work/v" 2>&1
  check "Setup.exe verifies" 0 $?
  SOURCE_DATE_EPOCH=1767225600 setup -o "$work/Signed2.exe" --settings "$work/p/good.settings" \
    "${sign[@]}"
  cmp -s "$work/Signed.exe" "$work/Signed2.exe"
  check "signed twice under SOURCE_DATE_EPOCH: the same bytes" 0 $?
  # The uninstaller inside: signed, with its list before the signature.
  python3 - "$(dirname "$0")/../../tests" "$work/Signed.exe" "$work/pkg.stp" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
from inspect_setup import Pe
res = Pe(open(sys.argv[2], "rb").read()).resources()
open(sys.argv[3], "wb").write(res[("STPFILE", "SETUPPACKAGE", 2052)])
PY
  "$stp" extract "$work/pkg.stp" "$work/inst" --system-dir "$work/sys" >/dev/null 2>&1
  check "its package extracts" 0 $?
  osslsigncode verify -CAfile "$sig/ca.pem" -in "$work/inst/Uninst.exe" >"$work/v" 2>&1
  check "the uninstaller in it verifies" 0 $?
  contains "and carries its list" "NvUnLst" "$work/inst/Uninst.exe"
  "$stp" setup "$stage" -o "$work/bad.exe" --settings "$work/p/good.settings" \
    --stub "$stub" --sign-cert "$sig/cert.pem" --sign-key "$sig/key.pem" \
    --sign-key-password-file "$work/p/good.settings" >"$work/out" 2>&1
  check "a wrong key password fails" 1 $?
  contains "naming osslsigncode" "osslsigncode failed" "$work/out"
  [ ! -e "$work/bad.exe" ]; check "and writes nothing" 0 $?
else
  echo "skipped: the signing checks (no osslsigncode or no test certificate)"
fi

checks_done
