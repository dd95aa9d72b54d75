#!/usr/bin/env bash
# Configures and builds Nimbra into build/ (or the folder given as $1, with extra CMake args).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"; shift || true
# Compiler cache entries keyed on paths relative to the checkout, so a clone elsewhere reuses them.
export CCACHE_BASEDIR="$here"
# The build folder must not be part of the key either (debug builds hash it by default).
export CCACHE_NOHASHDIR=1
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" > "$build.configure.log" 2>&1 \
  || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j2
