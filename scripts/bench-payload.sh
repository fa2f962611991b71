#!/usr/bin/env bash
# Writes a benchmark payload into DIR, three quarters of its files text-like
# (compressible) and a quarter random (incompressible), over a few folders:
#   bench-payload.sh DIR          PAYLOAD_MB megabytes (default 256) in files
#                                 of 64 KiB to 8 MiB
#   bench-payload.sh DIR large    LARGE_MB megabytes (default 256) in files of
#                                 4 KiB to 64 MiB, and one text-like file of
#                                 256 MiB beside them
set -euo pipefail
shape=${2:-mixed}
case $shape in
  mixed) mb=${PAYLOAD_MB:-256} ;;
  large) mb=${LARGE_MB:-256} ;;
  *) echo "bench-payload.sh: unknown shape $shape (mixed or large)" >&2; exit 2 ;;
esac
python3 - "$1" "$mb" "$shape" <<'PY'
import os, random, sys
root, mb, shape = sys.argv[1], int(sys.argv[2]), sys.argv[3]
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

def write(path, size, noise):
    with open(path, "wb") as f:
        if noise:
            left = size
            while left > 0:
                n = min(left, 1 << 22)
                f.write(os.urandom(n))
                left -= n
            return
        left = size
        while left > 0:
            block = random.choice(blocks)
            at = random.randrange(len(block) // 2)
            piece = block[at : at + min(left, len(block) - at)]
            f.write(piece)
            left -= len(piece)

if shape == "mixed":
    sizes = [64, 256, 1024, 4096, 8192]
else:
    # 4 KiB to 64 MiB in powers of four, the smaller ones more often: about
    # a hundred files, most bytes in the large ones.
    sizes = [4, 16, 64, 256, 1024, 4096, 16384, 65536]
weights = [s ** -0.25 for s in sizes] if shape == "large" else None
total, n = 0, 0
while total < mb * 1024 * 1024:
    size = (random.choices(sizes, weights)[0] if weights else random.choice(sizes)) * 1024
    folder = os.path.join(root, "d%d" % (n % 7), "s%d" % (n % 3))
    os.makedirs(folder, exist_ok=True)
    write(os.path.join(folder, "f%d.bin" % n), size, n % 4 == 3)
    total += size
    n += 1
if shape == "large":
    write(os.path.join(root, "huge.bin"), 256 << 20, False)
    total += 256 << 20
    n += 1
print("payload %s: %d files, %d MB (three quarters text-like, a quarter random)" %
      (shape, n, total // (1024 * 1024)))
PY
