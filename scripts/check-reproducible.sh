#!/usr/bin/env bash
# Builds the shipped files (build/x86/gen_quorvel.dll, its debug file and the installer)
# twice from copies of these sources, in two different folders and at two different times,
# and checks that the two builds are byte for byte the same and that no folder of either
# build appears in them. Run by CTest (test "reproducible"); takes seconds to a minute.
# QUORVEL_KEEP=1 keeps the two builds (in TMPDIR) for a look at what differs.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-repro.XXXXXX")
[ -n "${QUORVEL_KEEP:-}" ] || trap 'rm -rf "$work"' EXIT

# The sources as they are now (committed or not), without any build folder.
copy_sources() {
    mkdir -p "$1"
    if git -C "$ROOT" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        (cd "$ROOT" && git ls-files -z --cached --others --exclude-standard) |
            (cd "$ROOT" && xargs -0 tar -cf - --no-recursion --ignore-failed-read) | tar -xf - -C "$1"
    else
        tar -C "$ROOT" --exclude=./build -cf - . | tar -xf - -C "$1"
    fi
}

build() {  # SOURCE BINARY
    cmake -S "$1" -B "$2" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$1/cmake/i686-w64-mingw32-win32.cmake" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DQUORVEL_DLL_ONLY=ON >/dev/null
    cmake --build "$2" >/dev/null
}

# One inside its source folder as usual; one with a longer source path and the build folder
# elsewhere, at least a second later, in another time zone.
first_src=$work/a/quorvel
second_src=$work/second-checkout-with-a-longer-name/src/quorvel
second_bin=$work/elsewhere/x86
copy_sources "$first_src"
copy_sources "$second_src"
build "$first_src" "$first_src/build/x86"
sleep 1
TZ=Pacific/Kiritimati build "$second_src" "$second_bin"

status=0
for file in gen_quorvel.dll gen_quorvel.dll.debug quorvel-setup.exe; do
    a=$first_src/build/x86/$file b=$second_bin/$file
    if [ ! -f "$a" ] || [ ! -f "$b" ]; then
        echo "FAIL: $file was not built"; status=1; continue
    fi
    if ! cmp -s "$a" "$b"; then
        echo "FAIL: $file differs between the two builds ($(cmp -l "$a" "$b" 2>/dev/null | wc -l) bytes)"
        status=1
    fi
done
for file in gen_quorvel.dll quorvel-setup.exe; do
    f=$first_src/build/x86/$file
    [ -f "$f" ] || continue
    if LC_ALL=C grep -qaF "$work" "$f"; then
        echo "FAIL: $file contains the path of its build folder"; status=1
    fi
done
[ "$status" -eq 0 ] || exit 1
echo "ok: gen_quorvel.dll ($(stat -c %s "$first_src/build/x86/gen_quorvel.dll") bytes), its debug file and quorvel-setup.exe are identical from two folders at two times"
