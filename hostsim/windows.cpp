// Host emulator: the host's windows, starting and stopping the host, and windows it knows
// nothing about.
#include "hostsim.h"

#include <commctrl.h>
#include <stdio.h>
#include <string.h>

#include "internal.h"

namespace hostsim {

Host* current = nullptr;

namespace {

constexpr char MAIN_CLASS[] = "QuorvelHostMain";
constexpr char EQUALIZER_CLASS[] = "QuorvelHostEqualizer";
constexpr char PLAYLIST_CLASS[] = "QuorvelHostPlaylist";
constexpr char MINIBROWSER_CLASS[] = "QuorvelHostBrowser";
constexpr char VIDEO_CLASS[] = "QuorvelHostVideo";

int folderCounter = 0;

COLORREF colourOf(HWND window) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    if (!strcmp(name, MAIN_CLASS)) return RGB(40, 60, 200);
    if (!strcmp(name, EQUALIZER_CLASS)) return RGB(30, 160, 60);
    if (!strcmp(name, PLAYLIST_CLASS)) return RGB(200, 160, 30);
    if (!strcmp(name, MINIBROWSER_CLASS)) return RGB(150, 50, 170);
    if (!strcmp(name, VIDEO_CLASS)) return RGB(20, 20, 20);
    return RGB(0, 140, 160);
}

void paintSolid(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT rc;
    GetClientRect(window, &rc);
    HBRUSH brush = CreateSolidBrush(colourOf(window));
    FillRect(dc, &rc, brush);
    DeleteObject(brush);
    char title[128] = "";
    GetWindowTextA(window, title, sizeof title);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    DrawTextA(dc, title, -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EndPaint(window, &ps);
}

LRESULT CALLBACK hostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case HOST_MESSAGE:
        if (current && window == current->main) return answerRequest(wParam, lParam);
        break;
    case WM_PAINT:
        paintSolid(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_RBUTTONUP:
        if (current) trackMainMenu(window);
        return 0;
    case WM_COMMAND:
        if (current && LOWORD(wParam) == MENU_PREFERENCES_COMMAND) {
            openPreferences(PREFS_PAGE);
            return 0;
        }
        break;
    case WM_CLOSE:
        return 0;   // the host decides when its windows go
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

void registerClass(const char* name) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = hostWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    RegisterClassA(&wc);
}

void registerClasses() {
    static bool done = false;
    if (done) return;
    done = true;
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    for (const char* name : {MAIN_CLASS, EQUALIZER_CLASS, PLAYLIST_CLASS, MINIBROWSER_CLASS,
                             VIDEO_CLASS, EMBED_CLASS, "QuorvelForeign"})
        registerClass(name);
}

namespace {

HWND createHostWindow(const char* className, const char* title, int x, int y, int w, int hgt,
                      bool wanted) {
    if (!wanted) return nullptr;
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | (current->options.showWindows ? WS_VISIBLE : 0);
    HWND window = CreateWindowExA(0, className, title, style, x, y, w, hgt, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (window) UpdateWindow(window);
    return window;
}

void writeTextFile(const std::string& path, const std::string& text) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(f);
}

}  // namespace

// ---- Host ----------------------------------------------------------------------------------

Host& start(const Options& options) {
    registerClasses();
    current = new Host();
    Host& h = *current;
    h.options = options;
    h.nextCommandId = options.firstCommandId;

    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    char folder[MAX_PATH];
    snprintf(folder, sizeof folder, "%squorvel-%lu-%d", temp, GetCurrentProcessId(), ++folderCounter);
    CreateDirectoryA(folder, nullptr);
    h.iniFolder = folder;
    h.iniPath = h.iniFolder + "\\player.ini";
    if (!options.iniText.empty()) writeTextFile(h.iniPath, options.iniText);

    h.mainMenu = buildMainMenu();
    h.main = createHostWindow(MAIN_CLASS, "Main window", 40, 40, 275, 116, true);
    h.equalizer = createHostWindow(EQUALIZER_CLASS, "Equalizer", 40, 156, 275, 116, options.equalizer);
    h.playlist = createHostWindow(PLAYLIST_CLASS, "Playlist editor", 40, 272, 275, 180, options.playlist);
    h.minibrowser = createHostWindow(MINIBROWSER_CLASS, "Minibrowser", 330, 40, 280, 200, options.minibrowser);
    h.video = createHostWindow(VIDEO_CLASS, "Video", 330, 250, 280, 200, options.video);
    return h;
}

Host& host() { return *current; }
bool running() { return current != nullptr; }

void stop() {
    if (!current) return;
    Host& h = *current;
    closePreferences();
    for (HWND w : embeddedWindows())
        if (GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId()) removeEmbedded(w);
    clearEmbedded();
    for (HWND w : {h.video, h.minibrowser, h.playlist, h.equalizer, h.main})
        if (w) DestroyWindow(w);
    if (h.mainMenu) DestroyMenu(h.mainMenu);
    DeleteFileA(h.iniPath.c_str());
    RemoveDirectoryA(h.iniFolder.c_str());
    delete current;
    current = nullptr;
}

HWND createForeignWindow(const char* title, const char* className) {
    registerClasses();
    WNDCLASSA wc = {};
    if (!GetClassInfoA(GetModuleHandleA(nullptr), className, &wc)) registerClass(className);
    HWND window = CreateWindowExA(0, className, title, WS_POPUP | WS_CAPTION | WS_VISIBLE, 360, 300,
                                  200, 120, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    UpdateWindow(window);
    return window;
}

}  // namespace hostsim
