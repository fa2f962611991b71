#!/usr/bin/env bash
# Extraction speed of stp beside unzip and tar on the same payload, and the
# peak memory of stp extract on one large file. Prints figures; asserts
# nothing.
#   PAYLOAD_MB  size of the mixed payload (default 256)
set -euo pipefail
cd "$(dirname "$0")/.."
stp=${STP:-build/host-release/tools/stp}
mb=${PAYLOAD_MB:-256}
work=$(mktemp -d "${TMPDIR:-/tmp}/stp-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Half text-like (compressible), half random (incompressible), in files of
# 64 KiB to 8 MiB over a few folders.
python3 - "$work/payload" "$mb" <<'PY'
import os, random, sys
root, mb = sys.argv[1], int(sys.argv[2])
random.seed(1)
words = [b"setup", b"package", b"drawlet", b"norvane", b"file", b"index", b"body", b"\n"]
total, n = 0, 0
while total < mb * 1024 * 1024:
    size = random.choice([64, 256, 1024, 4096, 8192]) * 1024
    folder = os.path.join(root, "d%d" % (n % 7), "s%d" % (n % 3))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%d.bin" % n), "wb") as f:
        if n % 2:
            f.write(os.urandom(size))
        else:
            chunk = b" ".join(random.choice(words) for _ in range(4096))
            f.write((chunk * (size // len(chunk) + 1))[:size])
    total += size
    n += 1
print("payload: %d files, %d MB" % (n, total // (1024 * 1024)))
PY

t() {  # t LABEL COMMAND...: prints and returns the seconds taken
  local start end
  start=$(date +%s.%N)
  "${@:2}" >/dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}

"$stp" pack "$work/payload" -o "$work/p.stp" --no-uninstaller >/dev/null
(cd "$work/payload" && zip -9 -q -r "$work/p.zip" .)
(cd "$work/payload" && tar czf "$work/p.tgz" .)
printf 'sizes: stp %d, zip %d, tar.gz %d bytes\n' "$(stat -c %s "$work/p.stp")" \
  "$(stat -c %s "$work/p.zip")" "$(stat -c %s "$work/p.tgz")"
tv=$(t verify "$stp" verify "$work/p.stp")
printf 'verify: stp verify %.2f s (every body inflated to nowhere; pack ends with the same check)\n' "$tv"

sync
mkdir -p "$work/o1" "$work/o2" "$work/o3"
ts=$(t stp "$stp" extract "$work/p.stp" "$work/o1")
tz=$(t unzip unzip -o -q "$work/p.zip" -d "$work/o2")
tt=$(t tar tar xzf "$work/p.tgz" -C "$work/o3")
diff -r "$work/payload" "$work/o1" >/dev/null && echo "stp output matches the payload"
printf 'extract: stp %.2f s, unzip %.2f s, tar xzf %.2f s\n' "$ts" "$tz" "$tt"
printf 'ratios: stp/unzip %.2f, stp/tar %.2f\n' "$(echo "$ts / $tz" | bc -l)" "$(echo "$ts / $tt" | bc -l)"
rm -rf "$work/o1" "$work/o2" "$work/o3" "$work/p.zip" "$work/p.tgz" "$work/p.stp"

mkdir -p "$work/one"
head -c $((mb * 1024 * 1024)) /dev/urandom >"$work/one/big.bin"
"$stp" pack "$work/one" -o "$work/one.stp" --no-uninstaller >/dev/null
/usr/bin/time -v "$stp" extract "$work/one.stp" "$work/oneout" 2>"$work/time" >/dev/null
printf 'peak resident size of stp extract on one %d MB file: %s KB\n' "$mb" \
  "$(awk -F': ' '/Maximum resident/ {print $2}' "$work/time")"
