#!/usr/bin/env bash
# Builds the program, packs it as a Debian package and installs that package.
# Usage: tools/package.sh [--no-install]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${HALVORAN_BUILD_DIR:-$root/build}"

bash "$root/tools/build.sh" --target halvoran_installables
rm -f "$build"/halvoran_*.deb
(cd "$build" && cpack -G DEB)
deb="$(ls "$build"/halvoran_*.deb)"
echo "Built $deb"

if [ "${1:-}" = "--no-install" ]; then
  exit 0
fi
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
# apt-get resolves the Depends; it needs a path, not a bare file name.
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q "$deb"
echo "Installed: run 'halvoran' or open a scan from the file manager."
