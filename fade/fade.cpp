// Fade engine: the three fade timers, their ticks and the triggers that start them.
#include "fade.h"

#include "../hooks/hooks.h"

void CALLBACK fadeTimerProc(HWND, UINT, UINT_PTR, DWORD) {}

void killFadeTimers(HWND window) {
    if (!window) return;
    KillTimer(window, TIMER_FADE_IN);
    KillTimer(window, TIMER_HOLD);
    KillTimer(window, TIMER_FADE_OUT);
}

void startFadeOut(HWND window) {
    KillTimer(window, TIMER_HOLD);
    KillTimer(window, TIMER_FADE_IN);
    SetTimer(window, TIMER_FADE_OUT, FADE_TICK_MS, fadeTimerProc);
}

void onFadeSetFocus(HWND, WPARAM, LPARAM) {}
void onFadeKillFocus(HWND, WPARAM, LPARAM) {}
void onFadeHover(HWND, WPARAM, LPARAM) {}
