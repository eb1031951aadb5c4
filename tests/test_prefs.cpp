// The Alpha Blending preferences tab and page through the real DLL: the tab item in the
// host's preferences page, the page's life with the tab selection, its dialog template,
// what it shows and what each of its controls applies and writes.
#include "support/harness.h"

#include <commctrl.h>
#include <string.h>

#include <initializer_list>
#include <string>
#include <vector>

using namespace hostsim;

namespace {

constexpr int PAGE_CONTROLS[] = {1345, 1401, 1411, 1412, 1410, 1415, 1417, 1416, 1418, 1346, 1347,
                                 1348, 1420, 1421, 1350, 1422, 1423, 1349, 1424, 1425, 1351, -1};
constexpr int LINKED_CONTROLS[] = {1410, 1411, 1412, 1415, 1416, 1417, 1418};
constexpr char INFO_TEXT[] =
    "Alpha Blending support for classic skins for users of Microsoft Windows 2000/XP and later.\n"
    "\n"
    "This plugin will handle by default all default and other skinned windows created by other "
    "Winamp plugins.";

// The page inside the host's tab control, or 0; fails the test when there is more than one.
HWND currentPage() {
    std::vector<HWND> pages = tabChildDialogs(prefsTabControl());
    REQUIRE(pages.size() <= 1);
    return pages.empty() ? nullptr : pages[0];
}

std::string textOf(HWND page, int id) {
    char text[512] = "";
    GetWindowTextA(GetDlgItem(page, id), text, sizeof text);
    return text;
}

int sliderPos(HWND page, int id) {
    return static_cast<int>(SendMessageA(GetDlgItem(page, id), TBM_GETPOS, 0, 0));
}

bool enabled(HWND page, int id) { return IsWindowEnabled(GetDlgItem(page, id)) != FALSE; }
bool checked(HWND page, int id) { return IsDlgButtonChecked(page, id) == BST_CHECKED; }

// Moves a slider as a user's drag ends: the position, then the notification the trackbar
// sends to its parent.
void moveSlider(HWND page, int id, int pos) {
    HWND slider = GetDlgItem(page, id);
    SendMessageA(slider, TBM_SETPOS, TRUE, pos);
    SendMessageA(page, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, pos), reinterpret_cast<LPARAM>(slider));
    pump(10);
}

void click(HWND page, int id) {
    SendMessageA(GetDlgItem(page, id), BM_CLICK, 0, 0);
    pump(10);
}

std::vector<HWND> hostWindowsOf(const Host& h) {
    return {h.main, h.equalizer, h.playlist, h.minibrowser, h.video};
}

// Counts the ticks of the fade timers a test starts on a window.
int ticks;
void CALLBACK countTick(HWND, UINT, UINT_PTR, DWORD) { ++ticks; }

}  // namespace

TEST_CASE("config opens page 22 and the tab is added once per initialisation of the page") {
    Session s;
    configPlugin(s.plugin);
    pump(20);
    REQUIRE(s.host.prefs != nullptr);
    CHECK(s.host.requests.back().request == 380);
    CHECK(s.host.requests.back().argument == 22);
    CHECK(prefsTabCount() == 3);
    CHECK(findPrefsTab("Alpha Blending") == 2);     // after the host's own tabs

    configPlugin(s.plugin);     // already open: the host only brings it forward
    pump(20);
    CHECK(prefsTabCount() == 3);

    closePreferences();
    configPlugin(s.plugin);
    pump(20);
    CHECK(s.host.prefsOpenCount == 2);
    CHECK(prefsTabCount() == 3);
    CHECK(findPrefsTab("Alpha Blending") == 2);
    CHECK(currentPage() == nullptr);    // the host's first tab is selected
    CHECK(IsWindowVisible(prefsHostPage(0)));
}

TEST_CASE("the page exists only while its tab is selected, and each new page shows the globals") {
    Session s(withIni({"cfg_opaque=255"}));
    HWND first = openAlphaPage(s);
    HWND tab = prefsTabControl();
    CHECK(GetParent(first) == tab);
    CHECK(IsWindowVisible(first));
    RECT rc;
    GetWindowRect(first, &rc);
    MapWindowPoints(nullptr, tab, reinterpret_cast<POINT*>(&rc), 2);
    CHECK(rc.left == 1);
    CHECK(rc.top == 22);
    CHECK(rc.right - rc.left == 400);
    CHECK(rc.bottom - rc.top == 374);
    CHECK(sliderPos(first, 1415) == 100);
    CHECK(textOf(first, 1416) == "100%");

    moveSlider(first, 1415, 50);

    // Selecting the same tab again keeps the page; another tab destroys it.
    selectPrefsTab(2);
    CHECK(currentPage() == first);
    selectPrefsTab(1);
    CHECK_FALSE(IsWindow(first));
    CHECK(currentPage() == nullptr);
    CHECK(IsWindowVisible(prefsHostPage(1)));

    // A click on the tab, with the notification from the tab control itself.
    clickPrefsTab(2);
    pump(20);
    HWND second = currentPage();
    REQUIRE(second != nullptr);
    CHECK(second != first);
    CHECK(sliderPos(second, 1415) == 50);      // 127.5 shown, 128 stored, 50 again
    CHECK(textOf(second, 1416) == "50%");
    CHECK_FALSE(IsWindowVisible(prefsHostPage(1)));

    // Focus moved onto another tab with TCM_SETCURFOCUS: the control selects it and notifies.
    SendMessageA(tab, TCM_SETCURFOCUS, 0, 0);
    pump(20);
    CHECK_FALSE(IsWindow(second));
    SendMessageA(tab, TCM_SETCURFOCUS, 2, 0);
    pump(20);
    HWND third = currentPage();
    CHECK(third != nullptr);

    // Either message alone, for the tab already selected (the control then sends no
    // notification), brings back a page that went away.
    for (UINT select : {TCM_SETCURFOCUS, TCM_SETCURSEL}) {
        CAPTURE(select);
        DestroyWindow(currentPage());
        SendMessageA(tab, select, 2, 0);
        third = currentPage();
        CHECK(third != nullptr);
    }
    // TCM_SETCURSEL alone, which notifies nobody, follows the item it selects; an index past
    // the last item selects nothing new.
    SendMessageA(tab, TCM_SETCURSEL, 0, 0);
    CHECK(currentPage() == nullptr);
    SendMessageA(tab, TCM_SETCURSEL, 2, 0);
    SendMessageA(tab, TCM_SETCURSEL, 7, 0);
    CHECK((third = currentPage()) != nullptr);

    // The page closes with the host page, and the host's next page opens on the same tab.
    closePreferences();
    CHECK_FALSE(IsWindow(third));
    configPlugin(s.plugin);
    pump(20);
    CHECK(prefsTabCount() == 3);
    HWND fourth = currentPage();
    REQUIRE(fourth != nullptr);
    CHECK(sliderPos(fourth, 1415) == 50);
}

TEST_CASE("the page shows the opacity, the times, the auto mode and the link as loaded") {
    struct Case {
        const char* opaque;
        int percent;
        const char* label;
    };
    for (Case c : {Case{"cfg_opaque=255", 100, "100%"}, Case{"cfg_opaque=128", 50, "50%"},
                   Case{"cfg_opaque=26", 10, "10%"}}) {
        CAPTURE(c.opaque);
        Session s(withIni({c.opaque, "cfg_fadein=300", "cfg_hold=4500"}));
        HWND page = openAlphaPage(s);
        CHECK(sliderPos(page, 1415) == c.percent);
        CHECK(textOf(page, 1416) == c.label);
        // Times as loaded; the fade-out default replaces the template's text.
        CHECK(sliderPos(page, 1420) == 300);
        CHECK(textOf(page, 1421) == "300ms");
        CHECK(sliderPos(page, 1422) == 4500);
        CHECK(textOf(page, 1423) == "4500ms");
        CHECK(sliderPos(page, 1424) == 750);
        CHECK(textOf(page, 1425) == "750ms");
        // Linked by default, opaque on hover.
        CHECK(checked(page, 1401));
        CHECK(checked(page, 1412));
        CHECK_FALSE(checked(page, 1410));
        for (int id : LINKED_CONTROLS) CHECK(enabled(page, id));
    }
}

TEST_CASE("unlinked settings leave the linked controls disabled and the time sliders enabled") {
    Session s(withIni({"cfg_link=0", "cfg_auto=0"}));
    HWND page = openAlphaPage(s);
    CHECK_FALSE(checked(page, 1401));
    CHECK(checked(page, 1410));
    CHECK_FALSE(checked(page, 1412));
    for (int id : LINKED_CONTROLS) CHECK_FALSE(enabled(page, id));
    for (int id : {1401, 1420, 1422, 1424}) CHECK(enabled(page, id));
}

TEST_CASE("the opacity slider applies its alpha to every managed window and stores it") {
    Session s;
    HWND gen = addEmbedded("Gen one");
    HWND owned = addEmbedded("Gen owned", EmbedKind::Owned);
    for (HWND w : hostWindowsOf(s.host)) paint(w);
    paint(gen);
    paint(owned);
    pump(20);
    // Attached while top-level, owned afterwards: it keeps its record but is no longer managed.
    HWND adopted = addEmbedded("Gen adopted");
    SetWindowLongPtrA(adopted, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(s.host.main));
    HWND page = openAlphaPage(s);

    moveSlider(page, 1415, 50);
    CHECK(textOf(page, 1416) == "50%");
    for (HWND w : hostWindowsOf(s.host)) CHECK(layeredAlpha(w) == 128);
    CHECK(layeredAlpha(adopted) == -1);
    CHECK(layeredAlpha(addEmbedded("Gen later")) == 127);  // shown linked alpha: 127.5
    CHECK(layeredAlpha(gen) == 128);
    CHECK(layeredAlpha(owned) == -1);      // not a managed window
    CHECK(iniRead("cfg_opaque") == "128");

    moveSlider(page, 1415, 10);
    CHECK(textOf(page, 1416) == "10%");
    CHECK(layeredAlpha(s.host.main) == 26);
    CHECK(layeredAlpha(gen) == 26);
    CHECK(iniRead("cfg_opaque") == "26");

    // With the main window owned by another window the value is stored, not broadcast.
    HWND owner = createForeignWindow("Owner");
    SetWindowLongPtrA(s.host.main, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
    moveSlider(page, 1415, 70);
    CHECK(textOf(page, 1416) == "70%");
    CHECK(iniRead("cfg_opaque") == "179");
    CHECK(layeredAlpha(gen) == 26);
    CHECK(layeredAlpha(s.host.playlist) == 26);
    SetWindowLongPtrA(s.host.main, GWLP_HWNDPARENT, 0);
    DestroyWindow(owner);
}

TEST_CASE("the time sliders store their times and show them") {
    Session s;
    HWND page = openAlphaPage(s);
    moveSlider(page, 1424, 1200);
    CHECK(textOf(page, 1425) == "1200ms");
    CHECK(iniRead("cfg_fadeout") == "1200");
    moveSlider(page, 1420, 0);
    CHECK(textOf(page, 1421) == "0ms");
    CHECK(iniRead("cfg_fadein") == "0");
    moveSlider(page, 1422, 30000);
    CHECK(textOf(page, 1423) == "30000ms");
    CHECK(iniRead("cfg_hold") == "30000");
    CHECK(iniRead("cfg_opaque") == "<absent>");     // only the moved slider's key

    // A new page shows what the sliders set.
    selectPrefsTab(0);
    selectPrefsTab(2);
    page = currentPage();
    REQUIRE(page != nullptr);
    CHECK(textOf(page, 1425) == "1200ms");
    CHECK(sliderPos(page, 1422) == 30000);
}

TEST_CASE("a command on the page writes only the setting it changed") {
    Session s;
    HWND page = openAlphaPage(s);
    click(page, 1411);
    CHECK(iniRead("cfg_auto") == "1");
    CHECK(iniRead("cfg_link") == "<absent>");
    CHECK(checked(page, 1411));
    CHECK_FALSE(checked(page, 1412));

    // Another player sharing the file keeps what it wrote for what we leave unchanged.
    iniWrite("cfg_link", "7");
    iniWrite("cfg_auto", "7");
    click(page, 1411);
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(1345, BN_CLICKED), 0);     // no setting behind it
    CHECK(iniRead("cfg_auto") == "7");
    click(page, 1410);
    CHECK(iniRead("cfg_auto") == "0");
    CHECK(iniRead("cfg_link") == "7");
    click(page, 1412);                      // hover, after another choice
    CHECK(iniRead("cfg_auto") == "2");

    selectPrefsTab(0);
    selectPrefsTab(2);
    page = currentPage();
    REQUIRE(page != nullptr);
    CHECK(checked(page, 1412));
}

TEST_CASE("the link check box stops every fade and gives each window its own alpha, or the linked one") {
    Session s(withIni({"cfg_opaque=128", "cfg_auto=1", "QuorvelHostMain=200 2 0 0 0 0",
                       "QuorvelHostPlaylist=90 2 0 0 0 0", "Gen one=60 1 0 0 0 0"}));
    HWND gen = addEmbedded("Gen one");
    for (HWND w : hostWindowsOf(s.host)) paint(w);
    paint(gen);
    pump(20);
    CHECK(layeredAlpha(s.host.main) == 128);
    CHECK(layeredAlpha(gen) == 128);
    HWND page = openAlphaPage(s);

    ticks = 0;
    for (HWND w : {s.host.main, s.host.equalizer, gen})
        for (UINT_PTR id : {101, 102, 103}) SetTimer(w, id, 20, countTick);
    REQUIRE(pumpUntil([] { return ticks > 0; }, 5000));

    click(page, 1401);      // clears it
    CHECK_FALSE(checked(page, 1401));
    for (int id : LINKED_CONTROLS) CHECK_FALSE(enabled(page, id));
    CHECK(enabled(page, 1420));
    CHECK(iniRead("cfg_link") == "0");
    CHECK(iniRead("cfg_auto") == "1");      // unchanged
    CHECK(layeredAlpha(s.host.main) == 200);
    CHECK(layeredAlpha(s.host.playlist) == 90);
    CHECK(layeredAlpha(s.host.equalizer) == 255);
    CHECK(layeredAlpha(gen) == 60);
    CHECK(recordOf(gen)->current == 60.0f);
    pump(10);
    ticks = 0;
    pump(150);
    CHECK(ticks == 0);

    click(page, 1401);      // sets it again: the linked alpha everywhere
    CHECK(checked(page, 1401));
    for (int id : LINKED_CONTROLS) CHECK(enabled(page, id));
    CHECK(iniRead("cfg_link") == "1");
    for (HWND w : hostWindowsOf(s.host)) CHECK(layeredAlpha(w) == 128);
    CHECK(layeredAlpha(gen) == 128);
}

TEST_CASE("the page's template") {
    // Unlinked, so the page leaves every control in its template state.
    Session s(withIni({"cfg_link=0", "cfg_auto=1", "cfg_fadeout=2000"}));

    SUBCASE("as stored in the library") {
        HRSRC found = FindResourceExA(s.plugin.module, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(1288),
                                      MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
        REQUIRE(found != nullptr);
        const BYTE* p = static_cast<const BYTE*>(LockResource(LoadResource(s.plugin.module, found)));
        REQUIRE(p != nullptr);
        auto word = [&p]() { WORD w; memcpy(&w, p, 2); p += 2; return w; };
        auto dword = [&p]() { DWORD d; memcpy(&d, p, 4); p += 4; return d; };
        auto text = [&p, &word]() {
            std::string t;
            WORD first = word();
            if (first == 0xFFFF) return "#" + std::to_string(word());
            for (WORD c = first; c; c = word()) t += static_cast<char>(c);
            return t;
        };
        auto align = [&p, found, &s]() {
            const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(s.plugin.module, found)));
            while ((p - base) % 4) ++p;
        };
        CHECK(word() == 1);         // DLGTEMPLATEEX
        CHECK(word() == 0xFFFF);
        dword();                    // help id
        CHECK(dword() == 0);        // no extended style
        CHECK(dword() == 0x40000040u);
        CHECK(word() == 22);
        int frame[4] = {};
        for (int& v : frame) v = static_cast<short>(word());
        CHECK(frame[2] == 266);
        CHECK(frame[3] == 229);
        CHECK(text() == "");        // no menu
        CHECK(text() == "");        // no class
        CHECK(text() == "");        // no title
        CHECK(word() == 8);
        word();                     // weight
        word();                     // italic, charset
        CHECK(text() == "MS Sans Serif");

        struct Item {
            int id;
            const char* cls;
            int x, y, cx, cy;
            DWORD style;
        };
        const DWORD CV = WS_CHILD | WS_VISIBLE, D = WS_DISABLED, T = WS_TABSTOP;
        const Item items[] = {
            {1345, "button", 5, 3, 256, 143, CV | BS_GROUPBOX},
            {1401, "button", 15, 17, 103, 10, CV | T | BS_AUTOCHECKBOX},
            {1411, "button", 28, 32, 86, 10, CV | D | BS_AUTORADIOBUTTON},
            {1412, "button", 28, 42, 86, 10, CV | D | BS_AUTORADIOBUTTON},
            {1410, "button", 28, 52, 65, 10, CV | D | BS_AUTORADIOBUTTON},
            {1415, "msctls_trackbar32", 120, 32, 135, 10, CV | T | D | TBS_BOTH | TBS_NOTICKS},
            {1417, "static", 121, 41, 39, 8, CV | D | SS_LEFT},
            {1416, "static", 172, 42, 28, 8, CV | D | SS_CENTER},
            {1418, "static", 225, 41, 26, 8, CV | D | SS_LEFT},
            {1346, "button", 11, 70, 244, 71, CV | BS_GROUPBOX},
            {1347, "static", 16, 81, 228, 18, CV | SS_LEFT},
            {1348, "static", 16, 102, 28, 8, CV | SS_LEFT},
            {1420, "msctls_trackbar32", 48, 103, 172, 10, CV | T | TBS_BOTH | TBS_NOTICKS},
            {1421, "static", 220, 102, 31, 8, CV | SS_LEFT},
            {1350, "static", 16, 114, 22, 8, CV | SS_LEFT},
            {1422, "msctls_trackbar32", 48, 114, 172, 10, CV | T | TBS_BOTH | TBS_NOTICKS},
            {1423, "static", 220, 114, 32, 8, CV | SS_LEFT},
            {1349, "static", 16, 126, 32, 8, CV | SS_LEFT},
            {1424, "msctls_trackbar32", 48, 126, 172, 10, CV | T | TBS_BOTH | TBS_NOTICKS},
            {1425, "static", 220, 126, 32, 8, CV | SS_LEFT},
            {1351, "button", 5, 150, 256, 75, CV | BS_GROUPBOX},
            {-1, "static", 16, 162, 235, 60, CV | SS_LEFT},
        };
        for (const Item& it : items) {
            CAPTURE(it.id);
            align();
            dword();                // help id
            CHECK(dword() == 0);
            CHECK(dword() == it.style);
            int r[4] = {};
            for (int& v : r) v = static_cast<short>(word());
            CHECK(r[0] == it.x);
            CHECK(r[1] == it.y);
            CHECK(r[2] == it.cx);
            CHECK(r[3] == it.cy);
            CHECK(static_cast<int>(dword()) == it.id);
            CHECK(_stricmp(text().c_str(), it.cls) == 0);
            text();
            CHECK(word() == 0);     // no creation data
        }
    }

    SUBCASE("as created inside the tab control") {
        HWND page = openAlphaPage(s);
        const char* const texts[] = {
            "Opacity (Windows 2000/XP)", "Link all windows in all skins:", "Auto Opaque on Focus",
            "Auto Opaque on Hover", "No Auto Opacity", "", "Transparent", "100%", "Opaque",
            "Auto Opaque",
            "To use Auto Opaque on a window without linking all of them, use the context menu on "
            "that window and select Window Settings, Opacity.",
            "Fade in :", "", "250ms", "Hold :", "", "2000ms", "Fade out :", "", "2000ms",
            "Information", INFO_TEXT};
        std::vector<HWND> controls;
        for (HWND w = GetWindow(page, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) controls.push_back(w);
        REQUIRE(controls.size() == 22);
        for (size_t i = 0; i < controls.size(); ++i) {
            CAPTURE(i);
            CHECK(GetDlgCtrlID(controls[i]) == PAGE_CONTROLS[i]);
            char text[512] = "";
            GetWindowTextA(controls[i], text, sizeof text);
            CHECK(std::string(text) == texts[i]);
            bool disabled = (GetWindowLongA(controls[i], GWL_STYLE) & WS_DISABLED) != 0;
            bool linked = false;
            for (int id : LINKED_CONTROLS) linked = linked || id == PAGE_CONTROLS[i];
            CHECK(disabled == linked);
        }
        CHECK((GetWindowLongA(page, GWL_STYLE) & (WS_CHILD | WS_POPUP)) == WS_CHILD);
    }
}

TEST_CASE("dialogs and tab controls other than the host's tab control 1279 are left alone") {
    Session s;
    HWND page = openAlphaPage(s);       // the host's page, which none of them may touch
    HWND dialog = nullptr;
    int id = 1279, items = 2;
    bool tabControl = true;

    SUBCASE("a dialog whose default focus is a tab control with another id") {
        id = 1280;
        dialog = openTabDialog(1280, true);
    }
    SUBCASE("a dialog with tab control 1279 that is not its default focus control") {
        dialog = openTabDialog(1279, false);
        CHECK(GetDlgCtrlID(GetWindow(GetWindow(dialog, GW_CHILD), GW_HWNDFIRST)) == IDCANCEL);
        tabControl = false;     // in a window the host owns: its own, for all we can tell
    }
    SUBCASE("a dialog the host does not own, whose default focus is a tab control 1279") {
        dialog = openTabDialog(1279, true, false);
    }
    SUBCASE("a dialog whose default focus is a control 1279 of another kind") {
        dialog = openTabDialog(1279, true, true, "BUTTON");
        items = 0;
        tabControl = false;
    }
    pump(20);
    HWND tab = GetDlgItem(dialog, id);
    REQUIRE(tab != nullptr);
    CHECK(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0) == items);

    // Traffic from a tab control that is not the host's does not raise the page even when
    // the item data matches; the control's own id counts, not the idFrom a sender wrote.
    if (tabControl) {
        TCITEMA item = {};
        item.mask = TCIF_TEXT | TCIF_PARAM;
        item.pszText = const_cast<char*>("Lookalike");
        item.lParam = 10463;
        SendMessageA(tab, TCM_INSERTITEMA, 2, reinterpret_cast<LPARAM>(&item));
        SendMessageA(tab, TCM_SETCURSEL, 2, 0);
        SendMessageA(tab, TCM_SETCURSEL, 2, 0);
        NMHDR hdr = {tab, 1279, static_cast<UINT>(TCN_SELCHANGE)};
        SendMessageA(GetParent(tab), WM_NOTIFY, 1279, reinterpret_cast<LPARAM>(&hdr));
        SendMessageA(tab, TCM_SETCURFOCUS, 0, 0);
        SendMessageA(tab, TCM_SETCURFOCUS, 2, 0);
        pump(20);
        CHECK(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0) == 3);
    }
    CHECK(tabChildDialogs(tab).empty());
    CHECK(currentPage() == page);
    closeTabDialog();

    // An idFrom of 0 does not hide the host's tab control.
    HWND hostTab = prefsTabControl();
    DestroyWindow(page);
    NMHDR hdr = {hostTab, 0, static_cast<UINT>(TCN_SELCHANGE)};
    SendMessageA(GetParent(hostTab), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&hdr));
    CHECK(currentPage() != nullptr);
}

TEST_CASE("two preferences windows of the host each have a page of their own") {
    Session s;
    HWND page = openAlphaPage(s);
    HWND second = GetDlgItem(openTabDialog(1279, true), 1279);
    pump(20);
    CHECK(SendMessageA(second, TCM_GETITEMCOUNT, 0, 0) == 3);
    SendMessageA(second, TCM_SETCURSEL, 2, 0);
    CHECK(tabChildDialogs(second).size() == 1);
    SendMessageA(second, TCM_SETCURSEL, 0, 0);
    CHECK(tabChildDialogs(second).empty());
    CHECK(currentPage() == page);
}

namespace {

// A tab control 1279 on another thread whose item query blocks once, when armed, until
// released: the thread that asks it inside the filter must not hold the filter lock meanwhile.
WNDPROC originalTabProc;
HANDLE tabInside, tabRelease;
volatile LONG tabArmed;

LRESULT CALLBACK blockingTabProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == TCM_GETITEMA && InterlockedExchange(&tabArmed, 0)) {
        SetEvent(tabInside);
        WaitForSingleObject(tabRelease, 10000);
    }
    return CallWindowProcA(originalTabProc, window, message, wParam, lParam);
}

}  // namespace

TEST_CASE("the page's changes go ahead while another thread's filter waits in the host's tab control") {
    Session s;
    HWND page = openAlphaPage(s);
    tabInside = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    tabRelease = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    static HWND otherTab;
    WindowThread other;     // started after the load: hooked
    other.run([] {
        otherTab = GetDlgItem(openTabDialog(1279, true), 1279);
        originalTabProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(otherTab, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(blockingTabProc)));
    });
    other.post([] {
        InterlockedExchange(&tabArmed, 1);
        SendMessageA(otherTab, TCM_SETCURSEL, 0, 0);    // the filter reads the item
    });
    REQUIRE(waitPumping(tabInside, 5000));

    std::string seenBeforeRelease;
    WindowThread releaser;
    releaser.post([&seenBeforeRelease] {
        Sleep(300);
        seenBeforeRelease = iniRead("cfg_opaque");
        SetEvent(tabRelease);
    });
    HWND slider = GetDlgItem(page, 1415);
    SendMessageA(slider, TBM_SETPOS, TRUE, 50);
    SendMessageA(page, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 50), reinterpret_cast<LPARAM>(slider));
    REQUIRE(waitPumping(tabRelease, 5000));
    CHECK(seenBeforeRelease == "128");
    CHECK(iniRead("cfg_opaque") == "128");
    CHECK(textOf(page, 1416) == "50%");

    other.run([] { closeTabDialog(); });
    CHECK(IsWindow(page));      // the other thread's traffic left our page alone
    other.stop();
    releaser.stop();
    CloseHandle(tabInside);
    CloseHandle(tabRelease);
}
