#!/usr/bin/env bash
# Runs a command inside a test bed: a Debian root of its own with a Wine that
# runs the 32-bit Windows programs this project ships.
#
#   testbed.sh BED [--] COMMAND [ARG...]   run COMMAND in the bed (made first when missing)
#   testbed.sh BED                         only make the bed; print where it is
#   testbed.sh --probe                     print why 32-bit programs cannot run here
#                                          (exit 1), or nothing (exit 0)
#   testbed.sh --probe-tools               the same for what a bed needs besides a
#                                          kernel that runs 32-bit code (root, tools)
#
# On a kernel that runs no 32-bit code, scripts/emulation.sh runs every i386
# program through qemu-i386; while it does, the probe passes and the beds are
# made and entered as on any other machine.
#
# BED is one of
#   i386   a 32-bit Windows: an i386 root with Wine's 32-bit build
#   wow64  a 64-bit Windows that runs 32-bit programs under WoW64: an amd64
#          root with wine64 and wine32 (i386 is added to that root's dpkg only)
#
# The roots are cached outside the clone, in BEDS_CACHE (default
# ~/.cache/setupkit-beds), one folder per bed and recipe. A command runs in a
# mount namespace of its own, so nothing stays mounted once it ends; it sees
# /proc, /dev, /sys, the X server sockets and this project tree at the same
# paths as outside, and only these variables: DISPLAY, XAUTHORITY (a copy),
# LANG, LC_ALL, WINE*, TEST_*, and HOME (the root's own /root).
set -euo pipefail

# Bumped whenever the way a root is made changes, so that older roots are
# made again rather than reused.
RECIPE=1
SUITE=bookworm

here=$(cd "$(dirname "$0")" && pwd)
tree=$(cd "$here/.." && pwd)
cache=${BEDS_CACHE:-$HOME/.cache/setupkit-beds}

say() { printf 'testbed: %s\n' "$*" >&2; }
die() { say "$*"; exit 1; }

# A 118-byte static i386 program that prints "hi" through int 0x80: the ELF
# header, one loadable segment, write(1, "hi\n", 3) and exit(0).
probe_bytes=(
  7f 45 4c 46 01 01 01 00 00 00 00 00 00 00 00 00
  02 00 03 00 01 00 00 00 54 80 04 08 34 00 00 00
  00 00 00 00 00 00 00 00 34 00 20 00 01 00 00 00
  00 00 00 00
  01 00 00 00 00 00 00 00 00 80 04 08 00 80 04 08
  76 00 00 00 76 00 00 00 05 00 00 00 00 10 00 00
  b8 04 00 00 00 bb 01 00 00 00 b9 73 80 04 08 ba
  03 00 00 00 cd 80 b8 01 00 00 00 31 db cd 80 68
  69 0a
)

# Prints why a root cannot be made or entered here, or nothing.
probe_tools() {
  if [ "$(id -u)" != 0 ]; then
    echo "the test beds need root (debootstrap, chroot and mount namespaces)"
    return
  fi
  local cmd
  for cmd in debootstrap unshare chroot flock; do
    command -v "$cmd" >/dev/null || { echo "$cmd is not installed"; return; }
  done
  local out
  if ! out=$(unshare --mount --propagation private true 2>&1); then
    echo "no mount namespace can be made here (${out##*: })"
    return
  fi
}

# Prints why the beds cannot run 32-bit programs here, or nothing.
probe() {
  local reason
  reason=$(probe_tools)
  if [ -n "$reason" ]; then
    echo "$reason"
    return
  fi
  mkdir -p "$cache"
  local file out
  file=$(mktemp "$cache/probe.XXXXXX")
  printf "$(printf '\\x%s' "${probe_bytes[@]}")" >"$file"
  chmod 755 "$file"
  out=$( { "$file"; } 2>&1) || true
  rm -f "$file"
  if [ "$out" != hi ]; then
    out=${out##*: }
    echo "this kernel does not run 32-bit x86 programs, its IA-32 emulation is off (${out:-no output from the probe})"
  fi
}

if [ "${1:-}" = --probe-tools ]; then
  reason=$(probe_tools)
  [ -z "$reason" ] && exit 0
  echo "$reason"
  exit 1
fi
if [ "${1:-}" = --probe ]; then
  reason=$(probe)
  [ -z "$reason" ] && exit 0
  echo "$reason"
  exit 1
fi

bed=${1:-}
case "$bed" in
  i386) arch=i386 packages=(wine wine32) ;;
  wow64) arch=amd64 packages=(wine wine64 wine32:i386) ;;
  *) echo "usage: testbed.sh i386|wow64 [--] COMMAND [ARG...] | testbed.sh --probe" >&2; exit 2 ;;
esac
shift
[ "${1:-}" = -- ] && shift
packages+=(fonts-wqy-microhei locales)

root=$cache/$bed-r$RECIPE

# The first Debian mirror of the host's own sources (deb822 files).
host_mirror() {
  awk -v suite="$SUITE" '
    BEGIN { RS = ""; FS = "\n" }
    {
      deb = 0; uri = ""; ours = 0
      for (i = 1; i <= NF; i++) {
        if ($i ~ /^Types:/ && $i ~ /[[:space:]]deb([[:space:]]|$)/) deb = 1
        if ($i ~ /^URIs:/) { split($i, w, /[[:space:]]+/); uri = w[2] }
        if ($i ~ /^Suites:/ && $i ~ ("[[:space:]]" suite "([[:space:]]|$)")) ours = 1
      }
      if (deb && ours && uri != "") { print uri; exit }
    }
  ' /etc/apt/sources.list.d/*.sources 2>/dev/null
}

# The binary-package stanzas of the host's sources, as the root's sources.
host_sources() {
  awk '
    BEGIN { RS = ""; FS = "\n" }
    {
      deb = 0; text = ""
      for (i = 1; i <= NF; i++) {
        if ($i ~ /^#/) continue
        if ($i ~ /^Types:/) { deb = ($i ~ /[[:space:]]deb([[:space:]]|$)/); text = text "Types: deb\n"; continue }
        text = text $i "\n"
      }
      if (deb) printf "%s\n", text
    }
  ' /etc/apt/sources.list.d/*.sources
}

# Runs "$@" chrooted into $1 with the kernel file systems mounted, in a mount
# namespace that goes away with it. Used for making the root too.
in_root() {
  local dir=$1
  shift
  local xauth=
  if [ -n "${XAUTHORITY:-}" ] && [ -r "$XAUTHORITY" ]; then
    xauth=$XAUTHORITY
  elif [ -n "${DISPLAY:-}" ] && [ -r "$HOME/.Xauthority" ]; then
    xauth=$HOME/.Xauthority
  fi
  local envs=(PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root)
  local name
  while IFS='=' read -r name _; do
    case "$name" in
      DISPLAY | LANG | LC_ALL | WINE* | TEST_*) envs+=("$name=${!name}") ;;
    esac
  done < <(env -0 | tr '\0' '\n' | grep -E '^[A-Za-z_][A-Za-z0-9_]*=' || true)
  [ -n "$xauth" ] && envs+=(XAUTHORITY=/run/testbed/Xauthority)
  local cwd=$PWD
  case "$cwd" in "$tree" | "$tree"/*) ;; *) cwd=/ ;; esac
  # shellcheck disable=SC2016
  unshare --mount --propagation private /bin/bash -c '
    set -e
    root=$1 tree=$2 xauth=$3 cwd=$4
    shift 4
    mount --bind /proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mount --rbind /sys "$root/sys"
    mkdir -p "$root/tmp/.X11-unix" "$root/run/testbed" "$root$tree"
    chmod 1777 "$root/tmp"
    if [ -d /tmp/.X11-unix ]; then mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"; fi
    mount -t tmpfs -o size=1m,mode=0700 testbed "$root/run/testbed"
    if [ -n "$xauth" ]; then cp "$xauth" "$root/run/testbed/Xauthority"; fi
    mount --bind "$tree" "$root$tree"
    exec chroot "$root" /usr/bin/env -i -C "$cwd" "$@"
  ' testbed "$dir" "$tree" "$xauth" "$cwd" "${envs[@]}" "$@"
}

apt_in_root() {
  local dir=$1
  shift
  in_root "$dir" env DEBIAN_FRONTEND=noninteractive "$@"
}

make_root() {
  local reason mirror work started
  # debootstrap runs the new root's programs: an i386 root needs a kernel
  # that runs 32-bit code; an amd64 one only unpacks the 32-bit Wine.
  if [ "$arch" = i386 ]; then reason=$(probe); else reason=$(probe_tools); fi
  [ -z "$reason" ] || die "cannot make the $bed bed: $reason"
  mirror=$(host_mirror)
  [ -n "$mirror" ] || die "no Debian mirror for $SUITE in /etc/apt/sources.list.d/*.sources"
  started=$(date +%s)
  work=$root.new
  rm -rf "$work"
  say "making the $bed bed in $root (debootstrap $SUITE $arch, then ${packages[*]})"
  if ! debootstrap --arch="$arch" --variant=minbase "$SUITE" "$work" "$mirror" >"$cache/$bed.log" 2>&1; then
    tail -5 "$cache/$bed.log" >&2
    die "debootstrap failed; the whole log is $cache/$bed.log"
  fi
  # The root's package sources are the host's own, nothing else.
  rm -f "$work/etc/apt/sources.list"
  host_sources >"$work/etc/apt/sources.list.d/host.sources"
  printf 'APT::Install-Recommends "false";\nAPT::Install-Suggests "false";\n' \
    >"$work/etc/apt/apt.conf.d/90testbed"
  if [ "$bed" = wow64 ]; then
    in_root "$work" dpkg --add-architecture i386
  fi
  # A mirror caught in the middle of a sync fails one update now and then.
  if ! apt_in_root "$work" apt-get update -qq >>"$cache/$bed.log" 2>&1; then
    sleep 5
    apt_in_root "$work" apt-get update -qq >>"$cache/$bed.log" 2>&1 ||
      die "apt-get update failed in the $bed bed; see $cache/$bed.log"
  fi
  apt_in_root "$work" apt-get install -y -qq "${packages[@]}" >>"$cache/$bed.log" 2>&1 ||
    { tail -5 "$cache/$bed.log" >&2; die "installing Wine failed in the $bed bed; see $cache/$bed.log"; }
  in_root "$work" localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
  apt_in_root "$work" apt-get clean
  echo "$bed" >"$work/etc/setupkit-bed"
  mv "$work" "$root"
  say "the $bed bed is ready: $(du -sh "$root" | cut -f1) in $(( $(date +%s) - started )) s"
}

mkdir -p "$cache"
if [ ! -f "$root/etc/setupkit-bed" ]; then
  # One maker at a time; a second caller waits and then uses its root.
  exec 8>"$cache/$bed-r$RECIPE.lock"
  flock 8
  [ -f "$root/etc/setupkit-bed" ] || make_root
  flock -u 8
  exec 8>&-
fi

if [ $# = 0 ]; then
  echo "$root"
  exit 0
fi
in_root "$root" "$@"
