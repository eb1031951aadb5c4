// Host interface: the descriptor's types, the host's handles and command ids gathered at
// start-up, and the requests the plug-in sends to the host's main window.
#pragma once

#include <windows.h>

#include "quorvel_version.h"

// ---- The descriptor the host receives from the export -------------------------------------

struct PluginDescriptor {
    int version;                // layout version of the descriptor
    const char* description;
    int (*init)();
    void (*config)();
    void (*quit)();
    HWND parentWindow;          // written by the host: its main window
    HINSTANCE moduleHandle;     // written by the host: this library's module handle
};

constexpr int DESCRIPTOR_VERSION = 0x10;
// The name the host lists, also the start of the unsupported-system message: the version
// comes from the build, the width from the compiler ("x86" for the product).
#if defined(_WIN64)
#define PLUGIN_DESCRIPTION_TEXT "Quorvel v" QUORVEL_VERSION_TEXT " (x64)"
#else
#define PLUGIN_DESCRIPTION_TEXT "Quorvel v" QUORVEL_VERSION_TEXT " (x86)"
#endif
constexpr char PLUGIN_DESCRIPTION[] = PLUGIN_DESCRIPTION_TEXT;

// The one descriptor, handed out by the export; the host writes its main window and this
// library's module handle into it (the dialogs are loaded through that handle).
extern PluginDescriptor pluginDescriptor;

// ---- Start-up state, filled once by pluginInit and never refreshed ------------------------

struct HostWindowSet {
    HWND hwndMain;
    HWND hwndEqualizer;
    HWND hwndPlaylist;
    HWND hwndMinibrowser;
    HWND hwndVideo;
};
extern HostWindowSet hostWindows;
extern HMENU hostMainMenu;

// The 23 Window Settings command ids, in the order they are requested from the host.
enum MenuCommand {
    ID_WINDOW_SETTINGS,
    ID_SETTINGS_SEPARATOR,
    ID_OPACITY_100,
    ID_OPACITY_90,
    ID_OPACITY_80,
    ID_OPACITY_70,
    ID_OPACITY_60,
    ID_OPACITY_50,
    ID_OPACITY_40,
    ID_OPACITY_30,
    ID_OPACITY_20,
    ID_OPACITY_10,
    ID_OPACITY_CUSTOM,
    ID_OPAQUE_ON_FOCUS,
    ID_OPAQUE_ON_HOVER,
    ID_AUTO_HIDE,
    ID_ALWAYS_ON_TOP,
    ID_DOCK_LEFT,
    ID_DOCK_RIGHT,
    ID_DOCK_TOP,
    ID_DOCK_BOTTOM,
    ID_NOT_DOCKED,
    ID_DRAG_DOCK,
    MENU_COMMAND_COUNT
};

struct MenuCommandIds {
    WORD id[MENU_COMMAND_COUNT];    // low 16 bits of the host's replies
};
extern MenuCommandIds menuCommandIds;

inline WORD commandId(MenuCommand c) { return menuCommandIds.id[c]; }

// ---- Host requests: SendMessageA(hwndMain, WM_USER, wParam, request) ----------------------

constexpr UINT HOST_REQUEST = WM_USER;
constexpr LPARAM HOST_GET_WINDOW = 260;          // wParam: HOST_WINDOW_* ; result: HWND or 0
constexpr LPARAM HOST_GET_MENU = 281;            // wParam 0; result: the main popup menu
constexpr LPARAM HOST_GET_INI_PATH = 334;        // wParam 0; result: path, or 0/1 for none
constexpr LPARAM HOST_OPEN_PREFS_PAGE = 380;     // wParam: page number
constexpr LPARAM HOST_ENUM_EMBED_WINDOWS = 532;  // wParam: EmbedEnumParam*
constexpr LPARAM HOST_ALLOC_COMMAND_ID = 3019;   // wParam 0; result: a fresh command id

constexpr WPARAM HOST_WINDOW_EQUALIZER = 0;
constexpr WPARAM HOST_WINDOW_PLAYLIST = 1;
constexpr WPARAM HOST_WINDOW_MINIBROWSER = 2;
constexpr WPARAM HOST_WINDOW_VIDEO = 3;

constexpr WPARAM PREFS_PAGE_ALPHA = 22;           // the host page that carries tab control 1279
constexpr UINT HOST_MENU_ANCHOR_COMMAND = 40347;  // Window Settings is inserted before it

// Argument of HOST_ENUM_EMBED_WINDOWS: the host calls callback once per embedded window,
// with a host record whose first field is the window handle.
struct EmbedEnumParam {
    int (__cdecl *callback)(void* hostRecord, EmbedEnumParam* param);
    int user_data;
};

// Sends one request to hwndMain and returns the host's reply; 0 while hwndMain is null.
LRESULT sendHostRequest(LPARAM request, WPARAM argument);
