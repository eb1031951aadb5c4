// Custom Opacity dialog.
#include "ui.h"

INT_PTR CALLBACK customOpacityProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
