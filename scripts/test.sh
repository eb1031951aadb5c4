#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test under Wine on a virtual screen.
# Exits non-zero when any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD_DIR=$ROOT/build

scripts/setup.sh
# Claimed before building, so that no other run in this build folder relinks a program
# while it is being tested or stops the Wine server under it.
source scripts/wine-env.sh
trap stop_wine_env EXIT
claim_build_dir
cmake --preset default >/dev/null
cmake --build --preset default

start_display
init_prefix
ctest --preset default "$@"
