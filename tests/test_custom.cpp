// The Custom Opacity dialog through the real DLL: its template, the slider's start, the
// live preview, OK, Cancel and the close button, linked and per window, and a target that
// goes away while the dialog is open.
#include "menu_support.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <stdio.h>

using namespace hostsim;

namespace {

// Opens the host menu over the window and closes it again, so that it becomes the target.
void target(HWND window) {
    openHostMenu(window);
    closeHostMenu();
}

// ---- Reading the dialog template back from the DLL ------------------------------------------

struct TemplateReader {
    const BYTE* p;
    WORD word() { WORD w; memcpy(&w, p, 2); p += 2; return w; }
    DWORD dword() { DWORD d; memcpy(&d, p, 4); p += 4; return d; }
    short shortValue() { return static_cast<short>(word()); }
    std::string text() {
        std::string s;
        for (WORD c = word(); c; c = word()) s += static_cast<char>(c);
        return s;
    }
    // A string, or an ordinal written as "#<n>".
    std::string nameOrOrdinal() {
        WORD first;
        memcpy(&first, p, 2);
        if (first == 0xFFFF) {
            word();
            return "#" + std::to_string(word());
        }
        return text();
    }
    void alignDword(const BYTE* base) {
        while ((p - base) % 4) ++p;
    }
};

struct ControlTemplate {
    DWORD exStyle, style;
    short x, y, cx, cy;
    DWORD id;
    std::string className, text;
};

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::string classOf(const std::string& name) {
    if (name == "#128") return "button";
    if (name == "#130") return "static";
    return lower(name);
}

// Records the trackbar set-up messages sent on the calling thread.
struct SliderLog {
    static inline std::vector<std::string> sent;
    static inline HHOOK hook;
    static LRESULT CALLBACK proc(int code, WPARAM wParam, LPARAM lParam) {
        const CWPSTRUCT* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
        const char* name = nullptr;
        switch (m->message) {
        case TBM_SETRANGE: name = "SETRANGE"; break;
        case TBM_SETPAGESIZE: name = "SETPAGESIZE"; break;
        case TBM_SETSEL: name = "SETSEL"; break;
        case TBM_SETPOS: name = "SETPOS"; break;
        }
        char cls[64] = "";
        GetClassNameA(m->hwnd, cls, sizeof cls);
        if (code >= 0 && name && lower(cls) == "msctls_trackbar32") {
            char line[96];
            snprintf(line, sizeof line, "%s %d %#lx", name, static_cast<int>(m->wParam),
                     static_cast<unsigned long>(m->lParam));
            sent.push_back(line);
        }
        return CallNextHookEx(hook, code, wParam, lParam);
    }
    SliderLog() {
        sent.clear();
        hook = SetWindowsHookExA(WH_CALLWNDPROC, proc, nullptr, GetCurrentThreadId());
    }
    ~SliderLog() { stop(); }
    void stop() {
        if (hook) UnhookWindowsHookEx(hook);
        hook = nullptr;
    }
};

}  // namespace

TEST_CASE("dialog 1289 is the US English extended template with the six controls") {
    Session s;
    HRSRC found = FindResourceExA(s.plugin.module, MAKEINTRESOURCEA(5) /* RT_DIALOG */,
                                  MAKEINTRESOURCEA(1289), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    REQUIRE((found != nullptr));
    const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(s.plugin.module, found)));
    REQUIRE((base != nullptr));
    TemplateReader r{base};
    CHECK(r.word() == 1);           // extended template
    CHECK(r.word() == 0xFFFF);
    r.dword();                      // help id
    CHECK(r.dword() == 0u);         // no extended style
    CHECK(r.dword() == 0x80C808C2u);
    WORD count = r.word();
    CHECK(count == 6);
    short box[4] = {r.shortValue(), r.shortValue(), r.shortValue(), r.shortValue()};
    CHECK(box[2] == 165);
    CHECK(box[3] == 70);
    CHECK(r.nameOrOrdinal() == "");     // no menu
    CHECK(r.nameOrOrdinal() == "");     // the standard dialog class
    CHECK(r.text() == "Custom Opacity");
    CHECK(r.word() == 8);               // point size
    r.word();                           // weight
    r.p += 2;                           // italic, character set
    CHECK(r.text() == "MS Sans Serif");

    std::vector<ControlTemplate> controls;
    for (int i = 0; i < count; ++i) {
        r.alignDword(base);
        ControlTemplate c;
        r.dword();      // help id
        c.exStyle = r.dword();
        c.style = r.dword();
        c.x = r.shortValue(); c.y = r.shortValue(); c.cx = r.shortValue(); c.cy = r.shortValue();
        c.id = r.dword();
        c.className = classOf(r.nameOrOrdinal());
        c.text = r.nameOrOrdinal();
        r.p += r.word();    // creation data
        controls.push_back(c);
    }
    struct Expected { DWORD id; const char* cls; const char* text; DWORD style; short x, y, cx, cy; };
    const Expected expected[] = {
        {1311, "button", "Opacity : 100%", 0x50000007, 7, 7, 151, 37},
        {1309, "msctls_trackbar32", "Slider1", 0x50010018, 13, 18, 139, 11},
        {0xFFFFFFFF, "static", "10%", 0x50020000, 17, 30, 14, 8},
        {0xFFFFFFFF, "static", "100%", 0x50020000, 131, 30, 18, 8},
        {1, "button", "OK", 0x50010001, 54, 49, 50, 14},
        {2, "button", "Cancel", 0x50010000, 108, 49, 50, 14},
    };
    REQUIRE(controls.size() == 6);
    for (int i = 0; i < 6; ++i) {
        CAPTURE(i);
        const ControlTemplate& c = controls[i];
        const Expected& e = expected[i];
        CHECK(c.id == e.id);
        CHECK(c.className == e.cls);
        CHECK(c.text == e.text);
        CHECK(c.style == e.style);
        CHECK(c.exStyle == 0u);
        CHECK(c.x == e.x); CHECK(c.y == e.y); CHECK(c.cx == e.cx); CHECK(c.cy == e.cy);
    }
}

TEST_CASE("per-window: the dialog opens at the target's percentage, owned by the main window") {
    // No auto mode on the target, so that the focus moving to the dialog starts no new hold.
    Session s(withIni({"cfg_link=0", "cfg_opaque=26", "QuorvelHostEqualizer=204 0 0 0 0 0"}));
    attach(hostWindowList());
    target(s.host.equalizer);
    // Fade timers that run on the target stop before the dialog opens.
    for (UINT_PTR id : {101, 102, 103}) SetTimer(s.host.equalizer, id, 60000, nullptr);

    SliderLog log;
    HWND owner = nullptr;
    int pos = 0, rangeMin = 0, rangeMax = 0, page = 0;
    std::string caption;
    bool timersStopped = false;
    CHECK(runCustomDialog({[&](HWND d) {
        log.stop();
        HWND slider = GetDlgItem(d, SLIDER_ID);
        owner = GetWindow(d, GW_OWNER);
        pos = sliderPos(d);
        caption = frameText(d);
        rangeMin = static_cast<int>(SendMessageA(slider, TBM_GETRANGEMIN, 0, 0));
        rangeMax = static_cast<int>(SendMessageA(slider, TBM_GETRANGEMAX, 0, 0));
        page = static_cast<int>(SendMessageA(slider, TBM_GETPAGESIZE, 0, 0));
        timersStopped = !KillTimer(s.host.equalizer, 101) && !KillTimer(s.host.equalizer, 102) &&
                        !KillTimer(s.host.equalizer, 103);
        pressButton(d, IDCANCEL);
    }}));
    CHECK(owner == s.host.main);
    CHECK(pos == 80);
    CHECK(caption == "Opacity : 80%");
    CHECK(rangeMin == 10);
    CHECK(rangeMax == 100);
    CHECK(page == 5);
    // The slider is set up in this order (the selection is only kept by trackbars that
    // show one, so it is checked as sent).
    CHECK(log.sent == std::vector<std::string>{"SETRANGE 1 0x64000a", "SETPAGESIZE 0 0x5",
                                               "SETSEL 0 0x64000a", "SETPOS 1 0x50"});
    CHECK(timersStopped);
}

TEST_CASE("per-window: OK without moving stores the alpha the shown percentage maps to") {
    Session s(withIni({"cfg_link=0", "cfg_hold=30000", "QuorvelHostMain=127 2 1 1 2 1"}));
    attach(hostWindowList());
    // The menu is usually opened over the window under the pointer, faded in by the hover.
    bool fadedIn = false;
    SUBCASE("at rest") {}
    SUBCASE("faded in") {
        fadedIn = true;
        SendMessageA(s.host.main, WM_MOUSEMOVE, 0, 0);
        REQUIRE(pumpUntil([&] { return layeredAlpha(s.host.main) == 255; }));
    }
    target(s.host.main);
    int pos = 0;
    CHECK(runCustomDialog({[&](HWND d) { pos = sliderPos(d); pressButton(d, IDOK); }}));
    CHECK(pos == 49);
    CHECK(recordOf(s.host.main)->opaque == 125.0f);
    CHECK(recordOf(s.host.main)->current == 125.0f);
    CHECK(iniRead("QuorvelHostMain") == "125 2 1 1 2 1");
    CHECK(iniRead("cfg_opaque") == "<absent>");
    CHECK(layeredAlpha(s.host.main) == (fadedIn ? 255 : 127));    // nothing is applied on OK
}

TEST_CASE("per-window: the preview changes only the target, OK stores 26 and Cancel restores") {
    Session s(withIni({"cfg_link=0", "QuorvelHostPlaylist=230 0 0 0 0 0"}));
    std::vector<HWND> windows = hostWindowList();
    attach(windows);
    target(s.host.playlist);
    auto keys = quorvelKeys();

    std::vector<int> shown;
    std::string caption;
    bool cancel = false;
    SUBCASE("OK") { cancel = false; }
    SUBCASE("Cancel") { cancel = true; }
    CHECK(runCustomDialog({
        [&](HWND d) { moveSlider(d, 50); shown.push_back(layeredAlpha(s.host.playlist)); },
        [&](HWND d) {
            moveSlider(d, 10);
            shown.push_back(layeredAlpha(s.host.playlist));
            caption = frameText(d);
            for (HWND w : windows)
                if (w != s.host.playlist) CHECK(layeredAlpha(w) == -1);
            CHECK(recordOf(s.host.playlist)->opaque == 230.0f);     // nothing stored yet
        },
        [&](HWND d) { pressButton(d, cancel ? IDCANCEL : IDOK); },
    }));
    CHECK(shown == std::vector<int>{127, 25});
    CHECK(caption == "Opacity : 10%");
    Record* r = recordOf(s.host.playlist);
    if (cancel) {
        CHECK(layeredAlpha(s.host.playlist) == 230);
        CHECK(r->opaque == 230.0f);
        CHECK(r->current == 230.0f);
        CHECK(quorvelKeys() == keys);
    } else {
        CHECK(layeredAlpha(s.host.playlist) == 25);
        CHECK(r->opaque == 26.0f);
        CHECK(r->current == 26.0f);
        keys["QuorvelHostPlaylist"] = "26 0 0 0 0 0";
        CHECK(quorvelKeys() == keys);
    }
}

TEST_CASE("linked: the dialog follows cfg_opaque and previews on every managed window") {
    Session s(withIni({"cfg_opaque=204", "QuorvelHostEqualizer=128 2 0 0 0 0"}));
    std::vector<HWND> windows = hostWindowList();
    HWND gen = addEmbedded("Gen One");
    windows.push_back(gen);
    attach(windows);
    target(s.host.equalizer);
    auto keys = quorvelKeys();

    int start = 0;
    std::vector<int> preview;
    std::string caption;
    auto openAndMove = [&](HWND d) {
        start = sliderPos(d);
        moveSlider(d, 10);
        caption = frameText(d);
        for (HWND w : windows) preview.push_back(layeredAlpha(w));
    };
    SUBCASE("OK stores cfg_opaque and writes no per-window entry") {
        CHECK(runCustomDialog({openAndMove, [&](HWND d) { pressButton(d, IDOK); }}));
        keys["cfg_opaque"] = "26";
        CHECK(quorvelKeys() == keys);
        for (HWND w : windows) CHECK(layeredAlpha(w) == 25);
        CHECK(layeredAlpha(addEmbedded("Gen later")) == 26);   // OK set the shown linked alpha
        CHECK(recordOf(s.host.equalizer)->opaque == 128.0f);
        // A preset afterwards shows the stored value checked... and the next opening starts at 10 %.
        int again = 0;
        target(s.host.main);
        CHECK(runCustomDialog({[&](HWND d) { again = sliderPos(d); pressButton(d, IDCANCEL); }}));
        CHECK(again == 10);
        for (HWND w : windows) CHECK(layeredAlpha(w) == 26);    // Cancel shows the stored alpha
    }
    SUBCASE("Cancel restores every window the preview changed") {
        CHECK(runCustomDialog({openAndMove, [&](HWND d) { pressButton(d, IDCANCEL); }}));
        CHECK(quorvelKeys() == keys);
        for (HWND w : windows) CHECK(layeredAlpha(w) == 204);
    }
    SUBCASE("the close button acts as Cancel") {
        CHECK(runCustomDialog({openAndMove, [&](HWND d) { pressClose(d); }}));
        CHECK(quorvelKeys() == keys);
        for (HWND w : windows) CHECK(layeredAlpha(w) == 204);
    }
    CHECK(start == 80);
    CHECK(caption == "Opacity : 10%");
    CHECK(preview == std::vector<int>(windows.size(), 25));
}

TEST_CASE("per-window: a target that loses its record while the dialog is open is left alone") {
    Session s(withIni({"cfg_link=0", "Gen One=179 1 0 0 0 0", "QuorvelHostEqualizer=153 1 0 0 0 0"}));
    std::vector<HWND> windows = hostWindowList();
    HWND gen = addEmbedded("Gen One");
    windows.push_back(gen);
    attach(windows);
    auto keys = quorvelKeys();

    SUBCASE("hidden, then OK") {
        target(s.host.equalizer);
        CHECK(runCustomDialog({
            [&](HWND d) { moveSlider(d, 30); CHECK(layeredAlpha(s.host.equalizer) == 76); },
            [&](HWND d) {
                hide(s.host.equalizer);
                CHECK(recordOf(s.host.equalizer) == nullptr);
                moveSlider(d, 20);      // no preview on a window the plug-in no longer manages
                CHECK(layeredAlpha(s.host.equalizer) == -1);
            },
            [&](HWND d) { pressButton(d, IDOK); },
        }));
        CHECK(quorvelKeys() == keys);
        CHECK(layeredAlpha(s.host.equalizer) == -1);
        show(s.host.equalizer);         // shown again: back at its stored alpha
        CHECK(pumpUntil([&] { return layeredAlpha(s.host.equalizer) == 153; }));
    }
    SUBCASE("hidden, then Cancel") {
        target(s.host.equalizer);
        CHECK(runCustomDialog({
            [&](HWND d) { moveSlider(d, 30); },
            [&](HWND d) { hide(s.host.equalizer); pressButton(d, IDCANCEL); },
        }));
        CHECK(quorvelKeys() == keys);
        CHECK(layeredAlpha(s.host.equalizer) == -1);
    }
    SUBCASE("destroyed, then OK or the close button") {
        target(gen);
        bool ok = false;
        SUBCASE("OK") { ok = true; }
        SUBCASE("close") { ok = false; }
        CHECK(runCustomDialog({
            [&](HWND d) { moveSlider(d, 40); CHECK(layeredAlpha(gen) == 102); },
            [&](HWND d) {
                removeEmbedded(gen);
                if (ok) pressButton(d, IDOK);
                else pressClose(d);
            },
        }));
        CHECK(quorvelKeys() == keys);
        // The other windows kept their own alphas.
        CHECK(layeredAlpha(s.host.equalizer) == 153);
        for (HWND w : {s.host.main, s.host.playlist}) CHECK(layeredAlpha(w) == -1);
    }
}

namespace {

// Runs a step on this thread while the host serves its next embedded-window enumeration, that
// is while the thread that asked for it is inside a handler, holding the lock.
struct DuringEnumeration {
    static inline std::function<void()> step;
    static inline HHOOK hook;
    static LRESULT CALLBACK proc(int code, WPARAM wParam, LPARAM lParam) {
        const CWPSTRUCT* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (code >= 0 && m->message == HOST_MESSAGE && m->lParam == REQ_ENUM_EMBED && step) {
            auto run = step;
            step = nullptr;
            run();
        }
        return CallNextHookEx(hook, code, wParam, lParam);
    }
    explicit DuringEnumeration(std::function<void()> s) {
        step = std::move(s);
        hook = SetWindowsHookExA(WH_CALLWNDPROC, proc, nullptr, GetCurrentThreadId());
    }
    ~DuringEnumeration() { UnhookWindowsHookEx(hook); step = nullptr; }
};

}  // namespace

TEST_CASE("linked: the preview and Cancel reach a window of another thread without a hang") {
    // Resting at 255, no window is layered yet: the preview makes the other thread's window
    // layered, which sends it a style change that its hooks take to the filter while this
    // thread holds the lock and waits for the answer.
    Session s(withIni({"cfg_opaque=255"}));
    attach(hostWindowList());
    WindowThread other;     // started after the load, so it has the plug-in's hooks
    HWND gen = nullptr;
    other.run([&] {
        gen = addEmbedded("Gen Elsewhere");
        paint(gen);
    });
    REQUIRE(pumpUntil([&] { return recordOf(gen) != nullptr; }));
    CHECK(layeredAlpha(gen) == -1);
    target(s.host.main);

    int during = 0;
    CHECK(runCustomDialog({
        [&](HWND d) { moveSlider(d, 10); during = layeredAlpha(gen); },
        [&](HWND d) { pressButton(d, IDCANCEL); },
    }));
    CHECK(during == 25);
    CHECK(layeredAlpha(gen) == 255);
    CHECK(layeredAlpha(s.host.main) == 255);
    other.run([&] { removeEmbedded(gen); });
}

TEST_CASE("a Custom command taken by another thread's window: its loop holds no lock, one dialog at a time") {
    // Nothing layered yet, and a "Winamp Gen" window on this thread: serving the broadcast of
    // the dialog's thread, this thread makes it layered and so runs the filter meanwhile.
    // No auto mode, so that no fade tick asks the host for anything in between.
    Session s(withIni({"cfg_opaque=255", "cfg_auto=0"}));
    HWND here = addEmbedded("Gen Here");
    std::vector<HWND> windows = hostWindowList();
    windows.push_back(here);
    attach(windows);
    WindowThread other, third;
    HWND gen = nullptr, gen3 = nullptr;
    other.run([&] { gen = addEmbedded("Gen Elsewhere"); });
    third.run([&] { gen3 = addEmbedded("Gen Third"); });
    attach({gen, gen3});
    windows.push_back(gen);
    target(gen);

    // The dialog runs on the other thread, inside its handling of the command.
    WORD custom = commandOf(OPACITY_CUSTOM);
    other.post([=] { SendMessageA(gen, WM_COMMAND, custom, 0); });
    HWND dialog = nullptr;
    REQUIRE(pumpUntil([&] { return (dialog = findCustomDialog()) != nullptr && IsWindowVisible(dialog); }));
    CHECK(GetWindowThreadProcessId(dialog, nullptr) == other.id());
    CHECK(GetWindow(dialog, GW_OWNER) == s.host.main);

    DWORD_PTR result = 0;
    HWND slider = GetDlgItem(dialog, SLIDER_ID);
    auto preview = [&](int percent) {
        CHECK(SendMessageTimeoutA(slider, TBM_SETPOS, TRUE, percent, SMTO_NORMAL, 5000, &result) != 0);
        CHECK(SendMessageTimeoutA(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, percent),
                                  reinterpret_cast<LPARAM>(slider), SMTO_NORMAL, 5000, &result) != 0);
    };
    preview(10);
    for (HWND w : windows) CHECK(layeredAlpha(w) == 25);

    // While the dialog waits for the user no thread waits for it: a preset taken here acts at
    // once, and a second Custom command brings the open dialog to the front.
    sendCommand(OPACITY_30);
    CHECK(iniRead("cfg_opaque") == "77");
    CHECK(layeredAlpha(here) == 77);
    bringToFront(here);
    sendCommand(OPACITY_CUSTOM);
    CHECK(pumpUntil([&] { return GetForegroundWindow() == dialog; }, 3000));
    int dialogs = 0;
    for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, nullptr, CUSTOM_CAPTION)) != nullptr;) ++dialogs;
    CHECK(dialogs == 1);

    // While the host serves the preview's broadcast, nothing of ours holds the lock: a preset
    // taken on a third thread meanwhile goes ahead with a broadcast of its own.
    std::atomic<bool> sending{false};
    int nested = -1;
    WORD preset70 = commandOf(OPACITY_70);
    {
        DuringEnumeration stall([&] {
            third.post([&, preset70] {
                sending = true;
                SendMessageA(gen3, WM_COMMAND, preset70, 0);
            });
            while (!sending) Sleep(1);
            // Serves what other threads send here for a while, and only that.
            size_t before = host().requests.size();
            for (DWORD start = GetTickCount(); GetTickCount() - start < 300;) {
                MSG msg;
                PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_SENDMESSAGE);
            }
            nested = static_cast<int>(host().requests.size() - before);
        });
        preview(20);
    }
    CHECK(nested > 0);
    CHECK(pumpUntil([] { return iniRead("cfg_opaque") == "179"; }));

    CHECK(SendMessageTimeoutA(dialog, WM_COMMAND, IDOK, 0, SMTO_NORMAL, 5000, &result) != 0);
    CHECK(pumpUntil([] { return findCustomDialog() == nullptr; }));
    CHECK(iniRead("cfg_opaque") == "51");
    other.run([&] { removeEmbedded(gen); });
    third.run([&] { removeEmbedded(gen3); });
}
