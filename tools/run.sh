#!/usr/bin/env bash
# Sets everything up, builds, and opens the bundled sample scan (or the given file).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${HALVORAN_BUILD_DIR:-$root/build}"
bash "$root/tools/build.sh" --target halvoran
scan="${1:-$root/samples/sample_part.stl}"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: running under Xvfb (the window is invisible)." >&2
  exec xvfb-run -a -s "-screen 0 1920x1080x24" "$build/app/halvoran" "$scan"
fi
exec "$build/app/halvoran" "$scan"
