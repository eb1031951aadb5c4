// The filter lock and the rules that keep it from hanging the host.
//
// One re-entrant critical section serialises the filter, the fade ticks and all they call.
// The handlers that hold it sometimes have to call into window procedures: changing a
// window's extended style sends it WM_STYLECHANGING and WM_STYLECHANGED, asking for its
// title sends WM_GETTEXT, the host requests go to the main window's procedure, the page is
// created and destroyed. What such a procedure does is the host's business: it may repaint
// a window of a third thread at once, whose filter then wants the lock, or send to any
// thread, or take seconds. If the lock were held across that call, the third thread would
// wait for the holder, the holder for the procedure and the procedure for the third
// thread: a deadlock; and every other thread would wait for as long as the procedure takes.
// The discipline that rules both out:
//
//  1. No foreign code runs under the lock. Every call that can run a window procedure or a
//     hook leaves the lock for its duration (OutsideLock) and takes it back afterwards. So
//     the holder of the lock only ever runs the plug-in's own bookkeeping, INI file access
//     and system calls that run no foreign code, and a wait for the lock is short.
//  2. What was fetched under the lock is fetched afresh after such a call: another thread,
//     or the window procedure itself, may have detached the window meanwhile.
//  3. A thread that waits for the lock keeps serving the messages sent to it, so that no
//     sender, whatever it holds, is left waiting for it.
//  4. No modal loop runs under the lock: the owner schedules it with runOnceUnlocked, and
//     the handlers inside the loop take the lock anew.
//  5. Once unloading has begun nobody starts waiting: hooks and ticks pass everything
//     through. Every guard counts as a call in flight, so unloading waits for holders and
//     waiters to leave before the lock is deleted.
#include "window.h"

namespace {

enum GuardMode { DENIED = 0, OWNED = 1 };

CRITICAL_SECTION filterLock;
volatile LONG shuttingDown;
volatile LONG inFlight;
volatile LONG lockCreated;
volatile LONG quitDone;

// The thread that holds filterLock (0 if none) and its nesting depth; written only by the
// owner while it holds the lock, so a thread reading its own id here knows it is the owner.
volatile DWORD ownerThread;
LONG ownerDepth;

// Work the owner asked to run once it has left the lock completely (a modal loop). Written
// and taken only by the owner while it holds the lock.
void (*afterUnlock)();

// Waits a little for the lock to come free, serving any message sent to this thread in
// the meantime (through its window procedures and hooks), so that a thread that sends to
// us is never left waiting.
void waitServingSentMessages(DWORD timeoutMs) {
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    MsgWaitForMultipleObjectsEx(0, nullptr, timeoutMs, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

// Takes the lock once, waiting as long as it takes; false only when giveUpOnShutdown and
// unloading has begun (or the lock is gone).
bool enterLock(bool giveUpOnShutdown) {
    DWORD timeout = 1;
    for (;;) {
        if (!lockCreated || (giveUpOnShutdown && shuttingDown)) return false;
        if (TryEnterCriticalSection(&filterLock)) return true;
        waitServingSentMessages(timeout);
        if (timeout < 8) timeout *= 2;
    }
}

}  // namespace

void createFilterLock() {
    InitializeCriticalSection(&filterLock);
    InterlockedExchange(&lockCreated, 1);
}

void deleteFilterLock() {
    if (InterlockedExchange(&lockCreated, 0)) DeleteCriticalSection(&filterLock);
}

void beginShutdown() { InterlockedExchange(&shuttingDown, 1); }
bool isShuttingDown() { return shuttingDown != 0; }
void markQuit(bool quit) { InterlockedExchange(&quitDone, quit ? 1 : 0); }
bool hasQuit() { return quitDone != 0; }

InFlightCall::InFlightCall() { InterlockedIncrement(&inFlight); }
InFlightCall::~InFlightCall() { InterlockedDecrement(&inFlight); }

void waitForCallsToDrain(DWORD maxMs) {
    // Calls still inside a hook or a tick may be waiting for us to answer a message they
    // sent; keep serving sent messages while they finish. Bounded, as this runs while the
    // system holds the loader lock.
    //
    // The count cannot cover the few instructions of a hook before it counts itself and
    // after it has uncounted itself. So the count must stay at zero for a stretch of time,
    // not for a number of rounds: a thread preempted on those instructions gets scheduled
    // again long before that, and no new call can start once the hooks are removed.
    constexpr DWORD QUIET_MS = 30;
    DWORD start = GetTickCount();
    DWORD quietSince = start;
    bool quiet = false;
    for (;;) {
        DWORD now = GetTickCount();
        if (InterlockedCompareExchange(&inFlight, 0, 0) == 0) {
            if (!quiet) quietSince = now;
            quiet = true;
            if (now - quietSince >= QUIET_MS) return;
        } else {
            quiet = false;
        }
        if (now - start >= maxMs) return;
        waitServingSentMessages(1);
    }
}

FilterLockGuard::FilterLockGuard() : mode_(DENIED) {
    // Counted before looking at shuttingDown (both interlocked), so unloading either sees
    // this guard in flight and waits for it, or this guard sees the unloading and leaves
    // the lock alone.
    InterlockedIncrement(&inFlight);
    if (!enterLock(true)) return;
    if (ownerDepth++ == 0) ownerThread = GetCurrentThreadId();
    mode_ = OWNED;
}

FilterLockGuard::~FilterLockGuard() {
    void (*work)() = nullptr;
    if (mode_ == OWNED) {
        if (--ownerDepth == 0) {
            ownerThread = 0;
            work = afterUnlock;
            afterUnlock = nullptr;
        }
        LeaveCriticalSection(&filterLock);
    }
    // Still counted as a call in flight while the work runs.
    if (work) work();
    InterlockedDecrement(&inFlight);
}

bool runOnceUnlocked(void (*work)()) {
    if (ownerThread != GetCurrentThreadId() || afterUnlock) return false;
    afterUnlock = work;
    return true;
}

OutsideLock::OutsideLock() : depth_(0), work_(nullptr) {
    if (ownerThread != GetCurrentThreadId()) return;
    // Work scheduled for the end of the outermost guard stays with it: a guard that this
    // thread takes and leaves inside the call must not run it.
    work_ = afterUnlock;
    afterUnlock = nullptr;
    depth_ = ownerDepth;
    ownerDepth = 0;
    ownerThread = 0;
    for (LONG i = 0; i < depth_; ++i) LeaveCriticalSection(&filterLock);
}

OutsideLock::~OutsideLock() {
    if (depth_ == 0) return;
    // Taken back even while unloading: the guards this thread still holds leave it again,
    // and unloading waits for them. The wait is short, as no holder runs foreign code.
    for (LONG i = 0; i < depth_; ++i) enterLock(false);
    ownerThread = GetCurrentThreadId();
    ownerDepth = depth_;
    if (!afterUnlock) afterUnlock = work_;
}
