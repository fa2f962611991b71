#!/usr/bin/env bash
# stp setup on the build's stub, against the Setup.exe the build makes from
# the same settings and stage.
#
#   setup_stamp_test.sh --same STP STUB BUILT SETTINGS STAGE UNINST EPOCH INSPECT [MANIFEST]
#       the same bytes from two runs under SOURCE_DATE_EPOCH, the same resource
#       tree as BUILT (read by inspect_setup.py --compare), and with MANIFEST
#       (the shipping build) the whole inspection of the program made
#   setup_stamp_test.sh --wine STP STUB BUILT SETTINGS STAGE UNINST EPOCH WINE_RUN WINE_BASE COMPARE
#                       VERSION_FIELDS [STP_EXE]
#       the same resources as BUILT through the system's resource calls, by
#       the Windows program COMPARE under Wine; the version information of
#       Setup.exe and of the uninstaller in its package as the system reads
#       it (VERSION_FIELDS), field by field; and with STP_EXE, the same bytes
#       from stp.exe under Wine as from stp
set -euo pipefail
mode=$1 stp=$2 stub=$3 built=$4 settings=$5 stage=$6 uninst=$7 epoch=$8
shift 8
# In the build tree, which the test beds see at the same path.
work=$(mktemp -d "$PWD/setup_stamp.XXXXXX")
trap 'rm -rf "$work"' EXIT

stamp() {
  SOURCE_DATE_EPOCH=$epoch "$stp" setup "$stage" -o "$1" --settings "$settings" --stub "$stub" \
    --uninstaller "$uninst"
}

stamp "$work/Setup.exe"
case "$mode" in
  --same)
    inspect=$1 manifest=${2:-}
    stamp "$work/again.exe"
    cmp "$work/Setup.exe" "$work/again.exe"
    echo "ok   two runs give the same bytes"
    python3 "$inspect" --compare "$built" "$work/Setup.exe"
    if [ -n "$manifest" ]; then
      python3 "$inspect" "$work/Setup.exe" "$manifest"
    fi
    ;;
  --wine)
    wine_run=$1 wine_base=$2 compare=$3 fields=$4 stp_exe=${5:-}
    cp "$built" "$work/Built.exe"
    "$wine_run" "$wine_base" "$compare" "Z:$work/Built.exe" "Z:$work/Setup.exe"
    # The uninstaller stp setup put into the package.
    python3 - "$(dirname "$0")/../../tests" "$work/Setup.exe" "$work/pkg.stp" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
from inspect_setup import Pe
res = Pe(open(sys.argv[2], "rb").read()).resources()
open(sys.argv[3], "wb").write(res[("STPFILE", "SETUPPACKAGE", 2052)])
PY
    "$stp" extract "$work/pkg.stp" "$work/inst" --system-dir "$work/sys" >/dev/null
    value() { sed -n "s/^$1 *= *//p" "$settings" | tr -d '\r'; }
    en=$(value ProductName) zh=$(value ProductNameChinese) v=$(value Version)
    numbers=$(echo "$v" | awk -F. '{ printf "%d.%d.%d.%d", $1, $2, $3, $4 }')
    failed=0
    for program in Setup Uninst; do
      [ $program = Setup ] && file=$work/Setup.exe what_en=Setup what_zh=安装程序
      [ $program = Uninst ] && file=$work/inst/Uninst.exe what_en=Uninstaller what_zh=卸载程序
      "$wine_run" "$wine_base" "$fields" "Z:$file" | tr -d '\r' >"$work/fields"
      sed -e "s|@en@|$en|g; s|@zh@|$zh|g; s|@v@|$v|g; s|@n@|$numbers|g; s|@program@|$program|g" \
        -e "s|@what_en@|$what_en|g; s|@what_zh@|$what_zh|g" >"$work/expected" <<'END'
FileVersion=@n@
ProductVersion=@n@
Translation=040904B0
040904B0/CompanyName=Norvane Software
040904B0/FileDescription=@en@ @what_en@
040904B0/FileVersion=@v@
040904B0/OriginalFilename=@program@.exe
040904B0/ProductName=@en@
040904B0/ProductVersion=@v@
Translation=080404B0
080404B0/CompanyName=诺凡软件
080404B0/FileDescription=@zh@ @what_zh@
080404B0/FileVersion=@v@
080404B0/OriginalFilename=@program@.exe
080404B0/ProductName=@zh@
080404B0/ProductVersion=@v@
END
      if diff "$work/expected" "$work/fields"; then
        echo "ok   $program.exe: version information read back by the system"
      else
        echo "FAIL $program.exe: version information read back by the system (above)"
        failed=1
      fi
    done
    if [ -n "$stp_exe" ]; then
      # The same inputs and epoch through stp.exe under Wine.
      SOURCE_DATE_EPOCH=$epoch "$wine_run" "$wine_base" "$stp_exe" setup "Z:$stage" \
        -o "Z:$work/Windows.exe" --settings "Z:$settings" --stub "Z:$stub" --uninstaller "Z:$uninst"
      if cmp "$work/Setup.exe" "$work/Windows.exe"; then
        echo "ok   stp.exe under Wine makes the same bytes as stp"
      else
        echo "FAIL stp.exe under Wine makes other bytes than stp"
        failed=1
      fi
    fi
    exit $failed
    ;;
  *)
    echo "setup_stamp_test: unknown mode $mode" >&2
    exit 2
    ;;
esac
