// The lock discipline between threads: who may run under the lock while its owner waits in
// a send to them, and who has to wait. Drives the lock directly; no hooks are involved.
#include <doctest.h>

#include <atomic>

#include "hostsim/hostsim.h"
#include "plugin/window/window.h"

using namespace hostsim;

namespace {

constexpr UINT TAKE = WM_APP + 1;               // take the lock; answer 1 if granted
constexpr UINT REPLY_THEN_TAKE = WM_APP + 2;    // answer first, then take the lock
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
    case REPLY_THEN_TAKE: {
        ReplyMessage(0);
        FilterLockGuard lock;
        if (lock) noteGrant();
        return 0;
    }
    case TAKE_AND_FORWARD: {
        FilterLockGuard lock;
        if (!lock) return 0;
        HWND next = reinterpret_cast<HWND>(wParam);
        LendLock lend(next);
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

void reset() {
    ownerHolds = false;
    grantedWhileOwnerHolds = 0;
    grantedAfterwards = 0;
}

}  // namespace

TEST_CASE("the thread the owner sends to runs under the lock; everyone else waits") {
    prepare();
    reset();
    WindowThread b, c;
    HWND bw = probeOn(b);
    {
        FilterLockGuard lock;
        REQUIRE(lock);
        ownerHolds = true;
        c.post([] {
            FilterLockGuard waiter;
            if (waiter) noteGrant();
        });
        Sleep(50);
        bool answered = false;
        {
            LendLock lend(bw);
            CHECK(sendWithin(bw, TAKE, 0, 5000, &answered) == 1);
        }
        CHECK(answered);
        Sleep(50);
        CHECK(grantedWhileOwnerHolds == 0);
        ownerHolds = false;
    }
    CHECK(pumpUntil([] { return grantedAfterwards == 1; }));
    CHECK(grantedWhileOwnerHolds == 0);
}

TEST_CASE("a borrower lends onwards to the thread it sends to") {
    prepare();
    WindowThread b, c;
    HWND bw = probeOn(b), cw = probeOn(c);
    FilterLockGuard lock;
    REQUIRE(lock);
    bool answered = false;
    LendLock lend(bw);
    CHECK(sendWithin(bw, TAKE_AND_FORWARD, reinterpret_cast<WPARAM>(cw), 5000, &answered) == 1);
    CHECK(answered);
}

TEST_CASE("a lend admits only the message sent under it, not the receiver's other work") {
    prepare();
    reset();
    WindowThread b;
    HWND bw = probeOn(b);
    {
        FilterLockGuard lock;
        REQUIRE(lock);
        ownerHolds = true;
        // The receiver is already waiting for the lock on work of its own when the lend
        // begins; it serves the sent message meanwhile, and must go on waiting after it.
        b.post([] {
            FilterLockGuard own;
            if (own) noteGrant();
        });
        Sleep(50);
        {
            LendLock lend(bw);
            bool answered = false;
            CHECK(sendWithin(bw, TAKE, 0, 5000, &answered) == 1);
            CHECK(answered);
            // The owner ends the lend only some time after the answer; the receiver is
            // running meanwhile. Stretch that moment.
            Sleep(150);
            CHECK(grantedWhileOwnerHolds == 0);

            // A receiver that answers early (ReplyMessage) no longer borrows either.
            CHECK(sendWithin(bw, REPLY_THEN_TAKE, 0, 5000, &answered) == 0);
            CHECK(answered);
            Sleep(150);
            CHECK(grantedWhileOwnerHolds == 0);
        }
        ownerHolds = false;
    }
    CHECK(pumpUntil([] { return grantedAfterwards == 2; }));
    CHECK(grantedWhileOwnerHolds == 0);
}
