// The dock folder's own state: the per-window block and the helpers its two files share.
#pragma once

#include <windows.h>

constexpr char DOCK_PROPERTY[] = "QuorvelDock";

// Allocated zero-filled at attach, freed at detach (or at quit and unload). Read and
// written under the lock only.
struct DockState {
    BYTE shellSide;         // the side the window holds with the shell (0: none)
    bool shellAutoHide;     // registered as its edge's auto-hide bar, reserving no strip
    bool topmost;           // made topmost by the plug-in
    bool behindFullScreen;  // a full-screen program runs: dropped behind it meanwhile
    bool hasUndocked;       // undocked is where the window was before it docked
    bool dragging;          // moved by a drag that has not ended yet
    bool dragEnded;         // a drag ended, or someone else moved it: settled by the next update
    bool updateRequested;   // our appbar message is on its way to the window
    bool minimized;         // an icon: it holds no edge until it is restored
    bool placing;           // the plug-in's own SetWindowPos of it is under way
    bool screenChanged;     // the display changed, at screenChangedAt
    POINT undocked;
    RECT granted;           // the strip the shell granted (a plain bar)
    POINT place;            // the window's docked place, in view
    SIZE size;              // the window's size when it was placed
    int slid;               // pixels slid out past its edge, 0 (in view) .. slideRange
    int slideTarget;
    POINT lastPlaced;       // where the plug-in itself last moved it
    DWORD screenChangedAt;
};

// The window's block, or null.
DockState* dockStateOf(HWND window);

// The monitor rectangle nearest to a rectangle on the screen.
RECT monitorRectOf(const RECT& area);

// How far an auto-hidden window slides out: its thickness less the strip left on screen.
int slideRange(const DockState* state);
// Where the window stands when slid out by state->slid.
POINT slidPosition(const DockState* state);

// Posts the window its appbar message (lock held), unless one is on its way: its docking
// is brought in line with its record on its own thread, after the lock is left.
void requestDockUpdate(HWND window);

// Docks or undocks a window whose drag has ended, by where it was dropped (lock held). A
// docked window is placed again by the update that follows, at its new offset.
void settleDrag(HWND window, DockState* state);

// Moves the window (no lock held) after its block was marked placing (lock held): the
// WM_WINDOWPOSCHANGED it causes is the plug-in's own, wherever the host lets it land.
void placeWindow(HWND window, HWND insertAfter, POINT to, UINT flags);

// Always On Top is on and something took WS_EX_TOPMOST away (lock held): it is set again by
// an update, unless a full-screen program runs.
void checkTopmost(HWND window, const DockState* state);

// True for a short while after the display changed: the system then moves windows itself,
// and such a move says nothing about where the user wants a window docked.
bool screenJustChanged(const DockState* state);

void CALLBACK dockTimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD time);

// Number of windows registered as auto-hide bars: hovers cost nothing while it is 0.
extern LONG autoHideCount;
