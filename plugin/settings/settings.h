// Settings store: the INI file, the six global settings and the per-window entries.
//
// Everything the plug-in keeps between sessions lives in one section of the host's INI
// file. The globals are loaded once at start-up; after that memory is the reference and
// every user change is written through at once, one key per write.
#pragma once

#include <windows.h>

constexpr char INI_SECTION[] = "Quorvel";
constexpr int INI_PATH_SIZE = MAX_PATH;    // iniPath holds at most 259 characters and a NUL
constexpr int INI_VALUE_SIZE = 260;        // buffer for one per-window value
constexpr char WINDOW_ENTRY_DEFAULT[] = "255 2 0 0 0 0";

// Auto-opaque modes, shared by the globals and the per-window records.
enum AutoMode : BYTE { AUTO_NONE = 0, AUTO_FOCUS = 1, AUTO_HOVER = 2 };

// Global settings (names follow the INI keys) and the linked alpha currently shown.
extern unsigned cfg_fadein;     // ms
extern unsigned cfg_hold;       // ms
extern unsigned cfg_fadeout;    // ms
extern BYTE cfg_link;           // 0 or 1
extern float cfg_opaque;        // linked resting alpha, 26..255
extern BYTE cfg_auto;           // AutoMode
extern float cur_opaque;        // linked alpha currently shown; not stored
extern DWORD cur_fade_clock;    // when the linked fade took its last step (GetTickCount)

// The INI file every read and write uses; empty until start-up fills it.
extern char iniPath[INI_PATH_SIZE];

// Fills iniPath from the host's reply to the INI-path request: a usable path is copied;
// 0, 1 (no path), an empty path or a path too long for the buffer selects the host
// executable's path with everything behind its last "." replaced by "ini".
void setIniPath(const char* hostPath);

// Derives "<exe without extension>.ini" into a buffer of INI_PATH_SIZE from an executable
// path; always NUL-terminated within the buffer. Pure: exposed for tests.
void deriveIniPath(char* buffer, const char* exePath);

// Bounded formatting into a fixed buffer: the text is cut to fit and always NUL-terminated
// within size. It uses the system C library's formatter, which every Windows version has,
// rather than the portable one of the compiler's runtime, which alone would be a third of
// the DLL. Integers and strings only (%d, %ld, %s, %%).
int formatText(char* buffer, size_t size, const char* format, ...)
    __attribute__((format(ms_printf, 3, 4)));

// Loads the six globals in key order, with their defaults and clamps, and sets cur_opaque.
void loadGlobalSettings();

// Writes a signed integer as "%ld" under section/key of the file at path.
void writeIntSetting(const char* section, const char* key, long value, const char* path);

// Write-through of one global, always to INI_SECTION of iniPath.
void saveFadeIn();
void saveHold();
void saveFadeOut();
void saveLink();
void saveOpaque();      // integer part of cfg_opaque
void saveAuto();

// Load rules of the globals, as pure functions of the number read (for tests).
unsigned clampTime(unsigned v);
BYTE clampLink(unsigned v);
float clampOpaque(unsigned v);
BYTE clampAuto(unsigned v);

// A per-window entry: "%d %d %d %d %d %d" = opaque, auto_mode, auto_hide, always_on_top,
// dock_side, drag_dock.
struct WindowEntry {
    int opaque;             // resting alpha, 26..255 once parsed
    BYTE auto_mode;
    BYTE auto_hide;
    BYTE always_on_top;
    BYTE dock_side;
    BYTE drag_dock;
};

// Parses a stored value: the first number clamped (signed) to 26..255, each other number's
// low 8 bits; missing numbers leave 0. A value whose first number cannot be read rests at
// 255, fully opaque, like a window that has no entry yet.
WindowEntry parseWindowEntry(const char* text);

// Formats an entry in its written form into a buffer of at least INI_VALUE_SIZE.
void formatWindowEntry(char* buffer, int size, const WindowEntry& entry);

// Turns a window's name (its title or class name, NUL-terminated) in place into a key that
// the INI functions read back as the same key of our section, whatever the name holds. A
// name that already was such a key stays as it is; otherwise each character that breaks it
// is replaced, one for one: a line break by a blank, "=" by "-", a leading "[" by "(", and
// the "_" of a name that reads as one of the six global keys by "-". Pure: exposed for tests.
void mendWindowKey(char* key);

// Reads the entry stored under key (default "255 2 0 0 0 0") and parses it.
WindowEntry readWindowEntry(const char* key);

// Writes the entry under key in its written form.
void writeWindowEntry(const char* key, const WindowEntry& entry);
