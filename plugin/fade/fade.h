// Opacity behaviour: the fade timers and their triggers, and the linked broadcast that
// shows one alpha on every managed window.
#pragma once

#include <windows.h>

constexpr UINT_PTR TIMER_FADE_IN = 101;
constexpr UINT_PTR TIMER_FADE_OUT = 102;
constexpr UINT_PTR TIMER_HOLD = 103;
constexpr UINT FADE_TICK_MS = 10;

// In-band codes of EmbedEnumParam::user_data; any other value is an alpha.
constexpr int LINKED_RESTORE = 0;
constexpr int LINKED_STOP_TIMERS = 2;

// ---- Fade engine ---------------------------------------------------------------------------

void CALLBACK fadeTimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD time);
void killFadeTimers(HWND window);     // stops 101, 103 and 102, in that order
void startFadeOut(HWND window);       // stops 103 and 101, starts 102 at 10 ms
// Starts (or restarts) fade timer 101 or 102 at 10 ms on the timer window, and the fade's
// clock with it.
void startFadeTimer(HWND window, UINT_PTR id);

// Trigger cases of the message filter for managed windows (lock held).
void onFadeSetFocus(HWND window, WPARAM wParam, LPARAM lParam);
void onFadeKillFocus(HWND window, WPARAM wParam, LPARAM lParam);
void onFadeHover(HWND window, WPARAM wParam, LPARAM lParam);   // WM_SETCURSOR, WM_NCHITTEST, WM_MOUSEMOVE

// ---- Linked broadcast ----------------------------------------------------------------------

// Shows alpha on every managed window (0.0 restores each window's own resting alpha).
void applyLinkedOpacity(float alpha);
// Stops the fade timers of every host window and attached embedded window.
void resetLinkedWindows();
// Called by the host for each embedded window during HOST_ENUM_EMBED_WINDOWS.
struct EmbedEnumParam;
int __cdecl linkedEnumProc(void* hostRecord, EmbedEnumParam* param);
