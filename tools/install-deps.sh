#!/usr/bin/env bash
# Installs the Debian packages Halvoran needs to build, run and test.
# Idempotent: only missing packages are installed.
set -euo pipefail

packages=(
  cmake ninja-build ccache g++ pkg-config
  qt6-base-dev libqt6opengl6-dev libgl-dev
  libvtk9-dev
  libocct-foundation-dev libocct-modeling-data-dev libocct-modeling-algorithms-dev libocct-data-exchange-dev
  lib3mf-dev libnanoflann-dev libeigen3-dev libmeshoptimizer-dev
  libcgal-dev libgmp-dev libmpfr-dev
  libgtest-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev libfuzzer-14-dev
  xvfb xauth libgl1-mesa-dri python3 python3-ezdxf python3-vtk9 librsvg2-bin time
  dpkg-dev desktop-file-utils shared-mime-info
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
