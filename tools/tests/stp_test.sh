#!/usr/bin/env bash
# The stp command line: pack, list and extract a tree, and the exit status
# and message of each kind of failure.
#   stp_test.sh STP [DEFAULT_UNINSTALLER]
# STP may be a wrapper that runs stp.exe under Wine: with STP_ON_WINDOWS=1 the
# checks of what only the Linux build does (--system-dir needed) are left out.
set -u
stp=$1
default_uninstaller=${2:-}
. "$(dirname "$0")/../../tests/checks.sh"

mkdir -p "$work/src/bin" "$work/src/\$System\$" "$work/src/docs"
printf 'hello\n' >"$work/src/readme.txt"
head -c 100000 /dev/urandom >"$work/src/bin/a,b.dll"
seq 1 20000 >"$work/src/docs/list.txt"
printf 'sys' >"$work/src/\$System\$/shared.dll"
# A stand-in for the uninstaller program that pack adds.
printf 'MZ stand-in uninstaller' >"$work/Uninst.exe"
export STP_UNINSTALLER=$work/Uninst.exe

for t in 3 10 22 29; do
  "$stp" pack "$work/src" -o "$work/p$t.stp" --trailer "$t" --hash md5 --cipher twofish >"$work/out" 2>&1
  check "pack with trailer $t" 0 $?
done
check "bodies start 78 DA" "78da" "$(head -c 2 "$work/p3.stp" | od -An -tx1 | tr -d ' \n')"

"$stp" list "$work/p22.stp" >"$work/list" 2>&1
check "list" 0 $?
contains "list names the converted file name" "a,b.dll" "$work/list"
contains "list shows the system row" "shared.dll" "$work/list"
contains "list counts the files and the uninstaller" "5 files" "$work/list"
contains "list shows the uninstaller" "Uninst.exe .*<dest>.Uninst.exe" "$work/list"

if [ "${STP_ON_WINDOWS:-0}" != 1 ]; then
  "$stp" extract "$work/p3.stp" "$work/dest" >"$work/err" 2>&1
  check "extract without --system-dir fails" 1 $?
  contains "the message names the option" "--system-dir" "$work/err"
  [ ! -e "$work/dest/readme.txt" ]; check "nothing written then" 0 $?
fi

"$stp" extract "$work/p10.stp" "$work/dest" --system-dir "$work/sys" >"$work/progress" 2>&1
check "extract" 0 $?
check "plain progress lines end at 100%" "100%" "$(tail -1 "$work/progress" | tr -d '\r')"
cmp -s "$work/src/bin/a,b.dll" "$work/dest/bin/a,b.dll"; check "binary file intact" 0 $?
cmp -s "$work/src/docs/list.txt" "$work/dest/docs/list.txt"; check "text file intact" 0 $?
check "system file in the system folder" "sys" "$(cat "$work/sys/shared.dll")"
check "the uninstaller program goes in" "MZ stand-in uninstaller" "$(head -c 23 "$work/dest/Uninst.exe")"
check "with the list at its end" "NvUnLst" "$(tail -c 8 "$work/dest/Uninst.exe" | head -c 7)"
contains "the list names the system row" "shared.dll.S" "$work/dest/Uninst.exe"

# The uninstaller: left out on request, kept when the folder has its own,
# and a clear failure when the program to add is missing.
"$stp" pack "$work/src" -o "$work/bare.stp" --no-uninstaller >"$work/out" 2>&1
check "pack --no-uninstaller" 0 $?
"$stp" list "$work/bare.stp" >"$work/list" 2>&1
contains "without the uninstaller four files" "^4 files" "$work/list"
if grep -q "Uninst.exe" "$work/list"; then check "no Uninst.exe row" absent present; else check "no Uninst.exe row" absent absent; fi
cp -r "$work/src" "$work/own"
printf 'their own' >"$work/own/Uninst.exe"
STP_UNINSTALLER=$work/nothing.exe "$stp" pack "$work/own" -o "$work/own.stp" >"$work/out" 2>&1
check "a folder with its own Uninst.exe needs no program" 0 $?
"$stp" extract "$work/own.stp" "$work/owndest" --system-dir "$work/sys" >/dev/null 2>&1
check "its own Uninst.exe is kept as it is" "their own" "$(cat "$work/owndest/Uninst.exe")"
"$stp" list "$work/own.stp" >"$work/list" 2>&1
check "and listed once" 1 "$(grep -c "Uninst.exe" "$work/list")"
"$stp" pack "$work/src" -o "$work/u.stp" --uninstaller "$work/gone/Uninst.exe" >"$work/err" 2>&1
check "a missing --uninstaller" 1 $?
contains "the message names the file" "gone/Uninst.exe" "$work/err"
contains "and the way out" "--no-uninstaller" "$work/err"
[ ! -e "$work/u.stp" ]; check "no package then" 0 $?
STP_UNINSTALLER=$work/gone.exe "$stp" pack "$work/src" -o "$work/u.stp" >"$work/err" 2>&1
check "a missing STP_UNINSTALLER" 1 $?
contains "the message names the variable" "STP_UNINSTALLER" "$work/err"
"$stp" pack "$work/src" -o "$work/u.stp" --uninstaller "$work/Uninst.exe" --no-uninstaller >/dev/null 2>&1
check "--uninstaller with --no-uninstaller" 2 $?
if [ -n "$default_uninstaller" ]; then
  env -u STP_UNINSTALLER "$stp" pack "$work/src" -o "$work/d.stp" >"$work/err" 2>&1
  rc=$?
  if [ -f "$default_uninstaller" ]; then
    check "the default uninstaller" 0 $rc
  else
    check "a missing default uninstaller" 1 $rc
    contains "the message names the default" "$default_uninstaller" "$work/err"
  fi
fi
# The uninstaller pack would add, written out (to be signed, say): packed
# from the folder's top as it is.
cp -r "$work/src" "$work/tosign"
"$stp" uninstaller "$work/tosign" -o "$work/tosign/Uninst.exe" >"$work/out" 2>&1
check "stp uninstaller" 0 $?
check "writes the program with its list" "NvUnLst" "$(tail -c 8 "$work/tosign/Uninst.exe" | head -c 7)"
contains "the list names the folder's rows" "shared.dll.S" "$work/tosign/Uninst.exe"
cp "$work/tosign/Uninst.exe" "$work/written.exe"
"$stp" uninstaller "$work/tosign" -o "$work/tosign/Uninst.exe" >/dev/null 2>&1
cmp -s "$work/written.exe" "$work/tosign/Uninst.exe"; check "made again over the first, the same bytes" 0 $?
STP_UNINSTALLER=$work/gone.exe "$stp" pack "$work/tosign" -o "$work/tosign.stp" >/dev/null 2>&1
check "pack takes it as the folder's own" 0 $?
"$stp" extract "$work/tosign.stp" "$work/tosigndest" --system-dir "$work/sys" >/dev/null 2>&1
cmp -s "$work/written.exe" "$work/tosigndest/Uninst.exe"; check "byte for byte" 0 $?
"$stp" uninstaller "$work/tosign" >/dev/null 2>&1; check "stp uninstaller without -o" 2 $?
"$stp" uninstaller "$work/tosign" -o "$work/u2.exe" --uninstaller "$work/gone.exe" >"$work/err" 2>&1
check "stp uninstaller of a missing program" 1 $?
contains "names it" "gone.exe" "$work/err"

"$stp" --help >"$work/out" 2>&1
contains "the usage names the uninstaller options" "--no-uninstaller" "$work/out"

# flip FILE OFFSET: the byte there made another, whatever it was.
flip() {
  local orig
  orig=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
  printf "\\$(printf %03o $(( orig ^ 255 )))" | dd of="$1" bs=1 seek="$2" conv=notrunc 2>/dev/null
}
# verify: every body inflated to nowhere, the first bad row named.
"$stp" verify "$work/p29.stp" >"$work/out" 2>&1
check "verify a sound package" 0 $?
check "verify says so" "5 files, all sound (" "$(head -c 20 "$work/out")"
cp "$work/bare.stp" "$work/bad.stp"
# Row 2 (bin/a,b.dll, stored raw by deflate): flip a byte in its middle.
off=$(( $("$stp" list "$work/bare.stp" | awk 'NR==2 {print $3}') + 50000 ))
flip "$work/bad.stp" "$off"
"$stp" verify "$work/bad.stp" >"$work/out" 2>"$work/err"
check "verify a damaged body" 1 $?
contains "names the row" "row 2 (bin.a,b.dll)" "$work/err"
check "one line on standard error" 1 "$(wc -l <"$work/err")"
"$stp" extract "$work/bad.stp" "$work/baddest" --system-dir "$work/sys" >/dev/null 2>&1
check "extract of the same fails too" 1 $?
# The same refusal, word for word, whatever the number of threads.
same_refusal() {  # same_refusal PACKAGE LABEL
  local cmd n
  for cmd in verify extract; do
    for n in 1 3; do
      rm -rf "$work/bad$n"
      "$stp" $cmd "$1" $([ $cmd = extract ] && echo "$work/bad$n" --system-dir "$work/sys") \
        --threads $n >/dev/null 2>"$work/err$n"
    done
    cmp -s "$work/err1" "$work/err3"; check "$2, $cmd: one thread or three, the same message" 0 $?
    [ $cmd = verify ] || check "$2: nothing left of the run" "" "$(ls -A "$work/bad3")"
  done
}
same_refusal "$work/bad.stp" "a damaged body"

# One thread or many: the same package byte for byte and the same files.
# Bodies are compressed in pieces of 1 MiB: files across and at their edges.
text_file() { seq 1 "$2" | sed 's/$/ some words that repeat/' | head -c "$3" >"$1"; }
shape() {  # shape NAME: makes $work/shape-NAME
  local d=$work/shape-$1
  mkdir -p "$d/sub"
  case $1 in
    small) printf 'x' >"$d/a.txt"; : >"$d/sub/empty.txt" ;;
    edges) text_file "$d/one.txt" 60000 1048576; text_file "$d/sub/more.txt" 60000 1048577 ;;
    # coded.txt packs to about three quarters, in a body large enough to be
    # cut into pieces inflated on several threads. Always the same bytes, so
    # that the damage below is the same in every run.
    mixed) text_file "$d/big.txt" 200000 3500000; head -c 2500000 /dev/urandom >"$d/sub/noise.bin"
           head -c 4500000 /dev/zero | openssl enc -aes-128-ctr -nosalt \
             -K 000102030405060708090a0b0c0d0e0f -iv 00000000000000000000000000000000 |
             base64 >"$d/sub/coded.txt"
           cp -r "$work/src/docs" "$d/sub/" ;;
  esac
}
for s in small edges mixed; do
  shape $s
  for n in 1 2 5; do
    SOURCE_DATE_EPOCH=1 "$stp" pack "$work/shape-$s" -o "$work/$s-$n.stp" --no-uninstaller \
      --threads $n >/dev/null 2>&1
    check "$s, $n threads: packed" 0 $?
    cmp -s "$work/$s-1.stp" "$work/$s-$n.stp"; check "$s, $n threads: the bytes of one thread" 0 $?
    "$stp" verify "$work/$s-$n.stp" --threads $n >/dev/null 2>&1; check "$s, $n threads: sound" 0 $?
    "$stp" extract "$work/$s-1.stp" "$work/$s-out$n" --threads $n >/dev/null 2>&1
    diff -r "$work/shape-$s" "$work/$s-out$n" >/dev/null; check "$s, $n threads: the files" 0 $?
  done
done
# A damaged piece of a body inflated in pieces.
cp "$work/mixed-1.stp" "$work/bad.stp"
# Bodies lie in the rows' order from the package's start.
off=$(( $("$stp" list "$work/bad.stp" | awk 'NR > 1 && !seen { if ($NF ~ /coded.txt$/) seen = 1
  else at += $(NF - 2) } END { print at }') + 3000000 ))
flip "$work/bad.stp" "$off"
"$stp" verify "$work/bad.stp" --threads 3 >/dev/null 2>&1; check "a damaged body in pieces is refused" 1 $?
same_refusal "$work/bad.stp" "a damaged body in pieces"
for level in 1 12; do
  "$stp" pack "$work/shape-mixed" -o "$work/l$level.stp" --no-uninstaller --level $level >/dev/null 2>&1
  check "--level $level" 0 $?
done
[ "$(stat -c %s "$work/l12.stp")" -lt "$(stat -c %s "$work/l1.stp")" ]; check "--level 12 packs smaller than 1" 0 $?
"$stp" pack "$work/src" -o "$work/x.stp" --level 13 >/dev/null 2>&1; check "--level 13" 2 $?
"$stp" verify "$work/l1.stp" --threads 0 >/dev/null 2>&1; check "--threads 0" 2 $?

# Messages a person understands.
"$stp" pack "$work/src" -o "$work/pw.stp" --password "s3cret" >/dev/null 2>&1
for cmd in list verify; do
  "$stp" $cmd "$work/pw.stp" >/dev/null 2>"$work/err"
  check "$cmd without the password" 1 $?
  contains "$cmd says the index does not open" "does not open with the empty password" "$work/err"
  contains "$cmd suggests --password" "with --password" "$work/err"
  "$stp" $cmd "$work/pw.stp" --password wrong >/dev/null 2>"$work/err"
  contains "$cmd with a wrong password" "does not open with the password given" "$work/err"
  printf 'This file is not a setup package.\n' >"$work/text.stp"
  "$stp" $cmd "$work/text.stp" >/dev/null 2>"$work/err"
  check "$cmd of a text file" 1 $?
  contains "$cmd says it is no package" "text.stp is not a setup package, or an empty one" "$work/err"
  head -c 4000 "$work/src/bin/a,b.dll" >"$work/random.bin"
  "$stp" $cmd "$work/random.bin" >/dev/null 2>"$work/err"
  check "$cmd of random bytes" 1 $?
  contains "$cmd says random bytes are no package" "random.bin is not a setup package" "$work/err"
done
"$stp" extract "$work/pw.stp" "$work/pwfail" --system-dir "$work/sys" >/dev/null 2>"$work/err"
check "extract without the password" 1 $?
contains "extract suggests --password" "with --password" "$work/err"
"$stp" extract "$work/text.stp" "$work/textdest" >"$work/out" 2>"$work/err"
check "extract of a file with no index succeeds" 0 $?
contains "with a warning" "warning: .*text.stp holds no index" "$work/err"
[ -z "$(ls -A "$work/textdest")" ]; check "and writes nothing" 0 $?
mkdir -p "$work/emptydir/sub"
"$stp" pack "$work/emptydir" -o "$work/empty.stp" >/dev/null 2>"$work/err"
check "pack refuses an empty folder" 1 $?
contains "saying why" "holds no files" "$work/err"
[ ! -e "$work/empty.stp" ]; check "and writes no package" 0 $?
"$stp" --version >"$work/out" 2>&1
check "--version" 0 $?
contains "--version names the tool" "^stp [0-9]" "$work/out"
for cmd in list verify extract pack uninstaller setup; do
  "$stp" help $cmd >"$work/out" 2>&1
  check "help $cmd" 0 $?
  contains "help $cmd shows its usage" "^stp $cmd " "$work/out"
done
contains "help pack tells of SOURCE_DATE_EPOCH" "SOURCE_DATE_EPOCH" "$work/out"
"$stp" help frobnicate >/dev/null 2>&1; check "help of an unknown command" 2 $?

# Reproducible packages.
"$stp" pack "$work/src" -o "$work/r1.stp" >/dev/null 2>&1
"$stp" pack "$work/src" -o "$work/r2.stp" >/dev/null 2>&1
cmp -s "$work/r1.stp" "$work/r2.stp"; check "random salt and vector by default" 1 $?
for i in 1 2; do
  "$stp" pack "$work/src" -o "$work/f$i.stp" --salt Abcd1234 --iv 0123456789ABCDEF >/dev/null 2>&1
  SOURCE_DATE_EPOCH=1700000000 "$stp" pack "$work/src" -o "$work/e$i.stp" >/dev/null 2>&1
done
cmp -s "$work/f1.stp" "$work/f2.stp"; check "--salt and --iv give the same bytes" 0 $?
cmp -s "$work/e1.stp" "$work/e2.stp"; check "SOURCE_DATE_EPOCH gives the same bytes" 0 $?
"$stp" verify "$work/e1.stp" >/dev/null 2>&1; check "and a sound package" 0 $?
"$stp" pack "$work/src" -o "$work/x.stp" --salt short >/dev/null 2>&1; check "a bad --salt" 2 $?
"$stp" pack "$work/src" -o "$work/x.stp" --iv 12345678 >/dev/null 2>&1; check "an --iv of the wrong size" 2 $?
"$stp" pack "$work/src" -o "$work/des.stp" --cipher des --iv 12345678 >/dev/null 2>&1; check "an --iv of des's size" 0 $?
SOURCE_DATE_EPOCH=soon "$stp" pack "$work/src" -o "$work/x.stp" >/dev/null 2>&1; check "a SOURCE_DATE_EPOCH that is no number" 2 $?

"$stp" pack "$work/src" -o "$work/pw.stp" --password "s3cret" >/dev/null 2>&1
"$stp" extract "$work/pw.stp" "$work/pwdest" --system-dir "$work/sys" --password "s3cret" >/dev/null 2>&1
check "extract with the password" 0 $?
"$stp" list "$work/pw.stp" >"$work/err" 2>&1
check "list with the wrong password fails" 1 $?
contains "one line that says what failed" "stp: " "$work/err"

# A package whose length field is not less than its size: nothing to do.
printf '\xff\xff\xff\x7f\x0a\x14\x00' >"$work/none.stp"
"$stp" extract "$work/none.stp" "$work/none" >/dev/null 2>&1
check "no usable index exits 0" 0 $?

"$stp" extract "$work/missing.stp" "$work/x" >"$work/err" 2>&1
check "a missing package" 1 $?
contains "names the package" "missing.stp" "$work/err"

"$stp" >/dev/null 2>&1; check "no command is a usage error" 2 $?
"$stp" frobnicate >/dev/null 2>&1; check "unknown command" 2 $?
"$stp" pack "$work/src" >/dev/null 2>&1; check "pack without -o" 2 $?
"$stp" pack "$work/src" -o "$work/x.stp" --cipher rot13 >/dev/null 2>&1; check "unknown cipher" 2 $?
"$stp" pack "$work/src" -o "$work/x.stp" --trailer 4 >/dev/null 2>&1; check "bad trailer" 2 $?
"$stp" list "$work/p3.stp" --bogus 1 >/dev/null 2>&1; check "unknown option" 2 $?
"$stp" pack "$work/nowhere" -o "$work/x.stp" >"$work/err" 2>&1; check "pack of a missing folder" 1 $?
[ ! -e "$work/x.stp" ]; check "no package left behind" 0 $?

# Hostile packages, each made by packing a tree whose names say what the row
# says. Which names are refused is the name rule's table (package tests);
# here one row of each kind, a system row climbing out of the system folder
# and a device name, shows that stp refuses it before anything is written:
# the ordinary file is named to sort before the hostile row, so an extraction
# that wrote rows up to the first bad one would leave it behind. Nothing
# lands beside the system folder, and an existing system file stays as it was.
# Under Wine the trees are packed by the host's stp: Windows could not even
# name such files, which is the point of these packages.
packer=$stp
if [ "${STP_ON_WINDOWS:-0}" = 1 ]; then
  packer=$(dirname "$(realpath "$0")")/../../build/host/tools/stp
fi
hostile() {  # hostile LABEL RELATIVE-PATH
  rm -rf "$work/h" "$work/hdest" "$work/hroot"
  mkdir -p "$work/h" "$work/hroot/system32"
  printf 'kept' >"$work/hroot/system32/win.ini"
  printf 'first' >"$work/h/!first.txt"
  mkdir -p "$(dirname "$work/h/$2")"
  printf 'evil' >"$work/h/$2"
  rm -f "$work/h.stp"
  "$packer" pack "$work/h" -o "$work/h.stp" --no-uninstaller --no-verify >/dev/null 2>&1
  check "hostile $1: packed" 0 $?
  # list shows every row, the refused one with its reason, then exits 1.
  "$stp" list "$work/h.stp" >"$work/hlist" 2>"$work/herr"
  check "hostile $1: list exits 1" 1 $?
  check "hostile $1: the ordinary row comes first" "!first.txt" "$(sed -n 2p "$work/hlist" | awk '{print $1}')"
  check "hostile $1: list marks the refused one" 1 "$(grep -c ' refused: ' "$work/hlist")"
  check "hostile $1: list says why it exits 1" 1 "$(grep -c 'of 2 rows refused' "$work/herr")"
  "$stp" extract "$work/h.stp" "$work/hdest" --system-dir "$work/hroot/system32" >"$work/hout" 2>"$work/herr"
  check "hostile $1: refused" 1 $?
  check "hostile $1: no progress before the refusal" "" "$(cat "$work/hout")"
  contains "hostile $1: the message names row 2" "row 2" "$work/herr"
  [ ! -e "$work/hdest/!first.txt" ]; check "hostile $1: the ordinary file not written" 0 $?
  check "hostile $1: nothing written" "" "$(find "$work/hdest" -type f 2>/dev/null)"
  check "hostile $1: nothing beside the system folder" "system32" "$(ls "$work/hroot")"
  check "hostile $1: the system file kept" "kept" "$(cat "$work/hroot/system32/win.ini")"
}
hostile "system row climbing out" '$System$../evil.ini'
hostile "device name" 'CON'

# Off Windows the messages name paths as Linux writes them.
if [ "${STP_ON_WINDOWS:-0}" != 1 ]; then
  printf 'not a folder' >"$work/blocker"
  "$stp" extract "$work/p10.stp" "$work/blocker/dest" --system-dir "$work/sys" >/dev/null 2>"$work/err"
  check "extract into a file's path fails" 1 $?
  contains "the message names the path with /" "$work/blocker" "$work/err"
  # (the row's cells before it stay as the package stores them)
  check "and no \\ in the path" 0 "$(sed 's/^.*): //' "$work/err" | grep -c '\\')"
fi

# A folder link in the destination is never written through.
rm -rf "$work/ldest" "$work/outside" "$work/l"
mkdir -p "$work/ldest" "$work/outside" "$work/l/help"
printf 'x' >"$work/l/help/index.htm"
ln -s "$work/outside" "$work/ldest/help"
"$stp" pack "$work/l" -o "$work/l.stp" --no-uninstaller >/dev/null 2>&1
check "a tree with a help folder: packed" 0 $?
"$stp" extract "$work/l.stp" "$work/ldest" >/dev/null 2>"$work/lerr"
check "a folder link in the destination: refused" 1 $?
contains "the message names the link" "link" "$work/lerr"
check "nothing written through it" "" "$(ls "$work/outside")"

# A run stopped half-way is undone before anything else: the file its
# journal says it added goes, and so does the journal.
rm -rf "$work/jdest"
"$stp" extract "$work/bare.stp" "$work/jdest" --system-dir "$work/sys" >/dev/null 2>&1
printf 'left by a stopped run' >"$work/jdest/stray.txt"
body=$(printf 'setup journal 1\nrun\t0123abcd\nstate\topen\nfile\t\tstray.txt\t0\n')$'\n'
crc=$(printf '%s' "$body" | gzip -c | tail -c 8 | head -c 4 | od -An -tx4 | tr -d ' \n')
printf '%send %s\n' "$body" "$crc" >"$work/jdest/Setup.journal"
"$stp" extract "$work/bare.stp" "$work/jdest" --system-dir "$work/sys" >/dev/null 2>"$work/jerr"
check "extract over a stopped run" 0 $?
[ ! -e "$work/jdest/stray.txt" ] && [ ! -e "$work/jdest/Setup.journal" ]
check "the stopped run is undone first" 0 $?
cmp -s "$work/src/readme.txt" "$work/jdest/readme.txt"; check "and the package extracted" 0 $?

checks_done
