// Helpers shared by the menu and dialog tests: the command ids the plug-in receives from the
// host, opening and closing the host's main menu, reading menus back and driving the modal
// Custom Opacity dialog.
#pragma once

#include "support/harness.h"

#include <commctrl.h>
#include <string.h>

#include <functional>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

// Lists print in failure messages.
namespace doctest {
template <typename T>
struct StringMaker<std::vector<T>> {
    static String convert(const std::vector<T>& v) {
        std::string s = "{";
        for (size_t i = 0; i < v.size(); ++i) {
            if (i) s += ", ";
            if constexpr (std::is_same_v<T, std::string>) s += "\"" + v[i] + "\"";
            else s += std::to_string(v[i]);
        }
        return (s + "}").c_str();
    }
};
}  // namespace doctest

// The host hands out command ids consecutively from Options::firstCommandId, and the plug-in
// asks for its 23 in this order.
enum CommandIndex {
    WINDOW_SETTINGS, SETTINGS_SEPARATOR,
    OPACITY_100, OPACITY_90, OPACITY_80, OPACITY_70, OPACITY_60,
    OPACITY_50, OPACITY_40, OPACITY_30, OPACITY_20, OPACITY_10,
    OPACITY_CUSTOM, OPAQUE_ON_FOCUS, OPAQUE_ON_HOVER, AUTO_HIDE, ALWAYS_ON_TOP,
    DOCK_LEFT, DOCK_RIGHT, DOCK_TOP, DOCK_BOTTOM, NOT_DOCKED, DRAG_DOCK,
};

inline WORD commandOf(CommandIndex index) {
    return static_cast<WORD>(hostsim::Options().firstCommandId + index);
}

// The host's five windows, those it was started with.
inline std::vector<HWND> hostWindowList() {
    std::vector<HWND> list;
    const hostsim::Host& h = hostsim::host();
    for (HWND w : {h.main, h.equalizer, h.playlist, h.minibrowser, h.video})
        if (w) list.push_back(w);
    return list;
}

// Paints the windows, so that the plug-in attaches their records, and waits for them.
inline void attach(const std::vector<HWND>& windows) {
    for (HWND w : windows) paint(w);
    bool all = hostsim::pumpUntil([&] {
        for (HWND w : windows)
            if (!recordOf(w)) return false;
        return true;
    });
    REQUIRE(all);
}

inline void bringToFront(HWND window) {
    SetForegroundWindow(window);
    REQUIRE(hostsim::pumpUntil([&] { return GetForegroundWindow() == window; }, 3000));
}

// What the host's main window receives when its main menu opens and closes.
inline void openHostMenu(HWND foreground) {
    bringToFront(foreground);
    SendMessageA(hostsim::host().main, WM_INITMENU, reinterpret_cast<WPARAM>(hostsim::host().mainMenu), 0);
}

inline void closeHostMenu() {
    SendMessageA(hostsim::host().main, WM_UNINITMENUPOPUP,
                 reinterpret_cast<WPARAM>(hostsim::host().mainMenu), 0);
}

inline void sendCommand(CommandIndex index, UINT message = WM_COMMAND) {
    SendMessageA(hostsim::host().main, message, commandOf(index), 0);
}

// One menu item as the user sees it.
struct MenuItem {
    UINT type;
    UINT state;
    UINT id;
    HMENU submenu;
    std::string text;
};

inline std::vector<MenuItem> menuItems(HMENU menu) {
    std::vector<MenuItem> items;
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[256] = "";
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        GetMenuItemInfoA(menu, i, TRUE, &info);
        items.push_back({info.fType, info.fState, info.wID, info.hSubMenu, text});
    }
    return items;
}

// A compact picture of a menu: each item's text, "-" for a separator, then "*" when it is
// checked, " (grayed)" when disabled and ">" when it opens a submenu.
inline std::vector<std::string> menuPicture(HMENU menu) {
    std::vector<std::string> picture;
    for (const MenuItem& item : menuItems(menu)) {
        std::string s = (item.type & MFT_SEPARATOR) ? "-" : item.text;
        if (item.state & MFS_CHECKED) s += "*";
        if ((item.state & MFS_GRAYED) && !(item.type & MFT_SEPARATOR)) s += " (grayed)";
        if (item.submenu) s += ">";
        picture.push_back(s);
    }
    return picture;
}

// The full state of a menu for before-and-after comparisons.
inline std::string menuFingerprint(HMENU menu) {
    std::string s;
    for (const MenuItem& item : menuItems(menu))
        s += std::to_string(item.type) + "/" + std::to_string(item.state) + "/" +
             std::to_string(item.id) + "/" + item.text + (item.submenu ? ">" : "") + "\n";
    return s;
}

inline HMENU submenuNamed(HMENU menu, const std::string& text) {
    for (const MenuItem& item : menuItems(menu))
        if (item.text == text) return item.submenu;
    return nullptr;
}

// Every key of section "Quorvel" with its value.
inline std::map<std::string, std::string> quorvelKeys() {
    char buffer[8192] = "";
    GetPrivateProfileSectionA("Quorvel", buffer, sizeof buffer, hostsim::host().iniPath.c_str());
    std::map<std::string, std::string> keys;
    for (const char* p = buffer; *p; p += strlen(p) + 1) {
        std::string line = p;
        size_t eq = line.find('=');
        if (eq != std::string::npos) keys[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return keys;
}

// ---- The Custom Opacity dialog ---------------------------------------------------------------

constexpr char CUSTOM_CAPTION[] = "Custom Opacity";
constexpr int SLIDER_ID = 1309;
constexpr int FRAME_ID = 1311;

inline HWND findCustomDialog() { return FindWindowA(nullptr, CUSTOM_CAPTION); }

inline int sliderPos(HWND dialog) {
    return static_cast<int>(SendMessageA(GetDlgItem(dialog, SLIDER_ID), TBM_GETPOS, 0, 0));
}

inline std::string frameText(HWND dialog) {
    char text[128] = "";
    GetDlgItemTextA(dialog, FRAME_ID, text, sizeof text);
    return text;
}

// Moves the slider as the user would: the control takes the position, then tells its
// dialog with WM_HSCROLL.
inline void moveSlider(HWND dialog, int position) {
    HWND slider = GetDlgItem(dialog, SLIDER_ID);
    SendMessageA(slider, TBM_SETPOS, TRUE, position);
    SendMessageA(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position),
                 reinterpret_cast<LPARAM>(slider));
}

inline void pressButton(HWND dialog, int id) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

inline void pressClose(HWND dialog) { SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }

using DialogStep = std::function<void(HWND dialog)>;

namespace detail {
inline std::vector<DialogStep>* dialogSteps;
inline size_t nextStep;
inline int idleTicks;
inline bool forcedClose;

inline void CALLBACK driveDialog(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = findCustomDialog();
    if (!dialog || !IsWindowVisible(dialog)) return;
    if (nextStep < dialogSteps->size()) {
        (*dialogSteps)[nextStep++](dialog);
    } else if (++idleTicks > 100) {     // the steps left it open: close it, and say so
        forcedClose = true;
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
}
}  // namespace detail

// Chooses "&Custom" (the menu must have been opened over a window with a record) and runs
// the steps, one per timer tick, on the modal dialog it opens; the last step closes it.
// Returns true when the dialog opened, ran every step and was closed by them.
inline bool runCustomDialog(std::vector<DialogStep> steps, UINT message = WM_COMMAND) {
    detail::dialogSteps = &steps;
    detail::nextStep = 0;
    detail::idleTicks = 0;
    detail::forcedClose = false;
    UINT_PTR timer = SetTimer(nullptr, 0, 30, detail::driveDialog);
    sendCommand(OPACITY_CUSTOM, message);
    KillTimer(nullptr, timer);
    detail::dialogSteps = nullptr;
    return detail::nextStep == steps.size() && !detail::forcedClose && !findCustomDialog();
}
