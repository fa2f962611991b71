#!/usr/bin/env bash
# The publisher's tools for Windows as a zip beside the Debian package: the
# x86_64 stp.exe (win64 build), the shipping setup stub and uninstaller
# (win32 build), a short read-me and the example stp init writes. The same
# inputs give the same zip: every entry carries the same time, in one order.
#
#   package-zip.sh     (after the builds that make package runs)
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' build/package/DebPackage.cmake)
name=setupkit-$version-windows
stage=build/package/$name
rm -rf "$stage" "build/package/$name.zip"
mkdir -p "$stage"
cp build/win64/tools/stp.exe build/win32/app/SetupStub.exe build/win32/uninst/Uninst.exe "$stage/"
sed 's/$/\r/' tools/README-windows.txt >"$stage/README.txt"
cp -r build/package/example "$stage/example"
find "$stage" -exec touch -h -d "@${SOURCE_DATE_EPOCH:-1767225600}" {} +
(cd build/package && find "$name" | LC_ALL=C sort | zip -X -q -D "$name.zip" -@)
echo "build/package/$name.zip: $(unzip -Z1 "build/package/$name.zip" | wc -l) entries"
