#!/usr/bin/env bash
# Runs 32-bit x86 Linux programs on a kernel that cannot: every i386 program
# goes through Debian's static qemu-i386, registered with binfmt_misc under
# this project's own handler name for as long as a command needs it.
#
#   emulation.sh fetch                 fetch qemu-i386 into the cache (once per
#                                      version); print its path
#   emulation.sh run [--] COMMAND...   run COMMAND with the handler registered;
#                                      it is removed afterwards, also when COMMAND
#                                      fails or the run is interrupted, unless
#                                      another run of this script still uses it
#   emulation.sh on PID                register the handler for the process PID
#   emulation.sh off PID               PID no longer needs it: remove the handler
#                                      unless another live process still does
#   emulation.sh status                print whether the handler is registered
#                                      (exit 0) or not (exit 1)
#
# The emulator is qemu-i386 out of Debian unstable's qemu-user package (one
# statically linked file; bookworm's 7.2 hangs in wineboot), fetched with apt
# through a sources file derived from the host's own (the suite changed,
# nothing else), and kept in DEPS_CACHE (default ~/.cache/setupkit-deps) under
# a folder named by its version. Only the handler named below is ever
# registered or removed: every other binfmt_misc handler is left alone. The
# "F" flag opens the emulator when the handler is registered, so programs in
# a chroot run through it too.
set -euo pipefail

NAME=setupkit-i386
SUITE=sid
cache=${DEPS_CACHE:-$HOME/.cache/setupkit-deps}
binfmt=/proc/sys/fs/binfmt_misc
state=$cache/emulation
# An i386 ELF executable or shared object, as Debian's own binfmt rule for
# qemu-i386 matches it.
MAGIC='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
MASK='\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

say() { printf 'emulation: %s\n' "$*" >&2; }
die() { say "$*"; exit 1; }

# The host's Debian sources with their suite set to $SUITE, as one file.
derived_sources() {
  awk -v suite="$SUITE" '
    BEGIN { RS = ""; FS = "\n" }
    {
      deb = 0; text = ""
      for (i = 1; i <= NF; i++) {
        if ($i ~ /^#/) continue
        if ($i ~ /^Types:/) { deb = ($i ~ /[[:space:]]deb([[:space:]]|$)/); text = text "Types: deb\n"; continue }
        if ($i ~ /^Suites:/) { text = text "Suites: " suite "\n"; continue }
        text = text $i "\n"
      }
      # Only the main archive carries the unstable suite.
      if (deb && text ~ /debian-archive-keyring/ && text !~ /security/) { printf "%s\n", text; exit }
    }
  ' /etc/apt/sources.list.d/*.sources 2>/dev/null
}

# Prints the path of a cached qemu-i386, fetching it when none is cached.
fetch() {
  local have
  have=$(ls -d "$cache"/qemu-user-*/qemu-i386 2>/dev/null | sort -V | tail -1 || true)
  if [ -n "$have" ] && [ -x "$have" ]; then
    echo "$have"
    return
  fi
  mkdir -p "$cache"
  exec 6>"$cache/qemu-user.lock"
  flock 6
  have=$(ls -d "$cache"/qemu-user-*/qemu-i386 2>/dev/null | sort -V | tail -1 || true)
  if [ -n "$have" ] && [ -x "$have" ]; then
    echo "$have"
    return
  fi
  local work=$cache/qemu-user.apt
  rm -rf "$work"
  mkdir -p "$work/etc/sources.list.d" "$work/lists/partial" "$work/archives/partial"
  derived_sources >"$work/etc/sources.list.d/unstable.sources"
  [ -s "$work/etc/sources.list.d/unstable.sources" ] ||
    die "no Debian archive in /etc/apt/sources.list.d/*.sources to take qemu-user from"
  local apt=(-o Dir::Etc::sourcelist=/dev/null -o "Dir::Etc::sourceparts=$work/etc/sources.list.d"
    -o "Dir::State::Lists=$work/lists" -o "Dir::Cache::archives=$work/archives"
    -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= -o Dir::State::status=/dev/null
    -o Debug::NoLocking=1 -o APT::Architecture=amd64 -o APT::Architectures=amd64)
  say "fetching qemu-user from Debian $SUITE"
  apt-get "${apt[@]}" update -qq >"$work/log" 2>&1 ||
    { tail -3 "$work/log" >&2; die "apt-get update of Debian $SUITE failed"; }
  local version
  version=$(apt-cache "${apt[@]}" show qemu-user 2>/dev/null | sed -n 's/^Version: //p' | head -1)
  [ -n "$version" ] || die "Debian $SUITE has no qemu-user package"
  (cd "$work/archives" && apt-get "${apt[@]}" download qemu-user >>"$work/log" 2>&1) ||
    { tail -3 "$work/log" >&2; die "downloading qemu-user $version failed"; }
  local deb
  deb=$(ls "$work"/archives/qemu-user_*.deb | head -1)
  local dir=$cache/qemu-user-${version//[:~]/_}
  rm -rf "$dir.new"
  mkdir -p "$dir.new"
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$dir.new" --strip-components=3 ./usr/bin/qemu-i386
  "$dir.new/qemu-i386" --version | head -1 >"$dir.new/VERSION"
  # Static: it must start inside the beds' roots, which have no host libraries.
  if readelf -l "$dir.new/qemu-i386" | grep -q 'program interpreter'; then
    die "qemu-i386 of qemu-user $version is not statically linked"
  fi
  rm -rf "$dir"
  mv "$dir.new" "$dir"
  rm -rf "$work"
  say "$(cat "$dir/VERSION") in $dir"
  echo "$dir/qemu-i386"
}

registered() { [ -e "$binfmt/$NAME" ]; }

mount_binfmt() {
  if [ ! -e "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null ||
      die "binfmt_misc cannot be mounted on $binfmt"
  fi
}

# The processes that use the handler, one file per process id; a process
# that died without saying so no longer counts.
users_alive() {
  local f pid n=0
  for f in "$state"/users/*; do
    [ -e "$f" ] || continue
    pid=${f##*/}
    if kill -0 "$pid" 2>/dev/null; then
      n=$((n + 1))
    else
      rm -f "$f"
    fi
  done
  echo "$n"
}

on() {
  local user=$1
  local qemu
  qemu=$(fetch)
  mkdir -p "$state/users"
  exec 5>"$state/lock"
  flock 5
  mount_binfmt
  if ! registered; then
    printf ':%s:M::%s:%s:%s:OPF' "$NAME" "$MAGIC" "$MASK" "$qemu" >"$binfmt/register" ||
      die "the $NAME handler could not be registered"
  fi
  : >"$state/users/$user"
  flock -u 5
}

off() {
  local user=$1
  mkdir -p "$state/users"
  exec 5>"$state/lock"
  flock 5
  rm -f "$state/users/$user"
  if registered && [ "$(users_alive)" = 0 ]; then
    echo -1 >"$binfmt/$NAME" || say "the $NAME handler could not be removed"
  fi
  flock -u 5
}

case "${1:-}" in
  fetch) fetch ;;
  status)
    if registered; then echo "the $NAME handler is registered"; else echo "no $NAME handler"; exit 1; fi
    ;;
  on | off)
    [ -n "${2:-}" ] || die "$1 needs the id of the process that uses the handler"
    [ "$(id -u)" = 0 ] || die "registering a binfmt_misc handler needs root"
    "$1" "$2"
    ;;
  run)
    shift
    [ "${1:-}" = -- ] && shift
    [ $# -gt 0 ] || die "run needs a command"
    [ "$(id -u)" = 0 ] || die "registering a binfmt_misc handler needs root"
    on $$
    trap 'off $$' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    rc=0
    "$@" || rc=$?
    exit "$rc"
    ;;
  *)
    echo "usage: emulation.sh fetch | run [--] COMMAND... | on PID | off PID | status" >&2
    exit 2
    ;;
esac
