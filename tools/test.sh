#!/usr/bin/env bash
# Sets everything up, builds, and runs the whole test suite through CTest.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${HALVORAN_BUILD_DIR:-$root/build}"
bash "$root/tools/build.sh"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 600
