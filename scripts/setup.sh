#!/usr/bin/env bash
# Installs the Debian packages the suite needs (only when some are missing),
# then configures and builds everything into ${BUILD_DIR:-build}.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

mapfile -t wanted < <(grep -v -e '^#' -e '^[[:space:]]*$' "$root/scripts/packages.txt")
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends "${missing[@]}"
fi

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
# A new build folder is configured; an existing one again only when BUILD_TYPE
# or CMAKE_ARGS ask for a change (its generator stays the one it was made with).
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" ${CMAKE_ARGS:-}
elif [ -n "${BUILD_TYPE:-}" ] || [ -n "${CMAKE_ARGS:-}" ]; then
  cmake -S "$root" -B "$build" ${BUILD_TYPE:+-DCMAKE_BUILD_TYPE="$BUILD_TYPE"} ${CMAKE_ARGS:-}
fi
cmake --build "$build" -j"$(nproc)"
