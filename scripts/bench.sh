#!/usr/bin/env bash
# Runs the benchmarks: sets up the machine, builds, and runs each benchmark under Wine on a
# virtual screen. Prints the tables; docs/benchmarks.md holds figures measured this way.
#   scripts/bench.sh            every benchmark
#   scripts/bench.sh filter     only bench_filter (or: hooks, fade)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD_DIR=$ROOT/build

scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target bench_filter bench_hooks bench_fade >/dev/null

source scripts/wine-env.sh
trap stop_wine_env EXIT
start_display
init_prefix

names=("$@")
[ ${#names[@]} -gt 0 ] || names=(filter hooks fade)
cd "$BUILD_DIR/bin"
for name in "${names[@]}"; do
    echo "== bench_$name"
    "$WINE" "bench_$name.exe" </dev/null
    echo
done
