#!/usr/bin/env bash
# Builds the Debian package lapvaneadmin_<version>_<arch>.deb into the
# repository's top folder, from a release build of its own in a temporary
# folder that is removed afterwards. No precompiled headers: for a one-off
# build they cost more time and disk than they save.
# Install it with: sudo apt-get install ./lapvaneadmin_*.deb
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/packages.sh"
build="$(mktemp -d "${TMPDIR:-/tmp}/lapvaneadmin-package.XXXXXX")"
trap 'rm -rf "$build"' EXIT
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLAPVANE_TESTS=OFF -DLAPVANE_PCH=OFF
cmake --build "$build" --parallel "$(nproc)" --target lapvaneadmin receiversim
(cd "$build" && cpack --config CPackConfig.cmake)
deb="$(ls "$build"/lapvaneadmin_*.deb)"
cp "$deb" "$root/"
echo "Package: $root/$(basename "$deb")"
dpkg-deb -f "$root/$(basename "$deb")" Package Version Depends
