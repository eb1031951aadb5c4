// End to end: messages sent to a window of the same thread, so that they pass through the
// thread's WH_CALLWNDPROC hook, with no hooks, with a pass-through hook pair, and with the
// real plug-in loaded. Figures are ratios to the pass-through pair, the least any hooking
// plug-in costs.
#include <windows.h>

#include <stdio.h>

#include "bench/timing.h"
#include "hostsim/hostsim.h"

namespace {

constexpr int CALLS = 1000;
constexpr int REPS = 9;
constexpr UINT UNROUTED_MESSAGE = WM_USER + 7;

HHOOK passGetMessage;
HHOOK passCallWndProc;

LRESULT CALLBACK passGetMessageHook(int code, WPARAM wParam, LPARAM lParam) {
    return CallNextHookEx(passGetMessage, code, wParam, lParam);
}
LRESULT CALLBACK passCallWndProcHook(int code, WPARAM wParam, LPARAM lParam) {
    return CallNextHookEx(passCallWndProc, code, wParam, lParam);
}

enum Setup { NO_HOOKS, PASS_THROUGH, PLUGIN, SETUP_COUNT };
const char* const SETUP_NAMES[] = {"no hooks", "pass-through pair", "plug-in loaded"};

struct Message {
    const char* name;
    UINT number;
};
const Message MESSAGES[] = {
    {"message in neither table, main window", UNROUTED_MESSAGE},
    {"WM_MOUSEMOVE, main window (linked hover)", WM_MOUSEMOVE},
    {"WM_MOUSEMOVE, unrelated window", WM_MOUSEMOVE},
};
constexpr int MESSAGE_COUNT = 3;

// One repetition of every message under one set-up, on a fresh host.
void measure(Setup setup, Timing (&out)[MESSAGE_COUNT]) {
    hostsim::Host& host = hostsim::start();
    hostsim::Plugin plugin;
    if (setup == PASS_THROUGH) {
        DWORD thread = GetCurrentThreadId();
        passGetMessage = SetWindowsHookExA(WH_GETMESSAGE, passGetMessageHook, nullptr, thread);
        passCallWndProc = SetWindowsHookExA(WH_CALLWNDPROC, passCallWndProcHook, nullptr, thread);
    } else if (setup == PLUGIN) {
        if (!hostsim::loadPlugin(plugin)) {
            fprintf(stderr, "cannot load gen_quorvel.dll\n");
            ExitProcess(1);
        }
        hostsim::initPlugin(plugin);
    }
    HWND foreign = hostsim::createForeignWindow("Bench foreign");
    for (HWND w : {host.main, host.equalizer, host.playlist, host.minibrowser, host.video}) {
        InvalidateRect(w, nullptr, FALSE);
        UpdateWindow(w);
    }
    hostsim::pump(50);

    HWND targets[MESSAGE_COUNT] = {host.main, host.main, foreign};
    for (int m = 0; m < MESSAGE_COUNT; ++m) {
        out[m] = timeCalls([&](int i) {
            SendMessageA(targets[m], MESSAGES[m].number, 0, MAKELPARAM(i & 63, 5));
        }, CALLS, 3);
        hostsim::pump(5);
    }

    DestroyWindow(foreign);
    hostsim::stop();
    hostsim::pump(10);
    if (setup == PASS_THROUGH) {
        UnhookWindowsHookEx(passGetMessage);
        UnhookWindowsHookEx(passCallWndProc);
    } else if (setup == PLUGIN) {
        hostsim::unloadPlugin(plugin);
    }
}

}  // namespace

int main() {
    // Repetitions interleave the set-ups, so that drift of the machine hits all alike.
    std::vector<double> perCall[SETUP_COUNT][MESSAGE_COUNT];
    for (int r = 0; r < REPS; ++r)
        for (int s = 0; s < SETUP_COUNT; ++s) {
            Timing t[MESSAGE_COUNT];
            measure(static_cast<Setup>(s), t);
            for (int m = 0; m < MESSAGE_COUNT; ++m) perCall[s][m].push_back(t[m].median);
        }

    printf("SendMessageA through the hooks, ns per message (median of %d repetitions,\n"
           "interquartile spread in brackets), and the ratio to the pass-through hook pair\n", REPS);
    for (int m = 0; m < MESSAGE_COUNT; ++m) {
        printf("  %s\n", MESSAGES[m].name);
        double base = 0;
        Timing stats[SETUP_COUNT];
        for (int s = 0; s < SETUP_COUNT; ++s) {
            stats[s] = summarise(perCall[s][m]);
        }
        base = stats[PASS_THROUGH].median;
        for (int s = 0; s < SETUP_COUNT; ++s)
            printf("    %-20s %9.1f ns  (%4.1f%%)  ratio %.3f\n", SETUP_NAMES[s], stats[s].median,
                   spreadPercent(stats[s]), stats[s].median / base);
    }
    return 0;
}
