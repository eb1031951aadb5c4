// The per-window record through the real DLL: what the first paint reads, clamps, writes
// back and shows, and which messages take the record away again.
#include "menu_support.h"

#include <string.h>

#include <fstream>
#include <string>

using namespace hostsim;

namespace {

Options perWindow(std::initializer_list<const char*> entries) {
    Options o;
    std::string text = "[Player]\r\nvolume=200\r\n[Quorvel]\r\ncfg_link=0\r\n";
    for (const char* line : entries) text += std::string(line) + "\r\n";
    o.iniText = text;
    return o;
}

bool isLayered(HWND window) { return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_LAYERED) != 0; }

void makeLayered(HWND window, BYTE alpha) {
    SetWindowLongA(window, GWL_EXSTYLE, GetWindowLongA(window, GWL_EXSTYLE) | WS_EX_LAYERED);
    SetLayeredWindowAttributes(window, 0, alpha, LWA_ALPHA);
}

}  // namespace

TEST_CASE("a window with no entry rests fully opaque and gets the default entry written") {
    Session s(perWindow({}));
    HWND w = addEmbedded("Fresh");
    Record* r = recordOf(w);
    REQUIRE(r);
    CHECK(r->opaque == 255.0f);
    CHECK(r->current == 255.0f);
    CHECK(r->auto_mode == 2);
    CHECK((r->auto_hide | r->always_on_top | r->dock_side | r->drag_dock) == 0);
    CHECK(iniRead("Fresh") == "255 2 0 0 0 0");
    CHECK_FALSE(isLayered(w));

    // Alpha 255 leaves the style alone. Layering that other code adds later stays when the
    // window is detached; a window other code made layered before is never attached.
    paint(s.host.equalizer);
    REQUIRE(recordOf(s.host.equalizer));
    CHECK(layeredAlpha(s.host.equalizer) == -1);
    CHECK(iniRead("QuorvelHostEqualizer") == "255 2 0 0 0 0");
    makeLayered(s.host.equalizer, 90);
    hide(s.host.equalizer);
    CHECK(recordOf(s.host.equalizer) == nullptr);
    CHECK(layeredAlpha(s.host.equalizer) == 90);
    makeLayered(s.host.playlist, 100);
    paint(s.host.playlist);
    CHECK(recordOf(s.host.playlist) == nullptr);
    CHECK(layeredAlpha(s.host.playlist) == 100);
}

TEST_CASE("an entry is read, clamped, shown and written back in normalised form") {
    Session s(perWindow({"Exact=200 1 0 0 0 0", "Low=10 2 0 0 0 0", "High=300 0 0 0 0 0",
                         "Negative=-5 0 0 0 0 0", "Bound=26 0 0 0 0 0", "Top=255 0 0 0 0 0",
                         "Short=180 2", "Options=100 -1 258 7 8 1", "Word=abc 1 1 1 1 1"}));
    struct Case {
        const char* title;
        float opaque;
        int shown;                  // -1: not layered
        const char* written;
    } cases[] = {
        {"Exact", 200, 200, "200 1 0 0 0 0"},
        {"Low", 26, 26, "26 2 0 0 0 0"},
        {"High", 255, -1, "255 0 0 0 0 0"},
        {"Negative", 26, 26, "26 0 0 0 0 0"},
        {"Bound", 26, 26, "26 0 0 0 0 0"},
        {"Top", 255, -1, "255 0 0 0 0 0"},
        {"Short", 180, 180, "180 2 0 0 0 0"},
        {"Options", 100, 100, "100 255 2 7 8 1"},
        {"Word", 255, -1, "255 0 0 0 0 0"},  // no first number: rests opaque, rest stays 0
    };
    for (const Case& c : cases) {
        CAPTURE(c.title);
        HWND w = addEmbedded(c.title);
        Record* r = recordOf(w);
        REQUIRE(r);
        CHECK(r->opaque == c.opaque);
        CHECK(r->current == c.opaque);
        CHECK(layeredAlpha(w) == c.shown);
        CHECK(iniRead(c.title) == c.written);
    }
    Record* options = recordOf(addEmbedded("Options"));
    CHECK(options->auto_mode == 255);
    CHECK(options->auto_hide == 2);
    CHECK(options->always_on_top == 7);
    CHECK(options->dock_side == 8);
    CHECK(options->drag_dock == 1);
}

TEST_CASE("only the first paint attaches; hiding detaches and the next paint reads afresh") {
    Session s(perWindow({"Pane=120 1 0 0 0 0"}));
    HWND w = addEmbedded("Pane");
    Record* first = recordOf(w);
    REQUIRE(first);
    CHECK(layeredAlpha(w) == 120);

    // Changed by hand behind the plug-in's back: later paints neither read nor rewrite it.
    iniWrite("Pane", "90 0 0 0 0 0");
    paint(w);
    pump(20);
    CHECK(recordOf(w) == first);
    CHECK(first->opaque == 120.0f);
    CHECK(iniRead("Pane") == "90 0 0 0 0 0");

    SendMessageA(w, WM_SHOWWINDOW, 1, 0);      // being shown changes nothing
    CHECK(recordOf(w) == first);
    CHECK(layeredAlpha(w) == 120);

    hide(w);
    CHECK(recordOf(w) == nullptr);
    CHECK_FALSE(isLayered(w));

    show(w);
    Record* again = recordOf(w);
    REQUIRE(again);
    CHECK(again->opaque == 90.0f);
    CHECK(again->auto_mode == 0);
    CHECK(layeredAlpha(w) == 90);

    // Any wParam other than 1 counts as hiding; lParam is not looked at.
    SendMessageA(w, WM_SHOWWINDOW, 2, SW_PARENTOPENING);
    CHECK(recordOf(w) == nullptr);
    paint(w);
    REQUIRE(recordOf(w));
    DestroyWindow(w);                          // destroyed: the property goes with it
    unregisterEmbedded(w);
}

TEST_CASE("style changes detach only when the window becomes a child") {
    Session s(perWindow({"Styled=150 2 0 0 0 0"}));
    HWND w = addEmbedded("Styled");
    Record* r = recordOf(w);
    REQUIRE(r);

    SetWindowLongA(w, GWL_EXSTYLE, GetWindowLongA(w, GWL_EXSTYLE) | WS_EX_TOOLWINDOW);
    SetWindowLongA(w, GWL_EXSTYLE, GetWindowLongA(w, GWL_EXSTYLE) & ~WS_EX_LAYERED);
    CHECK(recordOf(w) == r);                   // extended style: never
    SetWindowLongA(w, GWL_STYLE, GetWindowLongA(w, GWL_STYLE) & ~WS_CAPTION);
    CHECK(recordOf(w) == r);                   // a style change that keeps it top-level

    // The test looks at the change itself, not at what the window ends up as.
    STYLESTRUCT childToChild = {WS_CHILD | WS_VISIBLE, WS_CHILD};
    SendMessageA(w, WM_STYLECHANGING, static_cast<WPARAM>(GWL_STYLE),
                 reinterpret_cast<LPARAM>(&childToChild));
    CHECK(recordOf(w) == r);
    STYLESTRUCT toChildEx = {0, WS_CHILD};
    SendMessageA(w, WM_STYLECHANGING, static_cast<WPARAM>(GWL_EXSTYLE),
                 reinterpret_cast<LPARAM>(&toChildEx));
    CHECK(recordOf(w) == r);

    makeLayered(w, 150);
    DWORD style = GetWindowLongA(w, GWL_STYLE);
    SetWindowLongA(w, GWL_STYLE, (style & ~WS_POPUP) | WS_CHILD);
    CHECK(recordOf(w) == nullptr);
    CHECK_FALSE(isLayered(w));

    // Top-level again: the next paint attaches it afresh.
    SetWindowLongA(w, GWL_STYLE, style);
    paint(w);
    REQUIRE(recordOf(w));
    CHECK(layeredAlpha(w) == 150);
}

TEST_CASE("a window that gains an owner after its attach is detached when hidden or destroyed") {
    Session s(perWindow({"Adopted=150 2 0 0 0 0"}));
    for (bool destroy : {false, true}) {
        HWND w = addEmbedded("Adopted");
        Record* r = recordOf(w);
        REQUIRE(r);
        SetWindowLongPtrA(w, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(s.host.main));
        REQUIRE(GetAncestor(w, GA_ROOTOWNER) == s.host.main);
        if (destroy) {
            removeEmbedded(w);
            CHECK(GlobalSize(r) == 0);
            continue;
        }
        hide(w);
        CHECK(recordOf(w) == nullptr);
        CHECK_FALSE(isLayered(w));
        removeEmbedded(w);
    }
}

namespace {

// A window that hides itself once, at a given moment, and allocates a block of its own right
// after: if the plug-in still held the record that the hiding took away, the heap would
// hand that block out again and the plug-in would go on using (or freeing) it.
enum class HideWhen { Unlayered, Layered, LayeringAsked, AskedForTitle };
HideWhen hideWhen;
bool hidingArmed;
WNDPROC hidingOriginal;
void* hidingBlock;

bool isHideMoment(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_GETTEXT) return hideWhen == HideWhen::AskedForTitle;
    bool changing = message == WM_STYLECHANGING;
    if ((!changing && message != WM_STYLECHANGED) || wParam != static_cast<WPARAM>(GWL_EXSTYLE))
        return false;
    const STYLESTRUCT* change = reinterpret_cast<const STYLESTRUCT*>(lParam);
    bool was = change->styleOld & WS_EX_LAYERED, is = change->styleNew & WS_EX_LAYERED;
    if (changing) return hideWhen == HideWhen::LayeringAsked && !was && is;
    return hideWhen == HideWhen::Unlayered ? was && !is : hideWhen == HideWhen::Layered && !was && is;
}

LRESULT CALLBACK hidesItself(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (hidingArmed && isHideMoment(message, wParam, lParam)) {
        hidingArmed = false;
        ShowWindow(window, SW_HIDE);
        hidingBlock = GlobalAlloc(GMEM_FIXED, sizeof(Record));
        memset(hidingBlock, 0x5A, sizeof(Record));
    }
    return CallWindowProcA(hidingOriginal, window, message, wParam, lParam);
}

void armHiding(HWND window, HideWhen when) {
    hideWhen = when;
    hidingArmed = true;
    hidingBlock = nullptr;
    hidingOriginal = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(hidesItself)));
}

// The block the window allocated is still its own: the heap neither hands it out again nor
// wrote into it, so no record was freed, or written, under the plug-in's name after it went.
void checkHidingBlockIntact(HWND window) {
    REQUIRE(hidingBlock);
    CHECK(IsWindowVisible(window) == FALSE);
    void* next[2] = {GlobalAlloc(GMEM_FIXED, sizeof(Record)), GlobalAlloc(GMEM_FIXED, sizeof(Record))};
    CHECK(next[0] != hidingBlock);
    CHECK(next[1] != hidingBlock);
    CHECK(next[0] != next[1]);
    std::string pattern(sizeof(Record), '\x5A');
    CHECK(memcmp(hidingBlock, pattern.data(), sizeof(Record)) == 0);
    GlobalFree(next[0]);
    GlobalFree(next[1]);
    if (hidingBlock != next[0] && hidingBlock != next[1]) GlobalFree(hidingBlock);
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(hidingOriginal));
}

}  // namespace

TEST_CASE("a window that hides itself while the plug-in works on its record") {
    Session s(perWindow({"Shy=150 2 0 0 0 0", "Bold=255 2 0 0 0 0"}));
    HWND shy = addEmbedded("Shy");
    HWND bold = addEmbedded("Bold");
    REQUIRE((recordOf(shy) && recordOf(bold)));
    REQUIRE(layeredAlpha(shy) == 150);

    SUBCASE("when its record is taken away, which clears the layered style") {
        armHiding(shy, HideWhen::Unlayered);
        hide(shy);
        CHECK(recordOf(shy) == nullptr);
        checkHidingBlockIntact(shy);
    }
    SUBCASE("when its first paint asks for its title") {
        hide(shy);
        ShowWindow(shy, SW_SHOWNA);
        armHiding(shy, HideWhen::AskedForTitle);
        paint(shy);
        checkHidingBlockIntact(shy);
        // Hidden before it had a record: nothing of the plug-in stays on it.
        CHECK(recordOf(shy) == nullptr);
        CHECK_FALSE(isLayered(shy));
        for (const char* property : {"QuorvelDock", "QuorvelAttaching", "QuorvelLayered"})
            CHECK(GetPropA(shy, property) == nullptr);
    }
    SUBCASE("when a preset asks for its title to store the entry") {
        openHostMenu(shy);
        armHiding(shy, HideWhen::AskedForTitle);
        sendCommand(OPACITY_50);
        closeHostMenu();
        CHECK(iniRead("Shy") == "128 2 0 0 0 0");
        checkHidingBlockIntact(shy);
    }
    SUBCASE("when a preset makes it layered") {
        openHostMenu(bold);
        armHiding(bold, HideWhen::Layered);
        sendCommand(OPACITY_50);
        closeHostMenu();
        CHECK(iniRead("Bold") == "128 2 0 0 0 0");
        checkHidingBlockIntact(bold);
    }
    SUBCASE("when a preset asks to make it layered, and the change lands after the hide") {
        openHostMenu(bold);
        armHiding(bold, HideWhen::LayeringAsked);
        sendCommand(OPACITY_50);
        closeHostMenu();
        CHECK_FALSE(isLayered(bold));
        checkHidingBlockIntact(bold);
    }
}

TEST_CASE("embedded windows are keyed by their titles, cut to 259 characters") {
    std::string cut300(259, 'c');
    std::string entry300 = cut300 + "=140 0 0 0 0 0";
    Session s(perWindow({"One=100 0 0 0 0 0", "Two=200 1 0 0 0 0", entry300.c_str()}));
    HWND one = addEmbedded("One");
    HWND two = addEmbedded("Two");
    REQUIRE((recordOf(one) && recordOf(two)));
    CHECK(recordOf(one)->opaque == 100.0f);
    CHECK(recordOf(two)->opaque == 200.0f);
    CHECK(iniRead("One") == "100 0 0 0 0 0");
    CHECK(iniRead("Two") == "200 1 0 0 0 0");

    HWND w259 = addEmbedded(std::string(259, 'a'));
    HWND w260 = addEmbedded(std::string(260, 'b'));
    HWND w300 = addEmbedded(std::string(300, 'c'));
    REQUIRE((recordOf(w259) && recordOf(w260) && recordOf(w300)));
    CHECK(iniRead(std::string(259, 'a').c_str()) == "255 2 0 0 0 0");
    CHECK(iniRead(std::string(259, 'b').c_str()) == "255 2 0 0 0 0");
    CHECK(iniRead(std::string(260, 'b').c_str()) == "<absent>");
    CHECK(recordOf(w300)->opaque == 140.0f);   // read under the cut key
    CHECK(iniRead(cut300.c_str()) == "140 0 0 0 0 0");
    CHECK(iniRead(std::string(300, 'c').c_str()) == "<absent>");
}

TEST_CASE("titles the ANSI code page cannot show keep entries of their own") {
    // Cyrillic titles read as "???" and "M\u0101ori" as "Maori" in the ANSI code page.
    Session s(perWindow({"Maori=100 0 0 0 0 0"}));
    CHECK(recordOf(addEmbedded("Maori"))->opaque == 100.0f);    // its key as ever
    // And two titles longer than a key that differ only in their last letter.
    std::wstring longTitle(293, L'\u041c');
    std::vector<HWND> windows;
    for (const std::wstring& title : std::vector<std::wstring>{L"\u041c\u0438\u0440", L"\u041c\u0438\u0444", L"M\u0101ori",
                               longTitle + L"a", longTitle + L"b"})
        windows.push_back(addUnicodeEmbedded(title.c_str()));
    openHostMenu(windows[0]);
    sendCommand(OPACITY_10);
    closeHostMenu();
    for (HWND w : windows) hide(w), show(w);
    CHECK(recordOf(windows[0])->opaque == 26.0f);
    for (size_t i = 1; i < windows.size(); ++i) CHECK(recordOf(windows[i])->opaque == 255.0f);
    CHECK(quorvelKeys().size() == 7);                           // cfg_link, Maori and five
    CHECK(iniRead("??? ~13e15d9b") == "26 2 0 0 0 0");          // the key stored files hold
}

TEST_CASE("linked mode keeps the window's own values but shows the linked alpha") {
    Options o;
    o.iniText = quorvelSection({"cfg_link=1", "cfg_opaque=128", "Linked=200 1 0 0 0 0"});
    Session s(o);
    HWND w = addEmbedded("Linked");
    Record* r = recordOf(w);
    REQUIRE(r);
    CHECK(r->opaque == 200.0f);
    CHECK(r->current == 200.0f);
    CHECK(r->auto_mode == 1);
    CHECK(layeredAlpha(w) == 128);
    CHECK(iniRead("Linked") == "200 1 0 0 0 0");
}

TEST_CASE("titles that an INI key cannot hold are stored so that they read back") {
    Session s(perWindow({"cfg_opaque=100", "Gain - 3dB=90 1 0 0 0 0"}));
    HWND gain = addEmbedded("Gain = 3dB");
    HWND tools = addEmbedded("[Tools]");
    REQUIRE((recordOf(gain) && recordOf(tools)));
    CHECK(recordOf(gain)->opaque == 90.0f);
    for (int i = 0; i < 3; ++i) {
        hide(gain), hide(tools);
        show(gain), show(tools);
    }
    CHECK(recordOf(gain)->opaque == 90.0f);
    CHECK(iniRead("Gain - 3dB") == "90 1 0 0 0 0");
    CHECK(iniRead("(Tools]") == "255 2 0 0 0 0");
    // No line was added per attach, and the section still holds what followed the entries.
    std::string text;
    char buffer[8192];
    DWORD n = GetPrivateProfileSectionA("Quorvel", buffer, sizeof buffer, s.host.iniPath.c_str());
    for (DWORD i = 0; i < n; ++i) text += buffer[i] ? buffer[i] : '\n';
    CHECK(text == "cfg_link=0\ncfg_opaque=100\nGain - 3dB=90 1 0 0 0 0\n(Tools]=255 2 0 0 0 0\n");
}

TEST_CASE("every title keeps one entry of its own in the section, also at the next start") {
    const std::string titles[] = {
        " [Evil]", "\t[Tab]", "Line\r\ncfg_fadein", "Sect\r\n[Other]", "cfg_hold",
        " CFG_Opaque\t", ";Semi=colon]", "Ctl\x01\x1a\x7f end \x0b", "\xc4pfel \xe9t\xe9 ][",
        "\x0b[Long\r\n[Deep]=" + std::string(286, 'z'),
    };
    // A preset per title (the last one only turns to opaque on focus), so that each
    // entry read back shows whose it is.
    const CommandIndex commands[] = {OPACITY_10, OPACITY_20, OPACITY_30, OPACITY_40, OPACITY_50,
                                     OPACITY_60, OPACITY_70, OPACITY_80, OPACITY_90, OPAQUE_ON_FOCUS};
    const float alphas[] = {26, 51, 77, 102, 128, 153, 179, 204, 230, 255};
    auto fileText = [] {
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, host().iniPath.c_str());
        std::ifstream in(host().iniPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    auto check = [&](size_t i, HWND w) {
        CAPTURE(i);
        REQUIRE(recordOf(w));
        CHECK(recordOf(w)->opaque == alphas[i]);
        CHECK(recordOf(w)->auto_mode == (commands[i] == OPAQUE_ON_FOCUS ? 1 : 2));
    };
    std::string text;
    {
        Session s(perWindow({}));
        std::vector<HWND> windows;
        for (size_t i = 0; i < 10; ++i) {
            windows.push_back(addEmbedded(titles[i]));
            openHostMenu(windows[i]);
            sendCommand(commands[i]);
            closeHostMenu();
        }
        text = fileText();
        for (size_t i = 0; i < 10; ++i) {
            hide(windows[i]);
            show(windows[i]);
            check(i, windows[i]);
        }
        CHECK(fileText() == text);              // read back in place: no line was added
        char names[256];
        DWORD n = GetPrivateProfileSectionNamesA(names, sizeof names, s.host.iniPath.c_str());
        CHECK(std::string(names, n) == std::string("Player\0Quorvel\0", 15));
        for (const char* global : {"cfg_fadein", "cfg_hold", "cfg_fadeout", "cfg_opaque", "cfg_auto"})
            CHECK(iniRead(global) == "<absent>");
    }
    Options next;                               // the next start reads the file afresh
    next.iniText = text;
    Session s(next);
    for (size_t i = 0; i < 10; ++i) check(i, addEmbedded(titles[i]));
}
