// Host emulator: windows, requests, embedded windows, threads and plug-in loading.
#include "hostsim.h"

#include <commctrl.h>
#include <stdio.h>

#include <algorithm>
#include <mutex>

namespace hostsim {
namespace {

constexpr char MAIN_CLASS[] = "QuorvelHostMain";
constexpr char EQUALIZER_CLASS[] = "QuorvelHostEqualizer";
constexpr char PLAYLIST_CLASS[] = "QuorvelHostPlaylist";
constexpr char MINIBROWSER_CLASS[] = "QuorvelHostBrowser";
constexpr char VIDEO_CLASS[] = "QuorvelHostVideo";
constexpr UINT RUN_ON_THREAD = WM_APP + 0x51;
constexpr UINT_PTR MENU_DRIVER_TIMER = 0x5157;

Host* current = nullptr;
int folderCounter = 0;

// Embedded windows can be registered from any thread; the enumeration works on a copy so
// that no lock of ours is held while the plug-in's callback runs.
std::mutex embedMutex;
std::vector<EmbedRecord*> embedRecords;

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

LRESULT answerRequest(WPARAM argument, LPARAM request) {
    Host& h = *current;
    h.requests.push_back({request, argument, GetCurrentThreadId()});
    switch (request) {
    case REQ_GET_WINDOW:
        switch (argument) {
        case 0: return reinterpret_cast<LRESULT>(h.equalizer);
        case 1: return reinterpret_cast<LRESULT>(h.playlist);
        case 2: return reinterpret_cast<LRESULT>(h.minibrowser);
        case 3: return reinterpret_cast<LRESULT>(h.video);
        default: return 0;
        }
    case REQ_GET_MENU:
        return reinterpret_cast<LRESULT>(h.mainMenu);
    case REQ_GET_INI_PATH:
        switch (h.options.iniReply) {
        case IniReply::Zero: return 0;
        case IniReply::One: return 1;
        case IniReply::Custom: return reinterpret_cast<LRESULT>(h.options.customIniPath.c_str());
        default: return reinterpret_cast<LRESULT>(h.iniPath.c_str());
        }
    case REQ_OPEN_PREFS:
        openPreferences(argument);
        return 0;
    case REQ_ENUM_EMBED: {
        EmbedEnum* param = reinterpret_cast<EmbedEnum*>(argument);
        std::vector<EmbedRecord*> records;
        {
            std::lock_guard<std::mutex> guard(embedMutex);
            records = embedRecords;
        }
        for (EmbedRecord* r : records) param->callback(r, param);
        return 0;
    }
    case REQ_ALLOC_COMMAND_ID:
        return h.nextCommandId++;
    default:
        return 0;
    }
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

HWND createHostWindow(const char* className, const char* title, int x, int y, int w, int hgt,
                      bool wanted) {
    if (!wanted) return nullptr;
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | (current->options.showWindows ? WS_VISIBLE : 0);
    HWND window = CreateWindowExA(0, className, title, style, x, y, w, hgt, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (window) UpdateWindow(window);
    return window;
}

HMENU buildMainMenu() {
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, 40041, "&About the player...");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, 40045, "&Play");
    AppendMenuA(menu, MF_STRING, 40046, "Pa&use");
    AppendMenuA(menu, MF_STRING, 40047, "&Stop");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, MENU_PREFERENCES_COMMAND, "&Options...");
    AppendMenuA(menu, MF_STRING, MENU_ANCHOR_COMMAND, "&Always on top");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, 40001, "E&xit");
    return menu;
}

void writeTextFile(const std::string& path, const std::string& text) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(f);
}

// ---- Preferences page 22 -------------------------------------------------------------------

constexpr int PREFS_PAGE_BASE = 1500;       // host page controls: 1500 + tab index
const char* const HOST_TABS[] = {"General", "Display"};

INT_PTR CALLBACK prefsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        HWND tab = GetDlgItem(dialog, PREFS_TAB_CONTROL);
        for (int i = 0; i < 2; ++i) {
            TCITEMA item = {};
            item.mask = TCIF_TEXT | TCIF_PARAM;
            item.pszText = const_cast<char*>(HOST_TABS[i]);
            item.lParam = PREFS_PAGE_BASE + i;
            SendMessageA(tab, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
            HWND page = CreateWindowExA(0, "STATIC", HOST_TABS[i], WS_CHILD | SS_LEFT, 8, 30, 300,
                                        200, tab, reinterpret_cast<HMENU>(static_cast<INT_PTR>(PREFS_PAGE_BASE + i)),
                                        GetModuleHandleA(nullptr), nullptr);
            (void)page;
        }
        // Like a real host, the page opens on the tab that was selected when it last closed.
        int count = static_cast<int>(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0));
        int last = current ? current->prefsTab : 0;
        SendMessageA(tab, TCM_SETCURSEL, last >= 0 && last < count ? last : 0, 0);
        NMHDR hdr = {tab, static_cast<UINT_PTR>(PREFS_TAB_CONTROL), static_cast<UINT>(TCN_SELCHANGE)};
        SendMessageA(dialog, WM_NOTIFY, PREFS_TAB_CONTROL, reinterpret_cast<LPARAM>(&hdr));
        return FALSE;   // the plug-in relies on wParam, the default focus control, only
    }
    case WM_NOTIFY: {
        const NMHDR* hdr = reinterpret_cast<const NMHDR*>(lParam);
        if (hdr->idFrom == static_cast<UINT_PTR>(PREFS_TAB_CONTROL) && hdr->code == static_cast<UINT>(TCN_SELCHANGE)) {
            int sel = static_cast<int>(SendMessageA(hdr->hwndFrom, TCM_GETCURSEL, 0, 0));
            if (current) current->prefsTab = sel;
            TCITEMA item = {};
            item.mask = TCIF_PARAM;
            SendMessageA(hdr->hwndFrom, TCM_GETITEMA, sel, reinterpret_cast<LPARAM>(&item));
            for (int i = 0; i < 2; ++i)
                ShowWindow(GetDlgItem(hdr->hwndFrom, PREFS_PAGE_BASE + i),
                           item.lParam == PREFS_PAGE_BASE + i ? SW_SHOW : SW_HIDE);
        }
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            closePreferences();
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        closePreferences();
        return TRUE;
    }
    return FALSE;
}

// An in-memory dialog template: the page with its tab control first, so that the tab
// control is the first tab stop and so the control WM_INITDIALOG names for the focus.
struct TemplateItem {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    const char* cls;
    const char* text;
};

struct TemplateWriter {
    std::vector<WORD> words;
    void align() { if (words.size() % 2) words.push_back(0); }
    void add(WORD w) { words.push_back(w); }
    void addDword(DWORD d) { add(LOWORD(d)); add(HIWORD(d)); }
    void addString(const char* s) {
        do add(static_cast<WORD>(static_cast<unsigned char>(*s))); while (*s++);
    }
    void addItem(const TemplateItem& it) {
        align();
        addDword(it.style);
        addDword(0);
        add(it.x); add(it.y); add(it.cx); add(it.cy);
        add(it.id);
        addString(it.cls);
        addString(it.text);
        add(0);
    }
};

std::vector<WORD> prefsTemplate() {
    TemplateWriter t;
    t.addDword(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE);
    t.addDword(0);
    t.add(3);                   // controls
    t.add(20); t.add(10); t.add(320); t.add(350);
    t.add(0); t.add(0);         // no menu, default class
    t.addString("Preferences");
    t.add(8);
    t.addString("MS Sans Serif");
    const TemplateItem items[] = {
        {WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, 5, 5, 310, 320, PREFS_TAB_CONTROL, WC_TABCONTROLA, ""},
        {WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 210, 330, 50, 14, IDOK, "BUTTON", "Close"},
        {WS_CHILD | WS_VISIBLE | WS_TABSTOP, 265, 330, 50, 14, IDCANCEL, "BUTTON", "Cancel"},
    };
    for (const TemplateItem& it : items) t.addItem(it);
    return t.words;
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
    {
        std::lock_guard<std::mutex> guard(embedMutex);
        for (EmbedRecord* r : embedRecords) delete r;
        embedRecords.clear();
    }
    for (HWND w : {h.video, h.minibrowser, h.playlist, h.equalizer, h.main})
        if (w) DestroyWindow(w);
    if (h.mainMenu) DestroyMenu(h.mainMenu);
    DeleteFileA(h.iniPath.c_str());
    RemoveDirectoryA(h.iniFolder.c_str());
    delete current;
    current = nullptr;
}

// ---- Embedded windows ----------------------------------------------------------------------

void registerEmbedded(HWND window) {
    EmbedRecord* r = new EmbedRecord();
    r->hwnd = window;
    std::lock_guard<std::mutex> guard(embedMutex);
    embedRecords.push_back(r);
}

void unregisterEmbedded(HWND window) {
    std::lock_guard<std::mutex> guard(embedMutex);
    auto it = std::find_if(embedRecords.begin(), embedRecords.end(),
                           [&](EmbedRecord* r) { return r->hwnd == window; });
    if (it == embedRecords.end()) return;
    delete *it;
    embedRecords.erase(it);
}

std::vector<HWND> embeddedWindows() {
    std::lock_guard<std::mutex> guard(embedMutex);
    std::vector<HWND> windows;
    for (EmbedRecord* r : embedRecords) windows.push_back(r->hwnd);
    return windows;
}

HWND addEmbedded(const std::string& title, EmbedKind kind, HWND owner, const char* className) {
    registerClasses();
    if (!owner && current) owner = current->main;
    DWORD style = WS_POPUP | WS_CAPTION | WS_VISIBLE;
    HWND parent = nullptr;
    if (kind == EmbedKind::Child) {
        style = WS_CHILD | WS_VISIBLE;
        parent = owner;
    } else if (kind == EmbedKind::Owned) {
        parent = owner;
    }
    static int offset = 0;
    offset = (offset + 24) % 240;
    HWND window = CreateWindowExA(0, className, title.c_str(), style, 100 + offset, 100 + offset,
                                  200, 120, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!window) return nullptr;
    UpdateWindow(window);
    registerEmbedded(window);
    return window;
}

void removeEmbedded(HWND window) {
    unregisterEmbedded(window);
    DestroyWindow(window);
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

// ---- Threads -------------------------------------------------------------------------------

struct ThreadCall {
    std::function<void()> fn;
    HANDLE done;
};

DWORD WINAPI WindowThread::main(void* self) {
    WindowThread* t = static_cast<WindowThread*>(self);
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);     // make the queue before anyone posts
    SetEvent(t->ready_);
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!msg.hwnd && msg.message == RUN_ON_THREAD) {
            ThreadCall* call = reinterpret_cast<ThreadCall*>(msg.lParam);
            call->fn();
            if (call->done) SetEvent(call->done);
            else delete call;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

WindowThread::WindowThread() {
    ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, main, this, 0, &threadId_);
    WaitForSingleObject(ready_, INFINITE);
}

WindowThread::~WindowThread() {
    stop();
    CloseHandle(ready_);
}

void WindowThread::stop() {
    if (!thread_) return;
    PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    waitPumping(thread_, 30000);
    CloseHandle(thread_);
    thread_ = nullptr;
}

void WindowThread::run(const std::function<void()>& fn) {
    ThreadCall call{fn, CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    PostThreadMessageA(threadId_, RUN_ON_THREAD, 0, reinterpret_cast<LPARAM>(&call));
    waitPumping(call.done, INFINITE);
    CloseHandle(call.done);
}

void WindowThread::post(const std::function<void()>& fn) {
    ThreadCall* call = new ThreadCall{fn, nullptr};
    PostThreadMessageA(threadId_, RUN_ON_THREAD, 0, reinterpret_cast<LPARAM>(call));
}

// ---- Pumping -------------------------------------------------------------------------------

namespace {
void dispatchPending() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) continue;
        if (current && current->prefs && IsDialogMessageA(current->prefs, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}
}  // namespace

void pump(DWORD ms) {
    DWORD start = GetTickCount();
    do {
        dispatchPending();
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
    } while (true);
}

bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        dispatchPending();
        if (done()) return true;
        if (GetTickCount() - start >= timeoutMs) return done();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

bool waitPumping(HANDLE handle, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        DWORD left = timeoutMs == INFINITE ? INFINITE : (elapsed >= timeoutMs ? 0 : timeoutMs - elapsed);
        DWORD r = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) return true;
        if (r != WAIT_OBJECT_0 + 1) return false;
        dispatchPending();
    }
}

// ---- The plug-in ---------------------------------------------------------------------------

bool loadPlugin(Plugin& plugin, const char* path) {
    plugin.module = LoadLibraryA(path);
    if (!plugin.module) return false;
    using Export = Descriptor* (*)();
    Export get = reinterpret_cast<Export>(
        reinterpret_cast<void*>(GetProcAddress(plugin.module, "winampGetGeneralPurposePlugin")));
    if (!get) return false;
    plugin.descriptor = get();
    plugin.descriptor->parentWindow = current ? current->main : nullptr;
    plugin.descriptor->moduleHandle = plugin.module;
    return true;
}

int initPlugin(Plugin& plugin) { return plugin.descriptor->init(); }
void configPlugin(Plugin& plugin) { plugin.descriptor->config(); }
void quitPlugin(Plugin& plugin) { plugin.descriptor->quit(); }

void unloadPlugin(Plugin& plugin) {
    if (plugin.module) FreeLibrary(plugin.module);
    plugin.module = nullptr;
    plugin.descriptor = nullptr;
}

// ---- Menus and preferences -----------------------------------------------------------------

namespace {
std::function<UINT(HMENU)> menuDriver;
UINT menuChoice;

void CALLBACK menuDriverTimer(HWND window, UINT, UINT_PTR id, DWORD) {
    KillTimer(window, id);
    if (menuDriver) menuChoice = menuDriver(current->mainMenu);
    EndMenu();
}
}  // namespace

UINT trackMainMenu(HWND owner, const std::function<UINT(HMENU)>& whileOpen) {
    Host& h = *current;
    SetForegroundWindow(owner);
    menuDriver = whileOpen;
    menuChoice = 0;
    if (whileOpen) SetTimer(owner, MENU_DRIVER_TIMER, 50, menuDriverTimer);
    POINT pt;
    GetCursorPos(&pt);
    UINT picked = static_cast<UINT>(TrackPopupMenu(h.mainMenu, TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                                   pt.x, pt.y, 0, owner, nullptr));
    KillTimer(owner, MENU_DRIVER_TIMER);
    menuDriver = nullptr;
    UINT command = picked ? picked : menuChoice;
    if (command) PostMessageA(owner, WM_COMMAND, command, 0);   // as a click on the item does
    return command;
}

HWND openPreferences(WPARAM page) {
    Host& h = *current;
    if (page != PREFS_PAGE) return nullptr;
    if (h.prefs && IsWindow(h.prefs)) {
        SetForegroundWindow(h.prefs);
        return h.prefs;
    }
    std::vector<WORD> words = prefsTemplate();
    h.prefs = CreateDialogIndirectParamA(GetModuleHandleA(nullptr),
                                         reinterpret_cast<LPCDLGTEMPLATEA>(words.data()), h.main,
                                         prefsProc, 0);
    ++h.prefsOpenCount;
    return h.prefs;
}

void closePreferences() {
    if (!current || !current->prefs) return;
    if (IsWindow(current->prefs)) DestroyWindow(current->prefs);
    current->prefs = nullptr;
}

HWND prefsTabControl() {
    if (!current || !current->prefs) return nullptr;
    return GetDlgItem(current->prefs, PREFS_TAB_CONTROL);
}

void selectPrefsTab(int index) {
    HWND tab = prefsTabControl();
    if (!tab) return;
    SendMessageA(tab, TCM_SETCURSEL, index, 0);
    NMHDR hdr = {tab, static_cast<UINT_PTR>(PREFS_TAB_CONTROL), static_cast<UINT>(TCN_SELCHANGE)};
    SendMessageA(GetParent(tab), WM_NOTIFY, PREFS_TAB_CONTROL, reinterpret_cast<LPARAM>(&hdr));
}

int findPrefsTab(const char* text) {
    HWND tab = prefsTabControl();
    if (!tab) return -1;
    int count = static_cast<int>(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char buffer[128] = "";
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = buffer;
        item.cchTextMax = sizeof buffer;
        SendMessageA(tab, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
        if (!strcmp(buffer, text)) return i;
    }
    return -1;
}

// ---- Preferences: clicks, pages and other tab dialogs ---------------------------------------

void clickPrefsTab(int index) {
    HWND tab = prefsTabControl();
    if (!tab) return;
    RECT rc = {};
    if (!SendMessageA(tab, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rc))) return;
    LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    SendMessageA(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(tab, WM_LBUTTONUP, 0, at);
}

HWND prefsHostPage(int index) {
    HWND tab = prefsTabControl();
    return tab ? GetDlgItem(tab, PREFS_PAGE_BASE + index) : nullptr;
}

int prefsTabCount() {
    HWND tab = prefsTabControl();
    return tab ? static_cast<int>(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0)) : 0;
}

std::vector<HWND> tabChildDialogs(HWND tab) {
    std::vector<HWND> dialogs;
    for (HWND w = GetWindow(tab, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        char name[16] = "";
        GetClassNameA(w, name, sizeof name);
        if (!strcmp(name, "#32770")) dialogs.push_back(w);
    }
    return dialogs;
}

namespace {

HWND tabDialog;

// The items are added after creation; the dialog itself only has to exist.
INT_PTR CALLBACK tabDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

std::vector<WORD> tabDialogTemplate(int tabControlId, bool tabFirst) {
    TemplateWriter t;
    t.addDword(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_VISIBLE);
    t.addDword(0);
    t.add(2);
    t.add(40); t.add(40); t.add(200); t.add(150);
    t.add(0); t.add(0);
    t.addString("Other tabs");
    t.add(8);
    t.addString("MS Sans Serif");
    const TemplateItem tab = {WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, 5, 5, 190, 120,
                              static_cast<WORD>(tabControlId), WC_TABCONTROLA, ""};
    const TemplateItem button = {WS_CHILD | WS_VISIBLE | WS_TABSTOP, 145, 130, 50, 14, IDCANCEL,
                                 "BUTTON", "Close"};
    t.addItem(tabFirst ? tab : button);
    t.addItem(tabFirst ? button : tab);
    return t.words;
}

}  // namespace

HWND openTabDialog(int tabControlId, bool tabFirst) {
    closeTabDialog();
    std::vector<WORD> words = tabDialogTemplate(tabControlId, tabFirst);
    tabDialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr),
                                           reinterpret_cast<LPCDLGTEMPLATEA>(words.data()),
                                           current ? current->main : nullptr, tabDialogProc, 0);
    HWND tab = GetDlgItem(tabDialog, tabControlId);
    for (int i = 0; i < 2; ++i) {
        TCITEMA item = {};
        item.mask = TCIF_TEXT | TCIF_PARAM;
        item.pszText = const_cast<char*>(i ? "Two" : "One");
        item.lParam = i + 1;
        SendMessageA(tab, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
    }
    return tabDialog;
}

void closeTabDialog() {
    if (tabDialog && IsWindow(tabDialog)) DestroyWindow(tabDialog);
    tabDialog = nullptr;
}

}  // namespace hostsim
