#!/usr/bin/env bash
# Runs a Windows program under Wine in a Wine prefix of its own.
#   wine-run.sh BASE --prepare        make the template prefix BASE/template
#   wine-run.sh BASE PROGRAM [ARG...] copy the template to a fresh prefix and run
# A run's prefix is removed when the program succeeds (or only skipped some
# cases: exit code 77, passed through) and kept (its path printed) when it
# fails, to look into.
#
# With TEST_BED set (i386 or wow64) the program runs in that test bed
# (scripts/testbed.sh), with a template prefix of the bed's own in BASE/BED.
# Where this machine cannot run 32-bit code, the run is skipped (exit code
# 77) with one line naming the reason.
set -u
base=$(realpath -m "$1")
top=$base
shift
here=$(cd "$(dirname "$0")" && pwd)
bed=${TEST_BED:-}
inside_bed=0
[ -f /etc/setupkit-bed ] && inside_bed=1

if [ -n "$bed" ] && [ "$inside_bed" = 0 ]; then
  case "$bed" in
    i386 | wow64) ;;
    *) echo "wine-run: unknown test bed \"$bed\" (i386 or wow64)" >&2; exit 2 ;;
  esac
  # Both beds' wine starts with the 32-bit loader.
  if ! reason=$("$here/../scripts/testbed.sh" --probe); then
    echo "wine-run: skipped, the $bed test bed cannot run here: $reason"
    exit 77
  fi
fi
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko prompts, and no menu entries or .desktop files written
# into the home folder for the shortcuts the tests make.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}
# Wine links the user's Desktop, Documents and the like to the home folder;
# in a test prefix they are folders of the prefix, so that nothing a program
# writes there leaves it.
sandbox() {
  local link
  for link in "$1"/drive_c/users/*/*; do
    if [ -L "$link" ]; then
      rm -f "$link"
      mkdir -p "$link"
    fi
  done
}

prepare() {
  mkdir -p "$base"
  exec 9>"$base/.lock"
  flock 9
  if [ ! -f "$template/.ready-2" ]; then
    rm -rf "$template"
    WINEPREFIX=$template wineboot -i >/dev/null 2>&1
    WINEPREFIX=$template wineserver -w
    sandbox "$template"
    touch "$template/.ready-2"
  fi
  flock -u 9
}

# Into the test bed, after the display is settled (the X server runs here,
# the bed reaches it through its socket).
enter_bed() {
  exec "$here/../scripts/testbed.sh" "$bed" -- "$here/wine-run.sh" "$top" "$@"
}
[ -n "$bed" ] && [ "$inside_bed" = 1 ] && base=$base/$bed
template=$base/template

if [ "${1:-}" = "--prepare" ]; then
  [ -n "$bed" ] && [ "$inside_bed" = 0 ] && enter_bed "$@"
  prepare
  [ -f "$template/.ready-2" ] || { echo "wine-run: could not make a Wine prefix" >&2; exit 1; }
  exit 0
fi

# Tests that open windows ask for a display; they get a virtual one.
if [ "${WINE_XVFB:-0}" = 1 ] && [ -z "${DISPLAY:-}" ]; then
  export WINE_XVFB=0
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$top" "$@"
fi

[ -n "$bed" ] && [ "$inside_bed" = 0 ] && enter_bed "$@"
prepare
program=$1
shift
mkdir -p "$base/runs"
name=$(basename "$program" .exe)
# A prefix of its own: the Windows folder (some 700 MB of system DLLs that
# nothing here changes in place) is hard-linked; everything a program may
# write into is copied.
fresh_prefix() {
  prefix=$(mktemp -d "$base/runs/$name.XXXXXX")
  cp -al "$template/." "$prefix/"
  local part
  for part in system.reg user.reg userdef.reg drive_c/users drive_c/ProgramData \
              "drive_c/Program Files" "drive_c/Program Files (x86)"; do
    if [ -e "$template/$part" ]; then
      rm -rf "${prefix:?}/$part"
      cp -a "$template/$part" "$prefix/$part"
    fi
  done
}
# The program's output is passed on and kept to tell whether it ran at all.
out=$(mktemp "$base/runs/$name.out.XXXXXX")
run() {
  # Into a file, shown when the run ends: a pipe would be held open by any
  # process the program left behind, until the wineserver is ended.
  WINEPREFIX=$prefix wine "$program" "$@" >"$out"
  rc=$?
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
  cat "$out"
}
fresh_prefix
run "$@"
# Now and then Wine itself fails to start a program in a fresh prefix: it
# ends without having written anything. Only then is it started once more,
# in another fresh prefix; a program that ran and failed is never run again.
if [ "$rc" != 0 ] && [ "$rc" != 77 ] && [ ! -s "$out" ]; then
  echo "wine-run: $program ended with exit code $rc before writing anything (Wine did not" \
       "start it); starting it again in a fresh prefix" >&2
  rm -rf "$prefix"
  fresh_prefix
  run "$@"
fi
rm -f "$out"
# 77: the program ran and some of its cases were skipped (named in its output).
if [ "$rc" = 0 ] || [ "$rc" = 77 ]; then
  rm -rf "$prefix"
else
  echo "wine-run: exit code $rc; prefix kept in $prefix" >&2
fi
exit "$rc"
