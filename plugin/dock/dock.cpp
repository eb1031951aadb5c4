// Docking a window to an edge: the commands, the life cycle of the window's block, and
// bringing what the window holds with the shell and where it stands in line with its record.
//
// The filter's cases decide under the lock and post the window its appbar message; the
// window's thread then updates it in four steps: decide (lock), talk to the shell (no
// lock), commit what the shell granted (lock), move the window (no lock). The shell runs in
// another process and may notify other bars (our other windows among them) while it
// answers, and a move runs the window's own procedure, which may send anywhere: neither
// happens while the lock is held. The window's own thread does it, as only that thread can
// set the window's timers and move it without waiting for anyone.
#include "dock.h"

#include <shellapi.h>

#include "../host/host.h"
#include "../settings/settings.h"
#include "../window/window.h"
#include "state.h"

LONG autoHideCount;

namespace {

// The callback message the shell's notices come with, and that the plug-in posts a window
// to have it updated: registered under this name, so no message of the host has its number.
constexpr char APPBAR_MESSAGE_NAME[] = "QuorvelAppBar";
constexpr WPARAM DOCK_UPDATE = 0x5100;      // wParam of our own requests: no notice has it

UINT appBarMessage;     // 0 until first needed

UINT dockMessage() {
    if (!appBarMessage) appBarMessage = RegisterWindowMessageA(APPBAR_MESSAGE_NAME);
    return appBarMessage;
}

// What a shell that has started again sends every top-level window: it knows no bar now.
constexpr char SHELL_STARTED_NAME[] = "TaskbarCreated";
UINT shellStartedMessage;   // registered at the first attach, before anything docks

// How long after a display change a move of a docked window is taken for the system's.
constexpr DWORD SCREEN_CHANGE_MS = 2000;

struct SideCommand {
    MenuCommand command;
    BYTE side;
};
const SideCommand SIDE_COMMANDS[] = {
    {ID_DOCK_LEFT, DOCK_LEFT},
    {ID_DOCK_RIGHT, DOCK_RIGHT},
    {ID_DOCK_TOP, DOCK_TOP},
    {ID_DOCK_BOTTOM, DOCK_BOTTOM},
    {ID_NOT_DOCKED, DOCK_NONE},
};

bool isVertical(BYTE side) { return side == DOCK_LEFT || side == DOCK_RIGHT; }

UINT edgeOf(BYTE side) {
    switch (side) {
    case DOCK_LEFT: return ABE_LEFT;
    case DOCK_RIGHT: return ABE_RIGHT;
    case DOCK_TOP: return ABE_TOP;
    default: return ABE_BOTTOM;
    }
}

UINT_PTR askShell(DWORD message, HWND window, BYTE side, LPARAM lParam = 0, RECT* rect = nullptr) {
    APPBARDATA data = {};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uCallbackMessage = dockMessage();
    data.uEdge = edgeOf(side);
    data.lParam = lParam;
    if (rect) data.rc = *rect;
    UINT_PTR result = SHAppBarMessage(message, &data);
    if (rect) *rect = data.rc;
    return result;
}

// ---- Giving a registration back -------------------------------------------------------------

// What a window gives back when its block goes: its registration, and its place in view
// when it was slid out.
struct Release {
    HWND window;
    BYTE side;
    bool autoHide;
    bool moveBack;
    POINT to;
};

void release(const Release& r) {
    if (r.side) {
        if (r.autoHide) askShell(ABM_SETAUTOHIDEBAR, r.window, r.side, FALSE);
        askShell(ABM_REMOVE, r.window, r.side);
    }
    // Asynchronous for a window of another thread: nobody waits for it.
    if (r.moveBack)
        SetWindowPos(r.window, nullptr, r.to.x, r.to.y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
}

// Takes the block out of its window and frees it (lock held, or nothing else running).
Release takeDockState(HWND window, DockState* state, bool destroying) {
    RemovePropA(window, DOCK_PROPERTY);
    Release r = {window, state->shellSide, state->shellAutoHide, state->slid != 0 && !destroying,
                 state->place};
    if (state->shellAutoHide) InterlockedDecrement(&autoHideCount);
    GlobalFree(state);
    return r;
}

// A detached window's registration goes back at once, outside the lock: the shell may send
// to windows of any thread, and moving the window back runs its procedure.
void giveBack(const Release& r) {
    if (!r.side && !r.moveBack) return;
    OutsideLock outside;
    release(r);
}

// ---- Updating a window ----------------------------------------------------------------------

struct Update {
    BYTE oldSide;           // registration given back first, when it changes
    bool oldAutoHide;
    BYTE side;              // registration wanted
    bool autoHide;
    bool reregister;
    bool refused;           // the edge has another auto-hide bar
    bool setZOrder;
    HWND insertAfter;
    RECT window;            // the window's rectangle in view
    bool restore;           // undocking: back to restoreTo
    POINT restoreTo;
    RECT granted;           // the strip held so far, then the one granted
    POINT place;
};

// Step 1, lock held: what the record asks for against what the window holds. The block
// takes the new registration at once, so that a detach meanwhile gives it back.
bool decideUpdate(HWND window, Update* u) {
    DockState* st = dockStateOf(window);
    WindowOpacityRecord* record = getRecord(window);
    if (!st || !record) return false;
    *u = Update{};
    // A minimised window keeps its side but holds no edge: its rectangle is an icon's.
    bool iconic = IsIconic(window) != FALSE;
    st->minimized = iconic;
    u->side = isDockSide(record->dock_side) && !iconic ? record->dock_side : BYTE{DOCK_NONE};
    u->autoHide = u->side && record->auto_hide;
    u->oldSide = st->shellSide;
    u->oldAutoHide = st->shellAutoHide;
    u->reregister = u->side != st->shellSide || u->autoHide != st->shellAutoHide;
    u->granted = u->reregister ? RECT{} : st->granted;

    if (record->always_on_top && !st->behindFullScreen) {
        // Topmost again whenever it is placed, whoever took it away meanwhile.
        u->setZOrder = !st->topmost || !(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
        u->insertAfter = HWND_TOPMOST;
        st->topmost = true;
    } else if (st->topmost) {
        u->setZOrder = true;
        u->insertAfter = st->behindFullScreen ? HWND_BOTTOM : HWND_NOTOPMOST;
        st->topmost = false;
    }

    if (st->slid)
        SetRect(&u->window, st->place.x, st->place.y, st->place.x + st->size.cx,
                st->place.y + st->size.cy);
    else
        GetWindowRect(window, &u->window);
    if (u->side && !st->shellSide && !st->hasUndocked) {
        st->undocked = POINT{u->window.left, u->window.top};
        st->hasUndocked = true;
    }
    if (!u->side && !iconic) {
        u->restore = st->hasUndocked || st->slid;
        u->restoreTo = st->hasUndocked ? st->undocked : st->place;
        st->hasUndocked = false;
    }
    if (!u->autoHide || u->reregister) {
        killDockTimers(window);
        st->slid = st->slideTarget = 0;
    }
    if (u->reregister) {
        if (st->shellAutoHide) InterlockedDecrement(&autoHideCount);
        if (u->autoHide) InterlockedIncrement(&autoHideCount);
        st->shellSide = u->side;
        st->shellAutoHide = u->autoHide;
    }
    return true;
}

// Fits a strip of the given thickness to the outer edge of rect.
void fitStrip(RECT* strip, BYTE side, int thickness) {
    switch (side) {
    case DOCK_LEFT: strip->right = strip->left + thickness; break;
    case DOCK_RIGHT: strip->left = strip->right - thickness; break;
    case DOCK_TOP: strip->bottom = strip->top + thickness; break;
    default: strip->top = strip->bottom - thickness; break;
    }
}

// value within low..high; low when the range is empty (a window larger than the monitor).
int clampTo(int value, int low, int high) {
    if (value > high) value = high;
    return value < low ? low : value;
}

// Step 2, no lock: the registration, then the strip the shell grants along the edge of
// the monitor, as thick as the window, and the window's place flush against it, at the
// same offset along the edge as far as the monitor allows.
void talkToShell(HWND window, Update* u) {
    if (u->reregister) {
        if (u->oldSide) release(Release{window, u->oldSide, u->oldAutoHide, false, {}});
        if (u->side) {
            askShell(ABM_NEW, window, u->side);
            if (u->autoHide && !askShell(ABM_SETAUTOHIDEBAR, window, u->side, TRUE)) {
                u->autoHide = false;
                u->refused = true;
            }
        }
    }
    if (!u->side) return;
    const RECT& w = u->window;
    int width = w.right - w.left, height = w.bottom - w.top;
    RECT monitor = monitorRectOf(w);
    RECT strip = monitor;
    fitStrip(&strip, u->side, isVertical(u->side) ? width : height);
    askShell(ABM_QUERYPOS, window, u->side, 0, &strip);
    fitStrip(&strip, u->side, isVertical(u->side) ? width : height);
    // An auto-hide bar reserves nothing; a plain one asks again only for a new strip, so
    // that bars answering each other's notices come to rest.
    if (!u->autoHide && !EqualRect(&strip, &u->granted))
        askShell(ABM_SETPOS, window, u->side, 0, &strip);
    u->granted = strip;
    u->place.x = clampTo(w.left, monitor.left, monitor.right - width);
    u->place.y = clampTo(w.top, monitor.top, monitor.bottom - height);
    switch (u->side) {
    case DOCK_LEFT: u->place.x = strip.left; break;
    case DOCK_RIGHT: u->place.x = strip.right - width; break;
    case DOCK_TOP: u->place.y = strip.top; break;
    default: u->place.y = strip.bottom - height; break;
    }
}

// Step 3, lock held: records what the shell granted; false when the window has no block
// any more (detached meanwhile), whose taker may have given back too early.
bool commitUpdate(HWND window, Update* u, bool* move, POINT* to) {
    DockState* st = dockStateOf(window);
    if (!st) return false;
    WindowOpacityRecord* record = getRecord(window);
    if (u->refused && st->shellAutoHide) {
        st->shellAutoHide = false;
        InterlockedDecrement(&autoHideCount);
        if (record) {
            record->auto_hide = 0;      // shown unchecked, and stored so
            saveRecordEntry(window, record);
            st = dockStateOf(window);   // asking the title may have detached it
            if (!st) return false;
        }
    }
    *move = false;
    if (u->side) {
        st->granted = u->granted;
        st->place = u->place;
        st->size = SIZE{u->window.right - u->window.left, u->window.bottom - u->window.top};
        if (u->autoHide && u->reregister)   // in view until the pointer is away
            SetTimer(window, TIMER_DOCK_HOLD, cfg_hold, dockTimerProc);
        *to = slidPosition(st);
        *move = true;
    } else if (u->restore) {
        *to = u->restoreTo;
        *move = true;
    }
    if (*move) st->lastPlaced = *to;
    st->placing = *move || u->setZOrder;
    return true;
}

void updateDock(HWND window) {
    Update u;
    {
        FilterLockGuard lock;
        if (!lock || !decideUpdate(window, &u)) return;
    }
    talkToShell(window, &u);
    bool move = false;
    POINT to = {};
    bool locked, kept = false;
    {
        FilterLockGuard lock;
        locked = static_cast<bool>(lock);
        if (locked) kept = commitUpdate(window, &u, &move, &to);
    }
    // Unloading: the block still says what the shell holds, and undockAll gives it back.
    if (!locked) return;
    if (!kept) {
        if (u.reregister && u.side) release(Release{window, u.side, u.autoHide, false, {}});
        return;
    }
    if (move || u.setZOrder)
        placeWindow(window, u.insertAfter, to,
                    SWP_NOSIZE | SWP_NOACTIVATE | (move ? 0 : SWP_NOMOVE) |
                        (u.setZOrder ? 0 : SWP_NOZORDER));
}

// The shell started again and forgot every bar (lock held): nothing to give back, and the
// window's registration, its strip and its place to ask for again.
void onShellStarted(HWND window) {
    DockState* st = dockStateOf(window);
    if (!st || !st->shellSide) return;
    if (st->shellAutoHide) InterlockedDecrement(&autoHideCount);
    st->shellSide = DOCK_NONE;
    st->shellAutoHide = false;
    requestDockUpdate(window);
}

// ---- Quit and unload ------------------------------------------------------------------------

constexpr int SWEEP_BATCH = 16;

struct Sweep {
    Release batch[SWEEP_BATCH];
    int count;
    bool destroying;        // the windows are going: none is moved back into view
};

BOOL CALLBACK collectDocked(HWND window, LPARAM param) {
    Sweep* sweep = reinterpret_cast<Sweep*>(param);
    if (sweep->count == SWEEP_BATCH) return FALSE;
    DWORD process = 0;
    DWORD thread = GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId()) return TRUE;
    DockState* st = dockStateOf(window);
    if (!st) return TRUE;
    if (thread == GetCurrentThreadId()) killDockTimers(window);   // others stop at their next tick
    sweep->batch[sweep->count++] = takeDockState(window, st, sweep->destroying);
    return TRUE;
}

BOOL CALLBACK findDocked(HWND window, LPARAM found) {
    if (!dockStateOf(window)) return TRUE;
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}

// Gives back, in batches, the blocks of the windows enumerate reaches, outside the lock.
void sweepDocked(void (*enumerate)(Sweep* sweep), bool destroying) {
    for (;;) {
        Sweep sweep = {};
        sweep.destroying = destroying;
        {
            FilterLockGuard lock;       // denied only while unloading, when nothing else runs
            enumerate(&sweep);
        }
        for (int i = 0; i < sweep.count; ++i) release(sweep.batch[i]);
        if (sweep.count < SWEEP_BATCH) return;
    }
}

}  // namespace

bool isDockSide(BYTE side) {
    return side == DOCK_LEFT || side == DOCK_RIGHT || side == DOCK_TOP || side == DOCK_BOTTOM;
}

DockState* dockStateOf(HWND window) {
    return static_cast<DockState*>(GetPropA(window, DOCK_PROPERTY));
}

RECT monitorRectOf(const RECT& area) {
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(MonitorFromRect(&area, MONITOR_DEFAULTTONEAREST), &info))
        SetRect(&info.rcMonitor, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                GetSystemMetrics(SM_CYSCREEN));
    return info.rcMonitor;
}

void requestDockUpdate(HWND window) {
    DockState* st = dockStateOf(window);
    if (st && !st->updateRequested)
        st->updateRequested = PostMessageA(window, dockMessage(), DOCK_UPDATE, 0) != FALSE;
}

bool isDockMessage(UINT message) {
    return message != 0 && (message == appBarMessage || message == shellStartedMessage);
}

void onDockMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == shellStartedMessage) {
        FilterLockGuard lock;
        if (lock) onShellStarted(window);
        return;
    }
    if (wParam == ABN_WINDOWARRANGE) return;
    {
        FilterLockGuard lock;
        DockState* st = lock ? dockStateOf(window) : nullptr;
        if (!st) return;
        // A topmost bar makes way for a full-screen program while it runs.
        if (wParam == ABN_FULLSCREENAPP) st->behindFullScreen = lParam != 0;
        // Our own request counts once, however often the host peeks at it.
        if (wParam == DOCK_UPDATE && !st->updateRequested) return;
        st->updateRequested = false;
        if (st->dragEnded) settleDrag(window, st);     // its update follows
    }
    // Our own request, ABN_POSCHANGED, ABN_STATECHANGE: place the window again.
    updateDock(window);
}

bool onDockCommand(HWND window, WORD id) {
    WindowOpacityRecord* record = getRecord(window);
    if (!record) return false;
    if (id == commandId(ID_ALWAYS_ON_TOP)) {
        record->always_on_top = !record->always_on_top;
    } else if (id == commandId(ID_AUTO_HIDE)) {
        if (!isDockSide(record->dock_side)) return true;    // greyed out: nothing to hide
        record->auto_hide = !record->auto_hide;
    } else if (id == commandId(ID_DRAG_DOCK)) {
        record->drag_dock = !record->drag_dock;
    } else {
        const SideCommand* chosen = nullptr;
        for (const SideCommand& c : SIDE_COMMANDS)
            if (id == commandId(c.command)) chosen = &c;
        if (!chosen) return false;
        record->dock_side = chosen->side;
    }
    // Asking the title may detach the window: the record is not touched after this.
    saveRecordEntry(window, record);
    requestDockUpdate(window);
    return true;
}

void attachDock(HWND window) {
    WindowOpacityRecord* record = getRecord(window);
    // After quit or while unloading nothing docks (a start-up after quit docks again).
    if (hasQuit() || isShuttingDown() || !record || dockStateOf(window)) return;
    if (!shellStartedMessage) shellStartedMessage = RegisterWindowMessageA(SHELL_STARTED_NAME);
    bool wanted = isDockSide(record->dock_side) || record->always_on_top;
    auto* st = static_cast<DockState*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, sizeof(DockState)));
    if (!st) return;
    if (!SetPropA(window, DOCK_PROPERTY, st)) {
        GlobalFree(st);
        return;
    }
    if (wanted) requestDockUpdate(window);     // docked again as its entry says
}

void detachDock(HWND window, bool destroying) {
    DockState* st = dockStateOf(window);
    if (!st) return;
    killDockTimers(window);
    giveBack(takeDockState(window, st, destroying));
}

void killDockTimers(HWND window) {
    KillTimer(window, TIMER_DOCK_SLIDE);
    KillTimer(window, TIMER_DOCK_HOLD);
}

void undockAll() {
    sweepDocked([](Sweep* sweep) { EnumWindows(collectDocked, reinterpret_cast<LPARAM>(sweep)); },
                false);
}

void undockThread() {
    // Most threads that end have no docked window: they never wait for the lock.
    bool any = false;
    EnumThreadWindows(GetCurrentThreadId(), findDocked, reinterpret_cast<LPARAM>(&any));
    if (!any) return;
    sweepDocked([](Sweep* sweep) {
        EnumThreadWindows(GetCurrentThreadId(), collectDocked, reinterpret_cast<LPARAM>(sweep));
    }, true);
}

void placeWindow(HWND window, HWND insertAfter, POINT to, UINT flags) {
    SetWindowPos(window, insertAfter, to.x, to.y, 0, 0, flags);
    FilterLockGuard lock;
    DockState* st = lock ? dockStateOf(window) : nullptr;
    if (st) st->placing = false;
}

void checkTopmost(HWND window, const DockState* st) {
    WindowOpacityRecord* record = getRecord(window);
    if (!record || !record->always_on_top || !st->topmost || st->behindFullScreen) return;
    if (!(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST)) requestDockUpdate(window);
}

void onDockStyleChanged(HWND window, WPARAM wParam, LPARAM) {
    if (static_cast<int>(wParam) != GWL_EXSTYLE) return;
    DockState* st = dockStateOf(window);
    if (st && !st->placing) checkTopmost(window, st);
}

bool screenJustChanged(const DockState* st) {
    return st->screenChanged && GetTickCount() - st->screenChangedAt < SCREEN_CHANGE_MS;
}

void onDockDisplayChange(HWND window, WPARAM, LPARAM) {
    DockState* st = dockStateOf(window);
    if (!st || !st->shellSide) return;
    st->screenChanged = true;
    st->screenChangedAt = GetTickCount();
    requestDockUpdate(window);
}

void onDockSettingChange(HWND window, WPARAM wParam, LPARAM) {
    if (wParam != SPI_SETWORKAREA) return;
    DockState* st = dockStateOf(window);
    if (st && st->shellSide) requestDockUpdate(window);
}
