// Freeing the library while other hooked threads keep working, or while the plug-in's own
// menu items, page or dialog are open, then loading it again.
#include "menu_support.h"

#include <algorithm>
#include <atomic>
#include <string>

using namespace hostsim;

namespace {

constexpr int PUMPERS = 4;
constexpr UINT NUDGE = WM_APP + 7;

struct Pumper {
    HANDLE thread = nullptr;
    HWND window = nullptr;
    std::atomic<bool> attached{false};
    std::atomic<bool> stop{false};
    std::atomic<bool> forget{false};    // drop the window's record once, as if never attached
    std::atomic<long> rounds{0};
    int index = 0;
};

// A thread started after the load (so it is hooked) with a "Winamp Gen" window of its own,
// busy with messages the filter acts on: posted and sent ones, paints, hiding and showing
// (detach and attach, with their style changes), mouse moves; until told to stop.
DWORD WINAPI pumpMessages(void* param) {
    Pumper& p = *static_cast<Pumper*>(param);
    std::string title = "Pumper " + std::to_string(p.index);
    p.window = CreateWindowExA(0, "Winamp Gen", title.c_str(), WS_POPUP | WS_CAPTION | WS_VISIBLE,
                               40 + 30 * p.index, 40, 160, 100, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    UpdateWindow(p.window);
    p.attached = GetPropA(p.window, "Quorvel") != nullptr;
    MSG msg;
    while (!p.stop) {
        if (p.forget.exchange(false)) RemovePropA(p.window, "Quorvel");
        long n = ++p.rounds;
        PostMessageA(p.window, NUDGE, 0, 0);
        PostMessageA(p.window, WM_MOUSEMOVE, 0, MAKELPARAM(n & 63, 5));
        PostMessageA(p.window, WM_PAINT, 0, 0);
        SendMessageA(p.window, WM_SETCURSOR, reinterpret_cast<WPARAM>(p.window), HTCLIENT);
        if (n % 8 == 0) {
            // Hiding and showing as the filter sees it (detach, then attach at the next
            // paint), without unmapping the X window: Wine's X11 driver has been seen to
            // corrupt its own heap when four threads map and unmap windows while another
            // creates and destroys the host's.
            SendMessageA(p.window, WM_SHOWWINDOW, FALSE, 0);
            SendMessageA(p.window, WM_SHOWWINDOW, TRUE, 0);
        }
        InvalidateRect(p.window, nullptr, FALSE);
        UpdateWindow(p.window);
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
    DestroyWindow(p.window);
    return 0;
}

// Starts the pumping threads and, whatever happens in the test, stops and joins them.
struct Pumpers {
    Pumper p[PUMPERS];
    Pumpers() {
        for (int i = 0; i < PUMPERS; ++i) {
            p[i].index = i;
            p[i].thread = CreateThread(nullptr, 0, pumpMessages, &p[i], 0, nullptr);
        }
    }
    bool stopAll() {
        bool ended = true;
        for (Pumper& q : p) q.stop = true;
        for (Pumper& q : p) {
            if (!q.thread) continue;
            ended = waitPumping(q.thread, 20000) && ended;
            CloseHandle(q.thread);
            q.thread = nullptr;
        }
        return ended;
    }
    ~Pumpers() { stopAll(); }
};

bool moduleLoaded() { return GetModuleHandleA("gen_quorvel.dll") != nullptr; }

}  // namespace

TEST_CASE("freeing the library while hooked threads pump leaves them running, 20 times") {
    for (int round = 0; round < 20; ++round) {
        CAPTURE(round);
        {
            Session s;
            Pumpers running;
            Pumper* pumpers = running.p;
            REQUIRE(pumpUntil([&] {
                for (int i = 0; i < PUMPERS; ++i)
                    if (pumpers[i].rounds < 20) return false;
                return true;
            }, 30000));
            for (int i = 0; i < PUMPERS; ++i) CHECK(pumpers[i].attached);   // they were hooked

            unloadPlugin(s.plugin);
            CHECK_FALSE(moduleLoaded());       // really gone, not kept alive by anyone

            long before[PUMPERS];
            for (int i = 0; i < PUMPERS; ++i) before[i] = pumpers[i].rounds;
            pump(500);
            for (int i = 0; i < PUMPERS; ++i) CHECK(pumpers[i].rounds > before[i]);

            // Load it again while the threads go on. They existed before this load, so
            // nothing may manage their windows now: a hook left behind by the first load
            // would call into the new copy and attach them again.
            for (int i = 0; i < PUMPERS; ++i) pumpers[i].forget = true;
            CHECK(pumpUntil([&] {
                for (int i = 0; i < PUMPERS; ++i)
                    if (pumpers[i].forget) return false;
                return true;
            }));
            REQUIRE(loadPlugin(s.plugin));
            initPlugin(s.plugin);
            for (int i = 0; i < PUMPERS; ++i) before[i] = pumpers[i].rounds;
            CHECK(pumpUntil([&] {
                for (int i = 0; i < PUMPERS; ++i)
                    if (pumpers[i].rounds < before[i] + 20) return false;
                return true;
            }, 30000));
            for (int i = 0; i < PUMPERS; ++i) CHECK(GetPropA(pumpers[i].window, "Quorvel") == nullptr);
            paint(s.host.main);
            CHECK(recordOf(s.host.main) != nullptr);

            CHECK(running.stopAll());
        }
        // A fresh host and a fresh load work as the first did.
        Session again;
        paint(again.host.main);
        CHECK(recordOf(again.host.main) != nullptr);
        HWND w = addEmbedded("After unload");
        CHECK(recordOf(w) != nullptr);
    }
}

namespace {

std::atomic<long> hostTicks{0}, foreignTicks{0};
HWND foreignTimed;

void CALLBACK countTick(HWND window, UINT, UINT_PTR, DWORD) {
    (window == foreignTimed ? foreignTicks : hostTicks)++;
}

}  // namespace

TEST_CASE("freeing the library stops the fade timers of host windows on every thread") {
    Session s;
    WindowThread t;
    HWND embedded = nullptr;
    HWND messageOnly = nullptr;     // no top-level window: EnumWindows does not see it
    HWND child = nullptr;           // made a child while it faded: no record, timers still on
    t.run([&] {
        embedded = addEmbedded("Timed");
        SetTimer(embedded, 101, 10, countTick);
        SetTimer(embedded, 102, 10, countTick);
        child = addEmbedded("Child", EmbedKind::Child, embedded);
        SetTimer(child, 102, 10, countTick);
        messageOnly = CreateWindowExA(0, "Winamp Gen", "Message only", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                      nullptr, GetModuleHandleA(nullptr), nullptr);
        SetTimer(messageOnly, 103, 10, countTick);
    });
    SetTimer(s.host.main, 103, 10, countTick);
    foreignTimed = createForeignWindow("Untouched");
    SetTimer(foreignTimed, 101, 10, countTick);
    REQUIRE(pumpUntil([] { return hostTicks > 10 && foreignTicks > 3; }));

    unloadPlugin(s.plugin);
    pump(50);                       // a tick already on its way may still arrive
    long host = hostTicks, foreign = foreignTicks;
    pump(300);
    CHECK(hostTicks == host);       // 101 to 103 are the fade timers: gone on host windows
    CHECK(foreignTicks > foreign);  // other windows' timers are none of the plug-in's business
    KillTimer(foreignTimed, 101);
    DestroyWindow(foreignTimed);
    t.run([&] {
        removeEmbedded(child);
        removeEmbedded(embedded);
        DestroyWindow(messageOnly);
    });
}

namespace {

// Once the plug-in's own windows are gone the library is gone too, and a fresh load works:
// a new window attaches, the menu shows one Window Settings and a preset acts.
void checkFreedAndReloaded(Session& s) {
    CHECK(pumpUntil([] { return !moduleLoaded(); }));
    REQUIRE(loadPlugin(s.plugin));
    initPlugin(s.plugin);
    HWND gen = addEmbedded("After reload");
    attach({gen});
    openHostMenu(gen);
    std::vector<std::string> top = menuPicture(s.host.mainMenu);
    CHECK(std::count(top.begin(), top.end(), "Window Settings>") == 1);
    UINT preset = 0;    // the new copy asked the host for new ids
    for (const MenuItem& item : menuItems(submenuNamed(submenuNamed(s.host.mainMenu, "Window Settings"), "&Opacity")))
        if (item.text == "&50%") preset = item.id;
    closeHostMenu();
    SendMessageA(s.host.main, WM_COMMAND, preset, 0);
    CHECK(layeredAlpha(gen) == 128);
    CHECK(iniRead("cfg_opaque") == "128");
}

}  // namespace

TEST_CASE("freeing the library while its menu items, page or dialog are open") {
    Session s;
    attach(hostWindowList());

    SUBCASE("the host menu is open with Window Settings in it") {
        std::string before = menuFingerprint(s.host.mainMenu);
        std::string open, afterUnload;
        trackMainMenu(s.host.main, [&](HMENU menu) -> UINT {
            open = menuFingerprint(menu);
            unloadPlugin(s.plugin);
            afterUnload = menuFingerprint(menu);
            return 0;
        });
        CHECK(open != before);
        CHECK(afterUnload == before);
        CHECK(menuFingerprint(s.host.mainMenu) == before);
    }
    SUBCASE("the Alpha Blending page is shown") {
        configPlugin(s.plugin);
        pump(20);
        selectPrefsTab(findPrefsTab("Alpha Blending"));
        pump(20);
        std::vector<HWND> pages = tabChildDialogs(prefsTabControl());
        REQUIRE(pages.size() == 1);
        unloadPlugin(s.plugin);
        // The page goes on answering (a crash in its procedure would be counted) until the
        // host closes its preferences.
        HWND slider = GetDlgItem(pages[0], 1415);
        SendMessageA(slider, TBM_SETPOS, TRUE, 30);
        SendMessageA(pages[0], WM_HSCROLL, TB_ENDTRACK, reinterpret_cast<LPARAM>(slider));
        pump(200);
        CHECK(layeredAlpha(s.host.main) == 77);
        closePreferences();
    }
    SUBCASE("the Custom dialog is open, and the host frees the library from inside its loop") {
        openHostMenu(s.host.main);
        closeHostMenu();
        CHECK(runCustomDialog({
            [&](HWND) { unloadPlugin(s.plugin); },
            [&](HWND d) { moveSlider(d, 20); },
            [&](HWND d) { pressButton(d, IDOK); },
        }));
        CHECK(iniRead("cfg_opaque") == "51");
    }
    SUBCASE("the Custom dialog is open on another thread while the host thread frees the library") {
        WindowThread other;
        HWND gen = nullptr;
        other.run([&] { gen = addEmbedded("Gen Elsewhere"); });
        attach({gen});
        openHostMenu(gen);
        closeHostMenu();
        WORD custom = commandOf(OPACITY_CUSTOM);
        other.post([=] { SendMessageA(gen, WM_COMMAND, custom, 0); });
        HWND dialog = nullptr;
        REQUIRE(pumpUntil([&] { return (dialog = findCustomDialog()) && IsWindowVisible(dialog); }));
        unloadPlugin(s.plugin);
        DWORD_PTR result = 0;
        CHECK(SendMessageTimeoutA(dialog, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, &result) != 0);
        CHECK(pumpUntil([] { return findCustomDialog() == nullptr; }));
        other.run([&] { removeEmbedded(gen); });
    }
    checkFreedAndReloaded(s);
}

TEST_CASE("a lock guard already waiting when unloading begins gives up") {
    Session s(withIni({"cfg_link=1", "cfg_opaque=200"}));
    paint(s.host.main);
    SetForegroundWindow(s.host.main);       // the menu's target: a window with a record
    REQUIRE(pumpUntil([&] { return GetForegroundWindow() == s.host.main; }, 3000));
    SendMessageA(s.host.main, WM_INITMENU, reinterpret_cast<WPARAM>(s.host.mainMenu), 0);
    SendMessageA(s.host.main, WM_UNINITMENUPOPUP, reinterpret_cast<WPARAM>(s.host.mainMenu), 0);
    WindowThread holder, waiter;
    HWND held = nullptr, waiting = nullptr;
    holder.run([&] { held = addEmbedded("Holder"); });
    waiter.run([&] { waiting = addEmbedded("Waiter"); hide(waiting); });
    REQUIRE(recordOf(waiting) == nullptr);

    // A preset taken on the holder's window broadcasts under the lock and blocks in its
    // request to the main window, which this thread does not serve until it unloads.
    const WPARAM preset50 = Options().firstCommandId + 7;
    holder.post([&] { SendMessageA(held, WM_COMMAND, preset50, 0); });
    auto requestWaits = [] { return (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0; };
    for (DWORD start = GetTickCount(); !requestWaits() && GetTickCount() - start < 20000;) Sleep(1);
    REQUIRE(requestWaits());
    std::atomic<int> painted{0};
    waiter.post([&] { painted = 1; SendMessageA(waiting, WM_PAINT, 0, 0); painted = 2; });
    while (painted == 0) Sleep(1);
    Sleep(200);
    REQUIRE(painted == 1);                  // its filter waits for the lock

    unloadPlugin(s.plugin);
    waiter.run([] {});
    CHECK(painted == 2);
    CHECK(recordOf(waiting) == nullptr);    // it gave up: no record after the unload began
    holder.run([&] { removeEmbedded(held); });
    waiter.run([&] { removeEmbedded(waiting); });
}
