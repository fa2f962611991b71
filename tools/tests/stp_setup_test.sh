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
setup -o "$work/x.exe" --settings "$work/p/good.settings" --sign-cert "$sig/cert.pem" \
  --sign-key "pkcs11:token=t;object=k;pin-value=2468" --pkcs11-module "$work/none.so"
check "a PIN in the token's URI is refused" 2 $?
contains "for the password file" "sign-key-password-file" "$work/out"

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
ls "$work" | grep -E '\.(part|stp|unsigned|signing|program)$|unsigned\.exe|Uninst' >"$work/left"
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
  unpack() {  # unpack SETUP.EXE DEST: the package's files into DEST
    python3 - "$(dirname "$0")/../../tests" "$1" "$work/pkg.stp" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
from inspect_setup import Pe
res = Pe(open(sys.argv[2], "rb").read()).resources()
open(sys.argv[3], "wb").write(res[("STPFILE", "SETUPPACKAGE", 2052)])
PY
    rm -rf "$2" && "$stp" extract "$work/pkg.stp" "$2" --system-dir "$work/sys" >/dev/null 2>&1
  }
  unpack "$work/Signed.exe" "$work/inst"
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

  # Another signer named by --sign-command: each program in turn, the
  # uninstaller first; one that fails, signs nothing or is missing stops the
  # run with its message and leaves nothing behind.
  mkdir "$work/cmd"
  cat >"$work/signer" <<END
#!/bin/sh
echo "\$2 \$1" >>"$work/order"
case "\$2" in
  fails) echo "signer: the service refused"; exit 3 ;;
  nothing) exit 0 ;;
esac
osslsigncode sign -certs "$sig/cert.pem" -key "$sig/key.pem" -readpass "$sig/password.txt" \
  -in "\$1" -out "\$1.s" >/dev/null && mv "\$1.s" "\$1"
END
  chmod +x "$work/signer"
  while IFS='|' read -r program mode status needle signed; do
    rm -f "$work/order"
    "$stp" setup "$stage" -o "$work/cmd/$mode.exe" --settings "$work/p/good.settings" \
      --stub "$stub" --sign-command "$work/$program {} $mode" >"$work/out" 2>&1
    check "--sign-command $mode: status" "$status" $?
    contains "--sign-command $mode: message" "$needle" "$work/out"
    check "--sign-command $mode: programs signed in order" "$signed" \
      "$(sed -E 's/.*(Uninst|unsigned)\.exe$/\1/' "$work/order" 2>/dev/null | tr '\n' ' ')"
    if [ "$status" = 0 ]; then
      osslsigncode verify -CAfile "$sig/ca.pem" -in "$work/cmd/$mode.exe" >"$work/v" 2>&1
      check "--sign-command $mode: Setup.exe verifies" 0 $?
    fi
    check "--sign-command $mode: nothing else left" "ok.exe" "$(ls "$work/cmd" | tr '\n' ' ' | xargs)"
  done <<'END'
signer|ok|0|cmd/ok.exe: .*signed|Uninst unsigned 
signer|fails|1|the service refused|Uninst 
signer|nothing|1|left the program without a signature|Uninst 
none-such|missing|1|fails to start|
END

  # A key that never leaves its token: a SoftHSM token made for the test,
  # the test key and certificate imported, the PIN in a file.
  module=/usr/lib/softhsm/libsofthsm2.so
  if command -v softhsm2-util >/dev/null && command -v pkcs11-tool >/dev/null &&
    [ -f "$module" ]; then
    mkdir -p "$work/hsm/tokens"
    printf 'directories.tokendir = %s\nobjectstore.backend = file\n' "$work/hsm/tokens" \
      >"$work/hsm/softhsm2.conf"
    export SOFTHSM2_CONF=$work/hsm/softhsm2.conf
    softhsm2-util --init-token --free --label stp-test --pin 2468 --so-pin 97531 >/dev/null
    openssl pkcs8 -topk8 -nocrypt -in "$sig/key.pem" -passin "file:$sig/password.txt" \
      -out "$work/hsm/key.p8"
    softhsm2-util --import "$work/hsm/key.p8" --token stp-test --label signer --id 01 \
      --pin 2468 >/dev/null
    openssl x509 -in "$sig/cert.pem" -outform DER -out "$work/hsm/cert.der"
    pkcs11-tool --module "$module" --token-label stp-test --login --pin 2468 --write-object \
      "$work/hsm/cert.der" --type cert --id 01 --label signer >/dev/null 2>&1
    echo 2468 >"$work/hsm/pin"
    echo 1111 >"$work/hsm/wrong-pin"
    rm -f "$work/hsm/key.p8"
    token="pkcs11:token=stp-test;object=signer"
    while IFS='|' read -r name cert pin status; do
      "$stp" setup "$stage" -o "$work/hsm/$name.exe" --settings "$work/p/good.settings" \
        --stub "$stub" --sign-cert "${cert/TOKEN/$token;type=cert}" \
        --sign-key "$token;type=private" --pkcs11-module "$module" \
        --sign-key-password-file "$work/hsm/$pin" >"$work/out" 2>&1
      check "token, $name: status" "$status" $?
      if [ "$status" = 0 ]; then
        osslsigncode verify -CAfile "$sig/ca.pem" -in "$work/hsm/$name.exe" >"$work/v" 2>&1
        check "token, $name: Setup.exe verifies" 0 $?
        unpack "$work/hsm/$name.exe" "$work/hsm/inst"
        osslsigncode verify -CAfile "$sig/ca.pem" -in "$work/hsm/inst/Uninst.exe" >"$work/v" 2>&1
        check "token, $name: the uninstaller in it verifies" 0 $?
      else
        [ ! -e "$work/hsm/$name.exe" ]; check "token, $name: nothing written" 0 $?
      fi
    done <<END
cert-file|$sig/cert.pem|pin|0
cert-on-token|TOKEN|pin|0
wrong-pin|TOKEN|wrong-pin|1
END
  else
    echo "skipped: signing through a token (no softhsm2-util, pkcs11-tool or SoftHSM's module;" \
      "scripts/bootstrap.sh installs them)"
  fi
else
  echo "skipped: the signing checks (no osslsigncode or no test certificate)"
fi

checks_done
