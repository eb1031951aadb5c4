// The lock discipline between threads: a holder calls into window procedures only outside
// the lock, so whatever those procedures do on other threads, nobody waits for the holder;
// otherwise everyone waits. Drives the lock directly; no hooks are involved.
#include <doctest.h>

#include <atomic>

#include "hostsim/hostsim.h"
#include "plugin/window/window.h"

using namespace hostsim;

namespace {

constexpr UINT TAKE = WM_APP + 1;               // take the lock; answer 1 if granted
constexpr UINT TAKE_AND_FORWARD = WM_APP + 3;   // take it, then send TAKE to wParam's window

std::atomic<bool> ownerHolds{false};
std::atomic<int> grantedWhileOwnerHolds{0};
std::atomic<int> grantedAfterwards{0};

void noteGrant() { (ownerHolds ? grantedWhileOwnerHolds : grantedAfterwards)++; }

LRESULT CALLBACK probeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case TAKE: {
        FilterLockGuard lock;
        return lock ? 1 : 0;
    }
    case TAKE_AND_FORWARD: {
        FilterLockGuard lock;
        if (!lock) return 0;
        HWND next = reinterpret_cast<HWND>(wParam);
        OutsideLock outside;
        DWORD_PTR answer = 0;
        SendMessageTimeoutA(next, TAKE, 0, 0, SMTO_NORMAL, 3000, &answer);
        return static_cast<LRESULT>(answer);
    }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void prepare() {
    static bool done = false;
    if (done) return;
    done = true;
    createFilterLock();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = probeProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "QuorvelLockProbe";
    RegisterClassA(&wc);
}

HWND probeOn(WindowThread& t) {
    HWND w = nullptr;
    t.run([&] {
        w = CreateWindowExA(0, "QuorvelLockProbe", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
    });
    return w;
}

LRESULT sendWithin(HWND window, UINT message, WPARAM wParam, DWORD ms, bool* answered) {
    DWORD_PTR answer = 0;
    *answered = SendMessageTimeoutA(window, message, wParam, 0, SMTO_NORMAL, ms, &answer) != 0;
    return static_cast<LRESULT>(answer);
}

// Has the thread take the lock, noting when it got it.
void postWaiter(WindowThread& t) {
    t.post([] {
        FilterLockGuard waiter;
        if (waiter) noteGrant();
    });
}

void reset() {
    ownerHolds = false;
    grantedWhileOwnerHolds = 0;
    grantedAfterwards = 0;
}

}  // namespace

TEST_CASE("a holder's call out of the lock lets other threads take it, however far it reaches") {
    prepare();
    reset();
    WindowThread b, c, d;
    HWND bw = probeOn(b), cw = probeOn(c);
    {
        FilterLockGuard lock;
        REQUIRE(lock);
        ownerHolds = true;
        // A thread that asks while the holder works on its own state waits.
        postWaiter(d);
        Sleep(50);
        CHECK(grantedWhileOwnerHolds == 0);
        {
            // The window procedure takes the lock itself, or has a third thread take it
            // while the call is still on its way back: neither waits for the holder.
            OutsideLock outside;
            ownerHolds = false;
            bool answered = false;
            CHECK(sendWithin(bw, TAKE, 0, 5000, &answered) == 1);
            CHECK(answered);
            CHECK(sendWithin(bw, TAKE_AND_FORWARD, reinterpret_cast<WPARAM>(cw), 5000, &answered) == 1);
            CHECK(answered);
        }
        // The holder has the lock back: nobody gets it until it leaves.
        ownerHolds = true;
        postWaiter(c);
        Sleep(100);
        CHECK(grantedWhileOwnerHolds == 0);
        ownerHolds = false;
    }
    CHECK(pumpUntil([] { return grantedAfterwards == 2; }));
    CHECK(grantedWhileOwnerHolds == 0);
}

namespace {
int scheduledRuns;
void scheduled() { ++scheduledRuns; }
}  // namespace

TEST_CASE("work scheduled for after the lock waits for the outermost guard, not a call out") {
    prepare();
    scheduledRuns = 0;
    {
        FilterLockGuard outer;
        REQUIRE(outer);
        REQUIRE(runOnceUnlocked(scheduled));
        {
            OutsideLock outside;
            FilterLockGuard inner;      // taken and left inside the call out
            REQUIRE(inner);
        }
        {
            FilterLockGuard nested;
        }
        CHECK(scheduledRuns == 0);
    }
    CHECK(scheduledRuns == 1);
}

// Last in this program: unloading cannot be undone.
TEST_CASE("a thread waiting for the lock gives up once unloading begins") {
    prepare();
    WindowThread b;
    std::atomic<int> granted{-1};
    {
        FilterLockGuard lock;
        REQUIRE(lock);
        b.post([&] {
            FilterLockGuard waiter;
            granted = waiter ? 1 : 0;
        });
        Sleep(50);
        CHECK(granted == -1);
        beginShutdown();
        CHECK(pumpUntil([&] { return granted == 0; }, 5000));
    }
}
