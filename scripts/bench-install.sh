#!/usr/bin/env bash
# Install time of Setup.exe under Wine beside an installer of the same payload
# made by Debian's nsis (makensis; it serves this benchmark only, and its row
# is skipped when it is missing): zlib, silent, its start-up subtracted (the
# time of the same installer with no files). Setup.exe is timed from the
# Install click to the finish page. Both builds: x86_64 against NSIS's amd64
# stub under the host's Wine; the shipping i686 build against its x86 stub in
# the 32-bit test bed (scripts/testbed.sh i386) when there is one. Each figure
# is the best of BENCH_ROUNDS (default 3) rounds taken side by side. Also the
# peak memory of Setup.exe during the installation, and the start-up of both:
# the seconds from starting the program to its first window (Setup.exe's
# wizard; NSIS's directory page), for this payload and beside it for a small
# package (Setup.exe with the sample product, NSIS with no files), which
# shows whether the start-up grows with the payload. Prints figures; asserts
# nothing.
#   PAYLOAD_MB     size of the payload when BENCH_PAYLOAD does not give one
#   BENCH_PAYLOAD  a payload folder (scripts/bench-payload.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

winpath() { echo "Z:${1//\//\\}"; }

# --measure LABEL PREFIX SETUP TOUR NSIS NSIS_EMPTY SETUP_SMALL NSIS_UI NSIS_UI_EMPTY:
# runs inside a display; prints the rows of one build.
if [ "${1:-}" = --measure ]; then
  label=$2 setup=$4 tour=$5 nsis=$6 empty=$7 small=$8 nsisUi=$9 nsisUiEmpty=${10}
  export WINEPREFIX=$3 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  if [ ! -f "$WINEPREFIX/.ready" ]; then
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.ready"
  fi
  drive=$WINEPREFIX/drive_c
  # awk, not bc: a test bed's minimal root has no bc.
  secs() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
  best() { printf '%s\n' "$@" | sort -g | head -1; }
  # start PROGRAM: the seconds to its first window, or "-"
  start() {
    local o
    o=$(wine "$tour" time-start "$(winpath "$1")" 2>/dev/null | tr -d '\r' || true)
    o=$(sed -n 's/^start seconds: //p' <<<"$o")
    wineserver -w
    echo "${o:--}"
  }
  ts=() tn=() te=() ss=() sm=() sn=() se=() peak=""
  for _ in $(seq "${BENCH_ROUNDS:-3}"); do
    rm -rf "$drive/bench"
    out=$(wine "$tour" time-install "$(winpath "$setup")" 'C:\bench\setup' 2>/dev/null | tr -d '\r' || true)
    t=$(sed -n 's/^install seconds: //p' <<<"$out")
    [ -n "$t" ] || { echo "$label: Setup.exe did not install: $out"; exit 0; }
    ts+=("$t")
    peak=$(sed -n 's/^peak working set: //p' <<<"$out")
    wineserver -w
    files=$(find "$drive/bench/setup" -type f | wc -l)
    if [ "$nsis" != - ]; then
      rm -rf "$drive/bench"
      s=$(date +%s.%N); wine "$nsis" /S '/D=C:\bench\nsis' >/dev/null 2>&1; e=$(date +%s.%N)
      tn+=("$(secs "$s" "$e")")
      s=$(date +%s.%N); wine "$empty" /S '/D=C:\bench\empty' >/dev/null 2>&1; e=$(date +%s.%N)
      te+=("$(secs "$s" "$e")")
      wineserver -w
      sn+=("$(start "$nsisUi")")
      se+=("$(start "$nsisUiEmpty")")
    fi
    ss+=("$(start "$setup")")
    sm+=("$(start "$small")")
  done
  rm -rf "$drive/bench"
  printf '%s: peak memory of Setup.exe installing: working set %s\n' "$label" "${peak:-not reported}"
  s1=$(best "${ss[@]}") s2=$(best "${sm[@]}")
  if [ "$nsis" = - ]; then
    printf '%s: start-up to the first window: Setup.exe %s s (%s s with the sample package)\n' \
      "$label" "$s1" "$s2"
  else
    n1=$(best "${sn[@]}") n2=$(best "${se[@]}")
    printf '%s: start-up to the first window: Setup.exe %s s (%s s with the sample package); NSIS %s s (%s s with no files)\n' \
      "$label" "$s1" "$s2" "$n1" "$n2"
  fi
  s=$(best "${ts[@]}")
  if [ "$nsis" = - ]; then
    printf '%s: Setup.exe %.2f s (%d files); NSIS skipped: makensis is missing\n' "$label" "$s" "$files"
    exit 0
  fi
  n=$(best "${tn[@]}") z=$(best "${te[@]}")
  awk -v l="$label" -v s="$s" -v f="$files" -v n="$n" -v z="$z" 'BEGIN {
    printf "%s: Setup.exe %.2f s (%d files); NSIS %.2f s (%.2f s run - %.2f s start-up); ratio Setup/NSIS %.2f\n",
      l, s, f, n - z, n, z, s / (n - z) }'
  exit 0
fi

stp=${STP:-build/host-release/tools/stp}
bench=$root/build/bench
mkdir -p "$bench"
payload=${BENCH_PAYLOAD:-$bench/payload}
if [ -z "${BENCH_PAYLOAD:-}" ]; then
  rm -rf "$payload"
  bash scripts/bench-payload.sh "$payload"
fi
"$stp" pack "$payload" -o "$bench/payload.stp" --no-uninstaller >/dev/null

# Setup.exe carrying the payload, in a build folder of its own per preset
# (the other objects come from ccache).
build_setup() {
  local preset=$1 dir=$root/build/bench-$1
  cmake --preset "$preset" -B "$dir" -DBUILD_TESTING=OFF -DSETUP_PACKAGE="$bench/payload.stp" \
    -DSTP_HOST_TOOL="$root/$stp" >"$bench/$preset-configure.log" 2>&1 &&
    cmake --build "$dir" --target Setup setup_tour >"$bench/$preset-build.log" 2>&1
}

# The NSIS installers: the payload and an empty one, for a stub.
make_nsis() {  # make_nsis TARGET NAME FILES [silent|ui]
  local target=$1 name=$2 files=$3 silent=SilentInstall\ silent page=
  [ "${4:-silent}" = ui ] && silent= page="Page directory"
  cat >"$bench/$name.nsi" <<NSI
Unicode true
Target $target
SetCompressor zlib
Name "Bench"
OutFile "$bench/$name.exe"
InstallDir "C:\\bench\\nsis"
RequestExecutionLevel admin
$silent
$page
Section
  SetOutPath "\$INSTDIR"
  $files
SectionEnd
NSI
  makensis -V1 "$bench/$name.nsi" >"$bench/$name.log" 2>&1
}

row() {  # row LABEL PRESET STUB PREFIX RUNNER...
  local label=$1 preset=$2 stub=$3 prefix=$4
  shift 4
  if ! build_setup "$preset"; then
    echo "$label: Setup.exe with the payload did not build (see $bench/$preset-*.log)"
    return
  fi
  local nsis=- empty=- ui=- uiEmpty=-
  if command -v makensis >/dev/null; then
    make_nsis "$stub" "nsis-$stub" "File /r \"$payload/*\"" &&
      make_nsis "$stub" "nsis-$stub-empty" "" &&
      make_nsis "$stub" "nsis-$stub-ui" "File /r \"$payload/*\"" ui &&
      make_nsis "$stub" "nsis-$stub-ui-empty" "" ui || { echo "$label: makensis failed"; return; }
    nsis=$bench/nsis-$stub.exe empty=$bench/nsis-$stub-empty.exe
    ui=$bench/nsis-$stub-ui.exe uiEmpty=$bench/nsis-$stub-ui-empty.exe
  fi
  # The same program with the sample product: its start-up beside this one's.
  local small=$root/build/bench-$preset/app/SetupSample.exe
  cmake --build "$root/build/$preset" --target Setup >>"$bench/$preset-build.log" 2>&1 &&
    cp "$root/build/$preset/app/Setup.exe" "$small" ||
    { echo "$label: the $preset build's own Setup.exe did not build"; return; }
  "$@" bash "$root/scripts/bench-install.sh" --measure "$label" "$prefix" \
    "$root/build/bench-$preset/app/Setup.exe" "$root/build/bench-$preset/app/setup_tour.exe" \
    "$nsis" "$empty" "$small" "$ui" "$uiEmpty"
}

command -v makensis >/dev/null || echo "makensis is missing (Debian's nsis): the NSIS figures are skipped"
printf 'package: %d bytes\n' "$(stat -c %s "$bench/payload.stp")"
xvfb=(xvfb-run -a -s "-screen 0 1024x768x24")
row "install x86_64" win64 amd64-unicode "$bench/prefix-win64" "${xvfb[@]}"
# The 32-bit row only where the test bed runs it natively: under an emulator
# registered for i386 programs (binfmt_misc, as where the kernel runs no
# 32-bit code) its times would say nothing.
emulated32() {
  local f
  for f in /proc/sys/fs/binfmt_misc/*; do
    [ "$(head -1 "$f" 2>/dev/null)" = enabled ] &&
      grep -q '^magic 7f454c4601010100000000000000000002000300' "$f" && return 0
  done
  return 1
}
if emulated32; then
  echo "install i686 (shipping build): skipped: 32-bit programs run here only under an emulator, whose times say nothing"
elif [ -x scripts/testbed.sh ] && why=$(scripts/testbed.sh --probe 2>&1); then
  row "install i686 (shipping build)" win32 x86-unicode "$bench/prefix-i386" "${xvfb[@]}" \
    scripts/testbed.sh i386 --
elif [ -x scripts/testbed.sh ]; then
  echo "install i686 (shipping build): skipped: ${why:-the 32-bit test bed cannot run here}"
else
  echo "install i686 (shipping build): skipped: no 32-bit test bed"
fi
