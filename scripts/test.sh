#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds every test with
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs them all.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/packages.sh"
cmake -S "$root" -B "$root/build-tests" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLAPVANE_SANITIZE=ON
cmake --build "$root/build-tests"
cd "$root/build-tests"
ctest --output-on-failure -j2 --timeout 600
