#!/usr/bin/env bash
# Installs what is missing, builds Nimbra and runs every test: once in a normal build and
# once under AddressSanitizer and UndefinedBehaviorSanitizer, then runs the fuzz targets.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bash "$here/scripts/deps.sh"
export QT_QPA_PLATFORM=offscreen
mkdir -p "$here/build"

echo "== build =="
bash "$here/scripts/build.sh" "$here/build/release"
echo "== tests =="
(cd "$here/build/release" && ctest -j2 --output-on-failure --timeout 300)

echo "== build with sanitizers =="
bash "$here/scripts/build.sh" "$here/build/sanitize" -DNIMBRA_SANITIZE=ON -DNIMBRA_BENCHMARKS=OFF
echo "== tests with sanitizers =="
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$here/build/sanitize" && ctest -j2 --output-on-failure --timeout 600)

echo "== fuzzing (libFuzzer, address and undefined-behaviour sanitizers, 30 s a target) =="
bash "$here/tests/fuzz/run-fuzz.sh" "$here/build/fuzz" 30
