#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test under Wine on a virtual screen.
# Exits non-zero when any test fails. Extra arguments go to ctest.
#
# The tests run the real 32-bit product, build/x86/gen_quorvel.dll, under 32-bit Wine where
# this machine runs 32-bit code, and its 64-bit twin under 64-bit Wine where it does not
# (scripts/width.sh probes; QUORVEL_WIDTH=x86|x64 overrides). One line before ctest's
# output says which.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD_DIR=$ROOT/build

source scripts/width.sh
scripts/setup.sh
quorvel_configure
# Claimed before building, so that no other run in this build folder relinks a program
# while it is being tested or stops the Wine server under it.
source scripts/wine-env.sh
trap stop_wine_env EXIT
claim_build_dir
cmake --build --preset default

# The DLL next to the tests must be the one the line below names.
cmp -s "$BUILD_DIR/bin/gen_quorvel.dll" "$BUILD_DIR/$QUORVEL_WIDTH/gen_quorvel.dll" || {
    echo "test: build/bin/gen_quorvel.dll is not build/$QUORVEL_WIDTH/gen_quorvel.dll" >&2
    exit 1
}
start_display
init_prefix
describe_tested_dll
ctest --preset default "$@"
