#!/usr/bin/env bash
# Installs what is missing, builds Nimbra File and runs it. Without a display (no DISPLAY or
# WAYLAND_DISPLAY) the program runs on Qt's offscreen platform: it starts, loads and waits as
# usual, but shows nothing; stop it with Ctrl+C. Extra arguments go to the program.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bash "$here/scripts/deps.sh"
mkdir -p "$here/build"
bash "$here/scripts/build.sh" "$here/build/release"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: running Nimbra File offscreen (nothing is shown; Ctrl+C ends it)."
  export QT_QPA_PLATFORM=offscreen
fi
exec "$here/build/release/nimbra" "$@"
