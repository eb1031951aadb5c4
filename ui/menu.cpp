// Window Settings menu: inserted into the host's main menu while it is open.
#include "ui.h"

void onMenuInit(HWND, WPARAM, LPARAM) {}
void onMenuUninit(HWND, WPARAM, LPARAM) {}
void onMenuCommand(HWND, WPARAM, LPARAM) {}
