// Lifecycles in number: windows attached and detached a thousand times, two hundred hooked
// threads started and ended, fifty unloads and reloads while four hooked threads pump
// messages, and a thousand loads, starts, quits and unloads. Nothing may be left behind: no
// "Quorvel" property, no record, no hook pair, no handle, no thread.
//
// Records (GlobalAlloc) and hook pairs (LocalAlloc) come from the process heap, so its count
// of blocks in use is an honest observable: a leak of one block per window or per thread
// shows as hundreds of blocks after the loop.
#include "support/harness.h"

#include <commctrl.h>
#include <stdio.h>
#include <tlhelp32.h>

#include <vector>

using namespace hostsim;

namespace {

size_t heapBlocksInUse() {
    HANDLE heap = GetProcessHeap();
    size_t count = 0;
    HeapLock(heap);
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heap, &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) ++count;
    HeapUnlock(heap);
    return count;
}

// The value the next handle gets: the system hands out the lowest free slot, so a handle that
// is never closed pushes it up for good. (Wine does not count a process's handles.)
ULONG_PTR nextHandleValue() {
    HANDLE probe = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    CloseHandle(probe);
    return reinterpret_cast<ULONG_PTR>(probe);
}

int threadsRunning() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    CloseHandle(snapshot);
    return count;
}

// One create, paint, hide, show and destroy of an embedded window; returns false if the
// window did not attach and detach as it should.
bool cycleWindow(int i) {
    char title[32];
    snprintf(title, sizeof title, "Cycle %d", i % 50);
    HWND w = addEmbedded(title);
    paint(w);
    bool ok = recordOf(w) != nullptr;
    hide(w);
    ok = ok && recordOf(w) == nullptr;
    show(w);
    ok = ok && recordOf(w) != nullptr;
    removeEmbedded(w);
    return ok;
}

// Messages that reach the filter of the thread that owns the window, from its own timer.
void CALLBACK busyTimer(HWND window, UINT, UINT_PTR, DWORD) {
    SendMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), HTCLIENT);
    PostMessageA(window, WM_NCHITTEST, 0, 0);
    InvalidateRect(window, nullptr, FALSE);
}

}  // namespace

// Runs cycleWindow `perThread` times on each of four hooked threads at once (the threads
// start after the load, so they get the plug-in's hooks); returns the cycles that went right.
int cycleOnThreads(int perThread) {
    volatile LONG good = 0;
    std::vector<WindowThread*> threads;
    for (int t = 0; t < 4; ++t) threads.push_back(new WindowThread());
    std::vector<HANDLE> done;
    for (int t = 0; t < 4; ++t) {
        HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        done.push_back(event);
        threads[t]->post([&good, perThread, t, event] {
            for (int i = 0; i < perThread; ++i)
                if (cycleWindow(t * perThread + i)) InterlockedIncrement(&good);
            SetEvent(event);
        });
    }
    for (HANDLE event : done) {
        waitPumping(event, 120000);
        CloseHandle(event);
    }
    for (WindowThread* t : threads) delete t;
    return static_cast<int>(good);
}

TEST_CASE("a thousand windows created, painted, hidden, shown and destroyed leave nothing") {
    Session s;
    REQUIRE(cycleOnThreads(10) == 40);     // warm up the heap
    pump(20);
    size_t before = heapBlocksInUse();
    int good = cycleOnThreads(250);
    pump(20);
    size_t after = heapBlocksInUse();
    CHECK(good == 1000);
    MESSAGE("heap blocks in use: " << before << " before, " << after << " after");
    CHECK(after < before + 100);

    // The record of a destroyed window is freed: the block goes back to the heap.
    HWND w = addEmbedded("Cycle freed");
    paint(w);
    void* record = recordOf(w);
    REQUIRE(record != nullptr);
    CHECK(GlobalSize(record) >= sizeof(Record));
    removeEmbedded(w);
    CHECK(GlobalSize(record) == 0);
}

TEST_CASE("two hundred hooked threads started and ended leave no hook pair behind") {
    Session s;
    auto runThreads = [](int count) {
        for (int i = 0; i < count; ++i) {
            WindowThread t;
            // Messages through both hooks of the thread (the call arrives as a thread
            // message; the sends reach a window of the thread), so its pair is in use.
            t.run([] {
                HWND w = CreateWindowExA(0, "QuorvelForeign", "Thread window", 0, 0, 0, 0, 0,
                                         HWND_MESSAGE, nullptr, GetModuleHandleA(nullptr), nullptr);
                SendMessageA(w, WM_MOUSEMOVE, 0, 0);
                SendMessageA(w, TCM_SETCURSEL, 0, 0);
                DestroyWindow(w);
            });
        }
    };
    runThreads(20);
    size_t before = heapBlocksInUse();
    runThreads(200);
    size_t after = heapBlocksInUse();
    MESSAGE("heap blocks in use: " << before << " before, " << after << " after");
    CHECK(after < before + 100);
    // Unloading walks every pair still listed: a stale one would be freed twice here.
    unloadPlugin(s.plugin);
    CHECK(loadPlugin(s.plugin));
}

TEST_CASE("fifty unloads and reloads while four hooked threads pump messages") {
    Session s;
    for (int cycle = 0; cycle < 50; ++cycle) {
        CAPTURE(cycle);
        std::vector<WindowThread*> threads;
        std::vector<HWND> windows(4);
        // Threads started after the load get the plug-in's hooks.
        for (int i = 0; i < 4; ++i) {
            threads.push_back(new WindowThread());
            HWND* slot = &windows[i];
            threads.back()->run([slot, i] {
                char title[32];
                snprintf(title, sizeof title, "Pumping %d", i);
                *slot = addEmbedded(title);
                SetTimer(*slot, 1, 1, busyTimer);
            });
        }
        pump(20);
        bool attached = pumpUntil([&] {
            for (HWND w : windows)
                if (!recordOf(w)) return false;
            return true;
        }, 5000);
        CHECK(attached);

        unloadPlugin(s.plugin);
        pump(10);
        // The threads go on pumping without the library, then end cleanly.
        for (int i = 0; i < 4; ++i) {
            HWND w = windows[i];
            threads[i]->run([w] {
                KillTimer(w, 1);
                removeEmbedded(w);
            });
            delete threads[i];
        }
        REQUIRE(loadPlugin(s.plugin));
        initPlugin(s.plugin);
    }
}

TEST_CASE("a thousand loads, starts, quits and unloads give back what each took" * doctest::timeout(240)) {
    Session s;
    auto cycles = [&](int count) {
        for (int i = 0; i < count; ++i) {
            unloadPlugin(s.plugin);
            REQUIRE(loadPlugin(s.plugin));
            initPlugin(s.plugin);
            if (i % 10 == 9) {      // a quit, and the start-up that may follow it
                quitPlugin(s.plugin);
                initPlugin(s.plugin);
            }
        }
        pump(50);       // the threads that give a reference back end by themselves
    };
    cycles(20);
    size_t heapBefore = heapBlocksInUse();
    ULONG_PTR handlesBefore = nextHandleValue();
    int threadsBefore = threadsRunning();
    cycles(1000);
    MESSAGE("heap blocks " << heapBefore << " -> " << heapBlocksInUse() << ", next handle " << handlesBefore
                           << " -> " << nextHandleValue() << ", threads " << threadsBefore << " -> "
                           << threadsRunning());
    CHECK(heapBlocksInUse() < heapBefore + 50);
    CHECK(nextHandleValue() <= handlesBefore + 16);    // four handles
    CHECK(threadsRunning() <= threadsBefore);
    // The last copy is the active one: it manages the host's windows.
    HWND w = addEmbedded("After a thousand");
    CHECK(recordOf(w) != nullptr);
    removeEmbedded(w);

    // A start that fails (no thread-local slot left) gives back what it took, once: the
    // next load is the active copy again.
    unloadPlugin(s.plugin);
    std::vector<DWORD> slots;
    for (DWORD slot; (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;) slots.push_back(slot);
    CHECK_FALSE(loadPlugin(s.plugin));
    for (DWORD slot : slots) TlsFree(slot);
    CHECK(nextHandleValue() <= handlesBefore + 16);
    REQUIRE(loadPlugin(s.plugin));
    initPlugin(s.plugin);
    w = addEmbedded("After a failed start");
    CHECK(recordOf(w) != nullptr);
    removeEmbedded(w);
}
