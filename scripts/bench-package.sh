#!/usr/bin/env bash
# Packing time and size of stp beside makensis (Debian's nsis, zlib; left out
# when it is missing), extraction speed of stp beside unzip and tar on the
# same payload, stp verify beside stp extract, each with one thread and with
# BENCH_THREADS (default: every processor), and the peak memory of each on
# the payload and of stp extract on one large random file. Prints figures;
# asserts nothing.
#   PAYLOAD_MB      size of the mixed payload, and of the one file (default 256)
#   BENCH_ONE_FILE  0 leaves the one large file out
set -euo pipefail
cd "$(dirname "$0")/.."
stp=${STP:-build/host-release/tools/stp}
mb=${PAYLOAD_MB:-256}
work=$(mktemp -d "${TMPDIR:-/tmp}/stp-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The payload of scripts/bench-payload.sh; bench.sh passes one for every
# benchmark in BENCH_PAYLOAD.
payload=${BENCH_PAYLOAD:-$work/payload}
[ -n "${BENCH_PAYLOAD:-}" ] || bash scripts/bench-payload.sh "$payload"

t() {  # t LABEL COMMAND...: prints and returns the seconds taken
  local start end
  start=$(date +%s.%N)
  "${@:2}" >/dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}

threads=${BENCH_THREADS:-$(nproc)}
rss() { awk -F': ' '/Maximum resident/ {print $2}' "$1"; }
# Packing, best of BENCH_ROUNDS; both thread counts give the same bytes.
best() { printf '%s\n' "$@" | sort -g | head -1; }
for n in 1 "$threads"; do
  tp=()
  for _ in $(seq "${BENCH_ROUNDS:-3}"); do
    tp+=("$(t pack /usr/bin/time -o "$work/pack-time" -v env SOURCE_DATE_EPOCH=1 "$stp" pack \
      "$payload" -o "$work/p$n.stp" --no-uninstaller --threads "$n")")
  done
  printf 'stp pack, %d thread(s): %.2f s, %d bytes, peak %s KB\n' "$n" "$(best "${tp[@]}")" \
    "$(stat -c %s "$work/p$n.stp")" "$(rss "$work/pack-time")"
done
cmp -s "$work/p1.stp" "$work/p$threads.stp" && echo "stp pack: the same bytes with 1 and $threads threads"
mv "$work/p$threads.stp" "$work/p.stp"
rm -f "$work/p1.stp"
if command -v makensis >/dev/null; then
  cat >"$work/p.nsi" <<NSI
Unicode true
SetCompressor zlib
Name "Bench"
OutFile "$work/nsis.exe"
InstallDir "C:\\bench"
SilentInstall silent
Section
  SetOutPath "\$INSTDIR"
  File /r "$payload/*"
SectionEnd
NSI
  tn=()
  for _ in $(seq "${BENCH_ROUNDS:-3}"); do tn+=("$(t makensis makensis -V1 "$work/p.nsi")"); done
  printf 'makensis (zlib): %.2f s, %d bytes\n' "$(best "${tn[@]}")" "$(stat -c %s "$work/nsis.exe")"
  rm -f "$work/nsis.exe"
else
  echo "makensis is missing (Debian's nsis): its figures are left out"
fi
(cd "$payload" && zip -9 -q -r "$work/p.zip" .)
(cd "$payload" && tar czf "$work/p.tgz" .)
printf 'sizes: stp %d, zip %d, tar.gz %d bytes\n' "$(stat -c %s "$work/p.stp")" \
  "$(stat -c %s "$work/p.zip")" "$(stat -c %s "$work/p.tgz")"
# The best of BENCH_ROUNDS (default 3) rounds, the tools side by side in
# each: the machine's other work shows less.
for n in 1 "$threads"; do
  ts=() tz=() tt=() tv=()
  sync
  for _ in $(seq "${BENCH_ROUNDS:-3}"); do
    rm -rf "$work/o1" "$work/o2" "$work/o3" && mkdir -p "$work/o1" "$work/o2" "$work/o3"
    ts+=("$(t stp /usr/bin/time -o "$work/mixed-time" -v "$stp" extract "$work/p.stp" "$work/o1" \
      --threads "$n")")
    tz+=("$(t unzip unzip -o -q "$work/p.zip" -d "$work/o2")")
    tt+=("$(t tar tar xzf "$work/p.tgz" -C "$work/o3")")
    tv+=("$(t verify /usr/bin/time -o "$work/verify-time" -v "$stp" verify "$work/p.stp" \
      --threads "$n")")
  done
  ts=$(best "${ts[@]}") tz=$(best "${tz[@]}") tt=$(best "${tt[@]}") tv=$(best "${tv[@]}")
  echo "-- stp with $n thread(s)"
  diff -r "$payload" "$work/o1" >/dev/null && echo "stp output matches the payload"
  printf 'extract: stp %.2f s, unzip %.2f s, tar xzf %.2f s\n' "$ts" "$tz" "$tt"
  printf 'ratios: stp/unzip %.2f, stp/tar %.2f\n' "$(echo "$ts / $tz" | bc -l)" "$(echo "$ts / $tt" | bc -l)"
  printf 'verify: stp verify %.2f s beside stp extract %.2f s: ratio verify/extract %.2f\n' \
    "$tv" "$ts" "$(echo "$tv / $ts" | bc -l)"
  printf 'peak resident size on the payload: stp extract %s KB, stp verify %s KB\n' \
    "$(rss "$work/mixed-time")" "$(rss "$work/verify-time")"
done
rm -rf "$work/o1" "$work/o2" "$work/o3" "$work/p.zip" "$work/p.tgz" "$work/p.stp"

[ "${BENCH_ONE_FILE:-1}" != 0 ] || exit 0
mkdir -p "$work/one"
head -c $((mb * 1024 * 1024)) /dev/urandom >"$work/one/big.bin"
"$stp" pack "$work/one" -o "$work/one.stp" --no-uninstaller >/dev/null
/usr/bin/time -v "$stp" extract "$work/one.stp" "$work/oneout" 2>"$work/time" >/dev/null
printf 'peak resident size of stp extract on one %d MB file: %s KB\n' "$mb" \
  "$(awk -F': ' '/Maximum resident/ {print $2}' "$work/time")"
