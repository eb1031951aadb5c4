// Which messages reach the filter and which windows it manages, through the real DLL.
#include "menu_support.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace hostsim;

namespace {

// A window procedure put in front of a window's own, recording what it is handed.
struct Seen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Seen> seen;
WNDPROC originalProc;

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message < WM_USER || message >= WM_APP) seen.push_back({message, wParam, lParam});
    return CallWindowProcA(originalProc, window, message, wParam, lParam);
}

void record(HWND window) {
    seen.clear();
    originalProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(recordingProc)));
}

bool sawExactly(UINT message, WPARAM wParam, LPARAM lParam) {
    for (const Seen& s : seen)
        if (s.message == message && s.wParam == wParam && s.lParam == lParam) return true;
    return false;
}

int indexOf(UINT message) {
    for (size_t i = 0; i < seen.size(); ++i)
        if (seen[i].message == message) return static_cast<int>(i);
    return -1;
}

// Class names are looked up without regard to case within one module, so a class that
// differs from "Winamp Gen" only in case has to belong to another module.
HWND otherCaseWindow(const char* title, const char* className, const char* moduleName) {
    HINSTANCE module = GetModuleHandleA(moduleName);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = module;
    wc.lpszClassName = className;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassA(&wc);
    HWND w = CreateWindowExA(0, className, title, WS_POPUP | WS_CAPTION | WS_VISIBLE, 300, 300,
                             120, 80, nullptr, nullptr, module, nullptr);
    char actual[32] = "";
    GetClassNameA(w, actual, sizeof actual);
    CHECK(std::string(actual) == className);
    return w;
}

Options perWindow(const char* entry) {
    Options o;
    o.iniText = quorvelSection({"cfg_link=0", entry});
    return o;
}

}  // namespace

TEST_CASE("a posted message is acted on when it is removed, not when it is peeked at") {
    Session s;
    HWND w = addEmbedded("Peeked");
    hide(w);                                    // unattached, and no paint of its own pending
    REQUIRE(recordOf(w) == nullptr);
    MSG msg;
    PostMessageA(w, WM_PAINT, 0, 0);
    for (int i = 0; i < 2; ++i) REQUIRE(PeekMessageA(&msg, w, WM_PAINT, WM_PAINT, PM_NOREMOVE));
    CHECK(recordOf(w) == nullptr);
    REQUIRE(PeekMessageA(&msg, w, WM_PAINT, WM_PAINT, PM_REMOVE));
    CHECK(msg.hwnd == w);
    CHECK(recordOf(w) != nullptr);              // the removal attached it
}

TEST_CASE("only a top-level window of exactly the class \"Winamp Gen\" is managed") {
    Session s;
    HWND managed = addEmbedded("Managed");
    CHECK(recordOf(managed) != nullptr);

    std::vector<HWND> never = {
        addEmbedded("Owned", EmbedKind::Owned),
        addEmbedded("Child", EmbedKind::Child),
        createForeignWindow("Blank", "Winamp Gen "),
        createForeignWindow("Longer", "Winamp Generic"),
        otherCaseWindow("Lower", "winamp gen", "kernel32.dll"),
        otherCaseWindow("Upper", "WINAMP GEN", "ntdll.dll"),
        createForeignWindow("Plain"),
    };
    for (HWND w : never) {
        REQUIRE(w);
        paint(w);
        ShowWindow(w, SW_HIDE);
        ShowWindow(w, SW_SHOW);
        paint(w);
    }
    pump(50);
    for (HWND w : never) {
        char title[32] = "";
        GetWindowTextA(w, title, sizeof title);
        CAPTURE(title);
        CHECK(recordOf(w) == nullptr);
        CHECK(iniRead(title) == "<absent>");
    }
    // An owned window's owner is its root owner even when that owner is managed too.
    CHECK(iniRead("Winamp Gen ") == "<absent>");
    CHECK(iniRead("Winamp Generic") == "<absent>");
}

TEST_CASE("every message reaches the window procedure unchanged, acted on or not") {
    Session s(perWindow("Watched=180 2 0 0 0 0"));
    HWND w = addEmbedded("Watched");
    REQUIRE(recordOf(w));
    hide(w);
    record(w);

    // WM_PAINT attaches and makes the window layered: the attach sends WM_STYLECHANGING
    // for the extended style to the same window from inside the filter, which re-enters
    // the filter on this thread without blocking, before the paint goes on to the window.
    ShowWindow(w, SW_SHOWNA);
    paint(w);
    REQUIRE(recordOf(w));
    CHECK(layeredAlpha(w) == 180);
    int nested = -1;
    for (size_t i = 0; i < seen.size(); ++i)
        if (seen[i].message == WM_STYLECHANGING && seen[i].wParam == static_cast<WPARAM>(GWL_EXSTYLE))
            nested = static_cast<int>(i);
    CHECK(nested >= 0);
    CHECK(nested < indexOf(WM_PAINT));

    seen.clear();
    SendMessageA(w, WM_SHOWWINDOW, 1, 0x1234);
    STYLESTRUCT change = {WS_POPUP, WS_CHILD};
    SendMessageA(w, WM_STYLECHANGING, static_cast<WPARAM>(GWL_STYLE), reinterpret_cast<LPARAM>(&change));
    CHECK(recordOf(w) == nullptr);              // acted on: detached
    CHECK(change.styleOld == static_cast<DWORD>(WS_POPUP));
    CHECK(change.styleNew == static_cast<DWORD>(WS_CHILD));
    PostMessageA(w, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(3, 4));
    PostMessageA(w, WM_COMMAND, MAKEWPARAM(41005, 0), 0);
    PostMessageA(w, WM_NOTIFY, 1279, 0x55);
    SendMessageA(w, WM_SHOWWINDOW, 0, 0x4321);
    pump(30);
    CHECK(sawExactly(WM_SHOWWINDOW, 1, 0x1234));
    CHECK(sawExactly(WM_STYLECHANGING, static_cast<WPARAM>(GWL_STYLE), reinterpret_cast<LPARAM>(&change)));
    CHECK(sawExactly(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(3, 4)));
    CHECK(sawExactly(WM_COMMAND, MAKEWPARAM(41005, 0), 0));
    CHECK(sawExactly(WM_NOTIFY, 1279, 0x55));
    CHECK(sawExactly(WM_SHOWWINDOW, 0, 0x4321));
    SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(originalProc));
}

TEST_CASE("thread messages pass through unchanged and manage nothing, before start-up too") {
    Options noVideo;
    noVideo.video = false;
    Session s(noVideo, false);                  // all five host handles still null
    WindowThread t;
    std::vector<Seen> got;
    t.run([&] {
        // (WM_STYLECHANGING carries a pointer and cannot be posted.)
        const UINT messages[] = {WM_PAINT, WM_SHOWWINDOW, WM_DESTROY, WM_SETFOCUS, WM_INITMENU};
        for (UINT m : messages) PostThreadMessageA(GetCurrentThreadId(), m, 7, 9);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            if (!msg.hwnd) got.push_back({msg.message, msg.wParam, msg.lParam});
    });
    REQUIRE(got.size() == 5);
    for (const Seen& g : got) {
        CHECK(g.wParam == 7);
        CHECK(g.lParam == 9);
    }
    CHECK(GetPropA(nullptr, "Quorvel") == nullptr);
    // The plug-in still works for real windows afterwards.
    HWND w = addEmbedded("After");
    CHECK(recordOf(w) != nullptr);

    // After start-up the video slot stays null: a thread message is still nobody's, so a
    // posted command changes nothing even with a menu target set.
    initPlugin(s.plugin);
    paint(s.host.main);
    SetForegroundWindow(s.host.main);
    REQUIRE(pumpUntil([&] { return GetForegroundWindow() == s.host.main; }, 3000));
    SendMessageA(s.host.main, WM_INITMENU, reinterpret_cast<WPARAM>(s.host.mainMenu), 0);
    SendMessageA(s.host.main, WM_UNINITMENUPOPUP, reinterpret_cast<WPARAM>(s.host.mainMenu), 0);
    PostThreadMessageA(GetCurrentThreadId(), WM_COMMAND, Options().firstCommandId + 7, 0);  // 50 %
    pump(50);
    CHECK(iniRead("cfg_opaque") == "<absent>");
}

TEST_CASE("a pointer in lParam is read only when the message was sent, and never when null") {
    Session s(perWindow("Styled=150 2 0 0 0 0"));
    HWND managed = addEmbedded("Styled");
    HWND plain = createForeignWindow("Plain");
    REQUIRE(recordOf(managed));
    // Queued, the number is whatever the poster chose: a thread message with no window, and
    // messages posted to a window of either table.
    PostThreadMessageA(GetCurrentThreadId(), WM_NOTIFY, 0, 0x1234);
    PostMessageA(plain, WM_NOTIFY, 1279, 0x1234);
    PostMessageA(s.host.main, WM_NOTIFY, 1279, 0x1234);
    pump(50);
    // Sent, but with nothing to point at.
    SendMessageA(plain, WM_NOTIFY, 1279, 0);
    SendMessageA(managed, WM_STYLECHANGING, static_cast<WPARAM>(GWL_STYLE), 0);
    CHECK(recordOf(managed) != nullptr);
    CHECK(layeredAlpha(managed) == 150);
    DestroyWindow(plain);
    // (The session counts the faults these would raise inside the hooks.)
}

TEST_CASE("threads started before the load and after it are hooked alike") {
    WindowThread before;
    Session s(perWindow("Later=200 0 0 0 0 0"));
    WindowThread after;
    HWND early = nullptr, late = nullptr;
    before.run([&] { early = addEmbedded("Earlier"); });
    after.run([&] { late = addEmbedded("Later"); });
    before.run([&] { paint(early); });
    after.run([&] { paint(late); });
    CHECK(recordOf(early) != nullptr);
    CHECK(iniRead("Earlier") == "255 2 0 0 0 0");
    REQUIRE(recordOf(late) != nullptr);
    CHECK(layeredAlpha(late) == 200);
    before.run([&] { hide(early); });
    after.run([&] { hide(late); });
    CHECK(recordOf(early) == nullptr);
    CHECK(recordOf(late) == nullptr);
    before.run([&] { removeEmbedded(early); });
    after.run([&] { removeEmbedded(late); });
}

namespace {

// Put in front of a "Winamp Gen" window's own procedure: the first time the window is made
// layered it repaints a window of a third thread at once, or keeps its own thread busy for
// five seconds, as host code may do in answer to a style change.
HWND repaintAtOnce;
volatile LONG reactionArmed;
WNDPROC reactingOriginal;

LRESULT CALLBACK reactsToLayering(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_STYLECHANGED && wParam == static_cast<WPARAM>(GWL_EXSTYLE) &&
        (reinterpret_cast<const STYLESTRUCT*>(lParam)->styleNew & WS_EX_LAYERED) &&
        InterlockedExchange(&reactionArmed, 0)) {
        if (repaintAtOnce)
            RedrawWindow(repaintAtOnce, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        else
            Sleep(5000);
    }
    return CallWindowProcA(reactingOriginal, window, message, wParam, lParam);
}

// The longest a thread is held in one mouse move that it sends its own window, over ms.
DWORD longestMouseMove(HWND window, DWORD ms) {
    DWORD longest = 0;
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(2)) {
        DWORD before = GetTickCount();
        SendMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
        longest = std::max(longest, GetTickCount() - before);
    }
    return longest;
}

}  // namespace

TEST_CASE("what a window does inside the plug-in's calls never makes another thread wait") {
    struct Row {
        const char* what;
        bool linked;        // made layered by a linked preset on the main thread, else by its attach
        bool busy;          // busy for 5 s, else repaints a third thread's window at once
    };
    for (Row row : {Row{"attach, repaint", false, false}, Row{"linked preset, repaint", true, false},
                    Row{"attach, busy", false, true}}) {
        CAPTURE(std::string(row.what));
        Session s(withIni({row.linked ? "cfg_link=1" : "cfg_link=0",
                           row.linked ? "Reacting=255 2 0 0 0 0" : "Reacting=128 2 0 0 0 0"}));
        WindowThread reactingThread, thirdThread, unrelatedThread;
        HWND reacting = nullptr, third = nullptr, unrelated = nullptr;
        thirdThread.run([&] { third = addEmbedded("Third"); });
        unrelatedThread.run([&] { unrelated = createForeignWindow("Unrelated"); });
        reactingThread.run([&] {
            reacting = CreateWindowExA(0, "Winamp Gen", "Reacting", WS_POPUP | WS_CAPTION, 60, 60, 160,
                                       100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
            reactingOriginal = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
                reacting, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(reactsToLayering)));
            registerEmbedded(reacting);
        });
        repaintAtOnce = row.busy ? nullptr : third;
        InterlockedExchange(&reactionArmed, 1);

        HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        DWORD hostBlock = 0, unrelatedBlock = 0;
        reactingThread.post([&] {
            ShowWindow(reacting, SW_SHOWNOACTIVATE);
            UpdateWindow(reacting);             // the first paint attaches it
            if (!row.linked) SetEvent(done);
        });
        if (row.linked) {
            REQUIRE(pumpUntil([&] { return recordOf(reacting) != nullptr; }));
            paint(s.host.main);
            openHostMenu(s.host.main);
            closeHostMenu();
            sendCommand(OPACITY_50);
            SetEvent(done);
        } else {
            unrelatedThread.post([&] { unrelatedBlock = longestMouseMove(unrelated, 1500); });
            hostBlock = longestMouseMove(s.host.main, 1500);
        }
        CHECK(waitPumping(done, 15000));
        CHECK(pumpUntil([&] { return layeredAlpha(reacting) == 128; }));
        unrelatedThread.run([] {});
        MESSAGE("longest mouse move: host thread " << hostBlock << " ms, unrelated thread "
                                                   << unrelatedBlock << " ms");
        CHECK(hostBlock < 1000);
        CHECK(unrelatedBlock < 1000);
        reactingThread.run([&] { removeEmbedded(reacting); });
        thirdThread.run([&] { removeEmbedded(third); });
        unrelatedThread.run([&] { DestroyWindow(unrelated); });
        CloseHandle(done);
    }
}
