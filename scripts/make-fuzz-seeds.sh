#!/usr/bin/env bash
# Writes the seed corpora under fuzz/corpus/ from packages that stp packs.
#   make-fuzz-seeds.sh [STP]
set -euo pipefail
cd "$(dirname "$0")/.."
stp=${1:-build/host/tools/stp}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out=fuzz/corpus
rm -rf "$out" && mkdir -p "$out"/{packageindex,extract,envelope,table,inflate}

mkdir -p "$work/tree/bin" "$work/tree/\$System\$" "$work/tree/docs"
printf 'hello\n' >"$work/tree/readme.txt"
printf 'a,b|c' >"$work/tree/bin/a,b.dll"
printf 'sys' >"$work/tree/\$System\$/shared.dll"
printf '' >"$work/tree/docs/empty.txt"
n=0
for spec in "3 sha256 aes" "10 md5 twofish" "22 haval rc4" "29 sha1 3des" "3 sha512 blowfish" \
            "10 sha256 cast256" "22 md5 idea" "29 haval des" "3 sha1 cast128"; do
  set -- $spec
  n=$((n + 1))
  "$stp" pack "$work/tree" -o "$out/extract/p$n-t$1-$2-$3.stp" --trailer "$1" --hash "$2" --cipher "$3" --no-uninstaller >/dev/null
  cp "$out/extract/p$n-t$1-$2-$3.stp" "$out/packageindex/"
done

python3 - "$out" <<'PY'
import sys, csv
out = sys.argv[1]
def u16(s): return s.encode('utf-16-le')
rows = list(csv.reader(open('package/tests/data/envelopes.tsv', encoding='utf-8'), delimiter='\t'))[1:]
for i, (h, c, pw, plain, env) in enumerate(rows[::9]):
    p = u16(pw)
    open(f'{out}/envelope/v{i}-{h}-{c}', 'wb').write(bytes([len(p)]) + p + u16(env))
tables = ['#Demo,3#red,10,0|green,20,-1|', '', '#a,b#', '#abc', 'x|', '#a#|b',
          'bin\\,a\x1ab.dll,15,100|,x.exe,7,7,-1', '$System$,s.dll,0x10,$20,True|,f, 12 ,-0,false']
for i, t in enumerate(tables):
    open(f'{out}/table/t{i}', 'wb').write(u16(t))
# Bodies for the inflater: the unpacked size in three bytes, then the body.
import random, zlib
random.seed(5)
text = b' '.join(random.choice([b'setup', b'body', b'drawlet', b'\n']) for _ in range(3000))
noise = bytes(random.getrandbits(8) for _ in range(3000))
bad = bytearray(zlib.compress(text, 9)); bad[-1] ^= 1
bodies = [(len(text), zlib.compress(text, 9)), (len(text), zlib.compress(text, 1)),
          (len(noise), zlib.compress(noise, 9)), (len(noise), zlib.compress(noise, 0)),
          (100, zlib.compress(text, 6)), (len(text) + 5, zlib.compress(text, 6)),
          (len(text), bytes(bad)), (len(text), zlib.compress(text, 9)[:-3]),
          (5, zlib.compress(b'hello') + b'tail')]
# Flushed every 2000 bytes, fresh (full) or looking back (sync): bodies cut
# into pieces.
for mode in (zlib.Z_FULL_FLUSH, zlib.Z_SYNC_FLUSH):
    c = zlib.compressobj(6)
    body = b''.join(c.compress(text[i:i + 2000]) + c.flush(mode) for i in range(0, len(text), 2000))
    bodies.append((len(text), body + c.flush()))
for i, (n, b) in enumerate(bodies):
    open(f'{out}/inflate/b{i}', 'wb').write(n.to_bytes(3, 'little') + b)
PY
echo "seeds: $(find "$out" -type f | wc -l) files"
