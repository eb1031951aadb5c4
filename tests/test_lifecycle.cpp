// Lifecycles in number: windows attached and detached a thousand times, two hundred hooked
// threads started and ended, and fifty unloads and reloads while four hooked threads pump
// messages. Nothing may be left behind: no "Quorvel" property, no record, no hook pair.
//
// Records (GlobalAlloc) and hook pairs (LocalAlloc) come from the process heap, so its count
// of blocks in use is an honest observable: a leak of one block per window or per thread
// shows as hundreds of blocks after the loop.
#include "support/harness.h"

#include <stdio.h>

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

TEST_CASE("a thousand windows created, painted, hidden, shown and destroyed leave nothing") {
    Session s;
    for (int i = 0; i < 50; ++i) REQUIRE(cycleWindow(i));     // warm up the heap
    pump(20);
    size_t before = heapBlocksInUse();
    int good = 0;
    for (int i = 0; i < 1000; ++i) good += cycleWindow(i) ? 1 : 0;
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
            // A message through the thread's hooks, so its pair is really in use.
            t.run([] {
                HWND w = addEmbedded("Thread window");
                paint(w);
                SendMessageA(w, WM_MOUSEMOVE, 0, 0);
                removeEmbedded(w);
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
