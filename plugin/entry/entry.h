// The way in: the export and start-up the host calls, the library entry point, the
// per-thread hooks and the message filter with its routing tables, the one place that
// knows every handler. No layer includes it: only this folder, the tests and the benchmarks.
#pragma once

#include <windows.h>

#include "../host/host.h"

// ---- Export and start-up -------------------------------------------------------------------

extern "C" __declspec(dllexport) PluginDescriptor* winampGetGeneralPurposePlugin();

int pluginInit();
void pluginConfig();
void pluginQuit();

// Nonzero when the system supports layered windows as the plug-in needs them (version 5.0
// with service pack 1 or later). Asks the platform afresh on every call.
BOOL isAlphaBlendingSupported();

// ---- Hooks ---------------------------------------------------------------------------------

// One per hooked thread, from the local heap, reachable through the TLS slot hookSlot.
// The two handles come first; the links keep every pair reachable for unloading.
struct HookPair {
    HHOOK getMessageHandle;
    HHOOK callWndProcHandle;
    HookPair* next;
    HookPair* prev;
    DWORD thread;
};

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
bool installHookPair();
void releaseHookPair();
LRESULT CALLBACK getMessageHook(int code, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK callWndProcHook(int code, WPARAM wParam, LPARAM lParam);

// True in a copy of the plug-in that found another copy active in this process at load: it
// installs nothing and does nothing.
bool isInertCopy();
// In an inert copy: whether the copy that was active when it was loaded still is.
bool activeCopyRemains();

// Calls visit on every window of this process: top-level and message-only windows and all
// their descendants.
void forEachProcessWindow(void (*visit)(HWND));

// ---- The filter ----------------------------------------------------------------------------

// How a message reached the filter: sent to its window (the call-window hook, which runs
// inside the sender's call, so a pointer it carries points at the sender's data), or taken
// from the thread's queue (posted to a window, or a thread message without one), where
// anyone may have put any number.
enum class Delivery { Posted, Sent };

// Observes one message of a hooked thread; always returns 1 (pass the message on unchanged).
// A message whose lParam the plug-in reads through is acted on only when it was sent and
// the pointer is not null; otherwise it passes by.
int messageFilter(HWND window, UINT message, WPARAM wParam, LPARAM lParam, Delivery delivery);

// A host window: one of the five start-up handles, or of class "Winamp Gen".
bool isHostWindow(HWND window);
// A managed window: a host window that is its own root owner.
bool isManagedWindow(HWND window);
