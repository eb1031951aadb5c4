// Moving docked windows: the auto-hide slides, and drags that dock or undock a window.
//
// An auto-hidden window rests slid out past its edge with a strip on screen; the pointer on
// that strip slides it in, and once the pointer has been away for cfg_hold it slides out
// again. A slide is a short run of timer steps on the window's own thread, and no timer
// runs while the window rests out of view.
//
// A drag is seen as the window moving while it holds the mouse capture (skins that move
// their windows themselves with SetWindowPos do it so), or as the system's move loop. It
// ends with the capture, the button's release or the end of the move loop, and is settled
// once the window's thread is back at its messages: the system's loop may place the window
// only after it has let the capture go.
#include "dock.h"

#include <stdlib.h>

#include <initializer_list>

#include "../settings/settings.h"
#include "../window/window.h"
#include "state.h"

namespace {

constexpr int STRIP = 3;                // pixels an auto-hidden window leaves on screen
constexpr int SLIDE_STEPS = 10;
constexpr UINT SLIDE_TICK_MS = 20;      // so a slide takes about 200 ms
constexpr int SNAP_DISTANCE = 10;       // an edge this close to the monitor's docks there
constexpr int UNDOCK_DISTANCE = 20;     // a docked window dragged farther away undocks

bool pointerOver(HWND window) {
    POINT p;
    RECT r;
    return GetCursorPos(&p) && GetWindowRect(window, &r) && PtInRect(&r, p);
}

void startSlide(HWND window, DockState* st, int target) {
    st->slideTarget = target;
    KillTimer(window, TIMER_DOCK_HOLD);
    SetTimer(window, TIMER_DOCK_SLIDE, SLIDE_TICK_MS, dockTimerProc);
}

// Moves the slide one step on; once in view, waits for the pointer to leave.
POINT slideStep(HWND window, DockState* st) {
    int step = (slideRange(st) + SLIDE_STEPS - 1) / SLIDE_STEPS;
    if (st->slid < st->slideTarget)
        st->slid = st->slid + step < st->slideTarget ? st->slid + step : st->slideTarget;
    else
        st->slid = st->slid - step > st->slideTarget ? st->slid - step : st->slideTarget;
    if (st->slid == st->slideTarget) {
        KillTimer(window, TIMER_DOCK_SLIDE);
        if (st->slid == 0) SetTimer(window, TIMER_DOCK_HOLD, cfg_hold, dockTimerProc);
    }
    st->lastPlaced = slidPosition(st);
    return st->lastPlaced;
}

// How far a window's side lies inside the monitor's (negative: beyond it).
int distanceFromEdge(const RECT& w, const RECT& m, BYTE side) {
    switch (side) {
    case DOCK_LEFT: return w.left - m.left;
    case DOCK_RIGHT: return m.right - w.right;
    case DOCK_TOP: return w.top - m.top;
    default: return m.bottom - w.bottom;
    }
}

// The side nearest to the monitor's edge within the snap distance, or 0.
BYTE nearestEdge(const RECT& w, const RECT& m) {
    BYTE nearest = DOCK_NONE;
    int best = SNAP_DISTANCE + 1;
    for (BYTE side : {DOCK_TOP, DOCK_BOTTOM, DOCK_LEFT, DOCK_RIGHT}) {
        int d = distanceFromEdge(w, m, side);
        if (d < best) {
            best = d;
            nearest = side;
        }
    }
    return nearest;
}

}  // namespace

int slideRange(const DockState* st) {
    bool vertical = st->shellSide == DOCK_LEFT || st->shellSide == DOCK_RIGHT;
    int thickness = vertical ? st->size.cx : st->size.cy;
    return thickness > STRIP ? thickness - STRIP : 0;
}

POINT slidPosition(const DockState* st) {
    POINT p = st->place;
    switch (st->shellSide) {
    case DOCK_LEFT: p.x -= st->slid; break;
    case DOCK_RIGHT: p.x += st->slid; break;
    case DOCK_TOP: p.y -= st->slid; break;
    default: p.y += st->slid; break;
    }
    return p;
}

void CALLBACK dockTimerProc(HWND window, UINT, UINT_PTR timerId, DWORD) {
    InFlightCall call;
    if (isShuttingDown()) return;
    POINT to;
    {
        FilterLockGuard lock;
        if (!lock) return;
        DockState* st = dockStateOf(window);
        // Minimised before its update gave the edge back: an icon does not slide.
        if (!st || !st->shellAutoHide || IsIconic(window)) {
            killDockTimers(window);
            return;
        }
        if (timerId == TIMER_DOCK_HOLD) {
            if (!pointerOver(window)) startSlide(window, st, slideRange(st));
            return;
        }
        to = slideStep(window, st);
        st->placing = true;
    }
    placeWindow(window, nullptr, to, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void onDockHover(HWND window, WPARAM, LPARAM) {
    if (autoHideCount == 0) return;     // the common case: no system call at all
    DockState* st = dockStateOf(window);
    if (!st || !st->shellAutoHide) return;
    if (st->slideTarget != 0) startSlide(window, st, 0);    // out, or sliding out: back in
    else if (st->slid == 0) SetTimer(window, TIMER_DOCK_HOLD, cfg_hold, dockTimerProc);
}

void onDockMoved(HWND window, WPARAM, LPARAM lParam) {
    const WINDOWPOS* pos = reinterpret_cast<const WINDOWPOS*>(lParam);   // sent, not null
    DockState* st = dockStateOf(window);
    if (!st) return;
    bool moved = !(pos->flags & SWP_NOMOVE);
    if (st->placing) {          // the plug-in's own move, taken as where it landed
        if (moved) st->lastPlaced = POINT{pos->x, pos->y};
        return;
    }
    if (!(pos->flags & SWP_NOZORDER)) checkTopmost(window, st);
    if (!moved && (pos->flags & SWP_NOSIZE)) return;
    WindowOpacityRecord* record = getRecord(window);
    if (!record) return;
    // Minimised, a docked window gives its edge back; restored, it docks again.
    bool iconic = IsIconic(window) != FALSE;
    if (iconic || st->minimized) {
        if (iconic != st->minimized) {
            st->minimized = iconic;
            if (isDockSide(record->dock_side)) requestDockUpdate(window);
        }
        return;
    }
    bool elsewhere = moved && (pos->x != st->lastPlaced.x || pos->y != st->lastPlaced.y);
    if (GetCapture() == window) {
        bool ours = moved && !elsewhere;
        if (!ours && (record->drag_dock || st->shellSide)) st->dragging = true;
        return;
    }
    if (st->dragging) return;   // the system's move loop: settled once it ends
    // Moved by someone else (the host moves the windows snapped to the one the user
    // drags): the drag rules judge it as if it had been dragged there.
    if (st->shellSide && elsewhere) {
        st->dragEnded = true;
        requestDockUpdate(window);
        return;
    }
    // Resized while docked: the strip follows the window's thickness.
    if (st->shellSide && !(pos->flags & SWP_NOSIZE) &&
        (pos->cx != st->size.cx || pos->cy != st->size.cy))
        requestDockUpdate(window);
}

void onDockDragStart(HWND window, WPARAM, LPARAM) {
    DockState* st = dockStateOf(window);
    WindowOpacityRecord* record = getRecord(window);
    if (st && record && (record->drag_dock || st->shellSide)) st->dragging = true;
}

void onDockDragEnd(HWND window, WPARAM, LPARAM) {
    DockState* st = dockStateOf(window);
    if (!st || !st->dragging) return;
    st->dragging = false;
    st->dragEnded = true;
    requestDockUpdate(window);
}

void settleDrag(HWND window, DockState* st) {
    st->dragEnded = false;
    WindowOpacityRecord* record = getRecord(window);
    if (!record) return;
    RECT w;
    GetWindowRect(window, &w);
    BYTE side = isDockSide(record->dock_side) ? record->dock_side : BYTE{DOCK_NONE};
    BYTE next = side;
    // After a display change the window goes to its edge on the monitor it is on now.
    if (record->drag_dock && !(side && screenJustChanged(st))) {
        BYTE nearest = nearestEdge(w, monitorRectOf(w));
        bool vertical = side == DOCK_LEFT || side == DOCK_RIGHT;
        int away = vertical ? w.left - st->place.x : w.top - st->place.y;
        if (!side || (nearest != side && abs(away) > UNDOCK_DISTANCE)) next = nearest;
    }
    if (next != side) {
        if (!next) st->hasUndocked = false;     // undocked by a drag: it stays where dropped
        record->dock_side = next;
        saveRecordEntry(window, record);
    }
}
