# Sourced by the scripts that build or run Windows programs. Decides the width the tests,
# the demo and the benchmarks run at, and sets:
#   QUORVEL_WIDTH  x86: the 32-bit product, build/x86/gen_quorvel.dll, with 32-bit test
#                       programs under 32-bit Wine (this machine runs 32-bit code);
#                  x64: the 64-bit twin, build/x64/gen_quorvel.dll, under 64-bit Wine
#                       (this machine's kernel runs no 32-bit code).
# A QUORVEL_WIDTH already set in the environment (x86 or x64) wins over the probe.

# Nonzero unless this machine runs a 32-bit x86 Linux program. The program is the smallest
# i386 ELF file that exits with status 42 (_exit system call through int 0x80): it needs
# no 32-bit library and no compiler, so it answers before anything 32-bit is installed.
quorvel_runs_i386() {
    local dir status=0
    dir=$(mktemp -d)
    # ELF header: 32-bit, little-endian, executable, i386, entry 0x08048054, one program
    # header at offset 52.
    printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' >"$dir/probe"
    printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >>"$dir/probe"
    printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000' >>"$dir/probe"
    # Program header: the whole 96-byte file loaded read+execute at 0x08048000.
    printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010' >>"$dir/probe"
    printf '\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000' >>"$dir/probe"
    # mov eax, 1; mov ebx, 42; int 0x80
    printf '\270\001\000\000\000\273\052\000\000\000\315\200' >>"$dir/probe"
    chmod +x "$dir/probe"
    "$dir/probe" >/dev/null 2>&1 || status=$?
    rm -rf "$dir"
    [ "$status" -eq 42 ]
}

# The probe's answer, x86 or x64. A "no" while 32-bit Wine's own loader, a 32-bit ELF
# program, runs here is a wrong answer: it would silently test the 64-bit twin instead of
# the product, so it fails instead. A machine that really runs no 32-bit code cannot start
# that loader (if it has one at all) and gets x64.
quorvel_probe_width() {
    local loader=/usr/lib/wine/wine
    if quorvel_runs_i386; then
        QUORVEL_WIDTH=x86
    elif [ "$(od -An -tx1 -j4 -N1 "$loader" 2>/dev/null | tr -d ' ')" = 01 ] &&
         "$loader" --version >/dev/null 2>&1; then
        echo "scripts/width.sh: the probe found no 32-bit support, yet 32-bit Wine runs here;" \
             "the probe is wrong (QUORVEL_WIDTH=x64 tests the 64-bit twin on purpose)" >&2
        return 1
    else
        QUORVEL_WIDTH=x64
    fi
}

case "${QUORVEL_WIDTH:-}" in
    x86|x64) ;;
    "") quorvel_probe_width || return 2 ;;
    *) echo "QUORVEL_WIDTH must be x86 or x64, not '$QUORVEL_WIDTH'" >&2; return 2 ;;
esac
export QUORVEL_WIDTH

# Configures the build folder $BUILD_DIR with the default preset for QUORVEL_WIDTH; a folder
# configured for the other width, or before the width was recorded, is configured afresh
# (its programs are rebuilt).
quorvel_configure() {
    local configured fresh=()
    configured=$(sed -n 's/^QUORVEL_ARCH:INTERNAL=//p' "$BUILD_DIR/CMakeCache.txt" 2>/dev/null || true)
    # A cache without the width (a folder configured by an older version) counts as the
    # other width.
    [ ! -f "$BUILD_DIR/CMakeCache.txt" ] || [ "$configured" = "$QUORVEL_WIDTH" ] || fresh=(--fresh)
    cmake --preset default "${fresh[@]}" >/dev/null
}
