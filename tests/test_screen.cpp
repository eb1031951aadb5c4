// What the user sees: managed windows over a known background, read back from the screen
// (a compositor runs on the test display, so layered windows are really blended there).
#include "support/harness.h"

#include <stdlib.h>

using namespace hostsim;

namespace {

constexpr COLORREF BACKGROUND = RGB(230, 20, 20);
constexpr COLORREF MAIN_COLOUR = RGB(40, 60, 200);        // hostsim's main window
constexpr COLORREF EQUALIZER_COLOUR = RGB(30, 160, 60);   // hostsim's equalizer
constexpr COLORREF PLAYLIST_COLOUR = RGB(200, 160, 30);   // hostsim's playlist editor
constexpr COLORREF EMBEDDED_COLOUR = RGB(0, 140, 160);    // hostsim's "Winamp Gen" windows
constexpr int TOLERANCE = 3;

LRESULT CALLBACK backgroundProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT rc;
        GetClientRect(window, &rc);
        HBRUSH brush = CreateSolidBrush(BACKGROUND);
        FillRect(dc, &rc, brush);
        DeleteObject(brush);
        EndPaint(window, &ps);
        return 0;
    }
    if (message == WM_ERASEBKGND) return 1;
    return DefWindowProcA(window, message, wParam, lParam);
}

// A plain window of one known colour under every other window, covering the host's.
struct Background {
    HWND window;
    Background() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = backgroundProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "QuorvelScreenBackground";
        RegisterClassA(&wc);
        window = CreateWindowExA(WS_EX_NOACTIVATE, wc.lpszClassName, "", WS_POPUP, 0, 0, 900, 600,
                                 nullptr, nullptr, wc.hInstance, nullptr);
        SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        UpdateWindow(window);
    }
    ~Background() { DestroyWindow(window); }
};

// The colour the compositor shows for colour at alpha over BACKGROUND.
COLORREF blend(COLORREF colour, int alpha) {
    auto mix = [alpha](int fg, int bg) { return (fg * alpha + bg * (255 - alpha) + 127) / 255; };
    return RGB(mix(GetRValue(colour), GetRValue(BACKGROUND)), mix(GetGValue(colour), GetGValue(BACKGROUND)),
               mix(GetBValue(colour), GetBValue(BACKGROUND)));
}

bool withinTolerance(COLORREF a, COLORREF b) {
    return abs(GetRValue(a) - GetRValue(b)) <= TOLERANCE && abs(GetGValue(a) - GetGValue(b)) <= TOLERANCE &&
           abs(GetBValue(a) - GetBValue(b)) <= TOLERANCE;
}

// A point of the window's client area away from the title hostsim draws in its middle.
POINT samplePoint(HWND window) {
    POINT p = {8, 8};
    ClientToScreen(window, &p);
    return p;
}

COLORREF screenPixel(POINT p) {
    HDC screen = GetDC(nullptr);
    COLORREF c = GetPixel(screen, p.x, p.y);
    ReleaseDC(nullptr, screen);
    return c;
}

std::string describe(COLORREF c) {
    char buffer[32];
    snprintf(buffer, sizeof buffer, "(%d,%d,%d)", GetRValue(c), GetGValue(c), GetBValue(c));
    return buffer;
}

// Reads the pixel until it shows the expected colour (the compositor draws asynchronously)
// or the deadline passes; returns the last reading.
COLORREF settledPixel(HWND window, COLORREF expected) {
    POINT p = samplePoint(window);
    COLORREF seen = CLR_INVALID;
    pumpUntil([&] {
        seen = screenPixel(p);
        return withinTolerance(seen, expected);
    }, 5000);
    return seen;
}

void checkShown(HWND window, COLORREF expected) {
    COLORREF seen = settledPixel(window, expected);
    INFO("expected " << describe(expected) << ", screen shows " << describe(seen));
    CHECK(withinTolerance(seen, expected));
}

// The host's windows were painted before the plug-in was loaded; this paint is their first
// under the hooks, which is when the plug-in takes them over.
void attachAll(Host& h) {
    for (HWND w : {h.main, h.equalizer, h.playlist}) paint(w);
    pump(50);
}

}  // namespace

TEST_CASE("per-window alphas are blended on screen, and alpha 255 stays fully opaque") {
    Background background;
    Options options;
    options.minibrowser = false;
    options.video = false;
    options.iniText = quorvelSection({"cfg_link=0", "cfg_auto=0", "QuorvelHostMain=128 0 0 0 0 0",
                                      "QuorvelHostEqualizer=77 0 0 0 0 0",
                                      "QuorvelHostPlaylist=255 0 0 0 0 0"});
    Session s(options);
    attachAll(s.host);
    REQUIRE(layeredAlpha(s.host.main) == 128);
    REQUIRE(layeredAlpha(s.host.equalizer) == 77);
    REQUIRE(layeredAlpha(s.host.playlist) == -1);

    POINT uncovered = {600, 500};
    COLORREF bare = CLR_INVALID;
    pumpUntil([&] { return (bare = screenPixel(uncovered)) == BACKGROUND; }, 5000);
    REQUIRE_MESSAGE(bare == BACKGROUND, "the background is not on screen: " << describe(bare));

    checkShown(s.host.main, blend(MAIN_COLOUR, 128));
    checkShown(s.host.equalizer, blend(EQUALIZER_COLOUR, 77));
    checkShown(s.host.playlist, PLAYLIST_COLOUR);
}

TEST_CASE("the linked alpha is blended on host and embedded windows alike") {
    Background background;
    Options options;
    options.equalizer = false;
    options.playlist = false;
    options.minibrowser = false;
    options.video = false;
    options.iniText = quorvelSection({"cfg_link=1", "cfg_auto=0", "cfg_opaque=179",
                                      "QuorvelHostMain=60 0 0 0 0 0"});
    Session s(options);
    paint(s.host.main);
    HWND embedded = addEmbedded("Screen check");
    SetWindowPos(embedded, nullptr, 40, 200, 220, 120, SWP_NOZORDER | SWP_NOACTIVATE);
    paint(embedded);
    pump(50);
    REQUIRE(layeredAlpha(s.host.main) == 179);
    REQUIRE(layeredAlpha(embedded) == 179);

    checkShown(s.host.main, blend(MAIN_COLOUR, 179));
    checkShown(embedded, blend(EMBEDDED_COLOUR, 179));
}
