// Linked fades on the main thread against a second hooked thread whose embedded window is
// flooded with mouse messages and hidden and shown again and again. The library's sources
// are compiled in and its hooks installed through its entry point, so that the broadcast
// reset, which nothing in the library's interface reaches, can be called as the
// preferences page calls it: without the lock. Nothing may hang, and all windows must end
// at the same linked alpha. One run per process: unloading cannot be undone.
#include "support/harness.h"

#include <atomic>

#include "plugin/entry/entry.h"
#include "plugin/fade/fade.h"
#include "plugin/host/host.h"
#include "plugin/settings/settings.h"
#include "plugin/window/window.h"

using namespace hostsim;

namespace {

std::vector<HWND> linkedWindows(const Host& h, HWND embedded) {
    return {h.main, h.equalizer, h.playlist, h.minibrowser, h.video, embedded};
}

}  // namespace

TEST_CASE("a flooded second thread that re-attaches its window never hangs the linked fades") {
    Options o;
    o.iniText = quorvelSection({"cfg_opaque=100", "cfg_fadein=40", "cfg_fadeout=40", "cfg_hold=60",
                                "cfg_auto=2", "cfg_link=1"});
    Host& h = start(o);
    setIniPath(h.iniPath.c_str());
    loadGlobalSettings();
    hostWindows = HostWindowSet{h.main, h.equalizer, h.playlist, h.minibrowser, h.video};
    SetCursorPos(1000, 740);            // nothing of the host's there: every hold fades out
    pump(50);

    REQUIRE(DllMain(GetModuleHandleA(nullptr), DLL_PROCESS_ATTACH, nullptr));
    for (HWND w : {h.main, h.equalizer, h.playlist, h.minibrowser, h.video}) paint(w);

    WindowThread second;
    HWND embedded = nullptr;
    second.run([&] {
        DllMain(GetModuleHandleA(nullptr), DLL_THREAD_ATTACH, nullptr);
        embedded = addEmbedded("Second thread");
    });
    REQUIRE(embedded);
    REQUIRE(layeredAlpha(embedded) == 100);

    std::atomic<bool> stopFlood{false};
    std::atomic<int> reattached{0};
    HANDLE floodDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    second.post([&] {
        for (int round = 0; !stopFlood; ++round) {
            for (int k = 0; k < 10; ++k) PostMessageA(embedded, WM_MOUSEMOVE, 0, MAKELPARAM(k, k));
            SendMessageA(embedded, WM_NCHITTEST, 0, 0);
            if (round % 2 == 0) {
                hide(embedded);
                show(embedded);
                ++reattached;
            }
            pump(1);
        }
        SetEvent(floodDone);
    });

    int completed = 0;
    for (int cycle = 0; cycle < 40; ++cycle) {
        SendMessageA(h.playlist, WM_MOUSEMOVE, 0, 0);
        if (cycle % 3 == 2) {
            pump(15);
            resetLinkedWindows();       // mid-fade, as a toggle of the link would
            continue;
        }
        bool in = pumpUntil([&] { return layeredAlpha(h.main) > 100; }, 20000);
        bool out = pumpUntil([&] { return layeredAlpha(h.main) == 100; }, 20000);
        if (in && out) ++completed;
    }
    stopFlood = true;
    REQUIRE(waitPumping(floodDone, 30000));
    MESSAGE("re-attached ", static_cast<int>(reattached), " times, ", completed, " full cycles");
    CHECK(reattached > 10);
    CHECK(completed >= 20);

    // Whatever the flood interleaved with, the fades end with every window at the same
    // linked alpha, the second thread's window included.
    CHECK(pumpUntil([&] { return layeredAlpha(h.main) == 100; }, 20000));
    pump(200);
    for (HWND w : linkedWindows(h, embedded)) {
        CAPTURE(w);
        CHECK(layeredAlpha(w) == 100);
        CHECK(recordOf(w) != nullptr);
    }

    second.run([&] {
        removeEmbedded(embedded);
        DllMain(GetModuleHandleA(nullptr), DLL_THREAD_DETACH, nullptr);
    });
    second.stop();
    for (HWND w : {h.main, h.equalizer, h.playlist, h.minibrowser, h.video}) detachRecord(w);
    DllMain(GetModuleHandleA(nullptr), DLL_PROCESS_DETACH, nullptr);
    hostWindows = HostWindowSet{};
    stop();
    CloseHandle(floodDone);
}
