// The Window Settings menu through the real DLL: what the host's main menu carries while it
// is open, the presets, the auto-opaque toggles, and the host menu left as it was.
#include "menu_support.h"

#include <algorithm>

using namespace hostsim;

namespace {

const std::vector<std::string> PRESET_TEXTS = {"1&00%", "&90%", "&80%", "&70%", "&60%",
                                               "&50%",  "&40%", "&30%", "&20%", "&10%"};
const int PRESET_ALPHAS[] = {255, 230, 204, 179, 153, 128, 102, 77, 51, 26};

// The Opacity popup as it must look with the given preset (or none, -1) and mode checked.
std::vector<std::string> opacityPicture(int checkedPreset, int mode) {
    std::vector<std::string> p;
    for (size_t i = 0; i < PRESET_TEXTS.size(); ++i)
        p.push_back(PRESET_TEXTS[i] + (static_cast<int>(i) == checkedPreset ? "*" : ""));
    p.push_back("&Custom");
    p.push_back("-");
    p.push_back(std::string("Opaque on &Focus") + (mode == 1 ? "*" : ""));
    p.push_back(std::string("Opaque on &Hover") + (mode == 2 ? "*" : ""));
    return p;
}

HMENU openedSubmenu(const char* name) {
    HMENU settings = submenuNamed(host().mainMenu, "Window Settings");
    REQUIRE((settings != nullptr));
    return submenuNamed(settings, name);
}

// Watches the calling thread's retrieved messages for fade-out ticks (timer 102 with a
// timer procedure).
struct FadeOutWatch {
    static inline std::vector<HWND> seen;
    static inline HHOOK hook;
    static LRESULT CALLBACK proc(int code, WPARAM wParam, LPARAM lParam) {
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        if (code >= 0 && msg->message == WM_TIMER && msg->wParam == 102 && msg->lParam != 0)
            seen.push_back(msg->hwnd);
        return CallNextHookEx(hook, code, wParam, lParam);
    }
    FadeOutWatch() {
        seen.clear();
        hook = SetWindowsHookExA(WH_GETMESSAGE, proc, nullptr, GetCurrentThreadId());
    }
    ~FadeOutWatch() { UnhookWindowsHookEx(hook); }
    bool sawTickOn(HWND window) {
        return pumpUntil([&] {
            for (HWND w : seen)
                if (w == window) return true;
            return false;
        }, 3000);
    }
    void clear() { seen.clear(); }
};

}  // namespace

TEST_CASE("the host menu opened for real carries Window Settings while open, in table order") {
    Session s;
    attach(hostWindowList());
    std::string before = menuFingerprint(s.host.mainMenu);

    std::vector<std::string> top, settings, opacity, scaling, docked;
    std::vector<MenuItem> hostItems, dockItems;
    UINT chosen = trackMainMenu(s.host.main, [&](HMENU menu) -> UINT {
        hostItems = menuItems(menu);
        top = menuPicture(menu);
        HMENU ws = submenuNamed(menu, "Window Settings");
        if (!ws) return 0;
        settings = menuPicture(ws);
        opacity = menuPicture(submenuNamed(ws, "&Opacity"));
        scaling = menuPicture(submenuNamed(ws, "&Scaling"));
        docked = menuPicture(submenuNamed(ws, "Docked Toolbar"));
        dockItems = menuItems(submenuNamed(ws, "Docked Toolbar"));
        return commandOf(OPACITY_50);       // pick "&50%"
    });

    CHECK(top == std::vector<std::string>{"&About the player...", "-", "&Play", "Pa&use",
                                          "&Stop", "-", "&Options...", "Window Settings>", "-",
                                          "&Always on top", "-", "E&xit"});
    REQUIRE(hostItems.size() == 12);
    CHECK(hostItems[7].id == commandOf(WINDOW_SETTINGS));
    CHECK(hostItems[8].id == commandOf(SETTINGS_SEPARATOR));
    CHECK(settings == std::vector<std::string>{"&Opacity>", "&Scaling (grayed)>", "Docked Toolbar>"});
    CHECK(opacity == opacityPicture(0, 2));     // defaults: linked, 255, opaque on hover
    CHECK(scaling.empty());
    CHECK(docked == std::vector<std::string>{"Auto-&Hide (grayed)", "&Always On Top", "-", "Top", "Left",
                                             "Right", "Bottom", "Not docked*", "-",
                                             "Dock/Undock Windows by Dragging"});
    REQUIRE(dockItems.size() == 10);
    std::vector<UINT> dockIds;
    for (const MenuItem& item : dockItems) dockIds.push_back(item.id);
    CHECK(dockIds == std::vector<UINT>{commandOf(AUTO_HIDE), commandOf(ALWAYS_ON_TOP), 0xFFFFFFFFu,
                                       commandOf(DOCK_TOP), commandOf(DOCK_LEFT), commandOf(DOCK_RIGHT),
                                       commandOf(DOCK_BOTTOM), commandOf(NOT_DOCKED), 0xFFFFFFFFu,
                                       commandOf(DRAG_DOCK)});

    // Closed: the host menu is exactly as before, and the chosen preset took effect.
    CHECK(menuFingerprint(s.host.mainMenu) == before);
    CHECK(chosen == commandOf(OPACITY_50));
    CHECK(pumpUntil([] { return iniRead("cfg_opaque") == "128"; }));
    for (HWND w : hostWindowList()) CHECK(layeredAlpha(w) == 128);
}

TEST_CASE("the preset check mark follows the target's resting alpha") {
    int alpha = 0, checked = 0;
    SUBCASE("255") { alpha = 255; checked = 0; }
    SUBCASE("230") { alpha = 230; checked = 1; }
    SUBCASE("128") { alpha = 128; checked = 5; }
    SUBCASE("127") { alpha = 127; checked = -1; }
    SUBCASE("26") { alpha = 26; checked = 9; }
    std::string entry = "QuorvelHostEqualizer=" + std::to_string(alpha) + " 1 0 0 0 0";
    Session s(withIni({"cfg_link=0", entry.c_str()}));
    attach(hostWindowList());
    openHostMenu(s.host.equalizer);
    CHECK(menuPicture(openedSubmenu("&Opacity")) == opacityPicture(checked, 1));
    closeHostMenu();
}

TEST_CASE("closing the menu leaves the host menu exactly as before, every time") {
    // Also with the command ids of a broken host: all 0 (the host's separators have id 0
    // too) or all alike, so that no id names one item.
    Options options;
    SUBCASE("ids in order") {}
    SUBCASE("ids all 0") { options.firstCommandId = 0; options.commandIdStep = 0; }
    SUBCASE("ids all alike") { options.commandIdStep = 0; }
    Session s(options);
    attach(hostWindowList());
    std::string before = menuFingerprint(s.host.mainMenu);
    for (int i = 0; i < 3; ++i) {
        openHostMenu(s.host.playlist);
        CHECK(menuFingerprint(s.host.mainMenu) != before);
        closeHostMenu();
        CHECK(menuFingerprint(s.host.mainMenu) == before);
    }
    closeHostMenu();        // closing again, with nothing inserted, changes nothing
    CHECK(menuFingerprint(s.host.mainMenu) == before);

    // Opened twice without a close in between, it still carries one submenu, and one close
    // restores it.
    openHostMenu(s.host.playlist);
    std::string once = menuFingerprint(s.host.mainMenu);
    openHostMenu(s.host.equalizer);
    CHECK(menuFingerprint(s.host.mainMenu) == once);
    closeHostMenu();
    CHECK(menuFingerprint(s.host.mainMenu) == before);

    // Started up again while the menu is open: its ids are asked anew, and nothing of the
    // first start-up stays in the menu.
    openHostMenu(s.host.playlist);
    initPlugin(s.plugin);
    closeHostMenu();
    CHECK(menuFingerprint(s.host.mainMenu) == before);
    openHostMenu(s.host.playlist);
    std::vector<std::string> top = menuPicture(s.host.mainMenu);
    CHECK(std::count(top.begin(), top.end(), "Window Settings>") == 1);
    closeHostMenu();
    CHECK(menuFingerprint(s.host.mainMenu) == before);
}

TEST_CASE("a main menu the host rebuilt gets Window Settings; the old one is left as it was") {
    Session s;
    attach(hostWindowList());
    std::string before = menuFingerprint(s.host.mainMenu);
    openHostMenu(s.host.playlist);
    HMENU old = rebuildMainMenu();
    openHostMenu(s.host.playlist);          // on the main window, with the new handle
    CHECK(submenuNamed(s.host.mainMenu, "Window Settings") != nullptr);
    CHECK(menuFingerprint(old) == before);
    closeHostMenu();
    CHECK(menuFingerprint(s.host.mainMenu) == before);
    DestroyMenu(old);

    // A menu that the host does not call its main one gets nothing.
    HMENU other = CreatePopupMenu();
    AppendMenuA(other, MF_STRING, MENU_ANCHOR_COMMAND, "Anchor");
    SendMessageA(s.host.main, WM_INITMENU, reinterpret_cast<WPARAM>(other), 0);
    CHECK(GetMenuItemCount(other) == 1);
    DestroyMenu(other);
}

TEST_CASE("an unmanaged window in front gets no submenu, and later commands do nothing") {
    Session s(withIni({"cfg_link=0"}));
    attach(hostWindowList());
    HWND foreign = createForeignWindow("Somebody else");
    std::string before = menuFingerprint(s.host.mainMenu);

    // A first opening over a managed window, then one over the foreign window: the commands
    // belong to the last opening.
    openHostMenu(s.host.main);
    closeHostMenu();
    openHostMenu(foreign);
    CHECK(menuFingerprint(s.host.mainMenu) == before);
    closeHostMenu();

    auto keys = quorvelKeys();
    sendCommand(OPACITY_10);
    sendCommand(OPAQUE_ON_FOCUS, WM_SYSCOMMAND);
    bool opened = false;
    runCustomDialog({[&](HWND d) { opened = true; pressButton(d, IDCANCEL); }});
    CHECK_FALSE(opened);
    CHECK(quorvelKeys() == keys);
    for (HWND w : hostWindowList()) CHECK(recordOf(w)->opaque == 255.0f);
    CHECK(layeredAlpha(s.host.main) == -1);
    DestroyWindow(foreign);
}

TEST_CASE("a window of another program in front is not taken for a managed one") {
    // Its "Quorvel" property, as another copy of the plug-in would leave it, holds an address
    // of that process; reading it here would crash the host.
    Session s(withIni({"cfg_link=0"}));
    attach(hostWindowList());
    std::string before = menuFingerprint(s.host.mainMenu);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    char command[] = "foreign_window.exe";
    REQUIRE(CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    HWND foreign = nullptr;
    REQUIRE(pumpUntil([&] {
        foreign = FindWindowA(nullptr, "Foreign player");
        return foreign && GetPropA(foreign, "Quorvel") != nullptr;
    }));
    SetForegroundWindow(foreign);
    REQUIRE(pumpUntil([&] { return GetForegroundWindow() == foreign; }, 3000));

    // Wine quietly swallows a crash inside a hook, so count access violations as they happen.
    static LONG violations;
    violations = 0;
    PVOID handler = AddVectoredExceptionHandler(1, [](EXCEPTION_POINTERS* e) WINAPI -> LONG {
        if (e->ExceptionRecord->ExceptionCode == EXCEPTION_ACCESS_VIOLATION)
            InterlockedIncrement(&violations);
        return EXCEPTION_CONTINUE_SEARCH;
    });
    SendMessageA(s.host.main, WM_INITMENU, reinterpret_cast<WPARAM>(s.host.mainMenu), 0);
    CHECK(menuFingerprint(s.host.mainMenu) == before);
    closeHostMenu();
    auto keys = quorvelKeys();
    sendCommand(OPACITY_50);
    CHECK(quorvelKeys() == keys);
    RemoveVectoredExceptionHandler(handler);
    CHECK(violations == 0);

    PostMessageA(foreign, WM_CLOSE, 0, 0);
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

TEST_CASE("linked: opacity checks follow the stored linked settings, dock checks the window's own record") {
    Session s(withIni({"cfg_link=1", "cfg_opaque=128", "cfg_auto=1",
                       "QuorvelHostEqualizer=204 2 1 0 8 1"}));
    attach(hostWindowList());
    SendMessageA(s.host.equalizer, WM_SETFOCUS, 0, 0);     // faded in, the windows show 255
    REQUIRE(pumpUntil([&] { return layeredAlpha(s.host.equalizer) == 255; }));
    openHostMenu(s.host.equalizer);
    CHECK(menuPicture(openedSubmenu("&Opacity")) == opacityPicture(5, 1));
    CHECK(menuPicture(openedSubmenu("Docked Toolbar")) ==
          std::vector<std::string>{"Auto-&Hide*", "&Always On Top", "-", "Top", "Left", "Right",
                                   "Bottom*", "Not docked", "-", "Dock/Undock Windows by Dragging*"});
    closeHostMenu();
}

TEST_CASE("per-window: the checks follow the foreground window's own record") {
    Session s(withIni({"cfg_link=0", "cfg_opaque=128", "cfg_auto=1",
                       "QuorvelHostPlaylist=77 0 0 1 4 0"}));
    attach(hostWindowList());
    openHostMenu(s.host.playlist);
    CHECK(menuPicture(openedSubmenu("&Opacity")) == opacityPicture(7, 0));
    CHECK(menuPicture(openedSubmenu("Docked Toolbar")) ==
          std::vector<std::string>{"Auto-&Hide", "&Always On Top*", "-", "Top*", "Left", "Right",
                                   "Bottom", "Not docked", "-", "Dock/Undock Windows by Dragging"});
    closeHostMenu();
    iniWrite("Docked left", "77 0 0 0 1 0");
    iniWrite("Docked right", "77 0 0 0 2 0");
    for (const char* side : {"left", "right"}) {
        openHostMenu(addEmbedded(std::string("Docked ") + side));
        std::vector<std::string> docked = menuPicture(openedSubmenu("Docked Toolbar"));
        REQUIRE(docked.size() == 10);
        CHECK(docked[4] + docked[5] == (side[0] == 'l' ? "Left*Right" : "LeftRight*"));
        closeHostMenu();
    }
}

TEST_CASE("linked: each preset changes every managed window and writes only cfg_opaque") {
    Session s;
    std::vector<HWND> windows = hostWindowList();
    HWND gen = addEmbedded("Gen One");
    windows.push_back(gen);
    attach(windows);
    openHostMenu(s.host.video);
    closeHostMenu();

    for (int i = 0; i < 10; ++i) {
        CAPTURE(PRESET_TEXTS[i]);
        auto keys = quorvelKeys();
        // WM_SYSCOMMAND carries the same commands as WM_COMMAND.
        sendCommand(static_cast<CommandIndex>(OPACITY_100 + i), i % 2 ? WM_SYSCOMMAND : WM_COMMAND);
        keys["cfg_opaque"] = std::to_string(PRESET_ALPHAS[i]);
        CHECK(quorvelKeys() == keys);
        for (HWND w : windows) CHECK(layeredAlpha(w) == (PRESET_ALPHAS[i] == 255 ? -1 : PRESET_ALPHAS[i]));
        for (HWND w : windows) CHECK(recordOf(w)->opaque == 255.0f);   // own alphas untouched
    }
    // The next opening shows the last preset checked.
    openHostMenu(s.host.main);
    CHECK(menuPicture(openedSubmenu("&Opacity")) == opacityPicture(9, 2));
    closeHostMenu();
}

TEST_CASE("per-window: each preset changes only the target and writes only its entry") {
    Session s(withIni({"cfg_link=0", "QuorvelHostEqualizer=255 1 1 0 8 1"}));
    std::vector<HWND> windows = hostWindowList();
    attach(windows);
    openHostMenu(s.host.equalizer);
    closeHostMenu();

    for (int i = 9; i >= 0; --i) {
        CAPTURE(PRESET_TEXTS[i]);
        auto keys = quorvelKeys();
        sendCommand(static_cast<CommandIndex>(OPACITY_100 + i));
        keys["QuorvelHostEqualizer"] = std::to_string(PRESET_ALPHAS[i]) + " 1 1 0 8 1";
        CHECK(quorvelKeys() == keys);
        Record* r = recordOf(s.host.equalizer);
        CHECK(r->opaque == static_cast<float>(PRESET_ALPHAS[i]));
        CHECK(r->current == static_cast<float>(PRESET_ALPHAS[i]));
        CHECK(layeredAlpha(s.host.equalizer) == PRESET_ALPHAS[i]);   // layered since 10 %
        for (HWND w : windows) {
            if (w == s.host.equalizer) continue;
            CHECK(layeredAlpha(w) == -1);
            CHECK(recordOf(w)->opaque == 255.0f);
        }
    }
}

TEST_CASE("per-window: the auto-opaque toggles cycle and start the target's fade-out") {
    Session s(withIni({"cfg_link=0", "QuorvelHostPlaylist=153 2 0 1 2 0"}));
    attach(hostWindowList());
    openHostMenu(s.host.playlist);
    closeHostMenu();
    FadeOutWatch watch;

    struct Step { CommandIndex command; int mode; };
    SUBCASE("focus: 2 -> 1 -> 0 -> 1") {
        for (Step step : {Step{OPAQUE_ON_FOCUS, 1}, Step{OPAQUE_ON_FOCUS, 0}, Step{OPAQUE_ON_FOCUS, 1}}) {
            watch.clear();
            sendCommand(step.command);
            CHECK(recordOf(s.host.playlist)->auto_mode == step.mode);
            CHECK(iniRead("QuorvelHostPlaylist") == "153 " + std::to_string(step.mode) + " 0 1 2 0");
            CHECK(watch.sawTickOn(s.host.playlist));
        }
    }
    SUBCASE("hover: 2 -> 0 -> 2, and focus from hover") {
        for (Step step : {Step{OPAQUE_ON_HOVER, 0}, Step{OPAQUE_ON_HOVER, 2}, Step{OPAQUE_ON_FOCUS, 1},
                          Step{OPAQUE_ON_HOVER, 2}}) {
            watch.clear();
            sendCommand(step.command, WM_SYSCOMMAND);
            CHECK(recordOf(s.host.playlist)->auto_mode == step.mode);
            CHECK(iniRead("QuorvelHostPlaylist") == "153 " + std::to_string(step.mode) + " 0 1 2 0");
            CHECK(watch.sawTickOn(s.host.playlist));
        }
    }
    CHECK(iniRead("cfg_auto") == "<absent>");
    for (HWND w : {s.host.main, s.host.equalizer}) CHECK(recordOf(w)->auto_mode == 2);
}

TEST_CASE("linked: the auto-opaque toggles change cfg_auto and start the fade-out on the main window") {
    Session s(withIni({"QuorvelHostVideo=200 0 0 0 0 0"}));
    attach(hostWindowList());
    openHostMenu(s.host.video);
    closeHostMenu();
    FadeOutWatch watch;

    sendCommand(OPAQUE_ON_FOCUS);
    CHECK(iniRead("cfg_auto") == "1");
    CHECK(watch.sawTickOn(s.host.main));
    sendCommand(OPAQUE_ON_FOCUS);
    CHECK(iniRead("cfg_auto") == "0");
    sendCommand(OPAQUE_ON_HOVER);
    CHECK(iniRead("cfg_auto") == "2");
    sendCommand(OPAQUE_ON_HOVER);
    CHECK(iniRead("cfg_auto") == "0");
    // The video window's own record and entry are not the linked mode's business.
    CHECK(recordOf(s.host.video)->auto_mode == 0);
    CHECK(iniRead("QuorvelHostVideo") == "200 0 0 0 0 0");
    openHostMenu(s.host.video);
    CHECK(menuPicture(openedSubmenu("&Opacity")) == opacityPicture(0, 0));
    closeHostMenu();
}
