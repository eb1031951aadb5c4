// Two things acting at once, through the real DLL: two threads choosing opacities at the same
// moment, the preferences slider against the menu, and a window that chooses another opacity
// from inside the very change the plug-in makes to it. Whatever order their effects land in,
// every window ends showing what its record and the setting say, and the INI file says the
// same.
#include "menu_support.h"

#include <string>
#include <vector>

using namespace hostsim;

namespace {

const CommandIndex PRESETS[] = {OPACITY_90, OPACITY_30, OPACITY_60, OPACITY_20, OPACITY_70, OPACITY_40};

int shownAlpha(HWND window) {
    int a = layeredAlpha(window);
    return a == -1 ? 255 : a;       // not layered: fully opaque
}

int leadingNumber(const std::string& text) { return text == "<absent>" ? 255 : atoi(text.c_str()); }

// What disagrees, or "" when everything does: linked, every window shows the stored setting;
// per window, the window shows its record's resting alpha, which its entry stores.
std::string disagreement(const std::vector<HWND>& windows, bool linked) {
    std::string found;
    int setting = leadingNumber(iniRead("cfg_opaque"));
    for (HWND w : windows) {
        char title[64] = "";
        GetWindowTextA(w, title, sizeof title);
        Record* r = recordOf(w);
        if (!r) {
            found += std::string(title) + " has no record; ";
            continue;
        }
        int expected = linked ? setting : static_cast<int>(r->opaque);
        if (shownAlpha(w) != expected)
            found += std::string(title) + " shows " + std::to_string(shownAlpha(w)) + ", not " +
                     std::to_string(expected) + "; ";
        if (!linked && (r->current != r->opaque || leadingNumber(iniRead(title)) != expected))
            found += std::string(title) + ": record " + std::to_string(r->current) + "/" +
                     std::to_string(r->opaque) + ", entry " + iniRead(title) + "; ";
    }
    return found;
}

// A "Winamp Gen" window whose procedure reacts once, when armed, to the plug-in making it
// layered: from inside that WM_STYLECHANGING it does what another plug-in might.
std::function<void(HWND)> reaction;
WNDPROC reactingOriginal;

LRESULT CALLBACK reactsToLayering(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_STYLECHANGING && wParam == static_cast<WPARAM>(GWL_EXSTYLE) && reaction &&
        (reinterpret_cast<const STYLESTRUCT*>(lParam)->styleNew & WS_EX_LAYERED)) {
        auto react = reaction;
        reaction = nullptr;
        react(window);
    }
    return CallWindowProcA(reactingOriginal, window, message, wParam, lParam);
}

HWND addReactingWindow() {
    HWND w = addEmbedded("Reacting");
    reactingOriginal = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(reactsToLayering)));
    return w;
}

// Attached afresh at a resting 255, so that the next alpha below it makes it layered again.
void unlayerByReattaching(HWND w) {
    hide(w);
    show(w);
    REQUIRE(recordOf(w) != nullptr);
    REQUIRE(layeredAlpha(w) == -1);
}

void choose(HWND window, CommandIndex command) { SendMessageA(window, WM_COMMAND, commandOf(command), 0); }

void movePageSlider(HWND page, int percent) {
    HWND slider = GetDlgItem(page, 1415);
    SendMessageA(slider, TBM_SETPOS, TRUE, percent);
    SendMessageA(page, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, percent), reinterpret_cast<LPARAM>(slider));
}

}  // namespace

TEST_CASE("two things acting at once leave windows, records, setting and INI agreeing") {
    enum class Act { PresetsOnTwoThreads, PageAgainstPresets, PresetInsideChange, OkInsideChange };
    struct Row {
        const char* what;
        Act act;
        bool linked;
        int rounds;
    };
    const Row rows[] = {
        {"linked presets on two threads at once", Act::PresetsOnTwoThreads, true, 60},
        {"the page's slider against presets on another thread", Act::PageAgainstPresets, true, 60},
        {"linked: a preset chosen inside the change a preset makes", Act::PresetInsideChange, true, 2},
        {"per window: a preset chosen inside the change a preset makes", Act::PresetInsideChange, false, 2},
        {"linked: OK in the Custom dialog inside the change a preset makes", Act::OkInsideChange, true, 1},
        {"per window: OK in the Custom dialog inside the change a preset makes", Act::OkInsideChange, false, 1},
    };
    for (const Row& row : rows) {
        CAPTURE(std::string(row.what));
        Session s(withIni({row.linked ? "cfg_link=1" : "cfg_link=0", "cfg_auto=0"}));
        WindowThread other;     // started after the load: hooked
        HWND elsewhere = nullptr, reacting = nullptr;
        other.run([&] {
            elsewhere = addEmbedded("Elsewhere");
            reacting = addReactingWindow();
        });
        std::vector<HWND> windows = hostWindowList();
        windows.push_back(addEmbedded("Here"));
        windows.push_back(elsewhere);
        windows.push_back(reacting);
        attach(windows);
        openHostMenu(row.linked ? s.host.main : reacting);     // the commands' target
        closeHostMenu();
        std::vector<HWND> checked = row.linked ? windows : std::vector<HWND>{reacting};
        HWND page = row.act == Act::PageAgainstPresets ? openAlphaPage(s) : nullptr;

        for (int round = 0; round < row.rounds; ++round) {
            CAPTURE(round);
            CommandIndex mine = PRESETS[round % 6], theirs = PRESETS[(round + 3) % 6];
            if (row.act == Act::PresetsOnTwoThreads || row.act == Act::PageAgainstPresets) {
                HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
                HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
                other.post([&] {
                    WaitForSingleObject(go, INFINITE);
                    choose(elsewhere, theirs);
                    SetEvent(done);
                });
                SetEvent(go);
                if (row.act == Act::PageAgainstPresets) movePageSlider(page, 10 + 7 * (round % 13));
                else choose(s.host.main, mine);
                CHECK(waitPumping(done, 15000));
                CloseHandle(go);
                CloseHandle(done);
            } else {
                // At rest at 255 and not layered, so that the next preset changes its style.
                choose(s.host.main, OPACITY_100);
                other.run([&] { unlayerByReattaching(reacting); });
                if (row.act == Act::PresetInsideChange) {
                    reaction = [theirs](HWND w) { choose(w, theirs); };
                    choose(s.host.main, mine);
                } else {
                    // The dialog previews 20 %; the preset taken meanwhile makes the window
                    // layered, and the window answers with OK.
                    CHECK(runCustomDialog({
                        [&](HWND d) { moveSlider(d, 20); },
                        [&](HWND) {
                            other.run([&] { unlayerByReattaching(reacting); });
                            reaction = [](HWND) { SendMessageA(findCustomDialog(), WM_COMMAND, IDOK, 0); };
                            choose(s.host.main, mine);
                        },
                    }));
                    CHECK(leadingNumber(iniRead(row.linked ? "cfg_opaque" : "Reacting")) == 51);
                }
                CHECK(reaction == nullptr);     // the window did react
            }
            CHECK(disagreement(checked, row.linked) == "");
        }
        reaction = nullptr;
        other.run([&] {
            removeEmbedded(elsewhere);
            removeEmbedded(reacting);
        });
    }
}
