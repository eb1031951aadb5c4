// The window folder's own helpers for the layered style, shared by its two files.
#pragma once

#include <windows.h>

// True while WS_EX_LAYERED is on the window because the plug-in added it.
bool layeredByUs(HWND window);
// Takes away WS_EX_LAYERED if the plug-in added it (the window's procedure runs, outside the
// lock); a style someone else set stays.
void unlayer(HWND window);
// Shows a window the plug-in layered fully opaque without running any window procedure.
void showOpaqueWithoutMessages(HWND window);
