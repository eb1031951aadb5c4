// Settings store: INI path, global settings and per-window entries.
#include "settings.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

unsigned cfg_fadein = 250;
unsigned cfg_hold = 2000;
unsigned cfg_fadeout = 750;
BYTE cfg_link = 1;
float cfg_opaque = 255.0f;
BYTE cfg_auto = AUTO_HOVER;
float cur_opaque = 255.0f;
DWORD cur_fade_clock;

char iniPath[INI_PATH_SIZE];

namespace {

constexpr unsigned TIME_LIMIT = 30000;
constexpr int ALPHA_MIN = 26;
constexpr int ALPHA_MAX = 255;

// The six global keys in load order: key, default when absent, and the load rule that
// turns the number read into the value held in memory.
struct GlobalKey {
    const char* key;
    int fallback;
    void (*apply)(unsigned v);
};

const GlobalKey GLOBAL_KEYS[] = {
    {"cfg_fadein", 250, [](unsigned v) { cfg_fadein = clampTime(v); }},
    {"cfg_hold", 2000, [](unsigned v) { cfg_hold = clampTime(v); }},
    {"cfg_fadeout", 750, [](unsigned v) { cfg_fadeout = clampTime(v); }},
    {"cfg_link", 1, [](unsigned v) { cfg_link = clampLink(v); }},
    {"cfg_opaque", 255, [](unsigned v) { cfg_opaque = clampOpaque(v); }},
    {"cfg_auto", 2, [](unsigned v) { cfg_auto = clampAuto(v); }},
};

void saveGlobal(const char* key, long value) { writeIntSetting(INI_SECTION, key, value, iniPath); }

// Reads one "%d" from *text: blanks, an optional sign, decimal digits. Digits beyond the
// 32-bit range wrap rather than overflow, so hand-edited values of any length are safe.
// Returns false, leaving *text alone, when no number starts there.
bool readDecimal(const char** text, int* value) {
    const char* p = *text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    if (*p < '0' || *p > '9') return false;
    unsigned v = 0;
    for (; *p >= '0' && *p <= '9'; ++p) v = v * 10u + static_cast<unsigned>(*p - '0');
    *value = static_cast<int>(negative ? 0u - v : v);
    *text = p;
    return true;
}

// What the INI functions skip around a key and at the start of a line: blanks, the other
// white space and the end-of-file mark (Ctrl+Z).
bool isIniBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r') || c == '\x1a'; }

// The key between first and end equals name, ignoring ASCII case as the INI functions do.
bool sameKey(const char* first, const char* end, const char* name) {
    for (; first < end; ++first, ++name) {
        char a = *first, b = *name;
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (a != b) return false;
    }
    return *name == '\0';
}

}  // namespace

unsigned clampTime(unsigned v) { return v >= TIME_LIMIT ? TIME_LIMIT : v; }
BYTE clampLink(unsigned v) { return v != 0 ? 1 : 0; }
BYTE clampAuto(unsigned v) { return v >= AUTO_HOVER ? BYTE{AUTO_HOVER} : static_cast<BYTE>(v); }

float clampOpaque(unsigned v) {
    // Unsigned on purpose: a stored negative number counts as larger than every bound.
    if (v <= static_cast<unsigned>(ALPHA_MIN)) return static_cast<float>(ALPHA_MIN);
    if (v >= static_cast<unsigned>(ALPHA_MAX)) return static_cast<float>(ALPHA_MAX);
    return static_cast<float>(v);
}

void deriveIniPath(char* buffer, const char* exePath) {
    formatText(buffer, INI_PATH_SIZE, "%s", exePath);
    // The last "." anywhere, even in a folder name; with none at all the whole path is
    // replaced and becomes the relative "ini".
    char* dot = strrchr(buffer, '.');
    char* extension = dot ? dot + 1 : buffer;
    // A "." so close to the end that "ini" does not fit keeps as much of it as fits, so the
    // buffer always stays NUL-terminated within its size.
    size_t room = static_cast<size_t>(buffer + INI_PATH_SIZE - extension);
    formatText(extension, room, "ini");
}

void setIniPath(const char* hostPath) {
    // 0 and 1 mean "no path", and so does an empty one: every write would go nowhere. A
    // path that does not fit the buffer is refused rather than cut, since a cut path names
    // some other file.
    bool usable = hostPath != nullptr && reinterpret_cast<ULONG_PTR>(hostPath) != 1 &&
                  hostPath[0] != '\0' &&
                  strnlen(hostPath, INI_PATH_SIZE) < static_cast<size_t>(INI_PATH_SIZE);
    if (usable) {
        memcpy(iniPath, hostPath, strlen(hostPath) + 1);
        return;
    }
    char exe[INI_PATH_SIZE];
    DWORD n = GetModuleFileNameA(nullptr, exe, INI_PATH_SIZE);
    exe[n < INI_PATH_SIZE ? n : INI_PATH_SIZE - 1] = '\0';  // older systems leave a cut path unterminated
    deriveIniPath(iniPath, exe);
}

void loadGlobalSettings() {
    for (const GlobalKey& g : GLOBAL_KEYS)
        g.apply(GetPrivateProfileIntA(INI_SECTION, g.key, g.fallback, iniPath));
    cur_opaque = cfg_opaque;
}

int formatText(char* buffer, size_t size, const char* format, ...) {
    if (size == 0) return 0;
    va_list args;
    va_start(args, format);
    int n = _vsnprintf(buffer, size, format, args);   // -1, or size, when the text is cut
    va_end(args);
    buffer[size - 1] = '\0';
    return n < 0 || static_cast<size_t>(n) >= size ? static_cast<int>(size - 1) : n;
}

void writeIntSetting(const char* section, const char* key, long value, const char* path) {
    char text[64];
    formatText(text, sizeof text, "%ld", value);
    WritePrivateProfileStringA(section, key, text, path);
}

void saveFadeIn() { saveGlobal("cfg_fadein", static_cast<long>(cfg_fadein)); }
void saveHold() { saveGlobal("cfg_hold", static_cast<long>(cfg_hold)); }
void saveFadeOut() { saveGlobal("cfg_fadeout", static_cast<long>(cfg_fadeout)); }
void saveLink() { saveGlobal("cfg_link", cfg_link); }
void saveOpaque() { saveGlobal("cfg_opaque", static_cast<long>(cfg_opaque)); }
void saveAuto() { saveGlobal("cfg_auto", cfg_auto); }

void mendWindowKey(char* key) {
    // A line break ends the line in the middle of the key, and what follows it becomes a
    // line of its own: a key of our section (a global among them) or a section header.
    // The key ends at its first "=", so such an entry is never found again and a new line is
    // added at every attach.
    char* end = key;
    for (; *end; ++end) {
        if (*end == '\r' || *end == '\n') *end = ' ';
        else if (*end == '=') *end = '-';
    }
    // Blanks around a key are not part of it, and a line that starts with "[" after them is
    // a section header, which moves every key after it out of our section.
    char* first = key;
    while (first < end && isIniBlank(*first)) ++first;
    while (end > first && isIniBlank(end[-1])) --end;
    if (*first == '[') *first = '(';
    // A name that reads as a global key would share its line with that setting.
    for (const GlobalKey& g : GLOBAL_KEYS) {
        if (!sameKey(first, end, g.key)) continue;
        for (char* c = first; c < end; ++c)
            if (*c == '_') *c = '-';
    }
}

WindowEntry parseWindowEntry(const char* text) {
    int v[6] = {ALPHA_MAX, 0, 0, 0, 0, 0};
    for (int& field : v)
        if (!readDecimal(&text, &field)) break;     // the fields after a non-number stay as they are
    WindowEntry e;
    e.opaque = v[0] <= ALPHA_MIN ? ALPHA_MIN : v[0] >= ALPHA_MAX ? ALPHA_MAX : v[0];
    e.auto_mode = static_cast<BYTE>(v[1]);
    e.auto_hide = static_cast<BYTE>(v[2]);
    e.always_on_top = static_cast<BYTE>(v[3]);
    e.dock_side = static_cast<BYTE>(v[4]);
    e.drag_dock = static_cast<BYTE>(v[5]);
    return e;
}

void formatWindowEntry(char* buffer, int size, const WindowEntry& e) {
    formatText(buffer, static_cast<size_t>(size), "%d %d %d %d %d %d", e.opaque, e.auto_mode,
             e.auto_hide, e.always_on_top, e.dock_side, e.drag_dock);
}

WindowEntry readWindowEntry(const char* key) {
    char text[INI_VALUE_SIZE];
    GetPrivateProfileStringA(INI_SECTION, key, WINDOW_ENTRY_DEFAULT, text, sizeof text, iniPath);
    return parseWindowEntry(text);
}

void writeWindowEntry(const char* key, const WindowEntry& entry) {
    char text[INI_VALUE_SIZE];
    formatWindowEntry(text, sizeof text, entry);
    WritePrivateProfileStringA(INI_SECTION, key, text, iniPath);
}
