#!/usr/bin/env bash
# Installs what is missing, configures once and builds incrementally.
# Usage: tools/build.sh [extra cmake --build arguments]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${HALVORAN_BUILD_DIR:-$root/build}"

bash "$root/tools/install-deps.sh"

# ccache hits across clones in different folders.
export CCACHE_BASEDIR="$root"
export CCACHE_NOHASHDIR=1

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$build" -j"$(nproc)" "$@"
