// Window core: the one lock and its lending, the per-window record, the layered alpha and
// the window's INI key. Everything above stands on these; they know no handler.
#pragma once

#include <windows.h>

// ---- The lock ------------------------------------------------------------------------------
//
// filterLock serialises the message filter, the fade timer ticks and everything they call.
// It is re-entrant for its owner. The rest of the plug-in takes it only through
// FilterLockGuard. It guards the plug-in's own state (records, settings, menu and page
// state) and nothing else: no code of the host, nor of anyone else, ever runs while it is
// held (see OutsideLock), so a holder never waits for another thread and every wait for the
// lock is short.

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
// lock: every other thread would wait for it.
// False (and nothing is scheduled) when the caller does not own the lock, or when other
// work is already waiting.
bool runOnceUnlocked(void (*work)());

// Put around every call that may run a window procedure or a hook, of this thread or of
// another one (SetWindowLongA, GetWindowTextA, SendMessageA, SetWindowPos, DestroyWindow,
// CreateDialogParamA, WindowFromPoint, ...). If the calling thread holds the lock, it leaves
// it at every level for the duration of the scope and takes it back at the end; otherwise
// the scope does nothing. Whatever was fetched under the lock before the scope (a record
// above all) may be gone after it: fetch it afresh.
class OutsideLock {
public:
    OutsideLock();
    ~OutsideLock();
    OutsideLock(const OutsideLock&) = delete;
    OutsideLock& operator=(const OutsideLock&) = delete;

private:
    LONG depth_;
    void (*work_)();
};

// Life cycle of the lock and of the in-flight count, driven by the entry point.
void createFilterLock();
void deleteFilterLock();
void beginShutdown();                 // hooks and ticks stop doing work from now on
void waitForCallsToDrain(DWORD maxMs);
bool isShuttingDown();
// Between the host's quit and a new start-up, hooks and ticks act on nothing.
void markQuit(bool quit);
bool hasQuit();

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
// address must stay valid until they are gone.
//
// pinModule takes one reference for the calling thread and returns its number, or -1 if it
// could not: it never waits for the system's loader, which an unloading thread holds while
// it waits for us, and it gives up once unloading has begun. unpinModule gives a pin back
// unless it was handed to a window; the reference goes back from a thread of its own, so
// that the last one unloads the library without returning into it. A pin handed to a window
// of the same thread goes back when that window is destroyed (unpinWindow); whatever a
// thread still holds when it ends goes back then (unpinThread), as the system takes its
// windows down without telling them.
int pinModule();
void unpinModule(int pin);
bool handPinTo(int pin, HWND window);   // false if pin is no pin of this thread's
void unpinWindow(HWND window);
void unpinThread(DWORD thread);

// ---- Window classes ------------------------------------------------------------------------

constexpr char WINAMP_GEN_CLASS[] = "Winamp Gen";   // embedded windows created through the host
constexpr char POPUP_MENU_CLASS[] = "#32768";
constexpr int CLASS_NAME_SIZE = 260;

// True when the class name is exactly "Winamp Gen" (11 bytes, case included).
bool isWinampGenClass(const char* className);

// ---- The per-window record -----------------------------------------------------------------

constexpr char RECORD_PROPERTY[] = "Quorvel";

// Stored as the window property "Quorvel"; the order and offsets of the first seven fields
// are a contract (other code reads them). Fields the plug-in added later come after them.
struct WindowOpacityRecord {
    float opaque;           // resting alpha
    float current;          // alpha shown in per-window mode
    BYTE auto_mode;         // AutoMode
    BYTE auto_hide;         // this and the three below: the window's docking options
    BYTE always_on_top;
    BYTE dock_side;         // 0 not docked, 1 left, 2 right, 4 top, 8 bottom
    BYTE drag_dock;
    BYTE shown;             // the alpha its newest decision of its own says it shows
    DWORD shownStamp;       // that decision's generation (see decideWindowAlpha)
    DWORD fadeClock;        // when its own fade took its last step (GetTickCount)
};

constexpr BYTE DOCK_NONE = 0, DOCK_LEFT = 1, DOCK_RIGHT = 2, DOCK_TOP = 4, DOCK_BOTTOM = 8;

// The window's record, fetched afresh; null when the window is not attached.
WindowOpacityRecord* getRecord(HWND window);

// ---- What a window shows -------------------------------------------------------------------
//
// Every change of what a window shows is a decision, made under the lock and stamped there
// with the next generation number: a decision for one window (its record's shown alpha), or
// a broadcast to every window (one alpha, or each window's own resting alpha). A window shows
// its newest decision. Showing it runs window procedures and is done outside the lock, so
// another thread, or the window's procedure itself, may decide again before the value lands.
// Whoever showed a value looks again when it holds the lock back, and shows the newest
// decision too if a newer one was made meanwhile, until none is: whatever order the calls of
// several threads land in, the last value a window receives is its newest decision.

// Decides that the window shows alpha (its low byte). Lock held.
void decideWindowAlpha(WindowOpacityRecord* record, int alpha);
// Decides that every attached window shows alpha (truncated, low byte), or, for 0.0, its own
// resting alpha, which then also becomes its current alpha. Lock held.
void decideBroadcastAlpha(float alpha);
// The alpha the window's newest decision says; a newer broadcast is taken into its record.
BYTE decidedAlpha(WindowOpacityRecord* record);
// Shows the window's newest decision (lock held, left while the window's procedure runs);
// record is the window's, fetched under the lock just before (null: not attached, nothing
// to show). Returns SetLayeredWindowAttributes' result, -1 when that function cannot be
// bound, or 0 when the window has no record (or lost it meanwhile). The layered style is
// added, marked as the plug-in's, unless the alpha's low byte is 255.
int showDecidedAlpha(HWND window, WindowOpacityRecord* record);
// Decides that the window shows alpha and shows it: the one way to change one window's
// translucency. Every caller passes colour key 0 and LWA_ALPHA. Returns as showDecidedAlpha.
int setLayeredAlpha(HWND window, COLORREF key, int alpha, DWORD flags);

// The window's INI key into a caller buffer of CLASS_NAME_SIZE bytes: its title for a
// "Winamp Gen" window, its class name otherwise, mended where the INI file could not keep
// it as a key (mendWindowKey). A title that the ANSI code page cannot show whole is followed
// by " ~" and eight hex digits of a hash of its Unicode form, so that such titles keep
// entries of their own. A null window leaves the buffer alone.
void getWindowKey(HWND window, char* buffer);

// Writes the record's per-window entry under the window's key.
void saveRecordEntry(HWND window, const WindowOpacityRecord* record);

// Binds SetLayeredWindowAttributes; done once at load, where the loader is ours anyway.
void bindLayeredAlpha();

// True for a layered window whose layering the plug-in did not add: it is left alone.
bool layeredBySomeoneElse(HWND window);

// attachRecord creates the record on a window's first paint (unless someone else layered
// it); detachRecord frees it and takes away the layering the plug-in added. Lock held.
void attachRecord(HWND window);
void detachRecord(HWND window);
// Unloading without quit, or the window's thread ending, under the system's loader lock:
// frees the record without running any window procedure, and shows the window fully opaque
// if the plug-in layered it. Lock held, or nothing else running.
void releaseRecordAtUnload(HWND window);
