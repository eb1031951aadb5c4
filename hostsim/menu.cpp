// Host emulator: the main popup menu and opening it as a right-click does.
#include "hostsim.h"

#include "internal.h"

namespace hostsim {
namespace {

constexpr UINT_PTR MENU_DRIVER_TIMER = 0x5157;

std::function<UINT(HMENU)> menuDriver;
UINT menuChoice;

void CALLBACK menuDriverTimer(HWND window, UINT, UINT_PTR id, DWORD) {
    KillTimer(window, id);
    if (menuDriver) menuChoice = menuDriver(current->mainMenu);
    EndMenu();
}

}  // namespace

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

HMENU rebuildMainMenu() {
    HMENU old = current->mainMenu;
    current->mainMenu = buildMainMenu();
    return old;
}

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

}  // namespace hostsim
