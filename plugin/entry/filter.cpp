// The message filter: classifies the window of every hooked message and routes the
// message to the handler that its table names. It only observes: every message goes on
// to the next hook and to its window unchanged.
#include "entry.h"

#include <commctrl.h>

#include "../dock/dock.h"
#include "../fade/fade.h"
#include "../host/host.h"
#include "../ui/ui.h"
#include "../window/window.h"

namespace {

using Handler = void (*)(HWND window, WPARAM wParam, LPARAM lParam);

// What a message's lParam is to its handler: a plain value, or the address of a structure
// the handler reads (acted on only when the message was sent, and never when null).
enum Argument : bool { VALUE = false, POINTER = true };

struct Route {
    UINT message;
    Handler handler;
    Argument lParam = VALUE;
};

// A window's docking comes and goes with its record.
void onPaint(HWND window, WPARAM, LPARAM) {
    attachRecord(window);
    attachDock(window);
}

void onDestroy(HWND window, WPARAM, LPARAM) {
    detachDock(window, true);
    detachRecord(window);
}

void onShowWindow(HWND window, WPARAM wParam, LPARAM) {
    if (wParam == 1) return;                    // being shown: nothing to let go
    detachDock(window, false);
    detachRecord(window);
}

void onStyleChanging(HWND window, WPARAM wParam, LPARAM lParam) {
    // Only a change of GWL_STYLE (-16) that turns a top-level window into a child.
    if (!getRecord(window) || (static_cast<DWORD>(wParam) & ~0xFu) != 0xFFFFFFF0u) return;
    const STYLESTRUCT* change = reinterpret_cast<const STYLESTRUCT*>(lParam);  // sent, not null
    if ((change->styleOld & WS_CHILD) || !(change->styleNew & WS_CHILD)) return;
    detachDock(window, false);
    detachRecord(window);
}

// The mouse over a window drives its fade and brings an auto-hidden window back in.
void onHover(HWND window, WPARAM wParam, LPARAM lParam) {
    onFadeHover(window, wParam, lParam);
    onDockHover(window, wParam, lParam);
}

// Table A: managed windows (host windows that are their own root owner).
const Route TABLE_A[] = {
    {WM_DESTROY, onDestroy},
    {WM_SETFOCUS, onFadeSetFocus},
    {WM_KILLFOCUS, onFadeKillFocus},
    {WM_PAINT, onPaint},
    {WM_SHOWWINDOW, onShowWindow},
    {WM_SETCURSOR, onHover},
    {WM_STYLECHANGING, onStyleChanging, POINTER},
    {WM_NCHITTEST, onHover},
    {WM_COMMAND, onMenuCommand},
    {WM_SYSCOMMAND, onMenuCommand},
    {WM_INITMENU, onMenuInit},
    {WM_UNINITMENUPOPUP, onMenuUninit},
    {WM_MOUSEMOVE, onHover},
    {WM_WINDOWPOSCHANGED, onDockMoved, POINTER},
    {WM_STYLECHANGED, onDockStyleChanged},
    {WM_ENTERSIZEMOVE, onDockDragStart},
    {WM_CAPTURECHANGED, onDockDragEnd},
    {WM_LBUTTONUP, onDockDragEnd},
    {WM_NCLBUTTONUP, onDockDragEnd},
    {WM_EXITSIZEMOVE, onDockDragEnd},
    {WM_DISPLAYCHANGE, onDockDisplayChange},
    {WM_SETTINGCHANGE, onDockSettingChange},
};

// Table B: every other window (the host's preferences tab control and its dialog). Each of
// these handlers first finds out whether the message concerns the host's tab control at all,
// and takes the lock itself only then.
const Route TABLE_B[] = {
    {WM_NOTIFY, onTabNotify, POINTER},
    {WM_INITDIALOG, onTabInitDialog},
    {TCM_SETCURSEL, onTabSelect},
    {TCM_SETCURFOCUS, onTabSelect},
};

template <size_t N>
const Route* findRoute(const Route (&table)[N], UINT message) {
    for (const Route& r : table)
        if (r.message == message) return &r;
    return nullptr;
}

// Messages in neither table are the vast majority; they need no lock and no window query.
bool isRoutedMessage(UINT message) {
    return findRoute(TABLE_A, message) || findRoute(TABLE_B, message);
}

// The messages that take a window's record away. A window keeps its record when it gains an
// owner or a parent after it was attached, so these go to it whoever owns it.
bool isDetachMessage(UINT message) {
    return message == WM_DESTROY || message == WM_SHOWWINDOW || message == WM_STYLECHANGING;
}

}  // namespace

bool isHostWindow(HWND window) {
    // A null window (a thread message) never matches a slot, even while slots are null.
    if (!window) return false;
    const HostWindowSet& h = hostWindows;
    if (window == h.hwndMain || window == h.hwndEqualizer || window == h.hwndMinibrowser ||
        window == h.hwndPlaylist || window == h.hwndVideo)
        return true;
    char className[CLASS_NAME_SIZE];
    if (!GetClassNameA(window, className, CLASS_NAME_SIZE)) return false;
    return isWinampGenClass(className);
}

bool isManagedWindow(HWND window) {
    return isHostWindow(window) && GetAncestor(window, GA_ROOTOWNER) == window;
}

int messageFilter(HWND window, UINT message, WPARAM wParam, LPARAM lParam, Delivery delivery) {
    if (hasQuit()) return 1;
    // The dock's messages are registered at run time, so they have no row; their case
    // takes the lock itself, only while it decides, and talks to the shell outside it.
    if (isDockMessage(message)) {
        if (isManagedWindow(window)) onDockMessage(window, message, wParam, lParam);
        return 1;
    }
    if (!isRoutedMessage(message)) return 1;
    // Whether the message concerns the plug-in at all is decided without the lock, so that
    // the messages of other windows never wait for it.
    bool managed = isManagedWindow(window) || (isDetachMessage(message) && getRecord(window));
    const Route* route = managed ? findRoute(TABLE_A, message) : findRoute(TABLE_B, message);
    if (!route) return 1;
    // A queued message proves nothing about its lParam: PostMessage and PostThreadMessage
    // carry any number, from any thread or program.
    if (route->lParam == POINTER && (delivery != Delivery::Sent || lParam == 0)) return 1;
    if (!managed) {
        route->handler(window, wParam, lParam);
        return 1;
    }
    FilterLockGuard lock;
    if (!lock) return 1;
    route->handler(window, wParam, lParam);
    return 1;
}
