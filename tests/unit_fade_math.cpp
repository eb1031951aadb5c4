// The fade arithmetic, called directly, and the linked broadcast compiled in with a host
// emulator (the broadcast is not reachable through the library's interface with an
// arbitrary alpha).
#include "support/harness.h"

#include "plugin/fade/fade.h"
#include "plugin/fade/fade_math.h"
#include "plugin/host/host.h"
#include "plugin/settings/settings.h"
#include "plugin/window/window.h"

using namespace hostsim;

namespace {

// Runs a whole fade from `from` and returns the stored value of every tick that changed it.
std::vector<FadeTick> runFade(bool in, float from, float resting, unsigned ms) {
    std::vector<FadeTick> ticks;
    float shown = from;
    for (int guard = 0; guard < 1000; ++guard) {
        FadeTick t = in ? fadeInTick(shown, resting, ms) : fadeOutTick(shown, resting, ms);
        if (t.changed) {
            shown = t.stored;
            ticks.push_back(t);
        }
        if (t.finished) break;
    }
    return ticks;
}

}  // namespace

TEST_CASE("tick count and step size") {
    CHECK(fadeTickCount(0) == 1);
    CHECK(fadeTickCount(19) == 1);
    CHECK(fadeTickCount(20) == 2);
    CHECK(fadeTickCount(250) == 25);
    CHECK(fadeTickCount(30000) == 3000);
    CHECK(fadeStep(128.0f, 250) == 5.12L);
    CHECK(fadeStep(128.0f, 259) == 5.12L);      // the remainder of the division is dropped
    CHECK(fadeStep(26.0f, 0) == 230.0L);
}

TEST_CASE("a fade-in of 250 ms from 128 takes 25 ticks of 5.12, the last clamped") {
    std::vector<FadeTick> ticks = runFade(true, 128.0f, 128.0f, 250);
    REQUIRE(ticks.size() == 25);
    for (int k = 1; k <= 24; ++k) {
        CAPTURE(k);
        CHECK(ticks[k - 1].unstored == (12800 + 512 * k) / 100);
        CHECK(static_cast<int>(ticks[k - 1].stored) == (12800 + 512 * k) / 100);
        CHECK_FALSE(ticks[k - 1].finished);
    }
    CHECK(ticks[0].stored == 133.12f);
    CHECK(ticks[24].stored == 255.0f);
    CHECK(ticks[24].finished);
    CHECK(linkedShownAlpha(ticks[0].stored) == 133.0f);
}

TEST_CASE("a fade-out of 750 ms from 255 to 128 takes 75 ticks, the last clamped") {
    std::vector<FadeTick> ticks = runFade(false, 255.0f, 128.0f, 750);
    REQUIRE(ticks.size() == 75);
    CHECK(ticks[0].stored == storeAsFloat(255.0L - 128.0L / 75));
    CHECK(ticks[73].stored > 128.0f);
    CHECK(ticks[74].stored == 128.0f);
    CHECK(ticks[74].finished);
}

TEST_CASE("fades shorter than 20 ms finish in one tick, resting 255 changes nothing") {
    for (unsigned ms : {0u, 1u, 10u, 19u}) {
        CAPTURE(ms);
        std::vector<FadeTick> in = runFade(true, 40.0f, 40.0f, ms);
        REQUIRE(in.size() == 1);
        CHECK(in[0].stored == 255.0f);
        std::vector<FadeTick> out = runFade(false, 255.0f, 40.0f, ms);
        REQUIRE(out.size() == 1);
        CHECK(out[0].stored == 40.0f);
    }
    FadeTick in = fadeInTick(255.0f, 255.0f, 250);
    CHECK_FALSE(in.changed);
    CHECK(in.finished);
    FadeTick out = fadeOutTick(255.0f, 255.0f, 750);
    CHECK_FALSE(out.changed);
    CHECK(out.finished);
    CHECK(fadeOutTick(100.0f, 128.0f, 750).finished);   // already below the resting alpha
}

TEST_CASE("a sum just below a whole number that the float store lifts to it shows one lower") {
    // Resting 28, 90 ms: 9 steps of 228/9; the third sum falls just short of 104.
    std::vector<FadeTick> ticks = runFade(true, 28.0f, 28.0f, 90);
    REQUIRE(ticks.size() >= 3);
    CHECK(ticks[2].stored == 104.0f);
    CHECK(ticks[2].unstored == 103);
    // The linked form shows the stored value.
    CHECK(linkedShownAlpha(ticks[2].stored) == 104.0f);
}

TEST_CASE("a tick takes one step per whole period since the last, at least one, at most a fade") {
    struct Row {
        unsigned long clock, now;
        unsigned fadeMs;
        unsigned steps;
        unsigned long clockAfter;
    };
    const Row rows[] = {
        {1000, 1010, 250, 1, 1010},                 // on time
        {1000, 1000, 250, 1, 1010},                 // the clock has not moved: one step all the same
        {1000, 1019, 250, 1, 1010},                 // the rest of the period carries over
        {1000, 1031, 250, 3, 1030},                 // a late tick catches up
        {1000, 1200, 250, 20, 1200},                // after a 200 ms stall
        {1000, 9000, 250, 25, 9000},                // never more than a whole fade
        {1010, 1005, 250, 1, 1020},                 // the clock ahead after an early tick
        {0xFFFFFFF0ul, 0x0000000Aul, 250, 2, 0x00000004ul},     // GetTickCount wraps
    };
    for (const Row& r : rows) {
        CAPTURE(r.now - r.clock);
        unsigned long clock = r.clock;
        CHECK(fadeStepsDue(r.now, &clock, r.fadeMs) == r.steps);
        CHECK(clock == r.clockAfter);
    }
    // Several steps in one tick end where as many ticks of one step would, clamp included.
    std::vector<FadeTick> single = runFade(true, 128.0f, 128.0f, 250);
    FadeTick three = fadeSteps(true, 128.0f, 128.0f, 250, 3);
    CHECK(three.stored == single[2].stored);
    CHECK(three.unstored == single[2].unstored);
    CHECK_FALSE(three.finished);
    FadeTick rest = fadeSteps(true, single[20].stored, 128.0f, 250, 50);
    CHECK(rest.stored == 255.0f);
    CHECK(rest.finished);
    CHECK_FALSE(fadeSteps(false, 128.0f, 128.0f, 750, 4).changed);
}

TEST_CASE("the linked alpha is the stored value's integer part, low byte") {
    CHECK(linkedShownAlpha(255.0f) == 255.0f);
    CHECK(linkedShownAlpha(25.5f) == 25.0f);
    CHECK(linkedShownAlpha(127.99f) == 127.0f);
}

// ---- The linked broadcast, with the host emulator ------------------------------------------

namespace {

struct BroadcastHost {
    Host& h;
    HWND topEmbedded;
    HWND ownedEmbedded;
    HWND bareEmbedded;      // top-level but never attached

    explicit BroadcastHost(bool video = true) : h(start(hostOptions(video))) {
        createFilterLock();     // the host's callbacks take it
        setIniPath(h.iniPath.c_str());
        loadGlobalSettings();
        hostWindows = HostWindowSet{h.main, h.equalizer, h.playlist, h.minibrowser, h.video};
        topEmbedded = addEmbedded("Top");
        ownedEmbedded = addEmbedded("Owned", EmbedKind::Owned);
        bareEmbedded = addEmbedded("Bare");
        for (HWND w : {h.main, h.equalizer, h.playlist, h.minibrowser, h.video, topEmbedded, ownedEmbedded})
            if (w) attachRecord(w);
        // The owned window carries a record of its own, as if it had been attached while
        // it was top-level.
    }
    ~BroadcastHost() {
        for (HWND w : {h.main, h.equalizer, h.playlist, h.minibrowser, h.video, topEmbedded, ownedEmbedded})
            if (w) detachRecord(w);
        hostWindows = HostWindowSet{};
        stop();
        deleteFilterLock();
    }

    static Options hostOptions(bool video) {
        Options o;
        o.video = video;
        o.iniText = quorvelSection({"cfg_opaque=200", "QuorvelHostMain=100 2 0 0 0 0",
                                    "QuorvelHostEqualizer=110 2 0 0 0 0",
                                    "QuorvelHostPlaylist=120 2 0 0 0 0",
                                    "QuorvelHostBrowser=130 2 0 0 0 0",
                                    "QuorvelHostVideo=140 2 0 0 0 0", "Top=150 2 0 0 0 0",
                                    "Owned=160 2 0 0 0 0"});
        return o;
    }

    std::vector<HWND> attached() const {
        std::vector<HWND> windows;
        for (HWND w : {h.main, h.equalizer, h.playlist, h.minibrowser, h.video, topEmbedded})
            if (w) windows.push_back(w);
        return windows;
    }
};

}  // namespace

TEST_CASE("a broadcast alpha reaches every attached host and embedded window, truncated") {
    BroadcastHost b;
    int ownedBefore = layeredAlpha(b.ownedEmbedded);
    for (float alpha : {25.5f, 127.5f, 255.0f}) {
        CAPTURE(alpha);
        applyLinkedOpacity(alpha);
        for (HWND w : b.attached()) CHECK(layeredAlpha(w) == static_cast<int>(alpha));
        CHECK(layeredAlpha(b.ownedEmbedded) == ownedBefore);   // owned: never touched
        CHECK(layeredAlpha(b.bareEmbedded) == -1);            // no record: never touched
    }
}

TEST_CASE("broadcasting 0 gives every window back its own resting alpha") {
    BroadcastHost b;
    applyLinkedOpacity(60.0f);
    for (HWND w : b.attached()) recordOf(w)->current = 77.0f;
    applyLinkedOpacity(0.0f);
    int expected[] = {100, 110, 120, 130, 140, 150};
    std::vector<HWND> windows = b.attached();
    REQUIRE(windows.size() == 6);
    for (size_t i = 0; i < windows.size(); ++i) {
        CAPTURE(i);
        CHECK(layeredAlpha(windows[i]) == expected[i]);
        CHECK(recordOf(windows[i])->current == recordOf(windows[i])->opaque);
    }
    CHECK(recordOf(b.ownedEmbedded)->current == 160.0f);
}

TEST_CASE("without a video window the other windows are still served") {
    BroadcastHost b(false);
    REQUIRE(hostWindows.hwndVideo == nullptr);
    applyLinkedOpacity(90.0f);
    for (HWND w : b.attached()) CHECK(layeredAlpha(w) == 90);
    applyLinkedOpacity(0.0f);
    CHECK(layeredAlpha(b.h.playlist) == 120);
    CHECK(layeredAlpha(b.topEmbedded) == 150);
}

TEST_CASE("resetting stops the fade timers of host windows and top-level attached windows") {
    BroadcastHost b;
    detachRecord(b.h.equalizer);        // a host window is served even without a record
    std::vector<HWND> all = {b.h.main, b.h.equalizer, b.h.playlist, b.h.minibrowser, b.h.video,
                             b.topEmbedded, b.ownedEmbedded, b.bareEmbedded};
    for (HWND w : all)
        for (UINT_PTR id : {TIMER_FADE_IN, TIMER_FADE_OUT, TIMER_HOLD}) SetTimer(w, id, 600000, nullptr);
    applyLinkedOpacity(140.0f);
    resetLinkedWindows();
    // KillTimer fails for a timer that no longer runs.
    for (HWND w : {b.h.main, b.h.equalizer, b.h.playlist, b.h.minibrowser, b.h.video, b.topEmbedded})
        for (UINT_PTR id : {TIMER_FADE_IN, TIMER_FADE_OUT, TIMER_HOLD}) CHECK_FALSE(KillTimer(w, id));
    for (HWND w : {b.ownedEmbedded, b.bareEmbedded})
        for (UINT_PTR id : {TIMER_FADE_IN, TIMER_FADE_OUT, TIMER_HOLD}) CHECK(KillTimer(w, id));
    CHECK(layeredAlpha(b.h.playlist) == 140);      // no alpha changes
    CHECK(layeredAlpha(b.topEmbedded) == 140);
}

// ---- Hold expiry and ticks for detached windows, through the timer procedure ---------------

namespace {

void ensureLock() {
    static bool created = false;
    if (!created) createFilterLock();
    created = true;
}

// True when the timer ran (and is now stopped).
bool stopTimer(HWND window, UINT_PTR id) { return KillTimer(window, id) != FALSE; }

void expireHold(HWND timerWindow) {
    SetTimer(timerWindow, TIMER_HOLD, 600000, fadeTimerProc);
    fadeTimerProc(timerWindow, WM_TIMER, TIMER_HOLD, GetTickCount());
}

POINT centreOf(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void pointAt(HWND window) {
    POINT p = centreOf(window);
    SetCursorPos(p.x, p.y);
    REQUIRE(GetAncestor(WindowFromPoint(p), GA_ROOTOWNER) == window);
}

const POINT EMPTY_SPOT = {1000, 740};   // nothing of the host's there

// Expires the linked hold and tells whether it started a fade-out (and stops all timers).
bool linkedHoldFadesOut(HWND main) {
    expireHold(main);
    bool fadingOut = stopTimer(main, TIMER_FADE_OUT);
    bool holding = stopTimer(main, TIMER_HOLD);
    CHECK(fadingOut != holding);        // a hold either goes on or gives way to the fade-out
    return fadingOut;
}

enum MenuProbe { MENU_NOT_SEEN, MENU_HELD, MENU_FADED };
MenuProbe menuProbe;
HWND menuMain;
int menuTries;

// Runs inside the menu's modal loop until the menu shows: points at it, expires the hold.
void CALLBACK probeOpenMenu(HWND, UINT, UINT_PTR id, DWORD) {
    HWND popup = FindWindowA(POPUP_MENU_CLASS, nullptr);
    if (!(popup && IsWindowVisible(popup)) && ++menuTries < 50) return;
    KillTimer(nullptr, id);
    if (popup && IsWindowVisible(popup)) {
        POINT p = centreOf(popup);
        SetCursorPos(p.x, p.y);
        menuProbe = linkedHoldFadesOut(menuMain) ? MENU_FADED : MENU_HELD;
    }
    EndMenu();
}

}  // namespace

TEST_CASE("linked hold: the host's windows, embedded windows and popup menus keep it firing") {
    ensureLock();
    BroadcastHost b;
    cfg_link = 1;
    cfg_auto = AUTO_HOVER;
    SetWindowPos(b.topEmbedded, HWND_TOP, 700, 480, 200, 120, SWP_NOACTIVATE);

    for (HWND w : {b.h.main, b.h.playlist, b.h.video, b.topEmbedded, b.bareEmbedded}) {
        CAPTURE(w);
        if (w == b.bareEmbedded) SetWindowPos(w, HWND_TOP, 700, 100, 200, 120, SWP_NOACTIVATE);
        pointAt(w);
        CHECK_FALSE(linkedHoldFadesOut(b.h.main));
    }

    // A popup menu of the host, open under the cursor.
    menuProbe = MENU_NOT_SEEN;
    menuMain = b.h.main;
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, 1, "First item of a long enough menu");
    AppendMenuA(menu, MF_STRING, 2, "Second");
    for (int attempt = 0; attempt < 5 && menuProbe == MENU_NOT_SEEN; ++attempt) {
        menuTries = 0;
        UINT_PTR probe = SetTimer(nullptr, 0, 20, probeOpenMenu);
        SetForegroundWindow(b.h.main);
        TrackPopupMenu(menu, TPM_RETURNCMD, 600, 300, 0, b.h.main, nullptr);
        KillTimer(nullptr, probe);
        pump(20);
    }
    DestroyMenu(menu);
    CHECK(menuProbe == MENU_HELD);

    // Anything else: the fade-out starts.
    SetCursorPos(EMPTY_SPOT.x, EMPTY_SPOT.y);
    CHECK(linkedHoldFadesOut(b.h.main));
    HWND foreign = createForeignWindow("Foreign");
    SetWindowPos(foreign, HWND_TOP, 700, 300, 200, 120, SWP_NOACTIVATE);
    pointAt(foreign);
    CHECK(linkedHoldFadesOut(b.h.main));
    DestroyWindow(foreign);

    // Focus mode looks at the window in front, wherever the cursor is.
    cfg_auto = AUTO_FOCUS;
    pointAt(b.h.main);
    HWND front = createForeignWindow("Front");
    SetForegroundWindow(front);
    REQUIRE(GetForegroundWindow() == front);
    CHECK(linkedHoldFadesOut(b.h.main));
    SetForegroundWindow(b.topEmbedded);
    REQUIRE(GetForegroundWindow() == b.topEmbedded);
    CHECK_FALSE(linkedHoldFadesOut(b.h.main));
    SetForegroundWindow(b.h.equalizer);
    REQUIRE(GetForegroundWindow() == b.h.equalizer);
    CHECK_FALSE(linkedHoldFadesOut(b.h.main));
    DestroyWindow(front);

    // With no auto mode the hold changes nothing and goes on firing.
    cfg_auto = AUTO_NONE;
    SetCursorPos(EMPTY_SPOT.x, EMPTY_SPOT.y);
    float before = cur_opaque;
    CHECK_FALSE(linkedHoldFadesOut(b.h.main));
    CHECK(cur_opaque == before);
}

TEST_CASE("per-window hold: hover looks at the window itself, focus fades out at once") {
    ensureLock();
    BroadcastHost b;
    cfg_link = 0;
    Record* playlist = recordOf(b.h.playlist);
    auto fadesOut = [&](HWND w) {
        expireHold(w);
        bool fadingOut = stopTimer(w, TIMER_FADE_OUT);
        bool holding = stopTimer(w, TIMER_HOLD);
        CHECK(fadingOut != holding);
        return fadingOut;
    };

    playlist->auto_mode = AUTO_HOVER;
    pointAt(b.h.playlist);
    CHECK_FALSE(fadesOut(b.h.playlist));
    pointAt(b.h.equalizer);             // another managed window counts as foreign
    CHECK(fadesOut(b.h.playlist));
    SetCursorPos(EMPTY_SPOT.x, EMPTY_SPOT.y);
    CHECK(fadesOut(b.h.playlist));

    playlist->auto_mode = AUTO_FOCUS;
    pointAt(b.h.playlist);
    CHECK(fadesOut(b.h.playlist));

    playlist->auto_mode = AUTO_NONE;
    SetCursorPos(EMPTY_SPOT.x, EMPTY_SPOT.y);
    CHECK_FALSE(fadesOut(b.h.playlist));
}

TEST_CASE("per-window ticks and holds of a window without a record stop their own timer") {
    ensureLock();
    BroadcastHost b;
    cfg_link = 0;
    HWND w = b.bareEmbedded;
    REQUIRE(recordOf(w) == nullptr);
    SetCursorPos(EMPTY_SPOT.x, EMPTY_SPOT.y);
    for (UINT_PTR id : {TIMER_FADE_IN, TIMER_FADE_OUT, TIMER_HOLD}) {
        CAPTURE(id);
        SetTimer(w, id, 600000, fadeTimerProc);
        fadeTimerProc(w, WM_TIMER, id, GetTickCount());
        CHECK_FALSE(stopTimer(w, id));
        CHECK_FALSE(stopTimer(w, TIMER_FADE_OUT));      // a hold did not start a fade-out
    }
    CHECK(layeredAlpha(w) == -1);
    // Other timer ids are left alone.
    SetTimer(w, 7, 600000, fadeTimerProc);
    fadeTimerProc(w, WM_TIMER, 7, GetTickCount());
    CHECK(stopTimer(w, 7));
}
