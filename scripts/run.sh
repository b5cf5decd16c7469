#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine and starts Lapvane Admin.
# The data (database, settings, log, pages) lives in $LAPVANE_HOME, by default
# ~/LapvaneAdmin, so it survives rebuilds and fresh checkouts.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/packages.sh"
cmake -S "$root" -B "$root/build-release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLAPVANE_TESTS=OFF
cmake --build "$root/build-release" --target lapvaneadmin receiversim
home="${LAPVANE_HOME:-$HOME/LapvaneAdmin}"
mkdir -p "$home"
echo "Data folder: $home"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting on a virtual display (Xvfb)."
  exec xvfb-run -a "$root/build-release/app/lapvaneadmin" --home "$home" "$@"
fi
exec "$root/build-release/app/lapvaneadmin" --home "$home" "$@"
