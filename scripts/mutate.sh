#!/usr/bin/env bash
# Seeded-fault run: puts one small fault at a time into a scratch copy of the sources,
# rebuilds, runs the tests that should catch it and reports which did. A fault that no
# test catches shows behaviour the suite does not check.
#
#   scripts/mutate.sh            every fault
#   scripts/mutate.sh 3 7 12     only these (numbers as listed by -l)
#   scripts/mutate.sh -l         list the faults and check that each still applies
#   -q                           for a fault the named tests miss, skip the whole suite
#
# The faults are listed at the end of this file. Each names the tests that should catch it
# and one or more edits: a file, the exact text to replace (it must occur once) and the
# replacement. A fault that survives its named tests is tried against the whole suite.
# "width 32" marks a fault that only exists on the 32-bit build; "expect survives" one that
# no test can catch here (the reason is given with it).
#
# The scratch copy lives in $QUORVEL_MUTATE_DIR (default /tmp/quorvel-mutate) with its own
# build folder, Wine prefix (crash dialog off, so a crash ends the program instead of
# waiting for a click) and virtual screen. The first run builds everything there; later
# runs rebuild only what a fault touches. Not part of CI: all faults take tens of minutes.
#
# Last full run, on the 32-bit build (2026-12-08, 66 faults, about 30 minutes once built):
# 65 of 65 caught, and the gate's service-pack fault survived, as expected. Four faults that
# the build caught in that run (an unused name) were rewritten and run again: the tests
# catch all four. On 2026-12-09 (64-bit twin) the seven faults rewritten for the layered
# alpha's own file and the stamped decisions, and six new ones (faults 67 to 72), ran: 13 of
# 13 caught.
set -euo pipefail
SCRATCH=${QUORVEL_MUTATE_DIR:-${TMPDIR:-/tmp}/quorvel-mutate}
# Runs from a copy of itself: bash reads a script as it goes, so editing this file during a
# run would otherwise change the run (and its list of faults) under it.
if [ -z "${QUORVEL_MUTATE_ROOT:-}" ]; then
    mkdir -p "$SCRATCH"
    copy=$(mktemp "$SCRATCH/mutate-run.XXXXXX")
    cp "$0" "$copy"
    QUORVEL_MUTATE_ROOT=$(cd "$(dirname "$0")/.." && pwd) QUORVEL_MUTATE_COPY=$copy \
        exec bash "$copy" "$@"
fi
[ -n "${QUORVEL_MUTATE_COPY:-}" ] && trap 'rm -f "$QUORVEL_MUTATE_COPY"' EXIT
ROOT=$QUORVEL_MUTATE_ROOT
cd "$ROOT"
SRC=$SCRATCH/src
TEST_TIMEOUT=${QUORVEL_MUTATE_TIMEOUT:-240}

quick=0
list=0
selected=()
for arg in "$@"; do
    case $arg in
    -q) quick=1 ;;
    -l) list=1 ;;
    -h|--help) sed -n '2,23p' "$0"; exit 0 ;;
    *[!0-9]*) echo "mutate.sh: unknown argument $arg" >&2; exit 2 ;;
    *) selected+=("$arg") ;;
    esac
done

# The fault list and the edits, read by a small Python helper:
#   faults count | faults show N | faults field N tests|width|expect|title | faults apply N DIR
#   faults check DIR (every fault's texts occur exactly once in DIR)
faults() { python3 - "$0" "$@" <<'PY'
import sys
script, cmd, *args = sys.argv[1:]
text = open(script).read().split("\n: <<'FAULTS'\n", 1)[1].rsplit("\nFAULTS\n", 1)[0]
faults = []
for block in text.split("\n@ ")[1:]:
    lines = block.split("\n")
    f = {"title": lines[0].strip(), "tests": "", "width": "", "expect": "", "edits": []}
    edit = None
    for line in lines[1:]:
        if line.startswith("tests "): f["tests"] = line[6:].strip()
        elif line.startswith("width "): f["width"] = line[6:].strip()
        elif line.startswith("expect "): f["expect"] = line[7:].strip()
        elif line.startswith("file "):
            edit = {"file": line[5:].strip(), "old": [], "new": []}
            f["edits"].append(edit)
        elif line.startswith("-"): edit["old"].append(line[1:])
        elif line.startswith("+"): edit["new"].append(line[1:])
    faults.append(f)

def apply(n, root, write):
    problems = []
    for e in faults[n - 1]["edits"]:
        path = root + "/" + e["file"]
        src = open(path).read()
        old, new = "\n".join(e["old"]), "\n".join(e["new"])
        if src.count(old) != 1:
            problems.append("%s: text occurs %d times" % (e["file"], src.count(old)))
        elif write:
            open(path, "w").write(src.replace(old, new))
    return problems

if cmd == "count": print(len(faults))
elif cmd == "field": print(faults[int(args[0]) - 1][args[1]])
elif cmd == "files": print(" ".join(sorted({e["file"] for e in faults[int(args[0]) - 1]["edits"]})))
elif cmd == "apply":
    problems = apply(int(args[0]), args[1], True)
    for p in problems: print(p, file=sys.stderr)
    sys.exit(1 if problems else 0)
elif cmd == "check":
    bad = 0
    for n, f in enumerate(faults, 1):
        problems = apply(n, args[0], False)
        tags = "".join(" [%s]" % t for t in (f["width"] and "width " + f["width"], f["expect"] and "expected to survive") if t)
        print("%3d  %s%s\n       tests: %s%s" % (n, f["title"], tags, f["tests"],
              "".join("\n       STALE: " + p for p in problems)))
        bad += bool(problems)
    sys.exit(1 if bad else 0)
PY
}

if [ "$list" = 1 ]; then
    faults check "$ROOT"
    exit $?
fi

count=$(faults count)
if [ ${#selected[@]} = 0 ]; then selected=($(seq 1 "$count")); fi
for n in "${selected[@]}"; do
    if [ "$n" -lt 1 ] || [ "$n" -gt "$count" ]; then echo "mutate.sh: no fault $n (1..$count)" >&2; exit 2; fi
done

# ---- The scratch copy --------------------------------------------------------------------

# Takes a snapshot of the working tree (tracked and new files, uncommitted edits included)
# and brings the scratch sources to it, keeping their build folder. A file that differs is
# copied with a fresh time stamp: with its old one the build could take the objects of a
# fault left in by an interrupted run for up to date.
PRISTINE=$SCRATCH/pristine
sync_sources() {
    rm -rf "$PRISTINE"
    mkdir -p "$PRISTINE" "$SRC"
    git ls-files -co --exclude-standard -z | tar -C "$ROOT" --null -T - -cf - | tar -C "$PRISTINE" -xf -
    (cd "$PRISTINE" && find . -type f) | while read -r f; do
        if ! cmp -s "$PRISTINE/$f" "$SRC/$f"; then
            mkdir -p "$(dirname "$SRC/$f")"
            cp "$PRISTINE/$f" "$SRC/$f"
            touch "$SRC/$f"
        fi
    done
}

# While a fault is in the scratch sources this file exists; a run that finds it (the last
# one was interrupted) cannot trust the build and rebuilds every source.
FAULT_IN=$SCRATCH/fault-in-sources
trust_build() {
    if [ -e "$FAULT_IN" ]; then
        echo "mutate: the last run was interrupted with a fault in; rebuilding everything"
        (cd "$PRISTINE" && find . -type f) | while read -r f; do touch "$SRC/$f"; done
        rm -f "$FAULT_IN"
    fi
}

# Puts a file back as it was in the snapshot, with a fresh time stamp so that the build
# sees it change again.
restore() {
    for f in "$@"; do
        cp "$PRISTINE/$f" "$SRC/$f"
        touch "$SRC/$f"
    done
}

sync_sources
trust_build
cd "$SRC"
BUILD_DIR=$SRC/build
# The width the tests run at, as scripts/test.sh decides it (QUORVEL_WIDTH overrides).
source scripts/width.sh
scripts/setup.sh
LOG=$SCRATCH/log
mkdir -p "$LOG"
echo "mutate: scratch copy in $SRC, logs in $LOG"
quorvel_configure >"$LOG/configure.txt" 2>&1 || { cat "$LOG/configure.txt"; exit 1; }
if ! cmake --build --preset default >"$LOG/build-baseline.txt" 2>&1; then
    tail -30 "$LOG/build-baseline.txt"
    echo "mutate: the unchanged sources do not build" >&2
    exit 1
fi

source scripts/wine-env.sh
trap 'stop_wine_env; rm -f "${QUORVEL_MUTATE_COPY:-}"' EXIT
start_display
init_prefix
wine_cmd=${WINE:-wine}
# A crash must end the program at once: no crash dialog waiting for a click, and the
# debugger (if any) runs without asking.
"$wine_cmd" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
"$wine_cmd" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 1 /f \
    >/dev/null 2>&1

# Which width the tests run: the machine of the DLL they load.
dll_width() {
    python3 - "$1" <<'PY'
import struct, sys
try:
    data = open(sys.argv[1], "rb").read(4096)
    pe = struct.unpack_from("<I", data, 0x3c)[0]
    machine = struct.unpack_from("<H", data, pe + 4)[0]
    print({0x14c: 32, 0x8664: 64}.get(machine, 0))
except Exception:
    print(0)
PY
}
test_dll=$(ls "$BUILD_DIR"/bin/gen_quorvel.dll 2>/dev/null | head -1)
width=$(dll_width "${test_dll:-none}")
echo "mutate: the tests run the ${width}-bit DLL ($test_dll)"

# Runs ctest with the given regular expression; prints the names of the tests that failed
# (or "none"). The full output goes to the log file given first.
failed_tests() {
    local log=$1
    shift
    ctest --preset default --timeout "$TEST_TIMEOUT" "$@" >"$log" 2>&1 || true
    local names
    names=$(sed -n 's/^[[:space:]]*[0-9]* - \([A-Za-z0-9_]*\) (.*$/\1/p' "$log" | sort -u | tr '\n' ' ')
    if [ -z "$names" ] && ! grep -q "100% tests passed" "$log"; then names="ctest "; fi
    echo "${names:-none}"
}

# What caught a fault that no program driving the DLL (test_*) saw: only the programs that
# compile the plug-in's sources in (unit_*), or the checks of the shipped files, the sources
# and the scripts (pe_layout, imports_win2000, installer, reproducible, static_analysis,
# layering, width_probe). Empty when a test_* program caught it.
catch_label() {
    local t unit=0 check=0
    for t in $1; do
        case $t in
        test_*) return ;;
        unit_*) unit=1 ;;
        ctest|"(whole"*|suite|only*) ;;
        *) check=1 ;;
        esac
    done
    if [ "$check" = 1 ]; then echo "(file and script checks)"; elif [ "$unit" = 1 ]; then echo "(unit programs only)"; fi
}

# The named tests must pass on the unchanged sources, or a "catch" would mean nothing.
named=()
for n in "${selected[@]}"; do
    for t in $(faults field "$n" tests); do named+=("$t"); done
done
regex="^($(printf '%s\n' "${named[@]}" | sort -u | paste -sd '|'))\$"
echo "mutate: baseline run of $regex"
base=$(failed_tests "$LOG/baseline.txt" -R "$regex")
if [ "$base" != none ]; then
    echo "mutate: these tests fail without any fault: $base (see $LOG/baseline.txt)" >&2
    exit 1
fi

# ---- The faults --------------------------------------------------------------------------

results=()
caught=0
survived=0
expected=0
notrun=0
for n in "${selected[@]}"; do
    title=$(faults field "$n" title)
    tests=$(faults field "$n" tests)
    fwidth=$(faults field "$n" width)
    expect=$(faults field "$n" expect)
    files=$(faults files "$n")
    started=$(date +%s)
    touch "$FAULT_IN"
    if ! faults apply "$n" "$SRC" 2>"$LOG/fault-$n-apply.txt"; then
        result="STALE (the text to replace is gone: $(tr '\n' ' ' <"$LOG/fault-$n-apply.txt"))"
        survived=$((survived + 1))
    elif ! cmake --build --preset default >"$LOG/fault-$n-build.txt" 2>&1; then
        result="caught by the build"
        caught=$((caught + 1))
    else
        regex="^($(echo "$tests" | tr ' ' '|'))\$"
        by=$(failed_tests "$LOG/fault-$n-tests.txt" -R "$regex")
        if [ "$by" = none ] && [ "$quick" = 0 ]; then
            by=$(failed_tests "$LOG/fault-$n-suite.txt")
            [ "$by" != none ] && by="$by(whole suite only)"
        fi
        if [ "$by" != none ]; then
            result="caught by $by$(catch_label "$by")"
            caught=$((caught + 1))
        elif [ -n "$fwidth" ] && [ "$fwidth" != "$width" ]; then
            result="not run (a ${fwidth}-bit fault; the tests ran the ${width}-bit DLL)"
            notrun=$((notrun + 1))
        elif [ -n "$expect" ]; then
            result="SURVIVED, as expected ($expect)"
            expected=$((expected + 1))
        else
            result="SURVIVED"
            survived=$((survived + 1))
        fi
    fi
    # shellcheck disable=SC2086
    restore $files
    rm -f "$FAULT_IN"
    line=$(printf '%3d  %-64.64s  %s (%ss)' "$n" "$title" "$result" $(( $(date +%s) - started )))
    echo "$line"
    results+=("$line")
done
cmake --build --preset default >"$LOG/build-restored.txt" 2>&1 || true

total=${#selected[@]}
{
    echo
    echo "Seeded faults on the ${width}-bit test run ($(date -u '+%Y-%m-%d %H:%M UTC')):"
    printf '%s\n' "${results[@]}"
    echo
    echo "Score: $caught of $((total - notrun - expected)) caught; $survived survived" \
         "(+ $expected expected survivors, $notrun not runnable on this width)"
} | tee "$SCRATCH/results.txt"
[ "$survived" = 0 ]
exit $?

: <<'FAULTS'

@ WM_NCHITTEST is no hover trigger
tests test_fade
file plugin/entry/filter.cpp
-    {WM_NCHITTEST, onHover},
+

@ WM_KILLFOCUS routed to the focus-gained handler
tests test_fade
file plugin/entry/filter.cpp
-    {WM_KILLFOCUS, onFadeKillFocus},
+    {WM_KILLFOCUS, onFadeSetFocus},

@ a lost focus leaves the fade-in running
tests test_fade
file plugin/fade/fade.cpp
-    KillTimer(target, TIMER_FADE_IN);
-    startTimer(target, TIMER_HOLD, cfg_hold);
+    startTimer(target, TIMER_HOLD, cfg_hold);

@ TCM_SETCURFOCUS does not show the page
tests test_prefs
file plugin/entry/filter.cpp
-    {TCM_SETCURFOCUS, onTabSelect},
+

@ fade ticks every 40 ms
tests test_fade
file plugin/fade/fade.h
-constexpr UINT FADE_TICK_MS = 10;
+constexpr UINT FADE_TICK_MS = 40;

@ Docked Toolbar: Left and Right swapped
tests test_menu
file plugin/ui/menu.cpp
-    {ID_DOCK_LEFT, "Left", DOCK_LEFT},
-    {ID_DOCK_RIGHT, "Right", DOCK_RIGHT},
+    {ID_DOCK_LEFT, "Left", DOCK_RIGHT},
+    {ID_DOCK_RIGHT, "Right", DOCK_LEFT},

@ Custom dialog OK, linked, leaves cur_opaque unchanged
tests test_custom
file plugin/ui/custom.cpp
-        cur_opaque = cfg_opaque;
-        saveOpaque();
+        saveOpaque();

@ page's opacity slider shows the stored alpha, not its own rule
tests test_prefs
file plugin/ui/prefs.cpp
-    cur_opaque = alpha.shown;
+    cur_opaque = alpha.stored;

@ a waiting lock guard ignores that unloading has begun
tests unit_lock
file plugin/window/lock.cpp
-        if (!lockCreated || (giveUpOnShutdown && shuttingDown)) return false;
+        if (!lockCreated || (giveUpOnShutdown && false)) return false;

@ a call out of the lock keeps holding it
tests test_routing test_prefs unit_lock
file plugin/window/lock.cpp
-    for (LONG i = 0; i < depth_; ++i) LeaveCriticalSection(&filterLock);
+    depth_ = 0;

@ enumeration callback declared callee-cleans (__stdcall)
tests test_fade test_prefs
width 32
file plugin/host/host.h
-    int (__cdecl *callback)(void* hostRecord, EmbedEnumParam* param);
+    int (__stdcall *callback)(void* hostRecord, EmbedEnumParam* param);
file plugin/fade/fade.h
-int __cdecl linkedEnumProc(void* hostRecord, EmbedEnumParam* param);
+int __stdcall linkedEnumProc(void* hostRecord, EmbedEnumParam* param);
file plugin/fade/linked.cpp
-int __cdecl linkedEnumProc(void* hostRecord, EmbedEnumParam* param) {
+int __stdcall linkedEnumProc(void* hostRecord, EmbedEnumParam* param) {

@ DllMain declared without WINAPI (the runtime's own entry runs)
tests pe_layout test_shell test_routing
width 32
file plugin/entry/entry.h
-BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
+BOOL DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
file plugin/entry/hooks.cpp
-BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
+BOOL DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {

@ bound SetLayeredWindowAttributes pointer without WINAPI
tests test_record test_fade
width 32
file plugin/window/alpha.cpp
-using SetLayeredFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
+using SetLayeredFn = BOOL(*)(HWND, COLORREF, BYTE, DWORD);

@ the system gate without its service-pack condition
tests test_gate
expect Wine cannot report version 5.0 without a service pack
file plugin/entry/export.cpp
-    return VerifyVersionInfoA(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR,
+    return VerifyVersionInfoA(&version, VER_MAJORVERSION | VER_MINORVERSION,

@ "Winamp Gen" matched as a prefix of the class name
tests test_routing
file plugin/window/record.cpp
-    return memcmp(className, WINAMP_GEN_CLASS, sizeof WINAMP_GEN_CLASS) == 0;
+    return memcmp(className, WINAMP_GEN_CLASS, sizeof WINAMP_GEN_CLASS - 1) == 0;

@ owned host windows managed too (no root-owner test)
tests test_routing
file plugin/entry/filter.cpp
-    return isHostWindow(window) && GetAncestor(window, GA_ROOTOWNER) == window;
+    return isHostWindow(window);

@ a thread message (no window) can match a null host slot
tests test_routing test_shell
file plugin/entry/filter.cpp
-    if (!window) return false;
-    const HostWindowSet& h = hostWindows;
+    const HostWindowSet& h = hostWindows;

@ an extended-style change that adds WS_CHILD detaches
tests test_record
file plugin/entry/filter.cpp
-    if (!getRecord(window) || (static_cast<DWORD>(wParam) & ~0xFu) != 0xFFFFFFF0u) return;
+    if (!getRecord(window) || (static_cast<DWORD>(wParam) & ~0xFu) == 0) return;

@ showing a window detaches it as hiding does
tests test_record
file plugin/entry/filter.cpp
-    if (wParam == 1) return;                    // being shown: nothing to let go
+    if (wParam == 2) return;

@ alpha 255 makes a window layered
tests test_record
file plugin/window/alpha.cpp
-    if (a != 255 && !(exStyle & WS_EX_LAYERED)) {
+    if (!(exStyle & WS_EX_LAYERED)) {

@ detaching leaves the window layered
tests test_record
file plugin/window/alpha.cpp
-    setExStyle(window, GetWindowLongA(window, GWL_EXSTYLE) & ~WS_EX_LAYERED);
+

@ a new window shows its own alpha while linked
tests test_record
file plugin/window/record.cpp
-    float shown = cfg_link ? cur_opaque : record->opaque;
+    float shown = record->opaque;

@ "Winamp Gen" windows keyed by class, not title
tests test_record
file plugin/window/record.cpp
-    if (isWinampGenClass(className)) {
+    if (false) {

@ the attach writes no normalised entry
tests test_record test_hostile_ini
file plugin/window/record.cpp
-    writeWindowEntry(key, entry);       // every attach leaves the entry in normalised form
+

@ fade step of (255 - resting) instead of (256 - resting)
tests test_fade unit_fade_math
file plugin/fade/fade_math.h
-    return (256.0L - static_cast<long double>(resting)) / fadeTickCount(fadeMs);
+    return (255.0L - static_cast<long double>(resting)) / fadeTickCount(fadeMs);

@ a popup menu under the cursor does not keep the linked hold
tests test_fade
file plugin/fade/fade.cpp
-           memcmp(className, POPUP_MENU_CLASS, sizeof POPUP_MENU_CLASS) == 0;
+           false;

@ per-window focus mode: the hold never fades out
tests test_fade
file plugin/fade/fade.cpp
-    case AUTO_FOCUS: startFadeOut(window); break;
+    case AUTO_FOCUS: break;

@ hover restarts no hold
tests test_fade
file plugin/fade/fade.cpp
-    startFadeTimer(target, TIMER_FADE_IN);
-    startTimer(target, TIMER_HOLD, cfg_hold);
+    startFadeTimer(target, TIMER_FADE_IN);

@ the linked restore shows the broadcast alpha instead of each window's own
tests test_prefs
file plugin/window/alpha.cpp
-        if (broadcast.restore) {
+        if (false) {

@ owned embedded windows take the linked alpha
tests test_prefs test_custom
file plugin/fade/linked.cpp
-    if (GetAncestor(window, GA_ROOTOWNER) != window) return 0;
+

@ the link switch stops no embedded window's fade
tests test_prefs
file plugin/fade/linked.cpp
-    enumerateEmbedded(LINKED_STOP_TIMERS);
+

@ closing the host menu leaves the separator behind
tests test_menu
file plugin/ui/menu.cpp
-        bool ours = reinterpret_cast<ULONG_PTR>(item.hSubMenu) == popup ||
-                    ((item.fType & MFT_SEPARATOR) && item.dwItemData == popup);
+        bool ours = reinterpret_cast<ULONG_PTR>(item.hSubMenu) == popup;

@ an auto-opaque toggle always turns the mode on
tests test_menu
file plugin/ui/menu.cpp
-    BYTE next = current == mode ? BYTE{AUTO_NONE} : mode;
+    BYTE next = current == 255 ? BYTE{AUTO_NONE} : mode;

@ Custom opens with the fade timers still running
tests test_menu test_custom
file plugin/ui/custom.cpp
-    KillTimer(timerWindow, TIMER_FADE_OUT);
-    KillTimer(timerWindow, TIMER_HOLD);
+    KillTimer(timerWindow, TIMER_HOLD);

@ a per-window preset is not written to the INI file
tests test_menu
file plugin/ui/menu.cpp
-    decideWindowAlpha(record, static_cast<int>(alpha));
-    saveRecordEntry(window, record);
+    decideWindowAlpha(record, static_cast<int>(alpha));

@ per-window Cancel does not restore the target
tests test_custom
file plugin/ui/custom.cpp
-        record->current = record->opaque;
-        setLayeredAlpha(customTarget, 0, static_cast<int>(record->opaque), LWA_ALPHA);
+        record->current = record->opaque;

@ a page command writes the link although it did not change
tests test_prefs
file plugin/ui/prefs.cpp
-    if (cfg_auto != mode) saveAuto();     // only what changed, as for the link
+    saveLink();
+    if (cfg_auto != mode) saveAuto();

@ TCM_SETCURSEL shows the page of the item selected before it
tests test_prefs
file plugin/ui/prefs.cpp
-    if (lock) showOrHidePage(window, static_cast<int>(wParam));
+    if (lock) showOrHidePage(window, (static_cast<void>(wParam), selectedIndex(window)));

@ a peeked message is acted on as if it had been removed
tests test_routing
file plugin/entry/hooks.cpp
-    if (code >= 0 && wParam == PM_REMOVE) {
+    if (code >= 0) {

@ the Hold slider stores the fade-out time
tests test_prefs
file plugin/ui/prefs.cpp
-    case IDC_HOLD_SLIDER: onTimeMoved(label, pos, &cfg_hold, saveHold); break;
+    case IDC_HOLD_SLIDER: onTimeMoved(label, pos, &cfg_fadeout, saveFadeOut); break;

@ the page opens with the radio button of mode 0 whatever the mode
tests test_prefs
file plugin/ui/prefs.cpp
-    CheckDlgButton(page, IDC_AUTO_NONE + cfg_auto, BST_CHECKED);
+    CheckDlgButton(page, IDC_AUTO_NONE, BST_CHECKED);

@ cfg_opaque clamped as a signed number
tests test_shell unit_settings
file plugin/settings/settings.cpp
-    if (v <= static_cast<unsigned>(ALPHA_MIN)) return static_cast<float>(ALPHA_MIN);
+    if (static_cast<int>(v) <= ALPHA_MIN) return static_cast<float>(ALPHA_MIN);

@ the INI path fallback ends in the wrong extension
tests test_shell unit_settings
file plugin/settings/settings.cpp
-    formatText(extension, room, "ini");
+    formatText(extension, room, "cfg");

@ threads started after the load get no hooks
tests test_routing test_fade test_custom
file plugin/entry/hooks.cpp
-    case DLL_THREAD_ATTACH:
-        return installHookPair() ? TRUE : FALSE;
+    case DLL_THREAD_ATTACH:
+        return TRUE;

@ unloading leaves the other threads' hooks installed
tests test_unload test_lifecycle
file plugin/entry/hooks.cpp
-        UnhookWindowsHookEx(p->getMessageHandle);
-        UnhookWindowsHookEx(p->callWndProcHandle);
-    }
+    }

@ formatted text cut to fit is left without its terminator
tests unit_shell unit_settings
file plugin/settings/settings.cpp
-    buffer[size - 1] = '\0';
+    if (n >= 0 && static_cast<size_t>(n) < size) buffer[n] = '\0';

@ a detached docked window keeps its edge with the shell
tests test_dock
file plugin/dock/dock.cpp
-    if (!r.side && !r.moveBack) return;
+    if (r.window) return;

@ quit leaves every docked window's edge with the shell
tests test_dock
file plugin/entry/export.cpp
-    undockAll();                    // the shell gets every edge back: the work area is whole
+

@ Not docked leaves the window at its edge instead of where it came from
tests test_dock
file plugin/dock/dock.cpp
-        u->restore = st->hasUndocked || st->slid;
+        u->restore = st->slid != 0;

@ an auto-hidden window leaves a strip of 8 pixels
tests test_dock
file plugin/dock/motion.cpp
-constexpr int STRIP = 3; 
+constexpr int STRIP = 8; 

@ a docked window dragged away never undocks
tests test_dock
file plugin/dock/motion.cpp
-        if (!side || (nearest != side && abs(away) > UNDOCK_DISTANCE)) next = nearest;
+        if (!side || (nearest != side && abs(away) > UNDOCK_DISTANCE && false)) next = nearest;

@ per-window Custom starts at a faded-in window's shown alpha
tests test_custom
file plugin/ui/custom.cpp
-        alpha = record ? record->opaque : 255.0f;
+        alpha = record ? record->current : 255.0f;

@ linked menu check follows the alpha a fade shows
tests test_menu
file plugin/ui/menu.cpp
-    float resting = cfg_link ? cfg_opaque : record->opaque;
+    float resting = cfg_link ? cur_opaque : record->opaque;

@ the page's Hover radio button stores no mode
tests test_prefs
file plugin/ui/prefs.cpp
-    case IDC_AUTO_HOVER: cfg_auto = AUTO_HOVER; break;
+    case IDC_AUTO_HOVER: break;

@ linked focus hold: the front window not taken to its root owner
tests test_fade
file plugin/fade/fade.cpp
-            candidate = front ? GetAncestor(front, GA_ROOTOWNER) : nullptr;
+            candidate = front;

@ unloading leaves the fade timers of child windows running
tests test_unload
file plugin/entry/hooks.cpp
-    EnumChildWindows(window, visitWithChildren, visit);
+    if (false) EnumChildWindows(window, visitWithChildren, visit);

@ installer takes the player's record without winamp.exe there
tests installer
file installer/quorvel.nsi
-  ReadRegStr $R1 HKCU "${PLAYER_KEY}" ""
-  ${If} $R1 != ""
-  ${AndIf} ${FileExists} "$R1\${PLAYER_EXE}"
+  ReadRegStr $R1 HKCU "${PLAYER_KEY}" ""
+  ${If} $R1 != ""

@ installer: a folder's key depends on the case of its path
tests installer
file installer/quorvel.nsi
-  System::Call 'user32::CharUpperBuffW(w R1 R1, i R2)'
+

@ the import check accepts a function that needs XP
tests imports_win2000
file tests/check_imports.sh
-            NT3.1|NT3.5|NT4|2000) ;;
+            NT3.1|NT3.5|NT4|2000|XP) ;;

@ the width probe takes its i386 program's exit 42 for a failure
tests width_probe
width 32
file scripts/width.sh
-    [ "$status" -eq 42 ]
+    [ "$status" -eq 0 ]

@ threads that ran before the load get no hooks
tests test_routing test_unload
file plugin/entry/hooks.cpp
-        hookRunningThreads();
+        if ((false)) hookRunningThreads();

@ a second copy of the plug-in acts as well
tests test_unload
file plugin/entry/hooks.cpp
-    if (reason == DLL_PROCESS_ATTACH) inertCopy = !claimProcess();
+    if (reason == DLL_PROCESS_ATTACH) inertCopy = !claimProcess() && false;

@ quit leaves the windows translucent
tests test_unload
file plugin/entry/export.cpp
-    forEachProcessWindow(restoreAtQuit);
+    if ((false)) forEachProcessWindow(restoreAtQuit);

@ a thread that ends keeps its page's or dialog's reference on the library
tests test_unload
file plugin/entry/hooks.cpp
-        unpinThread(GetCurrentThreadId());
+

@ pinning waits for the loader that an unloading thread holds
tests test_unload
file plugin/window/module.cpp
-    while (!TryEnterCriticalSection(loader)) {
+    EnterCriticalSection(loader);
+    while (false) {

@ a window someone else layered is taken over
tests test_record test_unload
file plugin/window/alpha.cpp
-    return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_LAYERED) && !layeredByUs(window);
+    return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_LAYERED) && !layeredByUs(window) && false;

@ a value shown outside the lock is not checked against a newer decision
tests test_together
file plugin/window/alpha.cpp
-        if (showGeneration == stamp) return result;
+        if (showGeneration == stamp || true) return result;

@ an attach that waited for the title ignores a detach meanwhile
tests test_record
file plugin/window/record.cpp
-    bool detached = !RemovePropA(window, ATTACHING_MARK);
+    bool detached = !RemovePropA(window, ATTACHING_MARK) && false;

@ a long Unicode title's hash covers only what a key can hold
tests test_record
file plugin/window/record.cpp
-        if (longTitle.size > shortTitle.size) {
+        if (false && longTitle.size > shortTitle.size) {

@ a fade takes one step per tick, however late the tick
tests test_fade
file plugin/fade/fade.cpp
-    unsigned steps = fadeStepsDue(GetTickCount(), state.clock, fadeMs);
+    unsigned steps = fadeStepsDue(GetTickCount(), state.clock, fadeMs) ? 1 : 1;

@ a linked tick that changes nothing shown asks the host all the same
tests test_fade
file plugin/fade/fade.cpp
-        if (shown != linkedShownAlpha(before)) applyLinkedOpacity(shown);
+        applyLinkedOpacity(shown + 0 * before);

@ a thread that ends keeps its windows' records
tests test_dock
file plugin/entry/hooks.cpp
-        EnumThreadWindows(GetCurrentThreadId(), releaseRecordAtThreadEnd, 0);
+        if (false) EnumThreadWindows(GetCurrentThreadId(), releaseRecordAtThreadEnd, 0);

FAULTS
