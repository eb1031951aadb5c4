// Freeing the library while other hooked threads keep working, or while the plug-in's own
// menu items, page or dialog are open, then loading it again.
#include "menu_support.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

using namespace hostsim;

namespace {

constexpr int PUMPERS = 4;
constexpr UINT NUDGE = WM_APP + 7;

struct Pumper {
    HANDLE thread = nullptr;
    HWND window = nullptr;
    std::atomic<bool> attached{false};
    std::atomic<bool> stop{false};
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

            // The unload freed their records. Load it again while the threads go on: they
            // existed before this load, and the new copy hooks them too, so their windows
            // are managed again.
            for (int i = 0; i < PUMPERS; ++i) CHECK(GetPropA(pumpers[i].window, "Quorvel") == nullptr);
            REQUIRE(loadPlugin(s.plugin));
            initPlugin(s.plugin);
            for (int i = 0; i < PUMPERS; ++i) before[i] = pumpers[i].rounds;
            CHECK(pumpUntil([&] {
                for (int i = 0; i < PUMPERS; ++i)
                    if (pumpers[i].rounds < before[i] + 20) return false;
                return true;
            }, 30000));
            // Each hides and shows itself now and then, so the record comes and goes.
            for (int i = 0; i < PUMPERS; ++i)
                CHECK(pumpUntil([&] { return GetPropA(pumpers[i].window, "Quorvel") != nullptr; }));
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

namespace {
// The host's tab control, slow to answer what its items are: the plug-in asks that on its way
// to creating the page, so the unload lands on that way more often than not.
WNDPROC tabOriginal;
LRESULT CALLBACK slowTab(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == TCM_GETITEMA) Sleep(3);
    return CallWindowProcA(tabOriginal, window, message, wParam, lParam);
}
}  // namespace

TEST_CASE("freeing the library while another thread opens the page never runs freed code") {
    for (int round = 0; round < 30; ++round) {
        CAPTURE(round);
        Session s;
        WindowThread prefs;     // the preferences window, and so the page, live on it
        int alpha = -1;
        prefs.run([&] {
            openPreferences(PREFS_PAGE);
            alpha = findPrefsTab("Alpha Blending");
            tabOriginal = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
                prefsTabControl(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(slowTab)));
        });
        REQUIRE(alpha >= 0);
        std::atomic<bool> opening{false};
        prefs.post([&] {
            opening = true;
            selectPrefsTab(alpha);
        });
        while (!opening) Sleep(0);
        Sleep(round % 6);
        unloadPlugin(s.plugin);
        // Either the page came first and keeps the library until it closes, or it never came.
        prefs.run([] { closePreferences(); });
        CHECK(pumpUntil([] { return !moduleLoaded(); }));
    }
}

namespace {
void CALLBACK endThread(HWND, UINT, UINT_PTR, DWORD) { ExitThread(0); }
}  // namespace

TEST_CASE("a page or dialog whose thread ends gives its reference on the library back") {
    for (bool dialog : {false, true}) {
        CAPTURE(dialog);
        Session s;
        {
            WindowThread owner;
            HWND gen = nullptr;
            if (dialog) {
                owner.run([&] { gen = addEmbedded("Doomed"); });
                attach({gen});
                openHostMenu(gen);
                closeHostMenu();
                WORD custom = commandOf(OPACITY_CUSTOM);
                // The thread ends from inside the dialog's modal loop.
                owner.post([=] {
                    SetTimer(nullptr, 0, 200, endThread);
                    SendMessageA(gen, WM_COMMAND, custom, 0);
                });
                REQUIRE(pumpUntil([] { return findCustomDialog() != nullptr; }));
            } else {
                owner.run([] {
                    openPreferences(PREFS_PAGE);
                    selectPrefsTab(findPrefsTab("Alpha Blending"));
                });
                REQUIRE(tabChildDialogs(prefsTabControl()).size() == 1);
            }
        }   // the thread ends with its windows still up
        unloadPlugin(s.plugin);
        CHECK(pumpUntil([] { return !moduleLoaded(); }));
    }
}

TEST_CASE("a second copy of the plug-in stays inert, and freeing it leaves the first one's fades") {
    Session s(withIni({"cfg_link=1", "cfg_auto=2", "cfg_opaque=128", "cfg_fadein=30000"}));
    REQUIRE(CopyFileA("gen_quorvel.dll", "gen_quorvel_copy.dll", FALSE));
    Plugin second;
    REQUIRE(loadPlugin(second, "gen_quorvel_copy.dll"));
    size_t requests = s.host.requests.size();
    initPlugin(second);
    CHECK(s.host.requests.size() == requests);      // it asks the host for nothing

    // Its configuration entry says why it does nothing.
    auto configText = [](Plugin& copy) {
        std::string said;
        std::thread answer([&] {
            HWND box = nullptr;
            for (DWORD start = GetTickCount(); !box && GetTickCount() - start < 10000; Sleep(10))
                box = FindWindowA("#32770", copy.descriptor->description);
            if (!box) return;
            char text[1024] = "";
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            said = text;
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        });
        configPlugin(copy);
        answer.join();
        return said;
    };
    CHECK(configText(second).find("another copy of this plug-in is already active") != std::string::npos);

    attach(hostWindowList());
    openHostMenu(s.host.main);
    std::vector<std::string> top = menuPicture(s.host.mainMenu);
    CHECK(std::count(top.begin(), top.end(), "Window Settings>") == 1);
    closeHostMenu();
    SendMessageA(s.host.playlist, WM_MOUSEMOVE, 0, 0);     // the first copy's fade starts
    unloadPlugin(second);
    CHECK(KillTimer(s.host.main, 101));     // still running: the second copy left it alone

    // Once the active copy is gone, an inert one says that it works from the next start.
    REQUIRE(loadPlugin(second, "gen_quorvel_copy.dll"));
    unloadPlugin(s.plugin);
    std::string said = configText(second);
    CHECK(said.find("has been unloaded since") != std::string::npos);
    CHECK(said.find("starts working when the player is restarted") != std::string::npos);
    unloadPlugin(second);
    DeleteFileA("gen_quorvel_copy.dll");
}

TEST_CASE("quit puts every window back; an unload without it leaves them opaque for the next copy") {
    for (bool quit : {true, false}) {
        CAPTURE(quit);
        Session s(withIni({"cfg_link=0", "QuorvelHostMain=128 2 0 0 0 0", "Gen=100 2 0 0 0 0"}));
        WindowThread other;
        HWND gen = nullptr;
        other.run([&] { gen = addEmbedded("Gen"); });
        // Someone else's layering, which the plug-in leaves alone throughout.
        SetWindowLongA(s.host.equalizer, GWL_EXSTYLE,
                       GetWindowLongA(s.host.equalizer, GWL_EXSTYLE) | WS_EX_LAYERED);
        SetLayeredWindowAttributes(s.host.equalizer, 0, 90, LWA_ALPHA);
        attach({s.host.main, gen});
        SendMessageA(s.host.main, WM_MOUSEMOVE, 0, 0);     // a fade on the main window
        if (quit) {
            quitPlugin(s.plugin);
            for (HWND w : {s.host.main, gen}) {
                CHECK(layeredAlpha(w) == -1);
                CHECK(recordOf(w) == nullptr);
                CHECK(GetPropA(w, "QuorvelLayered") == nullptr);
            }
            CHECK_FALSE(KillTimer(s.host.main, 103));
            paint(s.host.main);
            CHECK(recordOf(s.host.main) == nullptr);       // nothing attaches after quit
            CHECK(iniRead("Gen") == "100 2 0 0 0 0");
        } else {
            unloadPlugin(s.plugin);
            CHECK(layeredAlpha(s.host.main) == 255);
            CHECK(layeredAlpha(gen) == 255);
            // A copy loaded later knows that layering as its own and takes the windows over.
            REQUIRE(loadPlugin(s.plugin));
            initPlugin(s.plugin);
            paint(s.host.main);
            other.run([&] { paint(gen); });
            CHECK(layeredAlpha(s.host.main) == 128);
            CHECK(layeredAlpha(gen) == 100);
        }
        CHECK(layeredAlpha(s.host.equalizer) == 90);
        other.run([&] { removeEmbedded(gen); });
    }
}
