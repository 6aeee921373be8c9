#!/usr/bin/env bash
# Sets everything up (packages, configure, build) and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export BUILD_DIR=${BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"
cd "$BUILD_DIR"
ctest --output-on-failure -j"$(nproc)" "$@"
