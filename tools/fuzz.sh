#!/usr/bin/env bash
# Builds the parsers' libFuzzer targets with clang, ASan and UBSan in
# build-fuzz/ and runs each on a copy of its seed corpus: a fixed number of
# inputs from a fixed seed (repeatable in CI), within a time bound.
# Usage: tools/fuzz.sh [seconds per target, default 20] [runs, default 30000] [seed, default 1; 0 = random]
# A crash fails the run; libFuzzer leaves the input as build-fuzz/crash-*.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${HALVORAN_FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${1:-20}"
runs="${2:-30000}"
seed="${3:-1}"

bash "$root/tools/install-deps.sh"
export CCACHE_BASEDIR="$root"
export CCACHE_NOHASHDIR=1
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
  -DHALVORAN_FUZZ=ON -DHALVORAN_FUZZ_SECONDS="$seconds" -DHALVORAN_FUZZ_RUNS="$runs" -DHALVORAN_FUZZ_SEED="$seed" -DHALVORAN_BUILD_BENCH=OFF -DHALVORAN_LINK_CHECKS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target halvoran_fuzzers
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" -R '^fuzz\.run\.'
