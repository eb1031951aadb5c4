// The per-window record, the layered alpha, the window's INI key and its class.
#include "window.h"

#include <string.h>

#include <type_traits>

#include "../settings/settings.h"

namespace {

using SetLayeredFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
// Bound at run time, so nothing but this declaration holds the calling convention; a
// pointer without WINAPI would call the callee-cleans function wrongly on the 32-bit build.
static_assert(std::is_same<SetLayeredFn, decltype(&SetLayeredWindowAttributes)>::value,
              "the bound pointer must have the platform's own type");

// Bound on first use and kept for the life of the process; the library is never released.
HMODULE user32Module;
SetLayeredFn setLayeredWindowAttributesFn;

void setExStyle(HWND window, LONG exStyle) {
    OutsideLock outside;        // the window's procedure sees WM_STYLECHANGING and WM_STYLECHANGED
    SetWindowLongA(window, GWL_EXSTYLE, exStyle);
}

// Set on a window while WS_EX_LAYERED is there because the plug-in added it. It outlives an
// unload that could not take the style away, so that the next copy knows the style is ours.
constexpr char LAYERED_MARK[] = "QuorvelLayered";

bool layeredByUs(HWND window) { return GetPropA(window, LAYERED_MARK) != nullptr; }

// Takes away WS_EX_LAYERED if the plug-in added it; a style someone else set stays.
void unlayer(HWND window) {
    if (!RemovePropA(window, LAYERED_MARK)) return;
    setExStyle(window, GetWindowLongA(window, GWL_EXSTYLE) & ~WS_EX_LAYERED);
}

// ---- Titles the ANSI code page cannot hold -------------------------------------------------

constexpr int TITLE_HASH_LENGTH = 10;       // " ~" and eight hex digits
// Room for the ANSI form of a wide title read into CLASS_NAME_SIZE characters, in any ANSI
// code page (a character takes at most 2 bytes in a double-byte one, 3 in UTF-8).
constexpr int ANSI_TITLE_ROOM = 3 * CLASS_NAME_SIZE;

// True when the wide title comes back unchanged through the ANSI code page, so that its
// ANSI form names it and no other title. A character the code page lacks becomes "?", or
// a look-alike ("a" for "\u0101"), and does not come back.
bool ansiKeepsTitle(const WCHAR* wide) {
    char ansi[ANSI_TITLE_ROOM];
    int bytes = WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi, sizeof ansi, nullptr, nullptr);
    if (bytes == 0) return false;
    WCHAR back[CLASS_NAME_SIZE];
    int chars = MultiByteToWideChar(CP_ACP, 0, ansi, bytes, back, CLASS_NAME_SIZE);
    return chars == static_cast<int>(wcslen(wide)) + 1 &&
           memcmp(back, wide, static_cast<size_t>(chars) * sizeof(WCHAR)) == 0;
}

// FNV-1a over the title's UTF-16 code units: the same title gives the same number in every
// session and on every system.
DWORD titleHash(const WCHAR* wide) {
    DWORD hash = 2166136261u;
    for (; *wide; ++wide) {
        hash ^= static_cast<DWORD>(*wide);
        hash *= 16777619u;
    }
    return hash;
}

// Makes the ANSI title of a window whose wide title it could not keep a key of that title
// alone: what the ANSI title kept, cut at a whole character where needed, then " ~" and the
// wide title's hash in hex.
void appendTitleHash(char* key, const WCHAR* wide) {
    constexpr size_t KEEP = CLASS_NAME_SIZE - 1 - TITLE_HASH_LENGTH;
    size_t end = 0;
    while (end < KEEP && key[end]) {
        size_t step = IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(key[end])) && key[end + 1] ? 2 : 1;
        if (end + step > KEEP) break;
        end += step;
    }
    formatText(key + end, CLASS_NAME_SIZE - end, " ~%08lx", static_cast<unsigned long>(titleHash(wide)));
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

void bindLayeredAlpha() {
    if (!setLayeredWindowAttributesFn) {
        if (!user32Module) user32Module = LoadLibraryA("USER32.DLL");
        if (user32Module)
            setLayeredWindowAttributesFn = reinterpret_cast<SetLayeredFn>(
                reinterpret_cast<void*>(GetProcAddress(user32Module, "SetLayeredWindowAttributes")));
    }
}

bool layeredBySomeoneElse(HWND window) {
    return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_LAYERED) && !layeredByUs(window);
}

int setLayeredAlpha(HWND window, COLORREF key, int alpha, DWORD flags) {
    bindLayeredAlpha();     // bound at load already; this retries a binding that failed then
    if (!setLayeredWindowAttributesFn) return -1;
    BYTE a = static_cast<BYTE>(alpha);
    LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);
    if (a != 255 && !(exStyle & WS_EX_LAYERED)) {
        // Callers pass a window that carries a record; the layering is added only while it
        // still does, as another thread may have detached it since.
        if (!getRecord(window)) return 0;
        SetPropA(window, LAYERED_MARK, reinterpret_cast<HANDLE>(1));
        setExStyle(window, exStyle | WS_EX_LAYERED);
        if (!getRecord(window)) {
            // Detached while the style changed (a window that hides itself on
            // WM_STYLECHANGING, whose change lands after the detach): the layering that
            // landed is ours, so it goes again.
            SetPropA(window, LAYERED_MARK, reinterpret_cast<HANDLE>(1));
            unlayer(window);
            return 0;
        }
    }
    OutsideLock outside;
    return setLayeredWindowAttributesFn(window, key, a, flags);
}

void getWindowKey(HWND window, char* buffer) {
    if (!window) return;
    char className[CLASS_NAME_SIZE];
    if (!GetClassNameA(window, className, CLASS_NAME_SIZE)) className[0] = '\0';
    if (isWinampGenClass(className)) {
        WCHAR wide[CLASS_NAME_SIZE];
        {
            OutsideLock outside;    // the window's procedure answers WM_GETTEXT itself
            if (!GetWindowTextA(window, buffer, CLASS_NAME_SIZE)) buffer[0] = '\0';
            if (!GetWindowTextW(window, wide, CLASS_NAME_SIZE)) wide[0] = L'\0';
        }
        // The ANSI title is the key, as it always was, unless it lost characters: titles that
        // differ only in those would all read the same.
        if (!ansiKeepsTitle(wide)) appendTitleHash(buffer, wide);
    } else {
        memcpy(buffer, className, strlen(className) + 1);
    }
    // A title is text from elsewhere, and an INI key cannot hold every text.
    mendWindowKey(buffer);
}

void saveRecordEntry(HWND window, const WindowOpacityRecord* record) {
    // Read before the key: asking for the title sends the window a message, and a window
    // that reacts by hiding itself takes the record away.
    WindowEntry entry = entryOf(record);
    char key[CLASS_NAME_SIZE] = "";
    getWindowKey(window, key);
    writeWindowEntry(key, entry);
}

void attachRecord(HWND window) {
    if (getRecord(window)) return;      // attached once, on its first paint
    // A window that someone else made layered (a colour key, per-pixel alpha, another
    // transparency tool) is theirs: a constant alpha would wipe what they show.
    if (layeredBySomeoneElse(window)) return;

    // Everything that sends the window a message comes before the record is in it or after
    // the last use of it, so that a window that hides itself in answer (and so detaches)
    // cannot leave us holding a freed block. Asking for the title is such a message.
    char key[CLASS_NAME_SIZE] = "";
    getWindowKey(window, key);
    WindowEntry entry = readWindowEntry(key);
    // Attached meanwhile, by a paint inside the request or on another thread; or layered
    // by someone else meanwhile.
    if (getRecord(window) || layeredBySomeoneElse(window)) return;

    auto* record = static_cast<WindowOpacityRecord*>(
        GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, sizeof(WindowOpacityRecord)));
    if (!record) return;                // stays unattached; the next paint tries again
    record->opaque = static_cast<float>(entry.opaque);
    record->current = record->opaque;
    record->auto_mode = entry.auto_mode;
    record->auto_hide = entry.auto_hide;
    record->always_on_top = entry.always_on_top;
    record->dock_side = entry.dock_side;
    record->drag_dock = entry.drag_dock;
    if (!SetPropA(window, RECORD_PROPERTY, record)) {
        GlobalFree(record);
        return;
    }
    writeWindowEntry(key, entry);       // every attach leaves the entry in normalised form

    float shown = cfg_link ? cur_opaque : record->opaque;
    setLayeredAlpha(window, 0, static_cast<int>(shown), LWA_ALPHA);
}

void detachRecord(HWND window) {
    WindowOpacityRecord* record = getRecord(window);
    if (!record) return;
    // Out of the window before anything can send it a message: clearing the style sends
    // style messages, and a window that hides itself in answer would detach again, find
    // the same block and free it under us. Taken first, the block is ours alone to free.
    RemovePropA(window, RECORD_PROPERTY);
    GlobalFree(record);
    unlayer(window);
}

void releaseRecordAtUnload(HWND window) {
    WindowOpacityRecord* record = getRecord(window);
    if (!record) return;
    RemovePropA(window, RECORD_PROPERTY);
    GlobalFree(record);
    // Taking the style away would run the window's procedure, maybe on another thread,
    // while the system's loader is held; fully opaque, the window looks as it did before.
    // The mark stays, so that a copy loaded later takes the window over again.
    if (layeredByUs(window) && setLayeredWindowAttributesFn)
        setLayeredWindowAttributesFn(window, 0, 255, LWA_ALPHA);
}
