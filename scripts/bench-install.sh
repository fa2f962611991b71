#!/usr/bin/env bash
# Install time of Setup.exe under Wine beside an installer of the same payload
# made by Debian's nsis (makensis; it serves this benchmark only, and its row
# is skipped when it is missing): zlib, silent. Both are timed the same way:
# each run in a fresh Wine prefix whose server is up and has run the
# installer's empty counterpart once, after a sync, from the start of the
# program to its end; the start-up subtracted is that empty counterpart's
# run, timed the same way in the same prefix just before (NSIS: the same
# installer with no files; Setup.exe: the same program asked only for its
# usage, /S /?). Setup.exe runs silently (/S) into
# C:\bench\setup with its log, whose marks give its parts: writing Setup.stp,
# reading the index, inflating and writing, flushing, replacing, registering.
# Beside them the disk's floor for the bytes Setup.exe writes: the payload
# and the package copied with cp -r and synced (and without the sync). Also
# Setup.exe built not to flush its files (SETUP_BENCH_NOT_DURABLE): what
# durability costs. Every figure is the median of BENCH_ROUNDS (default 5)
# rounds, with its spread ((largest - smallest) / median). Both builds:
# x86_64 against NSIS's amd64 stub under the host's Wine; the shipping i686
# build against its x86 stub in the 32-bit test bed (scripts/testbed.sh i386)
# where 32-bit code runs natively. Prints figures; asserts nothing.
#   PAYLOAD_MB     size of the payload when BENCH_PAYLOAD does not give one
#   BENCH_PAYLOAD  a payload folder (scripts/bench-payload.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

# --measure LABEL DIR PAYLOAD PACKAGE: runs inside a display; DIR holds the
# programs (Setup.exe, SetupNotDurable.exe, and nsis.exe and nsis-empty.exe
# unless NSIS is skipped); prints the rows of one build.
if [ "${1:-}" = --measure ]; then
  label=$2 dir=$3 payload=$4 package=$5
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  template=$dir/prefix-template run=$dir/prefix-run
  if [ ! -f "$template/.ready" ]; then
    rm -rf "$template"
    WINEPREFIX=$template wineboot -i >/dev/null 2>&1
    WINEPREFIX=$template wineserver -w
    # Desktop, Documents and the like as folders of the prefix, not links to
    # the home folder: nothing the installers write leaves the prefix.
    for link in "$template"/drive_c/users/*/*; do
      [ -L "$link" ] && rm -f "$link" && mkdir -p "$link"
    done
    touch "$template/.ready"
  fi
  export WINEPREFIX=$run
  # awk, not bc: a test bed's minimal root has no bc. Times of day may pass
  # midnight.
  secs() { awk -v a="$1" -v b="$2" 'BEGIN { d = b - a; printf "%.3f", d < -43200 ? d + 86400 : d }'; }
  # timed COMMAND...: the seconds it took
  timed() {
    local s e
    s=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || true
    e=$(date +%s.%N)
    secs "$s" "$e"
  }
  # fresh EMPTY ARG: a new prefix, its server up, EMPTY /S ARG run once in it
  fresh() {
    [ -d "$run" ] && { wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; }
    rm -rf "$run"
    cp -a "$template" "$run"
    wineserver -p
    wine "$1" /S "$2" >/dev/null 2>&1 || true
  }
  # one NAME PROGRAM EMPTY EMPTY-ARG [ARG...]: a run of PROGRAM beside its
  # empty counterpart's (EMPTY /S EMPTY-ARG); appends to the lists NAME_run
  # and NAME_start
  one() {
    local name=$1 program=$2 empty=$3 emptyArg=$4
    shift 4
    fresh "$empty" "$emptyArg"
    sync
    eval "${name}_start+=(\"$(timed wine "$empty" /S "$emptyArg")\")"
    sync
    eval "${name}_run+=(\"$(timed wine "$program" /S "$@" '/D=C:\bench\setup')\")"
  }
  # The time of day of a log line starting with TEXT, in seconds.
  mark() {
    awk -v t="$2" 'index($0, t) == 14 {
      split($1, p, ":"); v = p[1] * 3600 + p[2] * 60 + p[3] } END { printf "%.3f", v }' "$1"
  }
  # The lines from the first mark to the last, by the marks of Setup.exe's log:
  # the part that ends at each (the first: where the run starts).
  parts=("Destination: " "Package written" "Row" "Every new file written" "Every new file on the disk"
    "Every file written" "Installed")
  names=("writing Setup.stp" "reading the index" "inflating and writing" "flushing"
    "replacing" "registering")
  declare -a setup_run setup_start plain_run plain_start nsis_run nsis_start floor floorNoSync
  for n in "${!names[@]}"; do declare -a "part$n=()"; done
  rounds=${BENCH_ROUNDS:-5}
  files=0
  for _ in $(seq "$rounds"); do
    one setup "$dir/Setup.exe" "$dir/Setup.exe" '/?' '/LOG=C:\bench\setup.log'
    log=$run/drive_c/bench/setup.log
    tr -d '\r' <"$log" 2>/dev/null | grep -q ' Installed$' ||
      { echo "$label: Setup.exe did not install: $(tr -d '\r' <"$log" 2>/dev/null | tail -3)"; exit 0; }
    files=$(find "$run/drive_c/bench/setup" -type f | wc -l)
    prev=$(mark "$log" "${parts[0]}")
    for n in "${!names[@]}"; do
      at=$(mark "$log" "${parts[n + 1]}")
      eval "part$n+=(\"$(secs "$prev" "$at")\")"
      prev=$at
    done
    one plain "$dir/SetupNotDurable.exe" "$dir/SetupNotDurable.exe" '/?'
    [ -f "$dir/nsis.exe" ] && one nsis "$dir/nsis.exe" "$dir/nsis-empty.exe" '/D=C:\bench\empty'
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    # The floor: the same bytes copied, on the same disk.
    rm -rf "$run/floor" && mkdir -p "$run/floor"
    sync
    floorNoSync+=("$(timed sh -c "cp -r '$payload' '$run/floor/p' && cp '$package' '$run/floor/Setup.stp'")")
    sync
    rm -rf "$run/floor" && mkdir -p "$run/floor"
    sync
    floor+=("$(timed sh -c "cp -r '$payload' '$run/floor/p' && cp '$package' '$run/floor/Setup.stp' && sync -f '$run/floor'")")
  done
  rm -rf "$run"
  # median LIST...: the median; spread LIST...: (largest - smallest) / median in %
  median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
    printf "%.3f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
  spread() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%.0f", (m > 0 ? (v[NR] - v[1]) / m * 100 : 0) }'; }
  # net NAME: the medians of the run, the start-up and their difference
  net() {
    local r s d=()
    eval "r=(\"\${${1}_run[@]}\") s=(\"\${${1}_start[@]}\")"
    for i in "${!r[@]}"; do d+=("$(awk -v a="${r[i]}" -v b="${s[i]}" 'BEGIN { print a - b }')"); done
    printf '%s %s %s %s %s' "$(median "${d[@]}")" "$(median "${r[@]}")" "$(median "${s[@]}")" \
      "$(spread "${d[@]}")" "$(spread "${r[@]}")"
  }
  read -r s sr ss sd srd <<<"$(net setup)"
  read -r p pr ps pd prd <<<"$(net plain)"
  printf '%s: median of %d rounds, each run in a fresh prefix after a sync; spread = (largest - smallest) / median\n' \
    "$label" "$rounds"
  printf '%s: Setup.exe %.2f s (%.2f s run - %.2f s start-up; spread %s %%, of the run %s %%; %d files)\n' \
    "$label" "$s" "$sr" "$ss" "$sd" "$srd" "$files"
  line=""
  for n in "${!names[@]}"; do
    eval "v=(\"\${part$n[@]}\")"
    line+="$(printf '%s %.2f s (%s %%), ' "${names[n]}" "$(median "${v[@]}")" "$(spread "${v[@]}")")"
  done
  printf '%s: its parts (its log): %s\n' "$label" "${line%, }"
  printf '%s: Setup.exe not flushing %.2f s (%.2f s run - %.2f s start-up; spread %s %%): durability costs %.2f s\n' \
    "$label" "$p" "$pr" "$ps" "$pd" "$(awk -v a="$s" -v b="$p" 'BEGIN { print a - b }')"
  f=$(median "${floor[@]}") fn=$(median "${floorNoSync[@]}")
  printf "%s: the disk's floor for its bytes (the payload and the package, cp -r and sync): %.2f s (spread %s %%; %.2f s without the sync)\n" \
    "$label" "$f" "$(spread "${floor[@]}")" "$fn"
  if [ ! -f "$dir/nsis.exe" ]; then
    printf '%s: ratio Setup/floor %.2f; NSIS skipped: makensis is missing\n' "$label" \
      "$(awk -v a="$s" -v b="$f" 'BEGIN { print a / b }')"
    exit 0
  fi
  read -r n nr ns nd nrd <<<"$(net nsis)"
  printf '%s: NSIS %.2f s (%.2f s run - %.2f s start-up; spread %s %%, of the run %s %%)\n' \
    "$label" "$n" "$nr" "$ns" "$nd" "$nrd"
  awk -v l="$label" -v s="$s" -v n="$n" -v f="$f" 'BEGIN {
    printf "%s: ratios: Setup/NSIS %.2f, Setup/floor %.2f, NSIS/floor %.2f\n", l, s / n, s / f, n / f }'
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
# (the other objects come from ccache), flushing and not: into OUT.
build_setup() {  # build_setup PRESET OUT
  local preset=$1 out=$2 dir=$root/build/bench-$1 flag
  for flag in OFF ON; do
    cmake --preset "$preset" -B "$dir" -DBUILD_TESTING=OFF -DSETUP_PACKAGE="$bench/payload.stp" \
      -DSTP_HOST_TOOL="$root/$stp" -DSETUP_BENCH_NOT_DURABLE=$flag >"$bench/$preset-configure.log" 2>&1 &&
      cmake --build "$dir" --target Setup >"$bench/$preset-build.log" 2>&1 || return 1
    cp "$dir/app/Setup.exe" "$out/$([ $flag = ON ] && echo SetupNotDurable.exe || echo Setup.exe)"
  done
}

# The NSIS installers: the payload and an empty one, for its start-up.
make_nsis() {  # make_nsis TARGET OUT FILES
  local target=$1 out=$2 files=$3
  cat >"$out.nsi" <<NSI
Unicode true
Target $target
SetCompressor zlib
Name "Bench"
OutFile "$out"
InstallDir "C:\\bench\\nsis"
RequestExecutionLevel admin
SilentInstall silent
Section
  SetOutPath "\$INSTDIR"
  $files
SectionEnd
NSI
  makensis -V1 "$out.nsi" >"$out.log" 2>&1
}

row() {  # row LABEL PRESET STUB RUNNER...
  local label=$1 preset=$2 stub=$3 out=$bench/$2
  shift 3
  mkdir -p "$out"
  if ! build_setup "$preset" "$out"; then
    echo "$label: Setup.exe with the payload did not build (see $bench/$preset-*.log)"
    return
  fi
  rm -f "$out/nsis.exe" "$out/nsis-empty.exe"
  if command -v makensis >/dev/null; then
    make_nsis "$stub" "$out/nsis.exe" "File /r \"$payload/*\"" &&
      make_nsis "$stub" "$out/nsis-empty.exe" "" || { echo "$label: makensis failed"; return; }
  fi
  # Ahead of the machine's other work where this may say so (root): both
  # installers alike.
  local ahead=()
  [ "$(id -u)" = 0 ] && ahead=(nice -n -10)
  "$@" "${ahead[@]}" bash "$root/scripts/bench-install.sh" --measure "$label" "$out" "$payload" "$bench/payload.stp"
}

command -v makensis >/dev/null || echo "makensis is missing (Debian's nsis): the NSIS figures are skipped"
printf 'package: %d bytes\n' "$(stat -c %s "$bench/payload.stp")"
xvfb=(xvfb-run -a -s "-screen 0 1024x768x24")
row "install x86_64" win64 amd64-unicode "${xvfb[@]}"
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
  row "install i686 (shipping build)" win32 x86-unicode "${xvfb[@]}" scripts/testbed.sh i386 --
elif [ -x scripts/testbed.sh ]; then
  echo "install i686 (shipping build): skipped: ${why:-the 32-bit test bed cannot run here}"
else
  echo "install i686 (shipping build): skipped: no 32-bit test bed"
fi
