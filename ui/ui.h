// Settings and user interface: the Window Settings menu, the Custom Opacity dialog and the
// Alpha Blending preferences tab and page.
#pragma once

#include <windows.h>

// ---- Window Settings menu (cases of the filter for managed windows, lock held) -------------

void onMenuInit(HWND window, WPARAM wParam, LPARAM lParam);         // WM_INITMENU
void onMenuUninit(HWND window, WPARAM wParam, LPARAM lParam);       // WM_UNINITMENUPOPUP
void onMenuCommand(HWND window, WPARAM wParam, LPARAM lParam);      // WM_COMMAND, WM_SYSCOMMAND

// ---- Preferences tab (cases of the filter for other windows, lock held) --------------------

void onTabInitDialog(HWND window, WPARAM wParam, LPARAM lParam);    // WM_INITDIALOG
void onTabNotify(HWND window, WPARAM wParam, LPARAM lParam);        // WM_NOTIFY
void onTabSelect(HWND window, WPARAM wParam, LPARAM lParam);        // TCM_SETCURSEL, TCM_SETCURFOCUS

// ---- Dialog procedures ---------------------------------------------------------------------

INT_PTR CALLBACK customOpacityProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK alphaPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Shared state of the menu and the Custom Opacity dialog --------------------------------

extern HWND menuTarget;     // the foreground window when the host's main menu last opened
extern HWND customTarget;   // the window the Custom Opacity dialog last opened for

// Stores and shows the resting alpha of a percentage: on every managed window when linked,
// on the window (if it has a record) otherwise; writes it at once.
void setOpacityPercent(HWND window, float percent);
