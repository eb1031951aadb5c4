// What the demo's windows draw: a player, an equalizer, a playlist, a small web page, colour
// bars for the video window, and a patterned backdrop behind them all. Everything is drawn
// with plain GDI so that it looks the same on any display.
#include "demo.h"

#include <math.h>
#include <stdio.h>

namespace demo {

std::atomic<bool> quitRequested{false};

namespace {

constexpr char ROLE_PROPERTY[] = "QuorvelDemoRole";
constexpr char PROC_PROPERTY[] = "QuorvelDemoProc";
constexpr char BACKDROP_CLASS[] = "QuorvelDemoBackdrop";

void fill(HDC dc, int x, int y, int w, int h, COLORREF colour) {
    RECT r = {x, y, x + w, y + h};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

void text(HDC dc, int x, int y, const char* s, COLORREF colour, HFONT font = nullptr) {
    HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
    TextOutA(dc, x, y, s, lstrlenA(s));
    SelectObject(dc, old);
}

HFONT bigFont(int height) {
    return CreateFontA(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       FIXED_PITCH | FF_MODERN, "Courier New");
}

void drawMain(HDC dc, int w, int h) {
    fill(dc, 0, 0, w, h, RGB(24, 28, 52));
    fill(dc, 8, 8, 96, 40, RGB(0, 0, 0));
    HFONT lcd = bigFont(30);
    text(dc, 14, 12, "01:23", RGB(0, 230, 90), lcd);
    DeleteObject(lcd);
    fill(dc, 112, 8, w - 120, 18, RGB(0, 0, 0));
    text(dc, 116, 10, "Quorvel demo - Glass Song (3:45)", RGB(0, 230, 90));
    text(dc, 116, 32, "128 kbps  44 kHz  stereo", RGB(150, 170, 220));
    fill(dc, 8, 54, w - 16, 6, RGB(70, 80, 120));
    fill(dc, 8, 54, (w - 16) * 37 / 100, 6, RGB(230, 190, 40));
    const char* const buttons[] = {"|<", ">", "||", "[]", ">|"};
    for (int i = 0; i < 5; ++i) {
        fill(dc, 8 + i * 30, h - 24, 26, 18, RGB(90, 100, 140));
        text(dc, 14 + i * 30, h - 22, buttons[i], RGB(255, 255, 255));
    }
    text(dc, 164, h - 22, "right-click: menu", RGB(200, 200, 230));
}

void drawEqualizer(HDC dc, int w, int h) {
    fill(dc, 0, 0, w, h, RGB(18, 56, 34));
    text(dc, 8, 4, "ON   AUTO          EQUALIZER", RGB(170, 255, 170));
    const char* const bands[] = {"60", "170", "310", "600", "1K", "3K", "6K", "12K", "14K", "16K"};
    for (int i = 0; i < 10; ++i) {
        int x = 16 + i * ((w - 32) / 10);
        int top = 24, bottom = h - 18;
        fill(dc, x + 4, top, 3, bottom - top, RGB(40, 90, 60));
        int knob = top + static_cast<int>((bottom - top - 8) * (0.5 + 0.4 * sin(i * 0.9)));
        fill(dc, x, knob, 11, 8, RGB(120, 230, 120));
        text(dc, x - 2, bottom + 2, bands[i], RGB(170, 255, 170));
    }
}

void drawPlaylist(HDC dc, int w, int h) {
    fill(dc, 0, 0, w, h, RGB(8, 8, 24));
    const char* const tracks[] = {
        "1. Glass Song                3:45", "2. Window Seat               4:02",
        "3. Layered Light             2:58", "4. Fade In, Fade Out         5:11",
        "5. Hold Still                3:33", "6. Half Transparent          4:20",
        "7. Opaque on Hover           3:07", "8. Linked Hearts             2:49",
        "9. Alpha 128                 6:01",
    };
    for (int i = 0; i < 9 && 6 + i * 15 < h - 16; ++i) {
        if (i == 0) fill(dc, 4, 4 + i * 15, w - 8, 15, RGB(20, 40, 160));
        text(dc, 8, 5 + i * 15, tracks[i], i == 0 ? RGB(255, 255, 255) : RGB(0, 220, 80));
    }
}

void drawBrowser(HDC dc, int w, int h) {
    fill(dc, 0, 0, w, h, RGB(250, 250, 250));
    fill(dc, 0, 0, w, 22, RGB(60, 90, 170));
    text(dc, 8, 4, "about:quorvel", RGB(255, 255, 255));
    text(dc, 10, 30, "Minibrowser", RGB(20, 20, 20));
    for (int i = 0; i < 6; ++i) fill(dc, 10, 52 + i * 14, w - 20 - (i % 3) * 30, 6, RGB(170, 170, 180));
    fill(dc, 10, h - 44, 60, 36, RGB(220, 60, 60));
    fill(dc, 76, h - 44, 60, 36, RGB(60, 160, 220));
    fill(dc, 142, h - 44, 60, 36, RGB(250, 200, 40));
}

void drawVideo(HDC dc, int w, int h) {
    const COLORREF bars[] = {RGB(192, 192, 192), RGB(192, 192, 0), RGB(0, 192, 192), RGB(0, 192, 0),
                             RGB(192, 0, 192),   RGB(192, 0, 0),   RGB(0, 0, 192)};
    for (int i = 0; i < 7; ++i) fill(dc, i * w / 7, 0, (i + 1) * w / 7 - i * w / 7, h * 2 / 3, bars[i]);
    fill(dc, 0, h * 2 / 3, w, h - h * 2 / 3, RGB(16, 16, 16));
    text(dc, 8, h * 2 / 3 + 8, "Video", RGB(255, 255, 255));
}

void drawEmbedded(HWND window, HDC dc, int w, int h) {
    bool otherThread = GetWindowThreadProcessId(window, nullptr) != GetWindowThreadProcessId(
                           hostsim::running() ? hostsim::host().main : window, nullptr);
    fill(dc, 0, 0, w, h, otherThread ? RGB(200, 90, 20) : RGB(0, 120, 140));
    char title[128] = "";
    GetWindowTextA(window, title, sizeof title);
    text(dc, 8, 6, title, RGB(255, 255, 255));
    char line[96];
    snprintf(line, sizeof line, "\"Winamp Gen\" window, thread %lu",
             GetWindowThreadProcessId(window, nullptr));
    text(dc, 8, 24, line, RGB(230, 240, 255));
    for (int i = 0; i < 5; ++i) {
        int r = 10 + i * 9;
        HBRUSH brush = CreateSolidBrush(RGB(255 - i * 30, 240 - i * 20, 120 + i * 25));
        HGDIOBJ old = SelectObject(dc, brush);
        Ellipse(dc, w / 2 - r + i * 14, h / 2 + 10 - r / 2, w / 2 + r + i * 14, h / 2 + 10 + r / 2);
        SelectObject(dc, old);
        DeleteObject(brush);
    }
}

void paintDecorated(HWND window, Role role) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT rc;
    GetClientRect(window, &rc);
    int w = rc.right, h = rc.bottom;
    switch (role) {
    case Role::Main: drawMain(dc, w, h); break;
    case Role::Equalizer: drawEqualizer(dc, w, h); break;
    case Role::Playlist: drawPlaylist(dc, w, h); break;
    case Role::Browser: drawBrowser(dc, w, h); break;
    case Role::Video: drawVideo(dc, w, h); break;
    case Role::Embedded: drawEmbedded(window, dc, w, h); break;
    }
    EndPaint(window, &ps);
}

LRESULT CALLBACK decoratedProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC original = reinterpret_cast<WNDPROC>(GetPropA(window, PROC_PROPERTY));
    Role role = static_cast<Role>(reinterpret_cast<INT_PTR>(GetPropA(window, ROLE_PROPERTY)));
    switch (message) {
    case WM_PAINT:
        paintDecorated(window, role);
        return 0;
    case WM_CLOSE:
        if (role == Role::Main) quitRequested = true;
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == EXIT_COMMAND) {
            quitRequested = true;
            return 0;
        }
        // Preferences belong to the main thread, whichever window's menu asked for them.
        if (LOWORD(wParam) == hostsim::MENU_PREFERENCES_COMMAND && hostsim::running() &&
            GetWindowThreadProcessId(window, nullptr) !=
                GetWindowThreadProcessId(hostsim::host().main, nullptr)) {
            PostMessageA(hostsim::host().main, WM_COMMAND, wParam, 0);
            return 0;
        }
        break;
    case WM_NCDESTROY:
        RemovePropA(window, ROLE_PROPERTY);
        RemovePropA(window, PROC_PROPERTY);
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        break;
    }
    return CallWindowProcA(original, window, message, wParam, lParam);
}

LRESULT CALLBACK backdropProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT rc;
        GetClientRect(window, &rc);
        for (int y = 0; y < rc.bottom; y += 32)
            for (int x = 0; x < rc.right; x += 32)
                fill(dc, x, y, 32, 32, ((x + y) / 32) % 2 ? RGB(255, 176, 64) : RGB(250, 250, 250));
        HFONT font = bigFont(56);
        for (int row = 0; row < 4; ++row)
            text(dc, 10 + row * 40, 60 + row * 120, "QUORVEL  QUORVEL  QUORVEL", RGB(150, 20, 40), font);
        DeleteObject(font);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_WINDOWPOSCHANGING: {
        // Stays under everything, whatever is clicked.
        WINDOWPOS* pos = reinterpret_cast<WINDOWPOS*>(lParam);
        if (!(pos->flags & SWP_NOZORDER)) pos->hwndInsertAfter = HWND_BOTTOM;
        return 0;
    }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

void decorate(HWND window, Role role) {
    if (!window) return;
    SetPropA(window, ROLE_PROPERTY, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(role)));
    SetPropA(window, PROC_PROPERTY, reinterpret_cast<HANDLE>(GetWindowLongPtrA(window, GWLP_WNDPROC)));
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(decoratedProc));
    InvalidateRect(window, nullptr, FALSE);
}

HWND createBackdrop() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = backdropProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = BACKDROP_CLASS;
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, BACKDROP_CLASS, "Quorvel demo backdrop",
                                  WS_POPUP, STAGE.left, STAGE.top, STAGE.right - STAGE.left,
                                  STAGE.bottom - STAGE.top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    UpdateWindow(window);
    return window;
}

}  // namespace demo
