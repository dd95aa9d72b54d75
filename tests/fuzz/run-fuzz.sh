#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into $1 (default build/fuzz) and runs each for
# $2 seconds (default 30) from its corpus, the fixtures and the dictionary. Inputs that once
# crashed a target are kept in regressions/<target>/ and replayed first. New inputs the
# fuzzer finds go to a temporary folder, not into the tree. Exits non-zero on any crash.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
top="$(cd "$here/../.." && pwd)"
build="$(realpath -m "${1:-$top/build/fuzz}")"
seconds="${2:-30}"
export CCACHE_BASEDIR="$top"
# Keys without the build folder, so a clone elsewhere reuses the cache (as scripts/build.sh does).
export CCACHE_NOHASHDIR=1
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DNIMBRA_FUZZ=ON -DNIMBRA_TESTS=OFF -DNIMBRA_BENCHMARKS=OFF > "$build.configure.log" 2>&1 \
  || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j2 --target nimbra_fuzz_targets

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

seeds_for() {  # target -> the seed folders
  case "$1" in
    fuzz_article) echo "$here/corpus/article $top/tests/fixtures/articles" ;;
    fuzz_article_sequence) echo "$here/corpus/article_sequence" ;;
    *) echo "$here/corpus/${1#fuzz_}" ;;
  esac
}

status=0
for target in fuzz_article fuzz_article_sequence fuzz_nntp_reply fuzz_group_list fuzz_state_files; do
  echo "== $target: ${seconds}s =="
  regressions="$here/regressions/${target#fuzz_}"
  if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
    "$build/tests/fuzz/$target" "$regressions"/* > "$work/$target.replay.log" 2>&1 \
      || { cat "$work/$target.replay.log"; status=1; continue; }
  fi
  mkdir -p "$work/$target"
  # shellcheck disable=SC2046
  if ! (cd "$work" && "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
          -dict="$here/nimbra.dict" -print_final_stats=1 "$work/$target" $(seeds_for "$target") \
          > "$work/$target.log" 2>&1); then
    tail -60 "$work/$target.log"
    mkdir -p "$top/build/fuzz-crashes"
    cp "$work"/crash-* "$work"/timeout-* "$work"/oom-* "$top/build/fuzz-crashes/" 2>/dev/null || true
    echo "$target failed; the input is in build/fuzz-crashes/"
    status=1
  else
    grep -E "stat::number_of_executed_units|stat::new_units_added" "$work/$target.log" | tr '\n' ' '; echo
  fi
done
exit $status
