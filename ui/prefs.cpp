// Alpha Blending preferences tab and page.
#include "ui.h"

void onTabInitDialog(HWND, WPARAM, LPARAM) {}
void onTabNotify(HWND, WPARAM, LPARAM) {}
void onTabSelect(HWND, WPARAM, LPARAM) {}
INT_PTR CALLBACK alphaPageProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
