# Sourced by the scripts that run Windows programs, after the build folder is configured: a
# private Wine prefix per width in the build folder, a virtual screen with a compositor (so
# layered windows are really blended), and a persistent Wine server for the duration of
# the run.
#   BUILD_DIR must be set; WINE_DISPLAY_SIZE may be (default 1024x768x24).
# Sets QUORVEL_WIDTH to the width of the build folder's programs, and WINE to the loader
# that runs them: x86, the 32-bit loader in a 32-bit prefix build/wine-x86; x64, the 64-bit
# loader in a 64-bit prefix build/wine-x64.

QUORVEL_WIDTH=$(sed -n 's/^QUORVEL_ARCH:INTERNAL=//p' "$BUILD_DIR/CMakeCache.txt" 2>/dev/null || true)
if [ -z "$QUORVEL_WIDTH" ]; then
    source "$(dirname "${BASH_SOURCE[0]}")/width.sh"
fi
export QUORVEL_WIDTH
if [ "$QUORVEL_WIDTH" = x86 ]; then
    WINE=/usr/lib/wine/wine
    export WINEARCH=win32
else
    WINE=/usr/lib/wine/wine64
    export WINEARCH=win64
fi
export WINEPREFIX="$BUILD_DIR/wine-$QUORVEL_WIDTH"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINELOADER=$WINE
WINESERVER=/usr/lib/wine/wineserver

quorvel_bg_pids=()
quorvel_claimed=

# One run at a time per build folder. Runs in the same folder share its Wine prefix and so
# its Wine server, and a run that ends stops that server, which ends every Windows program
# of the other run on the spot (a test then "fails" in no time without any output). The
# claim is a directory holding the owner's process id; an owner that is gone is replaced.
claim_build_dir() {
    [ -n "$quorvel_claimed" ] && return
    local lock="$BUILD_DIR/.run-lock" waited=
    mkdir -p "$BUILD_DIR"
    until mkdir "$lock" 2>/dev/null; do
        local owner
        owner=$(cat "$lock/pid" 2>/dev/null || true)
        if [ -n "$owner" ] && ! kill -0 "$owner" 2>/dev/null; then
            rm -rf "$lock"
            continue
        fi
        if [ -z "$waited" ]; then
            echo "another run (process ${owner:-?}) uses $BUILD_DIR; waiting for it to end"
            waited=1
        fi
        sleep 2
    done
    echo $$ >"$lock/pid"
    quorvel_claimed=$lock
}

release_build_dir() {
    [ -n "$quorvel_claimed" ] && rm -rf "$quorvel_claimed"
    quorvel_claimed=
}

start_display() {
    # Xvfb picks a free display itself and writes its number to the pipe.
    local fifo
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 "${WINE_DISPLAY_SIZE:-1024x768x24}" +extension Composite \
        -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    quorvel_bg_pids+=($!)
    local n
    read -r n <"$fifo"
    rm -f "$fifo"
    export DISPLAY=":$n"
    xcompmgr >/dev/null 2>&1 &
    quorvel_bg_pids+=($!)
}

init_prefix() {
    claim_build_dir
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine: creating the $QUORVEL_WIDTH prefix in $WINEPREFIX (once per build folder)"
        "$WINE" wineboot -i >/dev/null 2>&1 || true
        "$WINESERVER" -w
    fi
    if [ ! -f "$WINEPREFIX/.quorvel-settings-1" ]; then
        # No window manager runs on the virtual screen: keep Wine from waiting for one
        # (it would wait two seconds each time a captioned window goes away).
        "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
        # The gate tests run as programs that see Windows NT 4.0.
        for exe in test_gate.exe; do
            "$WINE" reg add "HKCU\\Software\\Wine\\AppDefaults\\$exe" /v Version /d nt40 /f \
                >/dev/null 2>&1
        done
        "$WINESERVER" -w
        touch "$WINEPREFIX/.quorvel-settings-1"
    fi
    "$WINESERVER" -p >/dev/null 2>&1 || true    # one may still run for this prefix
    # Start the prefix's own services now, with their output closed, so that no test
    # program starts them and leaves them holding its output open.
    "$WINE" wineboot >/dev/null 2>&1 || true
}

# The one line that says what the tests ran: "tested: DLL (WHAT) under WHICH Wine".
describe_tested_dll() {
    if [ "$QUORVEL_WIDTH" = x86 ]; then
        echo "tested: build/x86/gen_quorvel.dll (32-bit, the product) under 32-bit Wine"
    else
        echo "tested: build/x64/gen_quorvel.dll (64-bit twin of the product) under 64-bit Wine"
    fi
}

stop_wine_env() {
    if [ -n "$quorvel_claimed" ]; then "$WINESERVER" -k >/dev/null 2>&1 || true; fi
    for pid in "${quorvel_bg_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    release_build_dir
}
