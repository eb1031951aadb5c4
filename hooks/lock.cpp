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
//     still waits. Only the handling of a sent message may borrow, and only at once: a call
//     of the receiving thread that was already waiting for the lock keeps waiting. A
//     borrower that sends on to a third thread lends the lock onwards.
//  3. Once unloading has begun, nobody waits: hooks and ticks pass everything through.
//
// What remains possible is that a thread which does not hold the lock sends to the owner
// while the owner has lent it; the owner then serves that message alongside the borrower.
// Both only touch the records of their own windows in that case.
#include "hooks.h"

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

bool runsUnderLock(DWORD thread) {
    return ownerThread == thread || static_cast<DWORD>(lentTo) == thread;
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
    DWORD start = GetTickCount();
    int quietRounds = 0;
    while (GetTickCount() - start < maxMs) {
        if (InterlockedCompareExchange(&inFlight, 0, 0) == 0) {
            // A call the system had already begun dispatching before the hooks were removed
            // may not have counted itself yet; see the count stay at zero for a moment.
            if (++quietRounds >= 3) return;
        } else {
            quietRounds = 0;
        }
        waitServingSentMessages(1);
    }
}

FilterLockGuard::FilterLockGuard() : mode_(DENIED) {
    DWORD self = GetCurrentThreadId();
    DWORD timeout = 1;
    // Only a call that serves a message sent to this thread may borrow, and only before it
    // has waited. A call that was already waiting when the owner lent the lock to this thread
    // is not what the owner waits for; borrowing there would let it run alongside the owner
    // once the owner's call returns (or at once, when that call sends nothing).
    bool mayBorrow = InSendMessage() != FALSE;
    for (;;) {
        if (shuttingDown || !lockCreated) return;
        if (TryEnterCriticalSection(&filterLock)) {
            if (ownerDepth++ == 0) ownerThread = self;
            mode_ = OWNED;
            return;
        }
        if (mayBorrow && static_cast<DWORD>(lentTo) == self) {
            mode_ = BORROWED;
            return;
        }
        mayBorrow = false;
        waitServingSentMessages(timeout);
        if (timeout < 8) timeout *= 2;
    }
}

FilterLockGuard::~FilterLockGuard() {
    if (mode_ != OWNED) return;
    if (--ownerDepth == 0) ownerThread = 0;
    LeaveCriticalSection(&filterLock);
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
