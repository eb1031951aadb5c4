// The scripted tour's steps: shows what the plug-in does through the triggers a user would
// cause, and says at each step what it expects to see. The machinery that plays the user,
// captures the screen and writes the report is in tour_driver.cpp.
#include "tour.h"

#include <commctrl.h>
#include <string.h>

namespace demo {

namespace {

// ---- The settings each phase starts from ---------------------------------------------------

struct Expected {
    const char* name;
    int alpha;
};

// Per-window resting alphas (and auto mode 0, so that nothing fades in phase 1).
constexpr char PER_WINDOW_ENTRIES[] =
    "QuorvelHostMain=230 0 0 0 0 0\r\n"
    "QuorvelHostEqualizer=179 0 0 0 0 0\r\n"
    "QuorvelHostPlaylist=128 0 0 0 0 0\r\n"
    "QuorvelHostBrowser=77 0 0 0 0 0\r\n"
    "QuorvelHostVideo=204 0 0 0 0 0\r\n"
    "Visualizer=153 0 0 0 0 0\r\n"
    "Lyrics (second thread)=102 0 0 0 0 0\r\n";
const int PER_WINDOW_ALPHAS[] = {230, 179, 128, 77, 204, 153, 102};

constexpr int LINKED_ALPHA = 140;
constexpr int CUSTOM_PERCENT = 35;
constexpr int CUSTOM_PREVIEW_ALPHA = 89;    // 35 x 255 x 0.01 = 89.25, shown truncated
constexpr int CUSTOM_STORED_ALPHA = 90;     // rounded up when stored
constexpr int PRESET_70_ALPHA = 179;

// The animations: a frame every so many milliseconds (a slide takes about 200 ms, a fade
// over a second), and a moment at rest before and after what they show.
constexpr DWORD HOVER_FRAME_MS = 80;
constexpr DWORD SLIDE_FRAME_MS = 30;
constexpr DWORD ANIMATION_REST_MS = 300;

std::string iniText(bool linked) {
    std::string text = "[Quorvel]\r\n";
    if (linked) {
        text += "cfg_link=1\r\ncfg_opaque=" + std::to_string(LINKED_ALPHA) +
                "\r\ncfg_auto=2\r\ncfg_fadein=1200\r\ncfg_hold=300\r\ncfg_fadeout=1200\r\n";
    } else {
        text += "cfg_link=0\r\ncfg_auto=0\r\n";
    }
    return text + PER_WINDOW_ENTRIES;
}

}  // namespace

// Phase 1: per-window opacity, from the INI file.
void Tour::restPerWindow() {
    step("windows at rest, opacity kept per window");
    if (!startPhase(iniText(false))) return;
    bool ok = waitFor([this] { return allAt(PER_WINDOW_ALPHAS); }, 3000);
    Sleep(300);     // let the compositor draw the last change
    std::string shot = shoot("01-rest-per-window");
    std::string expected;
    for (int i = 0; i < WINDOW_COUNT; ++i)
        expected += std::string(i ? ", " : "") + std::to_string(PER_WINDOW_ALPHAS[i]);
    note(ok ? "ok" : "FAILED", shot,
         "per-window alphas: " + alphaList() + " (expected " + expected + ")");
    endPhase();
}

bool Tour::restLinked() {
    step("windows at rest, opacity linked");
    if (!startPhase(iniText(true))) return false;
    int linked[WINDOW_COUNT];
    for (int& a : linked) a = LINKED_ALPHA;
    bool ok = waitFor([&] { return allAt(linked); }, 3000);
    Sleep(300);
    std::string shot = shoot("02-rest-linked");
    note(ok ? "ok" : "FAILED", shot,
         "linked alpha " + std::to_string(LINKED_ALPHA) + " on every window: " + alphaList());
    return true;
}

// Linked, opaque on hover: the mouse rests on the playlist editor, then leaves. The whole of
// it is recorded around the playlist editor for an animation.
void Tour::hoverFade() {
    step("hover: fade-in, opaque, fade-out (linked, Opaque on Hover)");
    HWND playlist = windows[2];
    RECT around = {};
    GetWindowRect(playlist, &around);
    InflateRect(&around, 50, 50);
    startAnimation(around, HOVER_FRAME_MS);
    Sleep(ANIMATION_REST_MS);
    bool shown = hoverSteps();
    Sleep(ANIMATION_REST_MS);
    endAnimation("hover-fade", "the playlist editor fades in under the pointer and back out "
                 "after it has left, with every other window (linked)", shown);
}

// The steps of hoverFade; true when every one of them was seen as expected.
bool Tour::hoverSteps() {
    HWND playlist = windows[2];
    POINT c = centreOf(playlist);
    int jiggle = 0;
    auto nudge = [&] { moveMouse(c.x + (++jiggle % 2) * 3, c.y); };
    moveMouse(c.x, c.y);
    bool rising = waitFor([&] { return shownAlpha(playlist) > LINKED_ALPHA; }, 2500, nudge);
    if (!rising) {
        note("not seen", "", "no fade-in within 2.5 s of the mouse entering the playlist editor "
             "(alpha stayed " + std::to_string(shownAlpha(playlist)) + "); no screenshot");
        note("not seen", "", "full opacity on hover: not reached");
        note("not seen", "", "fade-out: not reached");
        moveMouse(park.x, park.y);
        return false;
    }
    int midway = LINKED_ALPHA + (255 - LINKED_ALPHA) / 2;
    waitFor([&] { return shownAlpha(playlist) >= midway; }, 3000, nudge);
    int before = shownAlpha(playlist);
    std::string shot = shoot("03-hover-fade-in", true);
    int after = shownAlpha(playlist);
    bool midwayIn = before < 255;
    note(midwayIn ? "ok" : "FAILED", shot,
         "fade-in caught mid-way: alpha " + std::to_string(before) + " before and " +
         std::to_string(after) + " after the shot (rest " + std::to_string(LINKED_ALPHA) +
         ", opaque 255)");

    bool opaque = waitFor([&] { return shownAlpha(playlist) == 255; }, 4000, nudge);
    Sleep(200);
    nudge();
    shot = opaque ? shoot("04-hover-opaque", true) : "";
    note(opaque ? "ok" : "FAILED", shot, "full opacity while the mouse stays: " + alphaList());

    moveMouse(park.x, park.y);
    bool falling = waitFor([&] { return shownAlpha(playlist) < 255; }, 3000);
    if (!falling) {
        note("not seen", "", "no fade-out within 3 s of the mouse leaving (hold 300 ms)");
        return false;
    }
    int halfway = 255 - (255 - LINKED_ALPHA) / 2;
    waitFor([&] { return shownAlpha(playlist) <= halfway; }, 3000);
    before = shownAlpha(playlist);
    shot = shoot("05-fade-out", true);
    after = shownAlpha(playlist);
    int linked[WINDOW_COUNT];
    for (int& a : linked) a = LINKED_ALPHA;
    // Every window, not just the one watched: a tick reaches the embedded ones last.
    bool rested = waitFor([&] { return allAt(linked); }, 4000);
    note(rested && before > LINKED_ALPHA ? "ok" : "FAILED", shot,
         "fade-out caught mid-way: alpha " + std::to_string(before) + " / " + std::to_string(after) +
         "; back at rest: " + alphaList());
    return midwayIn && opaque && rested && before > LINKED_ALPHA;
}

// The host menu with "Window Settings" and its Opacity popup, then "&Custom".
void Tour::menuAndCustom() {
    step("host menu: Window Settings, Opacity popup");
    if (!openHostMenu()) {
        note("FAILED", "", "the host's main menu did not open on a right-click");
        return;
    }
    std::string items;
    HMENU opacity = openOpacityPopup(items);
    if (!opacity) {
        std::string shot = shoot("06-host-menu");
        note("not seen", shot, "the host menu opened without \"Window Settings\" (items: " + items + ")");
        closeMenus();
        step("Custom Opacity dialog");
        note("not seen", "", "needs the Window Settings menu; not reached");
        return;
    }
    std::string checked, entries;
    for (int i = 0; i < GetMenuItemCount(opacity); ++i) {
        if (isSeparator(opacity, i)) continue;
        std::string t = menuText(opacity, i);
        entries += (entries.empty() ? "" : " ") + t;
        if (GetMenuState(opacity, i, MF_BYPOSITION) & MF_CHECKED) checked += (checked.empty() ? "" : ", ") + t;
    }
    std::string shot = shoot("06-menu-window-settings");
    note("ok", shot, "\"Window Settings\" > \"&Opacity\" open: " + entries +
         "; checked: " + (checked.empty() ? "none" : checked));

    step("Custom Opacity dialog (\"&Custom\", slider moved, OK)");
    menuChar('c');                  // "&Custom"
    HWND dialog = nullptr;
    waitFor([&] {
        dialog = FindWindowA("#32770", "Custom Opacity");
        return dialog && IsWindowVisible(dialog);
    }, 3000);
    if (!dialog) {
        closeMenus();
        note("not seen", "", "\"&Custom\" opened no \"Custom Opacity\" dialog within 3 s");
        return;
    }
    HWND slider = GetDlgItem(dialog, 1309);
    int opened_at = static_cast<int>(ask(slider, TBM_GETPOS, 0, 0));
    std::string frameBefore = windowText(GetDlgItem(dialog, 1311));
    ask(slider, TBM_SETPOS, TRUE, CUSTOM_PERCENT);
    ask(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, CUSTOM_PERCENT), reinterpret_cast<LPARAM>(slider));
    ask(dialog, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(slider));
    bool preview = waitFor([this] { return shownAlpha(windows[0]) == CUSTOM_PREVIEW_ALPHA; }, 1500);
    Sleep(200);
    shot = shoot("07-custom-opacity");
    note(preview ? "ok" : "FAILED", shot,
         "opened at " + std::to_string(opened_at) + "% (\"" + frameBefore + "\"); slider at " +
         std::to_string(CUSTOM_PERCENT) + "% shows \"" + windowText(GetDlgItem(dialog, 1311)) +
         "\" and previews alpha " + std::to_string(shownAlpha(windows[0])) + " (expected " +
         std::to_string(CUSTOM_PREVIEW_ALPHA) + ": 35% of 255 is 89.25, and the window is "
         "given the alpha truncated)");
    clickButton(GetDlgItem(dialog, IDOK));
    if (!waitFor([&] { return !IsWindow(dialog); }, 3000)) {
        PostMessageA(dialog, WM_CLOSE, 0, 0);
        if (!waitFor([&] { return !IsWindow(dialog); }, 2000)) {
            note("FAILED", "", "the Custom Opacity dialog did not close");
            return;
        }
    }
    std::string stored = iniValue("cfg_opaque");
    note(stored == std::to_string(CUSTOM_STORED_ALPHA) ? "ok" : "FAILED", "",
         "OK stored cfg_opaque=" + stored + " (expected " + std::to_string(CUSTOM_STORED_ALPHA) +
         ": the setting is 89.25 rounded up, so that reading it back shows 35% again)");
}

// The same menu opened on the embedded window of the second thread: a preset there
// changes every window while linked.
void Tour::presetFromSecondThread() {
    step("a preset from the menu of the second thread's embedded window");
    HWND owner = windows[6];
    RECT r = {};
    GetWindowRect(owner, &r);
    if (!openHostMenu(owner, POINT{r.left - 200, r.top})) {
        note("FAILED", "", "the host's main menu did not open on a right-click");
        return;
    }
    std::string items;
    if (!openOpacityPopup(items)) {
        closeMenus();
        note("not seen", "", "no \"Window Settings\" in the menu opened on the second thread");
        return;
    }
    menuChar('7');                  // "&70%"
    int seventy[WINDOW_COUNT];
    for (int& a : seventy) a = PRESET_70_ALPHA;
    bool all = waitFor([&] { return allAt(seventy); }, 2000);
    closeMenus();
    note(all ? "ok" : "FAILED", "", "\"&70%\" chosen there: " + alphaList() + " (expected " +
         std::to_string(PRESET_70_ALPHA) + "); cfg_opaque=" + iniValue("cfg_opaque"));
}

// "&Options..." in the host menu: preferences page 22 and the Alpha Blending tab.
void Tour::preferences() {
    step("preferences: the Alpha Blending tab");
    if (!openHostMenu()) {
        note("FAILED", "", "the host's main menu did not open on a right-click");
        return;
    }
    menuChar('o');                  // "&Options..."
    waitFor([] { return visiblePopupMenus() == 0; }, 1500);
    HWND prefs = nullptr;
    waitFor([&] {
        prefs = FindWindowA("#32770", "Preferences");
        return prefs && IsWindowVisible(prefs);
    }, 3000);
    if (!prefs) {
        closeMenus();
        note("FAILED", "", "\"Options...\" opened no preferences window");
        return;
    }
    HWND tab = GetDlgItem(prefs, hostsim::PREFS_TAB_CONTROL);
    int count = static_cast<int>(ask(tab, TCM_GETITEMCOUNT, 0, 0));
    int alphaTab = -1;
    std::string tabs;
    for (int i = 0; i < count; ++i) {
        static char buffer[64];
        static TCITEMA item;
        buffer[0] = '\0';
        item = TCITEMA{};
        item.mask = TCIF_TEXT;
        item.pszText = buffer;
        item.cchTextMax = sizeof buffer;
        ask(tab, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
        tabs += (tabs.empty() ? "" : ", ") + std::string(buffer);
        if (!strcmp(buffer, "Alpha Blending")) alphaTab = i;
    }
    if (alphaTab < 0) {
        Sleep(200);
        std::string shot = shoot("08-preferences");
        note("not seen", shot, "page 22 has no \"Alpha Blending\" tab (tabs: " + tabs + ")");
        step("unlinking from the Alpha Blending tab");
        note("not seen", "", "needs the Alpha Blending tab; not reached");
        onMain([] { hostsim::closePreferences(); });
        return;
    }
    onMain([alphaTab] { hostsim::selectPrefsTab(alphaTab); });
    HWND page = nullptr;
    waitFor([&] {
        page = FindWindowExA(tab, nullptr, "#32770", nullptr);
        return page && GetDlgItem(page, 1401) && IsWindowVisible(page);
    }, 2000);
    if (!page) {
        note("FAILED", "", "selecting \"Alpha Blending\" showed no page");
        onMain([] { hostsim::closePreferences(); });
        return;
    }
    Sleep(200);
    std::string shot = shoot("08-alpha-blending-tab");
    HWND link = GetDlgItem(page, 1401);
    note("ok", shot, std::string("tabs: ") + tabs + "; link " +
         (ask(link, BM_GETCHECK, 0, 0) ? "on" : "off") + ", opacity " +
         windowText(GetDlgItem(page, 1416)) + ", fade in " + windowText(GetDlgItem(page, 1421)) +
         ", hold " + windowText(GetDlgItem(page, 1423)) + ", fade out " +
         windowText(GetDlgItem(page, 1425)));

    step("unlinking from the Alpha Blending tab: each window back to its own alpha");
    clickButton(link);
    bool own = waitFor([this] { return allAt(PER_WINDOW_ALPHAS); }, 2000);
    std::string link_ini = iniValue("cfg_link");
    // The preferences would hide most windows: the shot is taken once they are closed.
    onMain([] { hostsim::closePreferences(); });
    waitFor([] { return !FindWindowA("#32770", "Preferences"); }, 2000);
    Sleep(300);
    shot = shoot("09-per-window-from-tab");
    note(own && allAt(PER_WINDOW_ALPHAS) ? "ok" : "FAILED", shot,
         "after unticking the link (preferences closed for the shot): " + alphaList() +
         "; cfg_link=" + link_ini);
}

bool Tour::chooseDockItem(HWND owner, int downs) {
    RECT r = {};
    GetWindowRect(owner, &r);
    if (!openHostMenu(owner, POINT{r.right + 8, r.top + 20})) return false;
    std::string items;
    if (!openSettingsItem(items, 2)) {
        closeMenus();
        return false;
    }
    for (int i = 0; i < downs; ++i) key(VK_DOWN);
    key(VK_RETURN);
    waitFor([] { return visiblePopupMenus() == 0; }, 1500);
    moveMouse(park.x, park.y);
    return true;
}

// Docked Toolbar: the minibrowser docked at the top edge, the visualizer at the left edge
// auto-hidden to its strip, and slid back in under the pointer.
void Tour::docking() {
    // The popup's items: Auto-Hide, Always On Top, -, Top, Left, ...
    constexpr int TO_TOP = 2, TO_LEFT = 3, TO_AUTO_HIDE = 0;
    step("Docked Toolbar: the minibrowser docked at the top edge");
    HWND browser = windows[3], visual = windows[5];
    auto rectOf = [](HWND w) {
        RECT r = {};
        GetWindowRect(w, &r);
        return r;
    };
    auto where = [&](HWND w) {
        RECT r = rectOf(w);
        return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ")";
    };
    if (!chooseDockItem(browser, TO_TOP)) {
        note("not seen", "", "no \"Docked Toolbar\" popup in the menu opened on the minibrowser");
        return;
    }
    bool top = waitFor([&] { return rectOf(browser).top == 0; }, 3000);
    Sleep(300);
    std::string shot = shoot("10-docked-top");
    note(top ? "ok" : "FAILED", shot, "\"Top\": the minibrowser stands at " + where(browser) +
         ", flush against the top edge; its entry: " + iniValue("QuorvelHostBrowser"));

    step("Docked Toolbar: the visualizer docked left and auto-hidden to its strip");
    bool left = chooseDockItem(visual, TO_LEFT) &&
                waitFor([&] { return rectOf(visual).left == 0; }, 3000);
    bool hidden = left && chooseDockItem(visual, TO_AUTO_HIDE) &&
                  waitFor([&] { return rectOf(visual).right > 0 && rectOf(visual).right <= 4; }, 4000);
    Sleep(300);
    shot = shoot("11-auto-hidden");
    note(hidden ? "ok" : "FAILED", shot, "\"Left\", then \"Auto-&Hide\": the visualizer slid out to " +
         where(visual) + ", " + std::to_string(rectOf(visual).right) +
         " pixels on screen; its entry: " + iniValue("Visualizer"));
    if (!hidden) return;

    // Recorded from the strip at the left edge to a little beyond the window slid in.
    RECT r = rectOf(visual);
    RECT around = {0, r.top - 40, r.right - r.left + 60, r.bottom + 40};
    startAnimation(around, SLIDE_FRAME_MS);
    Sleep(ANIMATION_REST_MS);
    moveMouse(1, (r.top + r.bottom) / 2);
    bool in = waitFor([&] { return rectOf(visual).left == 0; }, 3000);
    Sleep(in ? 600 : 0);        // in view under the pointer for a moment
    moveMouse(park.x, park.y);
    bool out = in && waitFor([&] { return rectOf(visual).right <= 4; }, 4000);
    Sleep(ANIMATION_REST_MS);
    note(in && out ? "ok" : "FAILED", "", std::string("the pointer on the strip slides it in") +
         (in ? "" : " (not seen)") + ", and away, out again" + (out ? "" : " (not seen)"));
    endAnimation("auto-hide", "the Visualizer, auto-hidden at the left edge, slides in under "
                 "the pointer and out again once the pointer has gone", in && out);
}

int Tour::run() {
    if (!openReport()) return 1;
    moveMouse(park.x, park.y);

    restPerWindow();
    if (restLinked()) {
        hoverFade();
        menuAndCustom();
        presetFromSecondThread();
        preferences();
        docking();
        step("closing the player");
        endPhase();
    }
    return closeReport();
}

}  // namespace demo
