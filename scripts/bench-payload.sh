#!/usr/bin/env bash
# Writes the benchmarks' payload into DIR: PAYLOAD_MB megabytes (default 256)
# in files of 64 KiB to 8 MiB over a few folders, three quarters of them
# text-like (compressible) and a quarter random (incompressible).
#   bench-payload.sh DIR
set -euo pipefail
python3 - "$1" "${PAYLOAD_MB:-256}" <<'PY'
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
        if n % 4 == 3:
            f.write(os.urandom(size))
        else:
            chunk = b" ".join(random.choice(words) for _ in range(4096))
            f.write((chunk * (size // len(chunk) + 1))[:size])
    total += size
    n += 1
print("payload: %d files, %d MB (three quarters text-like, a quarter random)" % (n, total // (1024 * 1024)))
PY
