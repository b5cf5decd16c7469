#!/usr/bin/env bash
# Builds the Debian package lapvaneadmin_<version>_<arch>.deb into the
# repository's top folder, from a release build of its own (build-package).
# Install it with: sudo apt-get install ./lapvaneadmin_*.deb
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/packages.sh"
build="$root/build-package"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLAPVANE_TESTS=OFF
cmake --build "$build" --target lapvaneadmin receiversim
rm -f "$build"/lapvaneadmin_*.deb
(cd "$build" && cpack --config CPackConfig.cmake)
deb="$(ls "$build"/lapvaneadmin_*.deb)"
cp "$deb" "$root/"
echo "Package: $root/$(basename "$deb")"
dpkg-deb -f "$deb" Package Version Depends
