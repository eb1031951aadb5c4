#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test under Wine on a virtual screen.
# Exits non-zero when any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD_DIR=$ROOT/build

scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default

source scripts/wine-env.sh
trap stop_wine_env EXIT
start_display
init_prefix
ctest --preset default "$@"
