// Fades through the real library: triggers, ticks read one by one on the windows, holds,
// windows that are not attached, and unloading while timers run.
#include "support/harness.h"

#include <algorithm>
#include <functional>
#include <string>

using namespace hostsim;

namespace {

constexpr UINT_PTR FADE_IN = 101, FADE_OUT = 102, HOLD = 103;
constexpr DWORD DEADLINE_MS = 20000;
const POINT EMPTY_SPOT = {1000, 740};     // nothing of the host's there

// Dispatches the calling thread's messages until done() holds or the deadline passes.
// After each timer message `id` of timerWindow has been dispatched, calls onTick.
bool pumpTicks(HWND timerWindow, UINT_PTR id, const std::function<void()>& onTick,
               const std::function<bool()>& done, DWORD timeoutMs = DEADLINE_MS) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            if (msg.message == WM_TIMER && msg.hwnd == timerWindow && msg.wParam == id) onTick();
            if (done()) return true;
        }
        if (done()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

// Pumps for ms milliseconds and counts the fade timer messages of a window, by id.
struct TickCount {
    int in = 0, out = 0, hold = 0;
    int total() const { return in + out + hold; }
};

TickCount countFadeTicks(HWND window, DWORD ms) {
    TickCount c;
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue;
            if (msg.message == WM_TIMER && msg.hwnd == window) {
                if (msg.wParam == FADE_IN) ++c.in;
                if (msg.wParam == FADE_OUT) ++c.out;
                if (msg.wParam == HOLD) ++c.hold;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (GetTickCount() - start >= ms) return c;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

POINT centreOf(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void moveCursor(POINT p) {
    SetCursorPos(p.x, p.y);
    pump(50);                           // let the mouse messages of the move pass
}

void hover(HWND window) { SendMessageA(window, WM_MOUSEMOVE, 0, 0); }

// Records every SetTimer call of the library: the period it asks for cannot be told from
// ticks counted against generous deadlines.
struct TimerRequest {
    HWND window;
    UINT_PTR id;
    UINT period;
};
std::vector<TimerRequest> timerRequests;
decltype(&SetTimer) realSetTimer;

UINT_PTR WINAPI recordSetTimer(HWND window, UINT_PTR id, UINT period, TIMERPROC proc) {
    timerRequests.push_back({window, id, period});
    return realSetTimer(window, id, period, proc);
}

void recordTimerRequests(HMODULE library) {
    timerRequests.clear();
    realSetTimer = reinterpret_cast<decltype(&SetTimer)>(
        replaceImport(library, "user32.dll", "SetTimer", reinterpret_cast<void*>(&recordSetTimer)));
}

// Ticks as if each came on time: while it lives, the library's clock stands still, so that
// every fade tick takes exactly one step however late the machine delivers it, and the values
// can be read tick by tick.
bool clockStopped;
DWORD stoppedAt;
decltype(&GetTickCount) realGetTickCount;

DWORD WINAPI libraryClock() { return clockStopped ? stoppedAt : realGetTickCount(); }

struct SteadyFadeClock {
    explicit SteadyFadeClock(HMODULE library) {
        realGetTickCount = reinterpret_cast<decltype(&GetTickCount)>(
            replaceImport(library, "kernel32.dll", "GetTickCount", reinterpret_cast<void*>(&libraryClock)));
        stoppedAt = realGetTickCount();
        clockStopped = true;
    }
    ~SteadyFadeClock() { clockStopped = false; }   // unloading counts real time
};

// The periods the library asked for, for one timer of one window, in order.
std::vector<UINT> periodsOf(HWND window, UINT_PTR id) {
    std::vector<UINT> periods;
    for (const TimerRequest& r : timerRequests)
        if (r.window == window && r.id == id) periods.push_back(r.period);
    return periods;
}

std::vector<HWND> hostSet(const Host& h) { return {h.main, h.equalizer, h.playlist, h.minibrowser, h.video}; }

}  // namespace

TEST_CASE("linked: each fade tick shows the truncated alpha on every window, 25 in, 75 out") {
    moveCursor(EMPTY_SPOT);
    Session s(withIni({"cfg_opaque=128", "cfg_fadein=250", "cfg_fadeout=750", "cfg_hold=200",
                       "cfg_auto=2", "cfg_link=1"}));
    recordTimerRequests(s.plugin.module);
    SteadyFadeClock steady(s.plugin.module);
    moveCursor(centreOf(s.host.main));  // the main window keeps the hold; nothing attached yet
    std::vector<HWND> windows = hostSet(s.host);
    for (HWND w : windows) paint(w);
    windows.push_back(addEmbedded("Linked"));
    for (HWND w : windows) REQUIRE(layeredAlpha(w) == 128);

    std::vector<std::vector<int>> shown;        // per tick: the alpha of every window
    auto sample = [&] {
        std::vector<int> row;
        for (HWND w : windows) row.push_back(layeredAlpha(w));
        shown.push_back(row);
    };
    hover(s.host.playlist);
    REQUIRE(pumpTicks(s.host.main, FADE_IN, sample, [&] { return layeredAlpha(s.host.main) == 255; }));
    REQUIRE(shown.size() == 25);
    for (size_t k = 0; k < shown.size(); ++k) {
        CAPTURE(k);
        int expected = k < 24 ? (12800 + 512 * static_cast<int>(k + 1)) / 100 : 255;
        CHECK(shown[k] == std::vector<int>(windows.size(), expected));
    }
    CHECK(shown[0][0] == 133);
    CHECK(shown[1][0] == 138);

    // Away from the host's windows the next hold expiry starts the fade-out.
    shown.clear();
    SetCursorPos(EMPTY_SPOT.x, EMPTY_SPOT.y);
    REQUIRE(pumpTicks(s.host.main, FADE_OUT, sample, [&] { return layeredAlpha(s.host.main) == 128; }));
    // Tick 74 stores 128.71, shown as 128; tick 75 clamps to 128 and stops the timer.
    REQUIRE(shown.size() == 74);
    CHECK(countFadeTicks(s.host.main, 300).out == 1);
    for (size_t k = 0; k < shown.size(); ++k) {
        CAPTURE(k);
        CHECK(shown[k] == std::vector<int>(windows.size(), shown[k][0]));
        if (k > 0) CHECK(shown[k][0] < shown[k - 1][0]);
    }
    CHECK(shown[72][0] == 130);
    TickCount after = countFadeTicks(s.host.main, 300);
    CHECK(after.total() == 0);                  // resting: every timer stopped
    // The fades step every 10 ms, the hold runs at cfg_hold.
    for (UINT_PTR id : {FADE_IN, FADE_OUT, HOLD}) {
        CAPTURE(id);
        std::vector<UINT> periods = periodsOf(s.host.main, id);
        CHECK_FALSE(periods.empty());
        CHECK(periods == std::vector<UINT>(periods.size(), id == HOLD ? 200 : 10));
    }
}

TEST_CASE("a fade takes the time it is set to, on a 15.6 ms clock and across a busy thread") {
    struct Row {
        const char* what;
        bool linked;
        unsigned ms;
        bool coarse;        // the loop drops every tick sooner than 16 ms after the last one
        bool stall;         // the thread is busy for 200 ms after the fifth tick
    };
    const Row rows[] = {
        {"linked, 250 ms, coarse clock", true, 250, true, false},
        {"linked, 1000 ms, coarse clock", true, 1000, true, false},
        {"linked, 250 ms, busy thread", true, 250, false, true},
        {"per window, 250 ms, coarse clock", false, 250, true, false},
        {"per window, 250 ms, busy thread", false, 250, false, true},
    };
    moveCursor(EMPTY_SPOT);
    for (const Row& row : rows) {
        CAPTURE(std::string(row.what));
        std::string fadein = "cfg_fadein=" + std::to_string(row.ms);
        Session s(withIni({row.linked ? "cfg_link=1" : "cfg_link=0", "cfg_opaque=128", "cfg_auto=2",
                           "cfg_hold=30000", fadein.c_str(), "QuorvelHostPlaylist=128 2 0 0 0 0"}));
        HWND w = s.host.playlist, timerWindow = row.linked ? s.host.main : w;
        paint(s.host.main);
        paint(w);
        REQUIRE(layeredAlpha(w) == 128);
        const double step = (256.0 - 128.0) / (row.ms / 10);
        hover(w);
        DWORD start = GetTickCount(), last = start, lastGap = 0, took = 0;
        int ticks = 0;
        double behind = 0;      // the most steps the fade lagged behind the time passed
        while (!took && GetTickCount() - start < DEADLINE_MS) {
            MSG msg;
            if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 2, QS_ALLINPUT);
                continue;
            }
            bool tick = msg.message == WM_TIMER && msg.hwnd == timerWindow && msg.wParam == FADE_IN;
            DWORD now = GetTickCount();
            if (tick && row.coarse && now - last < 16) continue;
            DispatchMessageA(&msg);
            if (!tick) continue;
            lastGap = now - last;
            last = now;
            int alpha = layeredAlpha(w);
            if (alpha == 255) took = now - start;
            else behind = std::max(behind, (now - start) / 10.0 - (alpha - 128) / step);
            if (row.stall && ++ticks == 5) Sleep(200);
        }
        MESSAGE(std::string(row.what) << ": opaque after " << took << " ms, at most " << behind << " steps behind");
        REQUIRE(took != 0);
        CHECK(behind < 3);
        // Within 1.15 times its setting, unless the machine itself delivered the last tick late.
        CHECK(took <= row.ms * 1.15 + (lastGap > 25 ? lastGap - 25 : 0));
    }

    // A slow fade crosses a whole unit every 23 ticks: the ticks between ask nothing of the host.
    Session s(withIni({"cfg_opaque=128", "cfg_auto=2", "cfg_hold=30000", "cfg_fadein=30000"}));
    paint(s.host.main);
    size_t before = s.host.requests.size();
    hover(s.host.main);
    int ticks = countFadeTicks(s.host.main, 500).in;
    int broadcasts = 0;
    for (size_t i = before; i < s.host.requests.size(); ++i)
        broadcasts += s.host.requests[i].request == REQ_ENUM_EMBED;
    CHECK(ticks > 20);
    CHECK(broadcasts <= ticks / 10);
}

TEST_CASE("linked: each hover message alone starts the fade-in and the hold on the main window") {
    moveCursor(EMPTY_SPOT);
    for (UINT message : {WM_SETCURSOR, WM_NCHITTEST, WM_MOUSEMOVE}) {
        CAPTURE(message);
        Session s(withIni({"cfg_opaque=100", "cfg_fadein=0", "cfg_hold=30000", "cfg_auto=2"}));
        recordTimerRequests(s.plugin.module);
        paint(s.host.playlist);
        REQUIRE(timerRequests.empty());
        SendMessageA(s.host.playlist, message, 0, 0);
        CHECK(periodsOf(s.host.main, FADE_IN) == std::vector<UINT>{10});
        CHECK(periodsOf(s.host.main, HOLD) == std::vector<UINT>{30000});
        CHECK(pumpUntil([&] { return layeredAlpha(s.host.playlist) == 255; }, DEADLINE_MS));
    }
}

TEST_CASE("per-window: a tick shows the sum truncated before it is stored") {
    moveCursor(EMPTY_SPOT);
    Session s(withIni({"cfg_fadein=90", "cfg_hold=30000", "cfg_link=0",
                       "QuorvelHostPlaylist=28 2 0 0 0 0", "QuorvelHostEqualizer=60 2 0 0 0 0"}));
    SteadyFadeClock steady(s.plugin.module);
    HWND playlist = s.host.playlist;
    paint(playlist);
    paint(s.host.equalizer);
    REQUIRE(layeredAlpha(playlist) == 28);

    std::vector<float> stored;
    std::vector<int> shown;
    hover(playlist);
    REQUIRE(pumpTicks(playlist, FADE_IN, [&] {
        stored.push_back(recordOf(playlist)->current);
        shown.push_back(layeredAlpha(playlist));
    }, [&] { return layeredAlpha(playlist) == 255; }));
    // 9 steps of 228/9 from 28: the third sum falls just short of 104 and is stored as 104.
    REQUIRE(shown.size() == 9);
    CHECK(shown[0] == 53);
    CHECK(shown[1] == 78);
    CHECK(stored[2] == 104.0f);
    CHECK(shown[2] == 103);
    CHECK(stored[8] == 255.0f);
    CHECK(layeredAlpha(s.host.equalizer) == 60);    // the other window keeps its own
    CHECK(recordOf(s.host.equalizer)->current == 60.0f);
    CHECK(countFadeTicks(playlist, 200).in == 0);
}

TEST_CASE("per-window focus: losing the focus stops the fade-in and holds the alpha for the hold") {
    moveCursor(EMPTY_SPOT);
    Session s(withIni({"cfg_link=0", "cfg_fadein=5000", "cfg_fadeout=100", "cfg_hold=300",
                       "QuorvelHostPlaylist=100 1 0 0 0 0"}));
    SteadyFadeClock steady(s.plugin.module);
    HWND w = s.host.playlist;
    paint(w);
    SendMessageA(w, WM_SETFOCUS, 0, 0);
    int in = 0;
    REQUIRE(pumpTicks(w, FADE_IN, [&] { ++in; }, [&] { return in == 5; }));
    SendMessageA(w, WM_KILLFOCUS, 0, 0);
    float held = recordOf(w)->current;          // 5 steps of 0.312 from 100
    CHECK(layeredAlpha(w) == 101);
    // No fade-in tick until the hold expires; its expiry starts the fade-out.
    float atExpiry = 0;
    CHECK(pumpTicks(w, HOLD, [&] { atExpiry = recordOf(w)->current; }, [&] { return atExpiry != 0; }));
    CHECK(atExpiry == held);
    CHECK(pumpUntil([&] { return layeredAlpha(w) == 100; }, DEADLINE_MS));
}

TEST_CASE("fades shorter than 20 ms take one tick; at resting 255 both stop at once") {
    moveCursor(EMPTY_SPOT);
    {
        Session s(withIni({"cfg_opaque=100", "cfg_fadein=0", "cfg_fadeout=15", "cfg_hold=60",
                           "cfg_auto=2"}));
        paint(s.host.main);
        paint(s.host.video);
        int in = 0, out = 0;
        hover(s.host.main);
        CHECK(pumpTicks(s.host.main, FADE_IN, [&] { ++in; }, [&] { return layeredAlpha(s.host.video) == 255; }));
        CHECK(pumpTicks(s.host.main, FADE_OUT, [&] { ++out; }, [&] { return layeredAlpha(s.host.video) == 100; }));
        CHECK(in == 1);
        CHECK(out == 1);
    }
    {
        Session s(withIni({"cfg_opaque=255", "cfg_hold=60", "cfg_auto=2"}));
        paint(s.host.main);
        CHECK(layeredAlpha(s.host.main) == -1);     // fully opaque: never made layered
        hover(s.host.main);
        TickCount c = countFadeTicks(s.host.main, 600);
        CHECK(c.in == 1);
        CHECK(c.hold == 1);                 // the cursor is away: the first expiry fades out
        CHECK(c.out == 1);
        CHECK(layeredAlpha(s.host.main) == -1);
    }
}

TEST_CASE("linked hover: a popup menu under the cursor keeps the hold, whoever owns it") {
    moveCursor(EMPTY_SPOT);
    Session s(withIni({"cfg_opaque=100", "cfg_fadein=0", "cfg_fadeout=0", "cfg_hold=50", "cfg_auto=2"}));
    // A menu window of no one's: the ones a menu opens are owned by its window, whose root
    // owner would decide on its own.
    HWND menu = CreateWindowExA(WS_EX_TOPMOST, "#32768", "", WS_POPUP | WS_VISIBLE, 700, 500, 150, 100,
                                nullptr, nullptr, nullptr, nullptr);
    REQUIRE(menu);
    paint(s.host.main);
    moveCursor(centreOf(menu));
    hover(s.host.main);
    int expiries = 0;
    CHECK(pumpTicks(s.host.main, HOLD, [&] { ++expiries; }, [&] { return expiries == 3; }));
    CHECK(layeredAlpha(s.host.main) == 255);
    DestroyWindow(menu);
    moveCursor(EMPTY_SPOT);
    CHECK(pumpUntil([&] { return layeredAlpha(s.host.main) == 100; }, DEADLINE_MS));
}

TEST_CASE("linked focus: a window of another class that the main window owns, in front, keeps the hold") {
    Session s(withIni({"cfg_opaque=100", "cfg_fadein=0", "cfg_fadeout=0", "cfg_hold=50", "cfg_auto=1"}));
    paint(s.host.main);
    SendMessageA(s.host.main, WM_SETFOCUS, 0, 0);
    REQUIRE(pumpUntil([&] { return layeredAlpha(s.host.main) == 255; }, DEADLINE_MS));
    HWND dialog = CreateWindowExA(0, "#32770", "Host dialog", WS_POPUP | WS_VISIBLE, 700, 500, 150, 100,
                                  s.host.main, nullptr, nullptr, nullptr);
    SetForegroundWindow(dialog);
    REQUIRE(pumpUntil([&] { return GetForegroundWindow() == dialog; }, 3000));
    SendMessageA(s.host.main, WM_KILLFOCUS, 0, 0);
    int expiries = 0;
    CHECK(pumpTicks(s.host.main, HOLD, [&] { ++expiries; }, [&] { return expiries == 3; }));
    CHECK(layeredAlpha(s.host.main) == 255);
    DestroyWindow(dialog);
}

TEST_CASE("per-window hover: moving to another managed window fades the first out") {
    moveCursor(EMPTY_SPOT);
    Session s(withIni({"cfg_fadein=100", "cfg_fadeout=100", "cfg_hold=150", "cfg_link=0",
                       "QuorvelHostPlaylist=90 2 0 0 0 0", "QuorvelHostEqualizer=110 2 0 0 0 0"}));
    HWND playlist = s.host.playlist, equalizer = s.host.equalizer;
    moveCursor(centreOf(playlist));
    paint(playlist);
    paint(equalizer);
    hover(playlist);
    REQUIRE(pumpUntil([&] { return layeredAlpha(playlist) == 255; }, DEADLINE_MS));
    pump(400);                          // holds expire over the window itself: it stays
    CHECK(layeredAlpha(playlist) == 255);
    CHECK(layeredAlpha(equalizer) == 110);

    moveCursor(centreOf(equalizer));
    hover(equalizer);
    CHECK(pumpUntil([&] { return layeredAlpha(playlist) == 90 && layeredAlpha(equalizer) == 255; },
                    DEADLINE_MS));
    pump(400);
    CHECK(layeredAlpha(playlist) == 90);
    CHECK(recordOf(playlist)->current == 90.0f);
    CHECK(layeredAlpha(equalizer) == 255);
}

TEST_CASE("a window that is not attached never starts a timer") {
    moveCursor(EMPTY_SPOT);
    for (const char* link : {"cfg_link=1", "cfg_link=0"}) {
        CAPTURE(link);
        Session s(withIni({link, "cfg_auto=1", "cfg_opaque=120", "QuorvelHostMain=120 1 0 0 0 0",
                           "QuorvelHostPlaylist=120 2 0 0 0 0", "Hidden=120 2 0 0 0 0"}));
        // The host's windows were painted before the library was loaded: none is attached.
        HWND hidden = addEmbedded("Hidden");
        REQUIRE(recordOf(hidden) != nullptr);
        hide(hidden);
        REQUIRE(recordOf(hidden) == nullptr);
        for (HWND w : {s.host.main, s.host.playlist, hidden})
            for (UINT m : {WM_SETFOCUS, WM_KILLFOCUS, WM_SETCURSOR, WM_NCHITTEST, WM_MOUSEMOVE})
                SendMessageA(w, m, 0, 0);
        CHECK(countFadeTicks(s.host.main, 100).total() == 0);
        for (HWND w : {s.host.main, s.host.playlist, hidden})
            for (UINT_PTR id : {FADE_IN, FADE_OUT, HOLD}) CHECK_FALSE(KillTimer(w, id));
        // Once attached, the same focus message starts the fade.
        paint(s.host.main);
        SendMessageA(s.host.main, WM_SETFOCUS, 0, 0);
        CHECK(countFadeTicks(s.host.main, 100).in > 0);
    }
}

TEST_CASE("linked triggers from another thread's window start nothing on the main window") {
    moveCursor(EMPTY_SPOT);
    Session s(withIni({"cfg_auto=2", "cfg_opaque=120"}));
    paint(s.host.main);
    WindowThread second;
    HWND other = nullptr;
    second.run([&] { other = addEmbedded("Other thread"); });
    REQUIRE(recordOf(other) != nullptr);
    second.run([&] {
        for (int i = 0; i < 20; ++i) PostMessageA(other, WM_MOUSEMOVE, 0, 0);
        pump(50);
    });
    // Timers can only be set from the main window's own thread.
    CHECK(countFadeTicks(s.host.main, 200).total() == 0);
    CHECK(layeredAlpha(other) == 120);
    second.run([&] { removeEmbedded(other); });
}

TEST_CASE("unloading the library stops the fade timers and leaves the windows opaque") {
    moveCursor(EMPTY_SPOT);
    for (const char* link : {"cfg_link=1", "cfg_link=0"}) {
        CAPTURE(link);
        Session s(withIni({link, "cfg_auto=2", "cfg_opaque=100", "cfg_fadein=30000", "cfg_hold=30000",
                           "QuorvelHostPlaylist=100 2 0 0 0 0"}));
        paint(s.host.main);
        paint(s.host.playlist);
        hover(s.host.playlist);
        HWND timerWindow = link[9] == '1' ? s.host.main : s.host.playlist;
        REQUIRE(countFadeTicks(timerWindow, 100).in > 0);
        unloadPlugin(s.plugin);
        CHECK(countFadeTicks(timerWindow, 200).total() == 0);
        for (UINT_PTR id : {FADE_IN, FADE_OUT, HOLD}) CHECK_FALSE(KillTimer(timerWindow, id));
        // Without quit, nothing of the window's own may run: it stays layered, fully opaque.
        CHECK(layeredAlpha(s.host.playlist) == 255);
        CHECK(recordOf(s.host.playlist) == nullptr);
    }
}
