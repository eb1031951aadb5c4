// The Docked Toolbar through the real DLL: each edge with the shell, always on top,
// auto-hide, drag-docking, docking again at attach, following what the host, a thread's
// end, the shell and the screen do to a docked window, and every registration given back.
// A probe bar asks the shell for a strip after the plug-in's bars: Wine's shell pushes it
// past every strip they reserve on that edge.
#include "menu_support.h"

#include <shellapi.h>
#include <stdio.h>

#include <algorithm>

using namespace hostsim;

namespace {

const int SCREEN_W = GetSystemMetrics(SM_CXSCREEN), SCREEN_H = GetSystemMetrics(SM_CYSCREEN);

struct Side {
    CommandIndex command;
    int side;
    UINT edge;
};
const Side SIDES[] = {{DOCK_TOP, 4, ABE_TOP}, {DOCK_LEFT, 1, ABE_LEFT},
                      {DOCK_RIGHT, 2, ABE_RIGHT}, {DOCK_BOTTOM, 8, ABE_BOTTOM}};

// How far the window's side on that edge lies inside the screen's (0: flush), and its
// thickness across the edge.
int gapTo(HWND window, UINT edge) {
    RECT r;
    GetWindowRect(window, &r);
    return edge == ABE_TOP ? r.top : edge == ABE_LEFT ? r.left
         : edge == ABE_RIGHT ? SCREEN_W - r.right : SCREEN_H - r.bottom;
}
int thicknessOf(HWND window, UINT edge) {
    RECT r;
    GetWindowRect(window, &r);
    return edge == ABE_LEFT || edge == ABE_RIGHT ? r.right - r.left : r.bottom - r.top;
}

// What the shell reserves on an edge, as a bar registered now sees it.
int reservedOn(UINT edge) {
    APPBARDATA d = {};
    d.cbSize = sizeof d;
    d.hWnd = createForeignWindow("Probe bar");
    SHAppBarMessage(ABM_NEW, &d);
    d.uEdge = edge;
    d.rc = RECT{0, 0, SCREEN_W, SCREEN_H};
    SHAppBarMessage(ABM_QUERYPOS, &d);
    SHAppBarMessage(ABM_REMOVE, &d);
    DestroyWindow(d.hWnd);
    return edge == ABE_TOP ? d.rc.top : edge == ABE_LEFT ? d.rc.left
         : edge == ABE_RIGHT ? SCREEN_W - d.rc.right : SCREEN_H - d.rc.bottom;
}

bool topmost(HWND window) { return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

// Every SHAppBarMessage call of the library, taken over through its import; while
// refuseAutoHide is set the shell answers that the edge already has an auto-hide bar.
std::vector<APPBARDATA> shellCalls;
std::vector<DWORD> shellMessages;
bool refuseAutoHide;
decltype(&SHAppBarMessage) realAppBar;

UINT_PTR WINAPI recordAppBar(DWORD message, PAPPBARDATA data) {
    shellMessages.push_back(message);
    shellCalls.push_back(*data);
    if (message == ABM_SETAUTOHIDEBAR && data->lParam && refuseAutoHide) return FALSE;
    return realAppBar(message, data);
}

void watchShell(HMODULE library) {
    shellCalls.clear();
    shellMessages.clear();
    realAppBar = reinterpret_cast<decltype(&SHAppBarMessage)>(
        replaceImport(library, "shell32.dll", "SHAppBarMessage", reinterpret_cast<void*>(&recordAppBar)));
}

// The timer messages a window receives in ms milliseconds.
int timerTicks(HWND window, DWORD ms) {
    int ticks = 0;
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_TIMER && msg.hwnd == window) ++ticks;
            DispatchMessageA(&msg);
        }
        Sleep(5);
    }
    return ticks;
}

// Moves and sizes a window as the host does, without a drag.
void moveTo(HWND window, int x, int y) {
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
void growBy(HWND window, int dx, int dy) {
    RECT r;
    GetWindowRect(window, &r);
    SetWindowPos(window, nullptr, 0, 0, r.right - r.left + dx, r.bottom - r.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A host that puts its window back at 330, 250 whenever it has moved, counting the moves.
WNDPROC hostProcedure;
int movesSeen;
LRESULT CALLBACK keepInPlace(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
    if (message == WM_WINDOWPOSCHANGED && !(pos->flags & SWP_NOMOVE) && (pos->x != 330 || pos->y != 250)) {
        ++movesSeen;
        moveTo(window, 330, 250);
    }
    return CallWindowProcA(hostProcedure, window, message, wParam, lParam);
}

// The n-th number of an entry "opacity auto-mode auto-hide always-on-top dock-side drag-dock".
int entryField(const char* entry, int n) {
    int v[6] = {};
    sscanf(entry, "%d %d %d %d %d %d", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
    return v[n];
}

// A drag as classic skins do it: the window takes the mouse capture, moves itself, lets go.
void drag(HWND window, int toX, int toY) {
    RECT r;
    GetWindowRect(window, &r);
    SetCapture(window);
    for (int i = 1; i <= 3; ++i)
        SetWindowPos(window, nullptr, r.left + (toX - r.left) * i / 3, r.top + (toY - r.top) * i / 3,
                     0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ReleaseCapture();
}

}  // namespace

TEST_CASE("each side docks the target alone flush against its edge with the shell; Not docked puts it back") {
    Session s(withIni({"cfg_link=1", "QuorvelHostPlaylist=128 2 0 0 0 1"}));
    HWND w = s.host.playlist;
    attach(hostWindowList());
    openHostMenu(w);
    closeHostMenu();
    RECT home, main, r;
    GetWindowRect(w, &home);
    GetWindowRect(s.host.main, &main);
    for (const Side& side : SIDES) {
        CAPTURE(side.side);
        RECT before;
        GetWindowRect(w, &before);
        sendCommand(side.command);
        CHECK(iniRead("QuorvelHostPlaylist") == "128 2 0 0 " + std::to_string(side.side) + " 1");
        CHECK(pumpUntil([&] { return gapTo(w, side.edge) == 0; }, 3000));
        CHECK(reservedOn(side.edge) == thicknessOf(w, side.edge));
        GetWindowRect(w, &r);
        CHECK((side.edge == ABE_TOP || side.edge == ABE_BOTTOM ? r.left == before.left : r.top == before.top));
    }
    sendCommand(NOT_DOCKED);
    CHECK(pumpUntil([&] { return GetWindowRect(w, &r) && r.left == home.left && r.top == home.top; }, 3000));
    CHECK(reservedOn(ABE_BOTTOM) == 0);
    CHECK(iniRead("QuorvelHostPlaylist") == "128 2 0 0 0 1");
    GetWindowRect(s.host.main, &r);
    CHECK((r.left == main.left && r.top == main.top));
    // Docked again from a new place, "Not docked" goes back to that place, not the first one.
    SetWindowPos(w, nullptr, home.left + 60, home.top + 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    sendCommand(DOCK_LEFT);
    CHECK(pumpUntil([&] { return gapTo(w, ABE_LEFT) == 0; }, 3000));
    sendCommand(NOT_DOCKED);
    CHECK(pumpUntil([&] { return GetWindowRect(w, &r) && r.left == home.left + 60 && r.top == home.top + 30; }, 3000));
}

TEST_CASE("Always On Top sets and clears WS_EX_TOPMOST; a full-screen program goes in front meanwhile") {
    Session s(withIni({"QuorvelHostEqualizer=255 2 0 0 4 0"}));
    watchShell(s.plugin.module);
    HWND w = s.host.equalizer;
    attach(hostWindowList());
    REQUIRE(pumpUntil([&] { return gapTo(w, ABE_TOP) == 0; }, 3000));
    REQUIRE(shellMessages[0] == ABM_NEW);
    UINT notice = shellCalls[0].uCallbackMessage;
    openHostMenu(w);
    closeHostMenu();
    CHECK_FALSE(topmost(w));
    sendCommand(ALWAYS_ON_TOP);
    CHECK(iniRead("QuorvelHostEqualizer") == "255 2 0 1 4 0");
    CHECK(pumpUntil([&] { return topmost(w); }, 3000));
    PostMessageA(w, notice, ABN_FULLSCREENAPP, TRUE);
    CHECK(pumpUntil([&] { return !topmost(w); }, 3000));
    PostMessageA(w, notice, ABN_FULLSCREENAPP, FALSE);
    CHECK(pumpUntil([&] { return topmost(w); }, 3000));
    sendCommand(ALWAYS_ON_TOP);
    CHECK(iniRead("QuorvelHostEqualizer") == "255 2 0 0 4 0");
    CHECK(pumpUntil([&] { return !topmost(w); }, 3000));
}

TEST_CASE("auto-hide slides out to a strip, rests without a timer, and slides in under the pointer") {
    SetCursorPos(SCREEN_W - 20, SCREEN_H - 20);
    Session s(withIni({"cfg_link=0", "cfg_hold=100", "QuorvelHostEqualizer=255 0 0 0 1 0"}));
    watchShell(s.plugin.module);
    HWND w = s.host.equalizer;
    attach(hostWindowList());
    REQUIRE(pumpUntil([&] { return gapTo(w, ABE_LEFT) == 0; }, 3000));
    openHostMenu(w);
    closeHostMenu();
    sendCommand(AUTO_HIDE);
    CHECK(iniRead("QuorvelHostEqualizer") == "255 0 1 0 1 0");
    auto onScreen = [&] { return thicknessOf(w, ABE_LEFT) + gapTo(w, ABE_LEFT); };
    CHECK(pumpUntil([&] { return onScreen() <= 4; }, 5000));
    CHECK(onScreen() >= 2);
    CHECK(timerTicks(w, 400) == 0);
    CHECK(reservedOn(ABE_LEFT) == 0);
    bool registered = false;
    for (size_t i = 0; i < shellCalls.size(); ++i)
        registered |= shellMessages[i] == ABM_SETAUTOHIDEBAR && shellCalls[i].hWnd == w &&
                      shellCalls[i].uEdge == ABE_LEFT && shellCalls[i].lParam;
    CHECK(registered);

    RECT r;
    GetWindowRect(w, &r);
    SetCursorPos(r.right - 1, (r.top + r.bottom) / 2);
    SendMessageA(w, WM_MOUSEMOVE, 0, 0);
    CHECK(pumpUntil([&] { return gapTo(w, ABE_LEFT) == 0; }, 3000));
    pump(300);                                  // held in view while the pointer stays
    CHECK(gapTo(w, ABE_LEFT) == 0);
    // Minimised meanwhile, nothing slides; restored, it is the edge's auto-hide bar again.
    ShowWindow(w, SW_SHOWMINNOACTIVE);
    CHECK(timerTicks(w, 400) == 0);
    ShowWindow(w, SW_SHOWNOACTIVATE);
    SetCursorPos(SCREEN_W - 20, SCREEN_H - 20);
    CHECK(pumpUntil([&] { return onScreen() <= 4; }, 3000));
}

TEST_CASE("an edge that already has an auto-hide bar takes the window as a plain bar, unchecked") {
    refuseAutoHide = true;
    Session s(withIni({"cfg_link=0", "QuorvelHostEqualizer=255 2 1 0 4 0"}));
    watchShell(s.plugin.module);
    attach(hostWindowList());
    CHECK(pumpUntil([&] { return iniRead("QuorvelHostEqualizer") == "255 2 0 0 4 0"; }, 3000));
    CHECK(recordOf(s.host.equalizer)->auto_hide == 0);
    CHECK(pumpUntil([&] { return gapTo(s.host.equalizer, ABE_TOP) == 0; }, 3000));
    CHECK(reservedOn(ABE_TOP) == thicknessOf(s.host.equalizer, ABE_TOP));
    refuseAutoHide = false;
}

TEST_CASE("a host-style drag docks a window near an edge and undocks one dragged away") {
    struct Row {
        const char* entry;
        int toY;
        const char* after;
        int gap;        // from the top edge, once settled
    };
    const Row rows[] = {
        {"255 2 0 0 0 1", 5, "255 2 0 0 4 1", 0},      // near the edge: docks
        {"255 2 0 0 0 1", -30, "255 2 0 0 4 1", 0},    // dropped partly past the edge: docks
        {"255 2 0 0 0 0", 5, "255 2 0 0 0 0", 5},      // option off: stays
        {"255 2 0 0 4 1", 15, "255 2 0 0 4 1", 0},     // not far enough: back in place
        {"255 2 0 0 4 1", 40, "255 2 0 0 0 1", 40},    // dragged away: undocks, stays
        {"255 2 0 0 4 0", 40, "255 2 0 0 4 0", 0},     // option off: back in place
    };
    for (const Row& row : rows) {
        std::string line = std::string("QuorvelHostVideo=") + row.entry;
        CAPTURE(line);
        CAPTURE(row.toY);
        Session s(withIni({line.c_str()}));
        HWND w = s.host.video;
        attach({w});
        pump(200);
        drag(w, 400, row.toY);
        CHECK(pumpUntil([&] { return iniRead("QuorvelHostVideo") == row.after; }, 3000));
        CHECK(pumpUntil([&] { return gapTo(w, ABE_TOP) == row.gap; }, 3000));
        CHECK(reservedOn(ABE_TOP) == (row.after[10] == '4' ? thicknessOf(w, ABE_TOP) : 0));
    }
}

TEST_CASE("a stored dock comes back at attach, and hide, destroy, child, quit and unload give the edge back") {
    for (int way = 0; way < 5; ++way) {
        CAPTURE(way);
        Session s(withIni({"QuorvelHostBrowser=255 2 0 1 4 0"}));
        HWND w = s.host.minibrowser;
        attach({w});
        CHECK(pumpUntil([&] { return gapTo(w, ABE_TOP) == 0 && topmost(w); }, 3000));
        CHECK(reservedOn(ABE_TOP) == thicknessOf(w, ABE_TOP));
        switch (way) {
        case 0: hide(w); break;
        case 1: DestroyWindow(w); break;
        case 2: SetWindowLongA(w, GWL_STYLE, (GetWindowLongA(w, GWL_STYLE) & ~WS_POPUP) | WS_CHILD); break;
        case 3: quitPlugin(s.plugin); break;
        default: unloadPlugin(s.plugin); break;
        }
        CHECK(reservedOn(ABE_TOP) == 0);
        CHECK(iniRead("QuorvelHostBrowser") == "255 2 0 1 4 0");
        if (way == 0) {
            show(w);
            CHECK(pumpUntil([&] { return reservedOn(ABE_TOP) == thicknessOf(w, ABE_TOP); }, 3000));
        }
    }
}

TEST_CASE("a docked window follows the host: minimised, moved, resized, its topmost state taken or given") {
    struct Row {
        const char* entry;      // the video window's: 280 x 200 at 330, 250
        UINT edge;
        void (*act)(HWND w);
        const char* after;
        int gap;                // to that edge, once settled
        bool topmost;
    };
    const Row rows[] = {
        // Minimised: no strip, the side kept; restored: docked again at its own thickness.
        {"255 2 0 0 8 0", ABE_BOTTOM, [](HWND w) {
             ShowWindow(w, SW_SHOWMINNOACTIVE);
             CHECK(pumpUntil([] { return reservedOn(ABE_BOTTOM) == 0; }, 3000));
             CHECK(recordOf(w)->dock_side == 8);
             ShowWindow(w, SW_SHOWNOACTIVATE);
         }, "255 2 0 0 8 0", 0, false},
        // Moved by the host, not dragged: judged as a drag.
        {"255 2 0 0 4 0", ABE_TOP, [](HWND w) { moveTo(w, 330, 100); }, "255 2 0 0 4 0", 0, false},
        {"255 2 0 0 4 1", ABE_TOP, [](HWND w) { moveTo(w, 330, 100); }, "255 2 0 0 0 1", 100, false},
        // Resized one way only: a strip as thick as the window, the window flush against it.
        {"255 2 0 0 1 0", ABE_LEFT, [](HWND w) { growBy(w, 60, 0); }, "255 2 0 0 1 0", 0, false},
        {"255 2 0 0 1 0", ABE_LEFT, [](HWND w) { growBy(w, 0, 60); }, "255 2 0 0 1 0", 0, false},
        {"255 2 0 0 8 0", ABE_BOTTOM, [](HWND w) { growBy(w, 0, 60); }, "255 2 0 0 8 0", 0, false},
        {"255 2 0 0 8 0", ABE_BOTTOM, [](HWND w) { growBy(w, 60, 0); }, "255 2 0 0 8 0", 0, false},
        // Always On Top: put back when the host takes it away; while off, never touched.
        {"255 2 0 1 4 0", ABE_TOP, [](HWND w) {
             SetWindowPos(w, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
         }, "255 2 0 1 4 0", 0, true},
        {"255 2 0 0 4 0", ABE_TOP, [](HWND w) {
             SetWindowPos(w, HWND_TOPMOST, 330, 100, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
         }, "255 2 0 0 4 0", 0, true},
        // A host that puts the window back where it wants it: placed once, not again and again.
        {"255 2 0 0 4 0", ABE_TOP, [](HWND w) {
             hostProcedure = reinterpret_cast<WNDPROC>(
                 SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(keepInPlace)));
             moveTo(w, 330, 100);
             pump(300);
             int seen = movesSeen;
             pump(300);
             CHECK(movesSeen == seen);
         }, "255 2 0 0 4 0", 250, false},
        // Stored without a side: topmost from its attach.
        {"255 2 0 1 0 0", ABE_TOP, [](HWND) {}, "255 2 0 1 0 0", 250, true},
    };
    for (const Row& row : rows) {
        std::string line = std::string("QuorvelHostVideo=") + row.entry;
        CAPTURE(line);
        CAPTURE(&row - rows);
        Session s(withIni({line.c_str()}));
        HWND w = s.host.video;
        attach({w});
        REQUIRE(pumpUntil([&] {
            return (!entryField(row.entry, 4) || gapTo(w, row.edge) == 0) &&
                   (!entryField(row.entry, 3) || topmost(w));
        }, 3000));
        row.act(w);
        pump(200);
        CHECK(pumpUntil([&] { return iniRead("QuorvelHostVideo") == row.after; }, 3000));
        CHECK(pumpUntil([&] { return gapTo(w, row.edge) == row.gap; }, 3000));
        CHECK(topmost(w) == row.topmost);
        CHECK(reservedOn(row.edge) == (entryField(row.after, 4) ? thicknessOf(w, row.edge) : 0));
    }
}

TEST_CASE("a docked window whose thread ends gives its edge and its record back at once, and keeps its side") {
    Session s(withIni({"Docked tool=255 2 0 0 8 0"}));
    HWND tool = nullptr;
    Record* record = nullptr;
    {
        WindowThread t;     // started after the load: it has the plug-in's hooks
        t.run([&] { tool = addEmbedded("Docked tool"); });
        CHECK(pumpUntil([&] { return gapTo(tool, ABE_BOTTOM) == 0; }, 3000));
        CHECK(reservedOn(ABE_BOTTOM) == thicknessOf(tool, ABE_BOTTOM));
        record = recordOf(tool);
        unregisterEmbedded(tool);
        t.stop();           // its loop ends: the system takes the window down unannounced
    }
    CHECK_FALSE(IsWindow(tool));
    CHECK(reservedOn(ABE_BOTTOM) == 0);         // the next bar there has the whole edge
    CHECK(GlobalSize(record) == 0);             // and its record went back to the heap
    CHECK(iniRead("Docked tool") == "255 2 0 0 8 0");
}

TEST_CASE("a restarted shell and a changed screen: every docked window is on its edge again") {
    struct Row {
        const char* name;
        const char* equalizer;  // entries: docked at the top and at the left
        const char* playlist;
        void (*act)(HWND eq, HWND pl);
    };
    const Row rows[] = {
        // The shell forgot every bar (the test takes the registrations away itself).
        {"TaskbarCreated", "255 2 0 0 4 0", "255 2 0 0 1 0", [](HWND eq, HWND pl) {
             for (HWND w : {eq, pl}) {
                 APPBARDATA d = {};
                 d.cbSize = sizeof d;
                 d.hWnd = w;
                 SHAppBarMessage(ABM_REMOVE, &d);
             }
             CHECK(reservedOn(ABE_TOP) == 0);
             CHECK(reservedOn(ABE_LEFT) == 0);
             for (HWND w : hostWindowList()) PostMessageA(w, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
         }},
        // The screen changed under windows that may be dragged off their edges: one whose
        // monitor is gone (moved past the screen) and one left off its edge.
        {"WM_DISPLAYCHANGE", "255 2 0 0 4 1", "255 2 0 0 1 1", [](HWND eq, HWND pl) {
             moveTo(eq, SCREEN_W + 100, SCREEN_H + 100);
             moveTo(pl, 150, 300);
             for (HWND w : hostWindowList())
                 SendMessageA(w, WM_DISPLAYCHANGE, 32, MAKELPARAM(SCREEN_W, SCREEN_H));
         }},
    };
    for (const Row& row : rows) {
        std::string name = row.name;
        CAPTURE(name);
        std::string eqLine = std::string("QuorvelHostEqualizer=") + row.equalizer;
        std::string plLine = std::string("QuorvelHostPlaylist=") + row.playlist;
        Session s(withIni({eqLine.c_str(), plLine.c_str()}));
        watchShell(s.plugin.module);
        HWND eq = s.host.equalizer, pl = s.host.playlist;
        attach(hostWindowList());
        REQUIRE(pumpUntil([&] { return gapTo(eq, ABE_TOP) == 0 && gapTo(pl, ABE_LEFT) == 0; }, 3000));
        row.act(eq, pl);
        CHECK(pumpUntil([&] { return gapTo(eq, ABE_TOP) == 0 && gapTo(pl, ABE_LEFT) == 0; }, 3000));
        CHECK(pumpUntil([&] { return reservedOn(ABE_TOP) == thicknessOf(eq, ABE_TOP); }, 3000));
        CHECK(reservedOn(ABE_LEFT) == thicknessOf(pl, ABE_LEFT));
        RECT r;
        GetWindowRect(eq, &r);
        CHECK((r.left >= 0 && r.right <= SCREEN_W));
        CHECK(iniRead("QuorvelHostEqualizer") == row.equalizer);
        CHECK(iniRead("QuorvelHostPlaylist") == row.playlist);

        // A change of the work area asks the shell for the strip again; other settings do not.
        pump(200);
        auto queries = [&] { return std::count(shellMessages.begin(), shellMessages.end(), ABM_QUERYPOS); };
        auto before = queries();
        SendMessageA(eq, WM_SETTINGCHANGE, SPI_SETDESKWALLPAPER, 0);
        pump(200);
        CHECK(queries() == before);
        SendMessageA(eq, WM_SETTINGCHANGE, SPI_SETWORKAREA, 0);
        CHECK(pumpUntil([&] { return queries() > before; }, 3000));
    }
}

TEST_CASE("quit and unload bring an auto-hidden window that is slid out back into view") {
    for (int way = 0; way < 2; ++way) {
        CAPTURE(way);
        SetCursorPos(SCREEN_W - 20, SCREEN_H - 20);
        Session s(withIni({"cfg_link=0", "cfg_hold=100", "QuorvelHostEqualizer=255 0 1 0 1 0"}));
        HWND w = s.host.equalizer;
        attach({w});
        CHECK(pumpUntil([&] { return thicknessOf(w, ABE_LEFT) + gapTo(w, ABE_LEFT) <= 4; }, 5000));
        if (way == 0) quitPlugin(s.plugin);
        else unloadPlugin(s.plugin);
        CHECK(pumpUntil([&] { return gapTo(w, ABE_LEFT) == 0; }, 3000));
    }
}
