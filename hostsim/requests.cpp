// Host emulator: the requests the main window answers, and the embedded "Winamp Gen"
// windows the enumeration request reaches.
#include "hostsim.h"

#include <algorithm>
#include <mutex>

#include "internal.h"

namespace hostsim {
namespace {

// Embedded windows can be registered from any thread; the enumeration works on a copy so
// that no lock of ours is held while the plug-in's callback runs.
std::mutex embedMutex;
std::vector<EmbedRecord*> embedRecords;

}  // namespace

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
        {
            WORD id = h.nextCommandId;
            h.nextCommandId = static_cast<WORD>(h.nextCommandId + h.options.commandIdStep);
            return id;
        }
    default:
        return 0;
    }
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

namespace {

WNDPROC ansiEmbedProc;

// In front of the host's ANSI procedure: the text messages stay in Unicode.
LRESULT CALLBACK unicodeTextProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT || message == WM_GETTEXT || message == WM_GETTEXTLENGTH)
        return DefWindowProcW(window, message, wParam, lParam);
    return CallWindowProcW(ansiEmbedProc, window, message, wParam, lParam);
}

}  // namespace

HWND addUnicodeEmbedded(const wchar_t* title) {
    registerClasses();
    // Titled while hidden, so that its first paint comes with its title.
    HWND window = CreateWindowExA(0, EMBED_CLASS, "", WS_POPUP | WS_CAPTION, 120, 120, 200, 120,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!window) return nullptr;
    ansiEmbedProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(unicodeTextProc)));
    SetWindowTextW(window, title);
    ShowWindow(window, SW_SHOWNA);
    UpdateWindow(window);
    registerEmbedded(window);
    return window;
}

void removeEmbedded(HWND window) {
    unregisterEmbedded(window);
    DestroyWindow(window);
}

void clearEmbedded() {
    std::lock_guard<std::mutex> guard(embedMutex);
    for (EmbedRecord* r : embedRecords) delete r;
    embedRecords.clear();
}

}  // namespace hostsim
