// The filter lock and the rules that keep it from hanging the host.
//
// One re-entrant critical section serialises the filter, the fade ticks and all they call.
// Handlers that hold it sometimes have to send a message to a window of another hooked
// thread (SetWindowLongA on that window sends it WM_STYLECHANGING, GetWindowTextA sends
// WM_GETTEXT, the host requests go to the main window). That thread runs its hooks, and so
// the filter, for the sent message. A plain EnterCriticalSection there would wait for the
// sender, which waits for it: a deadlock. The discipline that rules this out:
//
//  1. Nobody blocks on the lock while a cross-thread send waits on them. A thread that
//     cannot take the lock keeps serving the messages sent to it while it waits.
//  2. The owner lends the lock to the thread it is about to send to (LendLock). While the
//     owner is blocked in that send, the receiving thread may run the filter as if it held
//     the lock: the owner touches nothing until the send returns, and every other thread
//     still waits. A borrower that sends on to a third thread lends the lock onwards.
//     Only code running inside a message that another thread sent, and has not yet been
//     answered, may borrow. The receiver can also be busy elsewhere when the lend starts
//     (waiting for the lock on a message of its own, say) and it goes on running after it
//     has answered, before the owner has ended the lend; those frames must not borrow, or
//     they would run alongside the owner. For the same reason a guard that has already
//     waited never borrows: the lend it would take was meant for a message it serves
//     nested inside that wait.
//  3. No modal loop runs under the lock: it would hold every other thread for as long as the
//     user takes, and lending it for that long would let two threads run at once. The owner
//     schedules the loop with runOnceUnlocked; handlers inside the loop take the lock anew.
//  4. Once unloading has begun, nobody waits: hooks and ticks pass everything through. Every
//     guard counts as a call in flight, so unloading waits for all holders and waiters to
//     leave before the lock is deleted.
//
// What remains possible is that a thread which does not hold the lock sends to the owner
// while the owner has lent it; the owner then serves that message alongside the borrower.
// Both only touch the records of their own windows in that case. Likewise a message that
// a third thread sends to the borrower in the instant between its answer to the owner and
// the end of the lend is served as if lent; the receiver cannot tell who sent it.
#include "window.h"

namespace {

enum GuardMode { DENIED = 0, OWNED = 1, BORROWED = 2 };

CRITICAL_SECTION filterLock;
volatile LONG shuttingDown;
volatile LONG inFlight;
volatile LONG lockCreated;

// The thread that holds filterLock (0 if none) and its nesting depth; written only by the
// owner while it holds the lock, so a thread reading its own id here knows it is the owner.
volatile DWORD ownerThread;
LONG ownerDepth;

// The thread the runner is blocked sending to, which may run under the lock meanwhile.
volatile LONG lentTo;

// Work the owner asked to run once it has left the lock completely (a modal loop). Written
// and taken only by the owner while it holds the lock.
void (*afterUnlock)();

// True while the calling thread serves a message sent by another thread and not yet
// answered (ReplyMessage ends that early). Messages the thread then sends to its own
// windows, or retrieves in a modal loop, still count: the sender is still blocked.
bool servingCrossThreadSend() {
    return (InSendMessageEx(nullptr) & (ISMEX_SEND | ISMEX_REPLIED)) == ISMEX_SEND;
}

bool borrowsLock(DWORD thread) {
    return static_cast<DWORD>(lentTo) == thread && servingCrossThreadSend();
}

bool runsUnderLock(DWORD thread) {
    return ownerThread == thread || borrowsLock(thread);
}

// Waits a little for the lock to come free, serving any message sent to this thread in
// the meantime (through its window procedures and hooks), so that a lock owner that sends
// to us is never left waiting.
void waitServingSentMessages(DWORD timeoutMs) {
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    MsgWaitForMultipleObjectsEx(0, nullptr, timeoutMs, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
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
    DWORD self = GetCurrentThreadId();
    DWORD timeout = 1;
    bool mayBorrow = true;     // only before the first wait
    for (;;) {
        if (shuttingDown || !lockCreated) return;
        if (TryEnterCriticalSection(&filterLock)) {
            if (ownerDepth++ == 0) ownerThread = self;
            mode_ = OWNED;
            return;
        }
        if (mayBorrow && borrowsLock(self)) {
            mode_ = BORROWED;
            return;
        }
        mayBorrow = false;
        waitServingSentMessages(timeout);
        if (timeout < 8) timeout *= 2;
    }
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
    // Only the owner: a borrower runs inside another thread's send, which would stay
    // blocked for as long as the work takes.
    if (ownerThread != GetCurrentThreadId() || afterUnlock) return false;
    afterUnlock = work;
    return true;
}

LendLock::LendLock(HWND target) : lent_(false), saved_(0) {
    if (!target) return;
    DWORD self = GetCurrentThreadId();
    if (!runsUnderLock(self)) return;
    DWORD receiver = GetWindowThreadProcessId(target, nullptr);
    if (receiver == 0 || receiver == self) return;
    saved_ = static_cast<DWORD>(InterlockedExchange(&lentTo, static_cast<LONG>(receiver)));
    lent_ = true;
}

LendLock::~LendLock() {
    if (lent_) InterlockedExchange(&lentTo, static_cast<LONG>(saved_));
}
