#!/usr/bin/env bash
# The Debian package on a clean Debian 12 root (the "debian" test bed, made
# once with debootstrap and cached outside the clone; each run works in a
# throwaway copy of it): apt installs the package, then stp setup makes the
# sample product's Setup.exe there with the installed stub and uninstaller,
# which the inspection of the shipping program then checks here.
#
#   package-test.sh [DEB]     (default: the one in build/package)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tree=$(cd "$here/.." && pwd)
deb=${1:-$(ls -t "$tree"/build/package/setupkit_*.deb 2>/dev/null | head -1)}
[ -n "$deb" ] && [ -f "$deb" ] || { echo "package-test: no package; run make package" >&2; exit 1; }
deb=$(realpath "$deb")
drawlet=$tree/build/win32/sample/Drawlet.exe
[ -f "$drawlet" ] || { echo "package-test: no $drawlet; run make package" >&2; exit 1; }
out=$tree/build/package/test
rm -rf "$out"
mkdir -p "$out"
started=$(date +%s)
TESTBED_SCRATCH=1 "$here/testbed.sh" debian -- /bin/bash -c '
  set -e
  deb=$1 tree=$2 drawlet=$3 out=$4
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >/dev/null 2>&1 || { sleep 5; apt-get update -qq >/dev/null; }
  apt-get install -y -qq "$deb" >/tmp/apt.log 2>&1 || { tail -20 /tmp/apt.log; exit 1; }
  echo "installed: $(dpkg-query -W -f "\${Package} \${Version}" setupkit)"
  ls /usr/share/stp /usr/share/man/man1/stp.1.gz /usr/share/bash-completion/completions/stp
  stp --version
  # The publisher'"'"'s side: a product folder, a settings file with pictures, one command.
  mkdir -p /tmp/clockrun/art
  cp -r "$tree/resources/sample" /tmp/clockrun/product
  cp "$drawlet" /tmp/clockrun/product/
  cp "$tree"/resources/art/* /tmp/clockrun/art/
  cp "$tree/resources/product.settings" /tmp/clockrun/
  cd /tmp/clockrun
  SOURCE_DATE_EPOCH=1767225600 stp setup product -o Setup.exe --settings product.settings
  cp Setup.exe "$out/Setup.exe"
  # A new publisher, from the package alone: stp init, then stp setup.
  ls /usr/share/doc/setupkit/example/product.settings /usr/share/doc/setupkit/example/art
  stp init /tmp/first --name "First Product" --chinese-name 第一个产品 --short-name Drawlet
  stp setup product -o First.exe --settings /tmp/first/product.settings
  cp First.exe "$out/First.exe"
' package-test "$deb" "$tree" "$drawlet" "$out"
python3 "$tree/tests/inspect_setup.py" "$out/Setup.exe" "$tree/resources/setup.manifest"
python3 "$tree/tests/inspect_setup.py" "$out/First.exe" "$tree/resources/setup.manifest"
echo "package-test: the package installs on a clean Debian 12 root and makes a Setup.exe" \
  "that passes the inspection ($(( $(date +%s) - started )) s)"
