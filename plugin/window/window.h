// Window core: the one lock and its lending, the per-window record, the layered alpha and
// the window's INI key. Everything above stands on these; they know no handler.
#pragma once

#include <windows.h>

// ---- The lock ------------------------------------------------------------------------------
//
// filterLock serialises the message filter, the fade timer ticks and everything they call.
// It is re-entrant for its owner. The rest of the plug-in takes it only through
// FilterLockGuard, and never waits on it in a way that can hang a thread (see lock.cpp for
// the discipline): waiters keep serving messages sent to them, the owner lends the lock to
// the thread it sends to, and everyone gives up once the library is being unloaded.

class FilterLockGuard {
public:
    FilterLockGuard();
    ~FilterLockGuard();
    FilterLockGuard(const FilterLockGuard&) = delete;
    FilterLockGuard& operator=(const FilterLockGuard&) = delete;
    // False when the library is being unloaded: the caller must do nothing.
    explicit operator bool() const { return mode_ != 0; }

private:
    int mode_;
};

// Runs work on the calling thread as soon as it has left the lock at every level, that is
// when the outermost guard it holds ends. For a modal loop, which must never run under the
// lock: every other thread would wait for it, and a lend would let two threads run at once.
// False (and nothing is scheduled) when the caller does not own the lock, having borrowed
// it or not taken it, or when other work is already waiting.
bool runOnceUnlocked(void (*work)());

// Put around every call that may send a message to a window of another thread while the
// lock is held (SetWindowLongA, GetWindowTextA, SendMessageA, ...). While the scope lasts,
// the window's thread may run the filter under our lock, but only while it serves what we
// sent and have not had answered, since we are blocked on it for that long.
// Does nothing for a window of the calling thread, or when the caller does not hold the lock.
class LendLock {
public:
    explicit LendLock(HWND target);
    ~LendLock();
    LendLock(const LendLock&) = delete;
    LendLock& operator=(const LendLock&) = delete;

private:
    bool lent_;
    DWORD saved_;
};

// Life cycle of the lock and of the in-flight count, driven by the entry point.
void createFilterLock();
void deleteFilterLock();
void beginShutdown();                 // hooks and ticks stop doing work from now on
void waitForCallsToDrain(DWORD maxMs);
bool isShuttingDown();

// Counts a call into library code from a hook or a timer, so that unloading can wait for
// every such call to leave before the code goes away. Every FilterLockGuard counts itself
// as well.
class InFlightCall {
public:
    InFlightCall();
    ~InFlightCall();
    InFlightCall(const InFlightCall&) = delete;
    InFlightCall& operator=(const InFlightCall&) = delete;
};

// ---- Keeping the library loaded while its own windows exist ---------------------------------

// A window or a modal loop of the plug-in's own (the preferences page, the Custom Opacity
// dialog) keeps the library loaded with a reference on itself: the host may free it at any
// moment, even from inside that loop, and the window's procedure and the loop's return
// address must stay valid until they are gone. pinModule takes one reference (false if it
// could not); unpinModule gives one back from a thread of its own, so that the last one
// unloads the library without returning into it.
bool pinModule();
void unpinModule();

// ---- Window classes ------------------------------------------------------------------------

constexpr char WINAMP_GEN_CLASS[] = "Winamp Gen";   // embedded windows created through the host
constexpr char POPUP_MENU_CLASS[] = "#32768";
constexpr int CLASS_NAME_SIZE = 260;

// True when the class name is exactly "Winamp Gen" (11 bytes, case included).
bool isWinampGenClass(const char* className);

// ---- The per-window record -----------------------------------------------------------------

constexpr char RECORD_PROPERTY[] = "Quorvel";

// Stored as the window property "Quorvel"; the field order is a contract.
struct WindowOpacityRecord {
    float opaque;           // resting alpha
    float current;          // alpha shown in per-window mode
    BYTE auto_mode;         // AutoMode
    BYTE auto_hide;         // this and the three below: the window's docking options
    BYTE always_on_top;
    BYTE dock_side;         // 0 not docked, 1 left, 2 right, 4 top, 8 bottom
    BYTE drag_dock;
};

constexpr BYTE DOCK_NONE = 0, DOCK_LEFT = 1, DOCK_RIGHT = 2, DOCK_TOP = 4, DOCK_BOTTOM = 8;

// The window's record, fetched afresh; null when the window is not attached.
WindowOpacityRecord* getRecord(HWND window);

// Changes a window's translucency: adds WS_EX_LAYERED unless the alpha's low byte is 255,
// then sets the layered attributes. Returns SetLayeredWindowAttributes' result, or -1 when
// that function cannot be bound.
int setLayeredAlpha(HWND window, COLORREF key, int alpha, DWORD flags);

// The window's INI key into a caller buffer of CLASS_NAME_SIZE bytes: its title for a
// "Winamp Gen" window, its class name otherwise, mended where the INI file could not keep
// it as a key (mendWindowKey). A null window leaves the buffer alone.
void getWindowKey(HWND window, char* buffer);

// Writes the record's per-window entry under the window's key.
void saveRecordEntry(HWND window, const WindowOpacityRecord* record);

void attachRecord(HWND window);
void detachRecord(HWND window);
