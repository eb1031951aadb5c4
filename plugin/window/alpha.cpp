// What a window shows: the decisions that say which alpha, and the layered alpha itself.
//
// A decision is made under the lock and stamped with the next generation number: one
// window's own (its record's shown alpha) or a broadcast to every window. The newest
// decision about a window wins; a broadcast that is newer than a window's own decision is
// taken into its record the next time the window's alpha is looked at. Showing a decision
// runs window procedures (the layered style), so it happens outside the lock, and whoever
// showed a value checks afterwards, under the lock, that no newer decision was made
// meanwhile; if one was, it shows that one as well.
#include <type_traits>

#include "../settings/settings.h"
#include "layered.h"
#include "window.h"

namespace {

using SetLayeredFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
// Bound at run time, so nothing but this declaration holds the calling convention; a
// pointer without WINAPI would call the callee-cleans function wrongly on the 32-bit build.
static_assert(std::is_same<SetLayeredFn, decltype(&SetLayeredWindowAttributes)>::value,
              "the bound pointer must have the platform's own type");

SetLayeredFn setLayeredWindowAttributesFn;

// Set on a window while WS_EX_LAYERED is there because the plug-in added it. It outlives an
// unload that could not take the style away, so that the next copy knows the style is ours.
constexpr char LAYERED_MARK[] = "QuorvelLayered";

// Generation of the newest decision (lock held to write and to compare); 0 is older than
// every decision made.
DWORD showGeneration;

// The newest broadcast: an alpha for every window, or each window's own resting alpha.
struct Broadcast {
    DWORD stamp;        // 0: none yet
    bool restore;
    BYTE alpha;
};
Broadcast broadcast;

DWORD nextStamp() { return ++showGeneration; }

// Wrap-safe: a generation a few billion decisions old still counts as older.
bool newerThan(DWORD a, DWORD b) { return static_cast<LONG>(a - b) > 0; }

void setExStyle(HWND window, LONG exStyle) {
    OutsideLock outside;        // the window's procedure sees WM_STYLECHANGING and WM_STYLECHANGED
    SetWindowLongA(window, GWL_EXSTYLE, exStyle);
}

// Gives the window alpha a (lock held; left while its procedure runs). False when the window
// lost its record while its style changed: the layering that landed is then taken away.
bool applyAlpha(HWND window, BYTE a, COLORREF key, DWORD flags, int* result) {
    LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);
    if (a != 255 && !(exStyle & WS_EX_LAYERED)) {
        SetPropA(window, LAYERED_MARK, reinterpret_cast<HANDLE>(1));
        setExStyle(window, exStyle | WS_EX_LAYERED);
        if (!getRecord(window)) {
            // Detached while the style changed (a window that hides itself on
            // WM_STYLECHANGING, whose change lands after the detach): the layering that
            // landed is ours, so it goes again.
            SetPropA(window, LAYERED_MARK, reinterpret_cast<HANDLE>(1));
            unlayer(window);
            return false;
        }
    }
    OutsideLock outside;
    *result = setLayeredWindowAttributesFn(window, key, a, flags);
    return true;
}

int showAlpha(HWND window, WindowOpacityRecord* record, COLORREF key, DWORD flags) {
    bindLayeredAlpha();     // bound at load already; this retries a binding that failed then
    if (!setLayeredWindowAttributesFn) return -1;
    int result = 0;
    while (record) {
        DWORD stamp = showGeneration;
        BYTE a = decidedAlpha(record);
        if (!applyAlpha(window, a, key, flags, &result)) return 0;
        // Nothing decided meanwhile (the common case), or nothing that changes this window:
        // what landed last is its newest decision. Otherwise that one goes on too.
        if (showGeneration == stamp) return result;
        record = getRecord(window);
        if (record && decidedAlpha(record) == a) return result;
    }
    return 0;
}

}  // namespace

bool layeredByUs(HWND window) { return GetPropA(window, LAYERED_MARK) != nullptr; }

void unlayer(HWND window) {
    if (!RemovePropA(window, LAYERED_MARK)) return;
    setExStyle(window, GetWindowLongA(window, GWL_EXSTYLE) & ~WS_EX_LAYERED);
}

void showOpaqueWithoutMessages(HWND window) {
    if (layeredByUs(window) && setLayeredWindowAttributesFn)
        setLayeredWindowAttributesFn(window, 0, 255, LWA_ALPHA);
}

void bindLayeredAlpha() {
    // USER32 is one of the library's own imports, so it stays loaded as long as we do: no
    // reference of ours is taken on it (one per load would never be given back).
    if (!setLayeredWindowAttributesFn) {
        HMODULE user32 = GetModuleHandleA("USER32.DLL");
        if (user32)
            setLayeredWindowAttributesFn = reinterpret_cast<SetLayeredFn>(
                reinterpret_cast<void*>(GetProcAddress(user32, "SetLayeredWindowAttributes")));
    }
}

bool layeredBySomeoneElse(HWND window) {
    return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_LAYERED) && !layeredByUs(window);
}

void decideWindowAlpha(WindowOpacityRecord* record, int alpha) {
    record->shown = static_cast<BYTE>(alpha);
    record->shownStamp = nextStamp();
}

void decideBroadcastAlpha(float alpha) {
    broadcast = Broadcast{nextStamp(), alpha == 0.0f, static_cast<BYTE>(static_cast<int>(alpha))};
}

BYTE decidedAlpha(WindowOpacityRecord* record) {
    if (broadcast.stamp && newerThan(broadcast.stamp, record->shownStamp)) {
        if (broadcast.restore) {
            record->current = record->opaque;
            record->shown = static_cast<BYTE>(static_cast<int>(record->opaque));
        } else {
            record->shown = broadcast.alpha;
        }
        record->shownStamp = broadcast.stamp;
    }
    return record->shown;
}

int showDecidedAlpha(HWND window, WindowOpacityRecord* record) {
    return showAlpha(window, record, 0, LWA_ALPHA);
}

int setLayeredAlpha(HWND window, COLORREF key, int alpha, DWORD flags) {
    WindowOpacityRecord* record = getRecord(window);
    if (!record) return 0;
    decideWindowAlpha(record, alpha);
    return showAlpha(window, record, key, flags);
}
