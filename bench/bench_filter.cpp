// The message filter's own cost, and the linked broadcast's cost as windows are added.
//
// The plug-in's sources are compiled into this program, so messageFilter and
// applyLinkedOpacity are called directly, without hooks, on a host emulator that start-up
// has been run against. Each filter figure is printed beside the cost of the Win32 calls
// that the same message cannot avoid (its floor), measured the same way.
#include <windows.h>
#include <commctrl.h>

#include <stdio.h>

#include <vector>

#include "bench/timing.h"
#include "plugin/entry/entry.h"
#include "plugin/fade/fade.h"
#include "hostsim/hostsim.h"
#include "plugin/settings/settings.h"
#include "plugin/window/window.h"

namespace {

// Calls per repetition: many for what stays in the process, fewer for what asks the
// window server (properties and timers are kept there under Wine).
constexpr int FILTER_CALLS = 100000;
constexpr int QUERY_CALLS = 5000;
constexpr int SERVER_CALLS = 300;
constexpr UINT UNROUTED_MESSAGE = WM_USER + 7;    // in neither table

volatile int sink;

void row(const char* what, const Timing& t, double floor, const char* floorWhat) {
    if (floor > 0)
        printf("  %-44s %9.1f ns  (%4.1f%%)  floor %9.1f ns  ratio %.3f  [%s]\n", what, t.median,
               spreadPercent(t), floor, t.median / floor, floorWhat);
    else
        printf("  %-44s %9.1f ns  (%4.1f%%)  floor: none\n", what, t.median, spreadPercent(t));
}

void component(const char* what, const Timing& t) {
    printf("    %-42s %9.1f ns  (%4.1f%%)\n", what, t.median, spreadPercent(t));
}

void killHoverTimers(HWND window) {
    KillTimer(window, TIMER_FADE_IN);
    KillTimer(window, TIMER_HOLD);
    KillTimer(window, TIMER_FADE_OUT);
}

void benchFilter(hostsim::Host& host, HWND embedded, HWND foreign) {
    printf("Message filter, ns per call (median of 15 repetitions; interquartile spread in\n"
           "brackets); ratio = filter / floor, the Win32 calls the message cannot avoid\n");

    // Floors: each Win32 call a routed message needs, timed alone.
    char className[CLASS_NAME_SIZE];
    Timing lock = timeCalls([](int) { FilterLockGuard guard; sink = guard ? 1 : 0; }, QUERY_CALLS);
    Timing classForeign = timeCalls(
        [&](int) { sink = GetClassNameA(foreign, className, CLASS_NAME_SIZE); }, QUERY_CALLS);
    Timing classEmbedded = timeCalls(
        [&](int) { sink = GetClassNameA(embedded, className, CLASS_NAME_SIZE); }, QUERY_CALLS);
    Timing ancestor = timeCalls(
        [&](int) { sink = GetAncestor(host.main, GA_ROOTOWNER) == host.main; }, QUERY_CALLS);
    Timing prop = timeCalls(
        [&](int) { sink = GetPropA(host.main, RECORD_PROPERTY) != nullptr; }, SERVER_CALLS);
    Timing timers = timeCalls([&](int) {
        KillTimer(host.main, TIMER_FADE_OUT);
        SetTimer(host.main, TIMER_FADE_IN, FADE_TICK_MS, fadeTimerProc);
        SetTimer(host.main, TIMER_HOLD, cfg_hold, fadeTimerProc);
    }, SERVER_CALLS);
    killHoverTimers(host.main);

    // A message in neither table needs nothing at all.
    Timing unroutedForeign = timeCalls(
        [&](int i) { messageFilter(foreign, UNROUTED_MESSAGE, i, 0, Delivery::Posted); }, FILTER_CALLS);
    Timing unroutedManaged = timeCalls(
        [&](int i) { messageFilter(host.main, UNROUTED_MESSAGE, i, 0, Delivery::Posted); }, FILTER_CALLS);

    // Hover on a managed window, linked, opaque on hover: routing (lock, class name unless
    // the handle is one of the five, ancestor), then the record and the three timer calls.
    Timing hoverMain = timeCalls(
        [&](int i) { messageFilter(host.main, WM_MOUSEMOVE, 0, MAKELPARAM(i & 63, 5), Delivery::Posted); }, SERVER_CALLS);
    bool hoverStartsTimers = KillTimer(host.main, TIMER_HOLD) != 0;
    killHoverTimers(host.main);
    Timing hoverEmbedded = timeCalls(
        [&](int i) { messageFilter(embedded, WM_MOUSEMOVE, 0, MAKELPARAM(i & 63, 5), Delivery::Posted); }, SERVER_CALLS);
    killHoverTimers(embedded);
    killHoverTimers(host.main);

    // Table B to a window that is not the preferences tab control.
    NMHDR header = {foreign, 5, static_cast<UINT>(NM_CLICK)};
    Timing notify = timeCalls([&](int) {
        messageFilter(foreign, WM_NOTIFY, 5, reinterpret_cast<LPARAM>(&header), Delivery::Sent);
    }, QUERY_CALLS);
    Timing setCurSel = timeCalls([&](int) { messageFilter(foreign, TCM_SETCURSEL, 1, 0, Delivery::Sent); }, QUERY_CALLS);

    double routeMain = lock.median + ancestor.median;
    double routeEmbedded = lock.median + classEmbedded.median + ancestor.median;
    double hoverWork = prop.median + timers.median;
    double routeForeign = lock.median + classForeign.median;

    printf("  Floor components:\n");
    component("lock taken and left (FilterLockGuard)", lock);
    component("GetClassNameA, unrelated window", classForeign);
    component("GetClassNameA, \"Winamp Gen\" window", classEmbedded);
    component("GetAncestor(GA_ROOTOWNER)", ancestor);
    component("GetPropA(\"Quorvel\")", prop);
    component("KillTimer 102 + SetTimer 101 + SetTimer 103", timers);
    printf("  Filter:\n");
    row("neither table, unmanaged window", unroutedForeign, 0, "");
    row("neither table, managed window", unroutedManaged, 0, "");
    row("WM_MOUSEMOVE, main window, linked hover", hoverMain, routeMain + hoverWork,
        "lock+ancestor+prop+timers");
    row("WM_MOUSEMOVE, \"Winamp Gen\" window, linked hover", hoverEmbedded,
        routeEmbedded + hoverWork, "lock+class+ancestor+prop+timers");
    if (!hoverStartsTimers) {
        printf("    (the hover case started no timer: this build has no fade engine, so the\n"
               "     hover figures are the routing alone)\n");
        row("  the same, routing only", hoverEmbedded, routeEmbedded, "lock+class+ancestor");
    }
    row("WM_NOTIFY, unrelated window", notify, routeForeign, "lock+class");
    row("TCM_SETCURSEL, unrelated window", setCurSel, routeForeign, "lock+class");
}

void benchBroadcast(hostsim::Host& host) {
    printf("\nLinked broadcast (applyLinkedOpacity), 5 host windows + N embedded windows\n");
    printf("  floor: GetWindowLongA + SetLayeredWindowAttributes on the same windows, directly\n");
    printf("  %6s %14s %8s %16s %14s %8s\n", "N", "us per call", "spread", "us per window",
           "floor us", "ratio");
    std::vector<HWND> added;
    for (int n : {5, 20, 80}) {
        while (static_cast<int>(added.size()) < n) {
            char title[32];
            snprintf(title, sizeof title, "Embedded %u", static_cast<unsigned>(added.size()));
            HWND w = hostsim::addEmbedded(title);
            attachRecord(w);
            added.push_back(w);
        }
        hostsim::pump(50);
        host.requests.clear();
        // Alternate two alphas so that every call really changes every window.
        Timing t = timeCalls([](int i) { applyLinkedOpacity(i & 1 ? 101.0f : 100.0f); }, 4, 9);
        host.requests.clear();
        // Floor: the same alphas set on the same windows directly, nothing else.
        std::vector<HWND> all = {host.main, host.equalizer, host.minibrowser, host.playlist, host.video};
        all.insert(all.end(), added.begin(), added.end());
        Timing floor = timeCalls([&](int i) {
            for (HWND w : all) {
                sink = GetWindowLongA(w, GWL_EXSTYLE);
                SetLayeredWindowAttributes(w, 0, i & 1 ? 103 : 102, LWA_ALPHA);
            }
        }, 4, 9);
        printf("  %6d %14.1f %7.1f%% %16.2f %14.1f %8.2f\n", n, t.median / 1000, spreadPercent(t),
               t.median / 1000 / (5 + n), floor.median / 1000, t.median / floor.median);
        hostsim::pump(20);
    }
}

}  // namespace

int main() {
    hostsim::Host& host = hostsim::start();
    hostsim::pump(100);

    // What the library entry point and the host's start-up would do, minus the hooks.
    createFilterLock();
    pluginDescriptor.parentWindow = host.main;
    pluginInit();
    cfg_link = 1;
    cfg_auto = AUTO_HOVER;
    for (HWND w : {host.main, host.equalizer, host.playlist, host.minibrowser, host.video})
        attachRecord(w);
    HWND embedded = hostsim::addEmbedded("Bench embedded");
    attachRecord(embedded);
    HWND foreign = hostsim::createForeignWindow("Bench foreign");
    hostsim::pump(100);

    benchFilter(host, embedded, foreign);
    benchBroadcast(host);

    DestroyWindow(foreign);
    hostsim::stop();
    deleteFilterLock();
    return 0;
}
