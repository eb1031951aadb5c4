// The per-window record, the window's INI key and its class.
#include "window.h"

#include <stddef.h>
#include <string.h>

#include "../settings/settings.h"
#include "layered.h"

// Other code reads the first seven fields where they always were; new ones come after them.
static_assert(offsetof(WindowOpacityRecord, current) == 4 && offsetof(WindowOpacityRecord, auto_mode) == 8 &&
                  offsetof(WindowOpacityRecord, drag_dock) == 12,
              "the record's first seven fields keep their offsets");

namespace {

// Set on a window while its attach waits for the window's answer to a message.
constexpr char ATTACHING_MARK[] = "QuorvelAttaching";

// ---- Titles the ANSI code page cannot hold -------------------------------------------------

constexpr int TITLE_HASH_LENGTH = 10;       // " ~" and eight hex digits
// Room for the ANSI form of a wide title read into CLASS_NAME_SIZE characters, in any ANSI
// code page (a character takes at most 2 bytes in a double-byte one, 3 in UTF-8).
constexpr int ANSI_TITLE_ROOM = 3 * CLASS_NAME_SIZE;

// A buffer on the stack, or from the local heap when it must be larger: titles longer than
// a key are rare, and are read whole only when a window attaches or its entry is written.
template <typename T, int N>
struct TextBuffer {
    T local[N];
    T* text = local;
    int size = N;
    // cppcheck-suppress uninitMemberVar ; the text is written by whoever fills the buffer
    explicit TextBuffer(int needed) {
        if (needed <= N) return;
        if (T* heap = static_cast<T*>(LocalAlloc(LMEM_FIXED, sizeof(T) * static_cast<size_t>(needed)))) {
            text = heap;
            size = needed;
        }
    }
    ~TextBuffer() {
        if (text != local) LocalFree(text);
    }
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;
};
using WideTitle = TextBuffer<WCHAR, CLASS_NAME_SIZE>;

// True when the wide title comes back unchanged through the ANSI code page, so that its
// ANSI form names it and no other title. A character the code page lacks becomes "?", or
// a look-alike ("a" for "\u0101"), and does not come back.
bool ansiKeepsTitle(const WCHAR* wide) {
    int chars = static_cast<int>(wcslen(wide)) + 1;
    TextBuffer<char, ANSI_TITLE_ROOM> ansi(
        WideCharToMultiByte(CP_ACP, 0, wide, chars, nullptr, 0, nullptr, nullptr));
    int bytes = WideCharToMultiByte(CP_ACP, 0, wide, chars, ansi.text, ansi.size, nullptr, nullptr);
    if (bytes == 0) return false;
    WideTitle back(chars);
    return MultiByteToWideChar(CP_ACP, 0, ansi.text, bytes, back.text, back.size) == chars &&
           memcmp(back.text, wide, static_cast<size_t>(chars) * sizeof(WCHAR)) == 0;
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

void getWindowKey(HWND window, char* buffer) {
    if (!window) return;
    char className[CLASS_NAME_SIZE];
    if (!GetClassNameA(window, className, CLASS_NAME_SIZE)) className[0] = '\0';
    if (isWinampGenClass(className)) {
        WideTitle shortTitle(0);
        int read;
        {
            OutsideLock outside;    // the window's procedure answers these itself
            if (!GetWindowTextA(window, buffer, CLASS_NAME_SIZE)) buffer[0] = '\0';
            read = GetWindowTextW(window, shortTitle.text, shortTitle.size);
        }
        if (read <= 0) shortTitle.text[0] = L'\0';
        // The Unicode title is hashed whole, however long, so that titles that differ only
        // beyond what a key can hold keep entries of their own: one that filled the buffer
        // may go on, and is read again at its full length.
        int length = 0;
        if (read >= shortTitle.size - 1) {
            OutsideLock outside;
            length = GetWindowTextLengthW(window);
        }
        WideTitle longTitle(length + 1);    // from the heap only when longer than a key
        const WCHAR* wide = shortTitle.text;
        if (longTitle.size > shortTitle.size) {
            OutsideLock outside;
            if (GetWindowTextW(window, longTitle.text, longTitle.size) > 0) wide = longTitle.text;
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
    // Meanwhile another thread, or the window's procedure, may have decided again: the file
    // takes what the record says now, so that it always holds the newest decision.
    if (const WindowOpacityRecord* now = getRecord(window)) entry = entryOf(now);
    writeWindowEntry(key, entry);
}

void attachRecord(HWND window) {
    if (getRecord(window)) return;      // attached once, on its first paint
    // A window that someone else made layered (a colour key, per-pixel alpha, another
    // transparency tool) is theirs: a constant alpha would wipe what they show.
    if (layeredBySomeoneElse(window)) return;

    // Everything that sends the window a message comes before the record is in it or after
    // the last use of it, so that a window that hides itself in answer (and so detaches)
    // cannot leave us holding a freed block. Asking for the title is such a message. A window
    // detached while it answers (hidden, destroyed, made a child) has no record to lose yet:
    // the mark set here is what its detach takes away, and it then stays unattached.
    SetPropA(window, ATTACHING_MARK, reinterpret_cast<HANDLE>(1));
    char key[CLASS_NAME_SIZE] = "";
    getWindowKey(window, key);
    bool detached = !RemovePropA(window, ATTACHING_MARK);
    WindowEntry entry = readWindowEntry(key);
    // Detached meanwhile; attached meanwhile, by a paint inside the request; or layered by
    // someone else meanwhile.
    if (detached || getRecord(window) || layeredBySomeoneElse(window)) return;

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
    RemovePropA(window, ATTACHING_MARK);    // an attach waiting for the title stops there
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
    showOpaqueWithoutMessages(window);
}
