// Fade engine: the three fade timers, their ticks and the triggers that start them.
//
// Which timers run on the timer window is the whole state of an animation. In linked mode
// the timers live on the host's main window and the alpha is the global cur_opaque, shown
// on every managed window at once; in per-window mode they live on the window itself and
// the alpha is its record's current. The mode is read afresh at every event and tick.
//
// A fade moves by time, not by tick: each tick of the 10 ms timer takes as many steps as
// whole periods have passed since the fade's last step (at least one), so that a timer the
// system delivers on a coarser clock, a thread that was busy, or a broadcast to many windows
// does not stretch the fade. The time of the last step is kept beside the shown alpha.
#include "fade.h"

#include <string.h>

#include "../host/host.h"
#include "../settings/settings.h"
#include "../window/window.h"
#include "fade_math.h"

static_assert(FADE_TICK_MS == FADE_PERIOD_MS, "the fade timer ticks once per step period");

namespace {

void startTimer(HWND window, UINT_PTR id, UINT periodMs) {
    SetTimer(window, id, periodMs, fadeTimerProc);
}

// Timers can only be set on and killed from the thread that owns the window. A linked
// trigger seen on a window of another thread cannot reach the main window's timers, so it
// is dropped rather than left to fail.
HWND linkedTimerWindow() {
    HWND main = hostWindows.hwndMain;
    if (!main || GetWindowThreadProcessId(main, nullptr) != GetCurrentThreadId()) return nullptr;
    return main;
}

// The shown alpha, the resting alpha and the clock of its last step that a tick works on,
// and in per-window mode the window's record that holds them.
struct FadeState {
    float* shown;
    float resting;
    DWORD* clock;
    WindowOpacityRecord* record;
};

// Linked mode: the global state. Per-window mode: the window's record; false if it has none.
bool fadeStateOf(HWND window, FadeState* state) {
    if (cfg_link) {
        *state = FadeState{&cur_opaque, cfg_opaque, &cur_fade_clock, nullptr};
        return true;
    }
    WindowOpacityRecord* record = getRecord(window);
    if (!record) return false;
    *state = FadeState{&record->current, record->opaque, &record->fadeClock, record};
    return true;
}

// Shows what a tick changed, and only if the alpha the windows get changes: a slow fade
// takes several ticks per whole unit, and the ones between cost no system call at all.
void showStep(HWND window, const FadeState& state, const FadeTick& tick, float before) {
    if (!state.record) {
        float shown = linkedShownAlpha(cur_opaque);
        if (shown != linkedShownAlpha(before)) applyLinkedOpacity(shown);
    } else if (decidedAlpha(state.record) != static_cast<BYTE>(tick.unstored)) {
        decideWindowAlpha(state.record, tick.unstored);
        showDecidedAlpha(window, state.record);
    }
}

void fadeTick(HWND window, UINT_PTR id) {
    FadeState state;
    if (!fadeStateOf(window, &state)) {
        KillTimer(window, id);          // the window was detached while it faded
        return;
    }
    bool in = id == TIMER_FADE_IN;
    unsigned fadeMs = in ? cfg_fadein : cfg_fadeout;
    unsigned steps = fadeStepsDue(GetTickCount(), state.clock, fadeMs);
    float before = *state.shown;
    FadeTick tick = fadeSteps(in, before, state.resting, fadeMs, steps);
    if (tick.changed) {
        *state.shown = tick.stored;
        showStep(window, state, tick, before);
    }
    if (tick.finished) KillTimer(window, id);
}

// The window under the cursor, taken up to its root owner.
HWND hoveredWindow() {
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    HWND under;
    {
        OutsideLock outside;    // hit-testing asks windows of this thread (WM_NCHITTEST)
        under = WindowFromPoint(cursor);
    }
    return under ? GetAncestor(under, GA_ROOTOWNER) : nullptr;
}

// True for a window that keeps the linked group opaque when the hold expires: one of the
// host's windows, an embedded "Winamp Gen" window or one of its popup menus.
bool keepsLinkedHold(HWND candidate) {
    if (!candidate) return false;
    const HostWindowSet& h = hostWindows;
    if (candidate == h.hwndMain || candidate == h.hwndEqualizer || candidate == h.hwndPlaylist ||
        candidate == h.hwndMinibrowser || candidate == h.hwndVideo)
        return true;
    char className[CLASS_NAME_SIZE] = "";
    if (!GetClassNameA(candidate, className, CLASS_NAME_SIZE)) return false;
    return isWinampGenClass(className) ||
           memcmp(className, POPUP_MENU_CLASS, sizeof POPUP_MENU_CLASS) == 0;
}

void holdExpired(HWND window) {
    HWND hovered = hoveredWindow();
    if (cfg_link) {
        HWND candidate;
        switch (cfg_auto) {
        case AUTO_HOVER: candidate = hovered; break;
        case AUTO_FOCUS: {
            HWND front = GetForegroundWindow();
            candidate = front ? GetAncestor(front, GA_ROOTOWNER) : nullptr;
            break;
        }
        default: return;
        }
        if (!keepsLinkedHold(candidate)) startFadeOut(window);
        return;
    }
    WindowOpacityRecord* record = getRecord(window);
    if (!record) {
        KillTimer(window, TIMER_HOLD);  // the window was detached while it held
        return;
    }
    switch (record->auto_mode) {
    case AUTO_HOVER:
        if (hovered != window) startFadeOut(window);
        break;
    case AUTO_FOCUS: startFadeOut(window); break;
    default: break;
    }
}

// The window whose timers a trigger on window drives and the auto mode that decides it;
// null when the window is not attached (or, linked, the main window is out of reach).
HWND triggerTarget(HWND window, BYTE* autoMode) {
    WindowOpacityRecord* record = getRecord(window);
    if (!record) return nullptr;
    if (cfg_link) {
        *autoMode = cfg_auto;
        return linkedTimerWindow();
    }
    *autoMode = record->auto_mode;
    return window;
}

}  // namespace

void CALLBACK fadeTimerProc(HWND window, UINT, UINT_PTR timerId, DWORD) {
    InFlightCall call;
    if (isShuttingDown() || hasQuit()) {
        KillTimer(window, timerId);     // a timer another thread could not stop stops itself
        return;
    }
    FilterLockGuard lock;
    if (!lock) return;
    switch (timerId) {
    case TIMER_FADE_IN:
    case TIMER_FADE_OUT: fadeTick(window, timerId); break;
    case TIMER_HOLD: holdExpired(window); break;
    default: break;
    }
}

void killFadeTimers(HWND window) {
    if (!window) return;
    KillTimer(window, TIMER_FADE_IN);
    KillTimer(window, TIMER_HOLD);
    KillTimer(window, TIMER_FADE_OUT);
}

void startFadeTimer(HWND window, UINT_PTR id) {
    // A fade started or restarted counts its time from now.
    DWORD now = GetTickCount();
    if (cfg_link) cur_fade_clock = now;
    if (WindowOpacityRecord* record = getRecord(window)) record->fadeClock = now;
    startTimer(window, id, FADE_TICK_MS);
}

void startFadeOut(HWND window) {
    KillTimer(window, TIMER_HOLD);
    KillTimer(window, TIMER_FADE_IN);
    startFadeTimer(window, TIMER_FADE_OUT);
}

void onFadeSetFocus(HWND window, WPARAM, LPARAM) {
    BYTE mode = AUTO_NONE;
    HWND target = triggerTarget(window, &mode);
    if (!target || mode != AUTO_FOCUS) return;
    KillTimer(target, TIMER_FADE_OUT);
    startFadeTimer(target, TIMER_FADE_IN);
}

void onFadeKillFocus(HWND window, WPARAM, LPARAM) {
    BYTE mode = AUTO_NONE;
    HWND target = triggerTarget(window, &mode);
    if (!target || mode != AUTO_FOCUS) return;
    KillTimer(target, TIMER_FADE_IN);
    startTimer(target, TIMER_HOLD, cfg_hold);
}

void onFadeHover(HWND window, WPARAM, LPARAM) {
    BYTE mode = AUTO_NONE;
    HWND target = triggerTarget(window, &mode);
    if (!target || mode != AUTO_HOVER) return;
    KillTimer(target, TIMER_FADE_OUT);
    startFadeTimer(target, TIMER_FADE_IN);
    startTimer(target, TIMER_HOLD, cfg_hold);
}
