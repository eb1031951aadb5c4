// Settings and user interface: the Window Settings menu, the Custom Opacity dialog and the
// Alpha Blending preferences tab and page.
#pragma once

#include <windows.h>

// ---- Window Settings menu (cases of the filter for managed windows, lock held) -------------

void onMenuInit(HWND window, WPARAM wParam, LPARAM lParam);         // WM_INITMENU
void onMenuUninit(HWND window, WPARAM wParam, LPARAM lParam);       // WM_UNINITMENUPOPUP
void onMenuCommand(HWND window, WPARAM wParam, LPARAM lParam);      // WM_COMMAND, WM_SYSCOMMAND

// Takes "Window Settings" and its separator out of the host menu they were inserted into,
// if they are there; destroyPopups false leaves the four popups alive (while unloading,
// when one of them may still be on screen). Lock held, or nothing else running.
void removeWindowSettings(bool destroyPopups);

// ---- Preferences tab (cases of the filter for other windows; each takes the lock itself) ---

void onTabInitDialog(HWND window, WPARAM wParam, LPARAM lParam);    // WM_INITDIALOG
void onTabNotify(HWND window, WPARAM wParam, LPARAM lParam);        // WM_NOTIFY
void onTabSelect(HWND window, WPARAM wParam, LPARAM lParam);        // TCM_SETCURSEL, TCM_SETCURFOCUS

// Item data (TCITEMA lParam) that marks the "Alpha Blending" item in the host's tab control.
constexpr LPARAM ALPHA_TAB_PARAM = 10463;
constexpr char ALPHA_TAB_TEXT[] = "Alpha Blending";
constexpr int ALPHA_TAB_INDEX = 255;        // past any item present: the control appends it

// Opacity slider conversions of the page. Pure: exposed for tests.
// The percentage shown for an alpha: integer part of alpha x 100, divided by 255.
int opacityPercentOf(float alpha);
// The alpha of a slider position: shown = position x 255 x 0.01 (single-precision 0.01,
// rounded to float), stored = the same product rounded up to a whole number.
struct SliderAlpha {
    float shown;
    float stored;
};
SliderAlpha alphaOfPercent(int percent);

// ---- Dialog procedures ---------------------------------------------------------------------

INT_PTR CALLBACK customOpacityProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK alphaPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Shared state of the menu and the Custom Opacity dialog --------------------------------

extern HWND menuTarget;     // the foreground window when the host's main menu last opened
extern HWND customTarget;   // the window the Custom Opacity dialog last opened for

// The Custom command (lock held): stops the fades of timerWindow and opens the Custom Opacity
// dialog for menuTarget once this thread has left the lock, as the dialog's modal loop must
// never run under it. While a dialog is open, brings that one to the front instead.
void openCustomDialog(HWND timerWindow);

// Stores and shows the resting alpha of a percentage: on every managed window when linked,
// on the window (if it has a record) otherwise; writes it at once.
void setOpacityPercent(HWND window, float percent);
