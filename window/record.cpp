// The per-window record, the layered alpha, the window's INI key and its class.
#include "window.h"

#include <string.h>

#include "../settings/settings.h"

namespace {

using SetLayeredFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);

// Bound on first use and kept for the life of the process; the library is never released.
HMODULE user32Module;
SetLayeredFn setLayeredWindowAttributesFn;

void setExStyle(HWND window, LONG exStyle) {
    LendLock lend(window);      // changing another thread's window sends it WM_STYLECHANGING
    SetWindowLongA(window, GWL_EXSTYLE, exStyle);
}

WindowEntry entryOf(const WindowOpacityRecord* r) {
    return WindowEntry{static_cast<int>(r->opaque), r->auto_mode, r->auto_hide,
                       r->always_on_top, r->dock_side, r->drag_dock};
}

}  // namespace

bool isWinampGenClass(const char* className) {
    return memcmp(className, WINAMP_GEN_CLASS, sizeof WINAMP_GEN_CLASS) == 0;
}

WindowOpacityRecord* getRecord(HWND window) {
    // A window of another process (the foreground window can be one) may carry the same
    // property from another copy of the plug-in; its value is an address in that process.
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId()) return nullptr;
    return static_cast<WindowOpacityRecord*>(GetPropA(window, RECORD_PROPERTY));
}

int setLayeredAlpha(HWND window, COLORREF key, int alpha, DWORD flags) {
    if (!setLayeredWindowAttributesFn) {
        if (!user32Module) user32Module = LoadLibraryA("USER32.DLL");
        if (user32Module)
            setLayeredWindowAttributesFn = reinterpret_cast<SetLayeredFn>(
                reinterpret_cast<void*>(GetProcAddress(user32Module, "SetLayeredWindowAttributes")));
        if (!setLayeredWindowAttributesFn) return -1;
    }
    BYTE a = static_cast<BYTE>(alpha);
    LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);
    if (a != 255 && !(exStyle & WS_EX_LAYERED)) setExStyle(window, exStyle | WS_EX_LAYERED);
    LendLock lend(window);
    return setLayeredWindowAttributesFn(window, key, a, flags);
}

void getWindowKey(HWND window, char* buffer) {
    if (!window) return;
    char className[CLASS_NAME_SIZE];
    if (!GetClassNameA(window, className, CLASS_NAME_SIZE)) className[0] = '\0';
    if (isWinampGenClass(className)) {
        {
            LendLock lend(window);  // another thread's window answers WM_GETTEXT itself
            if (!GetWindowTextA(window, buffer, CLASS_NAME_SIZE)) buffer[0] = '\0';
        }
        // A title is text from elsewhere, but an INI key cannot hold every text: it ends at
        // the first "=", so such an entry is never found again and a new line is added at
        // every attach; and a key that starts with "[" reads back as a section header,
        // moving every key after it out of our section. Keep those two characters out.
        for (char* c = buffer; *c; ++c)
            if (*c == '=') *c = '-';
        if (buffer[0] == '[') buffer[0] = '(';
    } else {
        memcpy(buffer, className, strlen(className) + 1);
    }
}

void saveRecordEntry(HWND window, const WindowOpacityRecord* record) {
    char key[CLASS_NAME_SIZE] = "";
    getWindowKey(window, key);
    writeWindowEntry(key, entryOf(record));
}

void attachRecord(HWND window) {
    if (getRecord(window)) return;      // attached once, on its first paint

    void* block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, sizeof(WindowOpacityRecord));
    if (!block) return;                 // stays unattached; the next paint tries again
    if (!SetPropA(window, RECORD_PROPERTY, block)) {
        GlobalFree(block);
        return;
    }
    WindowOpacityRecord* record = getRecord(window);

    char key[CLASS_NAME_SIZE] = "";
    getWindowKey(window, key);
    WindowEntry entry = readWindowEntry(key);
    record->opaque = static_cast<float>(entry.opaque);
    record->current = record->opaque;
    record->auto_mode = entry.auto_mode;
    record->auto_hide = entry.auto_hide;
    record->always_on_top = entry.always_on_top;
    record->dock_side = entry.dock_side;
    record->drag_dock = entry.drag_dock;
    writeWindowEntry(key, entry);       // every attach leaves the entry in normalised form

    float shown = cfg_link ? cur_opaque : record->opaque;
    setLayeredAlpha(window, 0, static_cast<int>(shown), LWA_ALPHA);
}

void detachRecord(HWND window) {
    WindowOpacityRecord* record = getRecord(window);
    if (!record) return;
    setExStyle(window, GetWindowLongA(window, GWL_EXSTYLE) & ~WS_EX_LAYERED);
    // The property goes before the block, so no lookup can ever return freed memory.
    RemovePropA(window, RECORD_PROPERTY);
    GlobalFree(record);
}
