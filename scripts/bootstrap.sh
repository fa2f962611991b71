#!/usr/bin/env bash
# Installs everything the build needs and builds the Windows dependencies
# into a cache outside the clone. Safe to run again: it does only what is
# missing.
#
#   DEPS_CACHE  where the Windows libraries are built (default ~/.cache/setupkit-deps)
set -euo pipefail

CACHE=${DEPS_CACHE:-$HOME/.cache/setupkit-deps}
export DEBIAN_FRONTEND=noninteractive

log() { printf 'bootstrap: %s\n' "$*" >&2; }

APT_PACKAGES=(
  cmake ninja-build make g++ pkg-config dpkg-dev clang-format
  googletest libgtest-dev libcrypto++-dev zlib1g-dev libjpeg62-turbo-dev libdeflate-dev
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 mingw-w64-tools
  libz-mingw-w64-dev
  wine wine64 xvfb xauth imagemagick fonts-wqy-microhei
  zip unzip time bc python3 clang libclang-rt-14-dev locales
  debootstrap nsis osslsigncode openssl
  softhsm2 libengine-pkcs11-openssl opensc
  libisal-dev nasm
)

apt_updated=0
apt_update_once() {
  if [ "$apt_updated" = 0 ]; then
    log "apt-get update"
    apt-get update -qq
    apt_updated=1
  fi
}

install_packages() {
  local missing=()
  for p in "${APT_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
  done
  if [ "${#missing[@]}" -gt 0 ]; then
    apt_update_once
    log "installing ${missing[*]}"
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
  # The host's wine wrapper must pick the 64-bit loader; 32-bit Windows
  # programs run in the test beds' own roots (scripts/testbed.sh), never
  # through a wine32 or an i386 architecture added here.
  if dpkg-query -W -f='${Status}\n' wine32 2>/dev/null | grep -q '^install ok installed$'; then
    log "warning: wine32 is installed; tests need the 64-bit loader only"
  fi
}

# Under a Chinese locale Wine runs with code page 936 and renders Chinese text;
# the locale must exist for it to name files in UTF-8 too (shortcuts named
# in Chinese, for one).
ensure_chinese_locale() {
  if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
    log "generating the locale zh_CN.UTF-8"
    localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
  fi
}

enable_deb_src() {
  local src=/etc/apt/sources.list.d/debian.sources
  local dst=/etc/apt/sources.list.d/debian-src.sources
  if [ ! -f "$dst" ] && [ -f "$src" ]; then
    sed 's/^Types:.*/Types: deb-src/' "$src" >"$dst"
    apt_updated=0
  fi
}

# Bumped whenever a recipe below changes, so that caches built by an older
# recipe are not reused.
RECIPE=2

# Version of a Debian source package as apt would fetch it.
source_version() {
  { apt-cache showsrc "$1" 2>/dev/null || true; } | awk '/^Version:/ {print $2; exit}'
}

# Fetch and unpack source package $1 into $CACHE/src/$1-$version; prints the folder.
fetch_source() {
  local pkg=$1 ver=$2 dir="$CACHE/src/$1-$2"
  if [ ! -f "$dir/.unpacked" ]; then
    rm -rf "$dir" "$CACHE/dl/$pkg"
    mkdir -p "$CACHE/dl/$pkg" "$CACHE/src"
    (cd "$CACHE/dl/$pkg" && apt-get source --download-only -qq "$pkg=$ver" >/dev/null 2>&1)
    local dsc
    dsc=$(ls "$CACHE/dl/$pkg"/*.dsc | head -1)
    dpkg-source -x --skip-debianization "$dsc" "$dir" >/dev/null 2>&1 || dpkg-source -x "$dsc" "$dir" >/dev/null
    touch "$dir/.unpacked"
  fi
  printf '%s\n' "$dir"
}

build_cryptopp() {
  local triple=$1 ver=$2 prefix="$CACHE/$triple/cryptopp-$2-r$RECIPE"
  [ -f "$prefix/.done" ] && return 0
  local src
  src=$(fetch_source libcrypto++ "$ver")
  local work="$CACHE/build/$triple/cryptopp-$ver"
  rm -rf "$work" && mkdir -p "$work" && cp -a "$src/." "$work/"
  log "building Crypto++ $ver for $triple"
  # The library picks its SSE and AES-NI code at run time. Nothing may be
  # defined here that the headers would not also see when the project
  # includes them, or the class layouts differ.
  (cd "$work" && make -f GNUmakefile-cross static -j"$(nproc)" \
      CXX="$triple-g++-win32" AR="$triple-ar" RANLIB="$triple-ranlib" \
      CXXFLAGS="-DNDEBUG -O2 -pipe" >"$work.log" 2>&1) || { tail -30 "$work.log"; exit 1; }
  rm -rf "$prefix" && mkdir -p "$prefix/include/cryptopp" "$prefix/lib"
  cp "$work"/*.h "$prefix/include/cryptopp/"
  cp "$work/libcryptopp.a" "$prefix/lib/"
  rm -rf "$work"
  touch "$prefix/.done"
}

build_libjpeg() {
  local triple=$1 ver=$2 prefix="$CACHE/$triple/libjpeg-turbo-$2-r$RECIPE"
  [ -f "$prefix/.done" ] && return 0
  local src
  src=$(fetch_source libjpeg-turbo "$ver")
  local work="$CACHE/build/$triple/libjpeg-turbo-$ver"
  rm -rf "$work" && mkdir -p "$work"
  log "building libjpeg-turbo $ver for $triple"
  cat >"$work/toolchain.cmake" <<TC
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${triple%%-*})
set(CMAKE_C_COMPILER $triple-gcc)
set(CMAKE_RC_COMPILER $triple-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triple)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
TC
  cmake -S "$src" -B "$work" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
      -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
      -DWITH_JPEG8=OFF -DREQUIRE_SIMD=OFF >"$work/configure.log" 2>&1 ||
    { tail -30 "$work/configure.log"; exit 1; }
  cmake --build "$work" --target jpeg-static >"$work/build.log" 2>&1 || { tail -30 "$work/build.log"; exit 1; }
  rm -rf "$prefix" && mkdir -p "$prefix/include" "$prefix/lib"
  cp "$work/libjpeg.a" "$prefix/lib/"
  cp "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" "$work/jconfig.h" "$prefix/include/"
  rm -rf "$work"
  touch "$prefix/.done"
}

# libdeflate's own build of this version is a makefile that wants a shared
# library too; the static library is just its C files, compiled here.
LIBDEFLATE_RECIPE=1
build_libdeflate() {
  local triple=$1 ver=$2 prefix="$CACHE/$triple/libdeflate-$2-r$LIBDEFLATE_RECIPE"
  [ -f "$prefix/.done" ] && return 0
  local src
  src=$(fetch_source libdeflate "$ver")
  local work="$CACHE/build/$triple/libdeflate-$ver"
  rm -rf "$work" && mkdir -p "$work"
  log "building libdeflate $ver for $triple"
  (
    cd "$work"
    for c in "$src"/lib/*.c "$src"/lib/x86/*.c; do
      "$triple-gcc" -O2 -DNDEBUG -std=c99 -fvisibility=hidden -I"$src" -c "$c" \
        -o "$(basename "$(dirname "$c")")_$(basename "${c%.c}").o"
    done
    "$triple-ar" cr libdeflate.a ./*.o
    "$triple-ranlib" libdeflate.a
  ) >"$work.log" 2>&1 || { tail -30 "$work.log"; exit 1; }
  rm -rf "$prefix" && mkdir -p "$prefix/include" "$prefix/lib"
  cp "$work/libdeflate.a" "$prefix/lib/"
  cp "$src/libdeflate.h" "$prefix/include/"
  rm -rf "$work" "$work.log"
  touch "$prefix/.done"
}

# ISA-L's inflater for the x86_64 build only: its i686 build has nothing but
# the portable C code, no faster than zlib. The library's own makefile
# builds its igzip part (and the checksums it needs) with nasm; the asm
# picks its SSE, AVX2 or AVX-512 code at run time.
ISAL_RECIPE=1
build_isal() {
  local triple=$1 ver=$2 prefix="$CACHE/$1/isa-l-$2-r$ISAL_RECIPE"
  [ -f "$prefix/.done" ] && return 0
  local src
  src=$(fetch_source libisal "$ver")
  local work="$CACHE/build/$triple/isa-l-$ver"
  rm -rf "$work" && mkdir -p "$work" && cp -a "$src/." "$work/"
  log "building ISA-L $ver for $triple"
  (cd "$work" && make -f Makefile.unx units=igzip arch=mingw host_cpu=x86_64 AS=nasm DEBUG= \
      CC="$triple-gcc" AR="$triple-ar" bin/isa-l.a -j"$(nproc)" >"$work.log" 2>&1) ||
    { tail -30 "$work.log"; exit 1; }
  rm -rf "$prefix" && mkdir -p "$prefix/include/isa-l" "$prefix/lib"
  cp "$work/bin/isa-l.a" "$prefix/lib/libisal.a"
  cp "$work"/include/*.h "$prefix/include/isa-l/"
  rm -rf "$work" "$work.log"
  touch "$prefix/.done"
}

main() {
  if [ "$(id -u)" != 0 ]; then
    log "run as root (it installs packages)"
    exit 1
  fi
  # Two callers at once (make test beside make run, say) take turns: the
  # builds below share their work folders.
  mkdir -p "$CACHE"
  exec 8>"$CACHE/.bootstrap.lock"
  flock 8
  install_packages
  ensure_chinese_locale
  enable_deb_src

  local cver jver dver iver
  cver=$(source_version libcrypto++)
  jver=$(source_version libjpeg-turbo)
  dver=$(source_version libdeflate)
  iver=$(source_version libisal)
  if [ -z "$cver" ] || [ -z "$jver" ] || [ -z "$dver" ] || [ -z "$iver" ]; then
    apt_update_once
    cver=$(source_version libcrypto++)
    jver=$(source_version libjpeg-turbo)
    dver=$(source_version libdeflate)
    iver=$(source_version libisal)
  fi
  [ -n "$cver" ] || { log "no source package for libcrypto++"; exit 1; }
  [ -n "$jver" ] || { log "no source package for libjpeg-turbo"; exit 1; }
  [ -n "$dver" ] || { log "no source package for libdeflate"; exit 1; }
  [ -n "$iver" ] || { log "no source package for libisal"; exit 1; }

  mkdir -p "$CACHE"
  for triple in x86_64-w64-mingw32 i686-w64-mingw32; do
    build_cryptopp "$triple" "$cver"
    build_libjpeg "$triple" "$jver"
    build_libdeflate "$triple" "$dver"
    # A stable name for the build to find, whatever the version.
    ln -sfn "cryptopp-$cver-r$RECIPE" "$CACHE/$triple/cryptopp"
    ln -sfn "libjpeg-turbo-$jver-r$RECIPE" "$CACHE/$triple/libjpeg-turbo"
    ln -sfn "libdeflate-$dver-r$LIBDEFLATE_RECIPE" "$CACHE/$triple/libdeflate"
  done
  build_isal x86_64-w64-mingw32 "$iver"
  ln -sfn "isa-l-$iver-r$ISAL_RECIPE" "$CACHE/x86_64-w64-mingw32/isa-l"
  log "ready: $CACHE"
}

main "$@"
