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
# Text-like: words of a few thousand, the common ones more often, in lines;
# it packs about 3 to 1 with zlib. Four blocks of 1 MiB, each file cut from
# them at random places (farther apart than zlib looks back).
letters = "etaoinshrdlcumwfgypbvkjxqz"
vocab = ["".join(random.choice(letters[: random.randint(8, 26)])
                 for _ in range(random.randint(2, 10))) for _ in range(5000)]
weights = [1.0 / (i + 1) for i in range(len(vocab))]
blocks = []
for _ in range(4):
    words = random.choices(vocab, weights, k=200000)
    text = "".join(w + ("\n" if random.random() < 0.1 else " ") for w in words).encode()
    blocks.append((text * 2)[: 1 << 20])
total, n = 0, 0
while total < mb * 1024 * 1024:
    size = random.choice([64, 256, 1024, 4096, 8192]) * 1024
    folder = os.path.join(root, "d%d" % (n % 7), "s%d" % (n % 3))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%d.bin" % n), "wb") as f:
        if n % 4 == 3:
            f.write(os.urandom(size))
        else:
            left = size
            while left > 0:
                block = random.choice(blocks)
                at = random.randrange(len(block) // 2)
                piece = block[at : at + min(left, len(block) - at)]
                f.write(piece)
                left -= len(piece)
    total += size
    n += 1
print("payload: %d files, %d MB (three quarters text-like, a quarter random)" % (n, total // (1024 * 1024)))
PY
