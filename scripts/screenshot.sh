#!/usr/bin/env bash
# Installs what is missing, builds the screenshot tool and grabs the real main window,
# offscreen, one PNG per page into docs/ (main-window.png is the README's picture).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bash "$here/scripts/deps.sh"
build="$here/build/release"
mkdir -p "$build"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$build.configure.log" 2>&1 \
  || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" --target nimbra_screenshot -j2
QT_QPA_PLATFORM=offscreen "$build/tools/screenshot/nimbra_screenshot" "$here/docs"
