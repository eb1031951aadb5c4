// Window Settings menu: a submenu inserted into the host's main menu while it is open.
//
// The filter hands over WM_INITMENU, WM_UNINITMENUPOPUP, WM_COMMAND and WM_SYSCOMMAND of
// managed windows, with the lock held. Opening the host's main menu over a window that has
// a record inserts "Window Settings" and a separator before the host's item 40347; closing
// it deletes both again (the four popups go with the first). The opacity commands act on
// every managed window when linked and on the window that was in front when the menu opened
// otherwise; the Docked Toolbar commands act on that window alone. All write what they
// change at once.
#include "ui.h"

#include "../dock/dock.h"
#include "../fade/fade.h"
#include "../host/host.h"
#include "../settings/settings.h"
#include "../window/window.h"
#include "opacity.h"
#include "resource.h"

HWND menuTarget;

namespace {

// The Window Settings popup while it stands in a host menu, and that menu. Both inserted
// items are found again through this handle (the submenu, and the separator that carries it
// as its item data), never by command id: a broken host hands out ids of 0, or all alike,
// and an id lookup would then hit the host's own items or leave ours behind.
HMENU insertedPopup;
HMENU insertedInto;

static_assert(sizeof(void*) != 4 || sizeof(MENUITEMINFOA) == 48,
              "the 32-bit build passes the 48-byte MENUITEMINFOA");

constexpr UINT_PTR SEPARATOR_ID = static_cast<UINT_PTR>(-1);

// The ten presets, in menu order.
struct Preset {
    MenuCommand command;
    const char* text;
    int percent;
};
const Preset PRESETS[] = {
    {ID_OPACITY_100, "1&00%", 100}, {ID_OPACITY_90, "&90%", 90}, {ID_OPACITY_80, "&80%", 80},
    {ID_OPACITY_70, "&70%", 70},    {ID_OPACITY_60, "&60%", 60}, {ID_OPACITY_50, "&50%", 50},
    {ID_OPACITY_40, "&40%", 40},    {ID_OPACITY_30, "&30%", 30}, {ID_OPACITY_20, "&20%", 20},
    {ID_OPACITY_10, "&10%", 10},
};

// The dock items, in menu order, with the side each one stands for.
struct DockItem {
    MenuCommand command;
    const char* text;
    BYTE side;
};
const DockItem DOCK_ITEMS[] = {
    {ID_DOCK_TOP, "Top", DOCK_TOP},
    {ID_DOCK_LEFT, "Left", DOCK_LEFT},
    {ID_DOCK_RIGHT, "Right", DOCK_RIGHT},
    {ID_DOCK_BOTTOM, "Bottom", DOCK_BOTTOM},
    {ID_NOT_DOCKED, "Not docked", DOCK_NONE},
};

UINT checkedIf(bool on) { return on ? MF_CHECKED : MF_STRING; }

// Appends at the end. By position: looking up position -1 by command would find the
// separators, whose id is -1 too, and put every later item before the first of them.
void append(HMENU menu, UINT flags, UINT_PTR id, const char* text) {
    InsertMenuA(menu, static_cast<UINT>(-1), MF_BYPOSITION | flags, id, text);
}

void appendCommand(HMENU menu, UINT flags, MenuCommand command, const char* text) {
    append(menu, flags, commandId(command), text);
}

void appendSeparator(HMENU menu) { append(menu, MF_SEPARATOR, SEPARATOR_ID, nullptr); }

void fillOpacityPopup(HMENU popup, const WindowOpacityRecord* record) {
    float resting = cfg_link ? cfg_opaque : record->opaque;
    BYTE mode = cfg_link ? cfg_auto : record->auto_mode;
    int percent = checkPercentOf(resting);
    for (const Preset& p : PRESETS)
        appendCommand(popup, checkedIf(percent == p.percent), p.command, p.text);
    appendCommand(popup, MF_STRING, ID_OPACITY_CUSTOM, "&Custom");
    appendSeparator(popup);
    appendCommand(popup, checkedIf(mode == AUTO_FOCUS), ID_OPAQUE_ON_FOCUS, "Opaque on &Focus");
    appendCommand(popup, checkedIf(mode == AUTO_HOVER), ID_OPAQUE_ON_HOVER, "Opaque on &Hover");
}

// The window's own docking, whatever the link setting; auto-hide only while docked.
void fillDockPopup(HMENU popup, const WindowOpacityRecord* record) {
    UINT docked = isDockSide(record->dock_side) ? 0 : MF_GRAYED;
    appendCommand(popup, checkedIf(record->auto_hide != 0) | docked, ID_AUTO_HIDE, "Auto-&Hide");
    appendCommand(popup, checkedIf(record->always_on_top != 0), ID_ALWAYS_ON_TOP, "&Always On Top");
    appendSeparator(popup);
    for (const DockItem& d : DOCK_ITEMS)
        appendCommand(popup, checkedIf(record->dock_side == d.side), d.command, d.text);
    appendSeparator(popup);
    appendCommand(popup, checkedIf(record->drag_dock != 0), ID_DRAG_DOCK,
                  "Dock/Undock Windows by Dragging");
}

HMENU buildSettingsPopup(const WindowOpacityRecord* record) {
    HMENU settings = CreatePopupMenu();
    HMENU opacity = CreatePopupMenu();
    HMENU scaling = CreatePopupMenu();
    HMENU docked = CreatePopupMenu();
    append(settings, MF_POPUP, reinterpret_cast<UINT_PTR>(opacity), "&Opacity");
    append(settings, MF_POPUP | MF_GRAYED, reinterpret_cast<UINT_PTR>(scaling), "&Scaling");
    append(settings, MF_POPUP, reinterpret_cast<UINT_PTR>(docked), "Docked Toolbar");
    fillOpacityPopup(opacity, record);
    fillDockPopup(docked, record);
    return settings;
}

// The window whose timers carry the fades the commands touch.
HWND timerWindow() { return cfg_link ? hostWindows.hwndMain : menuTarget; }

void toggleAutoMode(WindowOpacityRecord* record, BYTE mode) {
    BYTE current = cfg_link ? cfg_auto : record->auto_mode;
    BYTE next = current == mode ? BYTE{AUTO_NONE} : mode;
    if (cfg_link) {
        cfg_auto = next;
        saveAuto();
    } else {
        record->auto_mode = next;
        saveRecordEntry(menuTarget, record);
    }
    // A window left opaque by the old mode fades back to its resting alpha.
    HWND window = timerWindow();
    KillTimer(window, TIMER_FADE_IN);
    startFadeTimer(window, TIMER_FADE_OUT);
}

}  // namespace

void setOpacityPercent(HWND window, float percent) {
    float alpha = storedAlphaOf(percent);
    // Decided, stored and only then shown: showing leaves the lock, and whatever is decided
    // meanwhile is newer and must win, on screen and in the file.
    if (cfg_link) {
        cur_opaque = alpha;
        cfg_opaque = alpha;
        saveOpaque();
        applyLinkedOpacity(alpha);
        return;
    }
    WindowOpacityRecord* record = getRecord(window);
    if (!record) return;
    record->current = alpha;
    record->opaque = alpha;
    decideWindowAlpha(record, static_cast<int>(alpha));
    saveRecordEntry(window, record);
    showDecidedAlpha(window, getRecord(window));    // afresh: asking the title left the lock
}

void removeWindowSettings(bool destroyPopups) {
    HMENU menu = insertedInto;
    ULONG_PTR popup = reinterpret_cast<ULONG_PTR>(insertedPopup);
    insertedInto = nullptr;
    insertedPopup = nullptr;
    if (!popup) return;
    // From the end, so that the positions still to visit stay where they are.
    for (int i = GetMenuItemCount(menu) - 1; i >= 0; --i) {
        MENUITEMINFOA item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_SUBMENU | MIIM_DATA;
        if (!GetMenuItemInfoA(menu, i, TRUE, &item)) continue;
        bool ours = reinterpret_cast<ULONG_PTR>(item.hSubMenu) == popup ||
                    ((item.fType & MFT_SEPARATOR) && item.dwItemData == popup);
        if (!ours) continue;
        // Deleting the submenu item destroys its four popups with it.
        if (destroyPopups) DeleteMenu(menu, i, MF_BYPOSITION);
        else RemoveMenu(menu, i, MF_BYPOSITION);
    }
}

namespace {

// A host that rebuilds its main menu (a new skin or language) opens a new handle on its main
// window: ask it again which menu is its main one, and keep that one if it is this one.
bool isHostMainMenu(HMENU menu, bool onMainWindow) {
    if (!menu) return false;
    if (menu == hostMainMenu) return true;
    if (!onMainWindow) return false;
    if (reinterpret_cast<HMENU>(sendHostRequest(HOST_GET_MENU, 0)) != menu) return false;
    hostMainMenu = menu;
    return true;
}

}  // namespace

// Its signature is the filter's, shared by every handler.
// cppcheck-suppress constParameter
void onMenuInit(HWND window, WPARAM wParam, LPARAM) {
    if (!isHostMainMenu(reinterpret_cast<HMENU>(wParam), window == hostWindows.hwndMain)) return;
    menuTarget = GetForegroundWindow();
    WindowOpacityRecord* record = getRecord(menuTarget);
    if (!record) return;

    // A host that opens the menu again without closing it first must not get two
    // submenus: drop what an earlier opening left.
    removeWindowSettings(true);

    HMENU settings = buildSettingsPopup(record);
    MENUITEMINFOA item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_TYPE;
    item.fType = MFT_STRING;
    item.wID = commandId(ID_WINDOW_SETTINGS);
    item.hSubMenu = settings;
    item.dwTypeData = const_cast<char*>("Window Settings");
    if (!InsertMenuItemA(hostMainMenu, HOST_MENU_ANCHOR_COMMAND, FALSE, &item)) {
        DestroyMenu(settings);      // the host menu has no anchor: nothing would own it
        return;
    }
    insertedPopup = settings;
    insertedInto = hostMainMenu;
    MENUITEMINFOA separator = {};
    separator.cbSize = sizeof separator;
    separator.fMask = MIIM_FTYPE | MIIM_ID | MIIM_DATA;
    separator.fType = MFT_SEPARATOR;
    separator.wID = commandId(ID_SETTINGS_SEPARATOR);
    separator.dwItemData = reinterpret_cast<ULONG_PTR>(settings);
    InsertMenuItemA(hostMainMenu, HOST_MENU_ANCHOR_COMMAND, FALSE, &separator);
}

void onMenuUninit(HWND, WPARAM wParam, LPARAM) {
    // The items come out of the menu they went into, also when the host has since moved on
    // to a new main menu.
    HMENU menu = reinterpret_cast<HMENU>(wParam);
    if (!menu || (menu != hostMainMenu && menu != insertedInto)) return;
    removeWindowSettings(true);
}

void onMenuCommand(HWND, WPARAM wParam, LPARAM) {
    WindowOpacityRecord* record = getRecord(menuTarget);
    if (!record) return;
    WORD id = LOWORD(wParam);
    for (const Preset& p : PRESETS) {
        if (id == commandId(p.command)) {
            setOpacityPercent(menuTarget, static_cast<float>(p.percent));
            return;
        }
    }
    if (id == commandId(ID_OPACITY_CUSTOM)) openCustomDialog(timerWindow());
    else if (id == commandId(ID_OPAQUE_ON_FOCUS)) toggleAutoMode(record, AUTO_FOCUS);
    else if (id == commandId(ID_OPAQUE_ON_HOVER)) toggleAutoMode(record, AUTO_HOVER);
    else onDockCommand(menuTarget, id);     // on the target alone, linked or not
}
