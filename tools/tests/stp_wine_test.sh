#!/usr/bin/env bash
# The stp command line tests with stp.exe under Wine: one Wine prefix, made
# from the template of cmake/wine-run.sh, serves every call.
#   stp_wine_test.sh WINE_BASE STP_EXE TEST_SCRIPT
set -u
base=$(realpath -m "$1") exe=$2 script=$3
here=$(dirname "$(realpath "$0")")
"$here/../../cmake/wine-run.sh" "$base" --prepare || exit 1
mkdir -p "$base/runs"
prefix=$(mktemp -d "$base/runs/stp_cli.XXXXXX")
cp -a "$base/template/." "$prefix/"
wrapper=$prefix/stp
cat >"$wrapper" <<END
#!/bin/sh
WINEPREFIX='$prefix' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d' exec wine '$exe' "\$@"
END
chmod +x "$wrapper"
# One wineserver for the whole run: a call that starts while the server of
# the call before is still shutting down can fail at start, without a word.
WINEPREFIX=$prefix wineserver -p
STP_ON_WINDOWS=1 "$script" "$wrapper" ""
rc=$?
WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
[ "$rc" = 0 ] && rm -rf "$prefix"
exit "$rc"
