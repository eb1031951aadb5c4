// The library entry point and the per-thread hook pairs.
//
// Every thread of the host gets a WH_GETMESSAGE and a WH_CALLWNDPROC hook when it starts
// (the loading thread at process attach). The pairs are also kept in a list, so that when
// the library is freed while other threads still run, all their hooks can be removed and
// every call still inside library code can be waited for before the code goes away.
#include "entry.h"

#include "../dock/dock.h"
#include "../fade/fade.h"
#include "../ui/ui.h"
#include "../window/window.h"

namespace {

DWORD hookSlot = TLS_OUT_OF_INDEXES;

// Every live pair, so that unloading can reach the hooks of all threads. Guarded by its own
// small lock, which is never held while calling anything that could wait.
CRITICAL_SECTION pairListLock;
HookPair* pairList;

void linkPair(HookPair* pair) {
    EnterCriticalSection(&pairListLock);
    pair->next = pairList;
    if (pairList) pairList->prev = pair;
    pairList = pair;
    LeaveCriticalSection(&pairListLock);
}

void unlinkPair(HookPair* pair) {
    EnterCriticalSection(&pairListLock);
    if (pair->prev) pair->prev->next = pair->next;
    else pairList = pair->next;
    if (pair->next) pair->next->prev = pair->prev;
    LeaveCriticalSection(&pairListLock);
}

HookPair* currentPair() {
    return static_cast<HookPair*>(TlsGetValue(hookSlot));
}

// Fade and dock timers call library code from whichever thread owns their window, and a
// hidden or re-parented window keeps its timers without keeping its record. Stop them on
// every host window of this process before the code goes away.
void stopTimers(HWND window) {
    if (!isHostWindow(window)) return;
    killFadeTimers(window);
    killDockTimers(window);
}

BOOL CALLBACK stopTimersOfChild(HWND window, LPARAM) {
    stopTimers(window);
    return TRUE;
}

BOOL CALLBACK stopTimersOfTopLevel(HWND window, LPARAM) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId()) return TRUE;
    stopTimers(window);
    EnumChildWindows(window, stopTimersOfChild, 0);
    return TRUE;
}

// Freeing the library while the process goes on: stop every thread's hooks and the fade
// timers, wait until no hook or tick is inside library code any more, and only then release
// what they use.
void unloadWhileRunning() {
    beginShutdown();
    EnterCriticalSection(&pairListLock);
    for (HookPair* p = pairList; p; p = p->next) {
        UnhookWindowsHookEx(p->getMessageHandle);
        UnhookWindowsHookEx(p->callWndProcHandle);
    }
    LeaveCriticalSection(&pairListLock);
    EnumWindows(stopTimersOfTopLevel, 0);
    // Message-only windows are no top-level windows to EnumWindows, yet a "Winamp Gen"
    // window can be one and fade.
    for (HWND w = FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); w;
         w = FindWindowExA(HWND_MESSAGE, w, nullptr, nullptr))
        stopTimersOfTopLevel(w, 0);

    waitForCallsToDrain(2000);
    // Nothing of ours runs any more: give the host its menu back as it was, and the shell
    // every edge our windows hold.
    removeWindowSettings(false);
    undockAll();
    deleteFilterLock();

    HookPair* p = pairList;
    pairList = nullptr;
    while (p) {
        HookPair* next = p->next;
        LocalFree(p);
        p = next;
    }
    TlsSetValue(hookSlot, nullptr);
}

}  // namespace

bool installHookPair() {
    HookPair* pair = static_cast<HookPair*>(LocalAlloc(LMEM_ZEROINIT, sizeof(HookPair)));
    if (!pair) return false;
    DWORD thread = GetCurrentThreadId();
    pair->getMessageHandle = SetWindowsHookExA(WH_GETMESSAGE, getMessageHook, nullptr, thread);
    pair->callWndProcHandle = SetWindowsHookExA(WH_CALLWNDPROC, callWndProcHook, nullptr, thread);
    linkPair(pair);
    TlsSetValue(hookSlot, pair);
    return true;
}

void releaseHookPair() {
    HookPair* pair = currentPair();
    if (!pair) return;
    TlsSetValue(hookSlot, nullptr);
    unlinkPair(pair);
    UnhookWindowsHookEx(pair->getMessageHandle);
    UnhookWindowsHookEx(pair->callWndProcHandle);
    LocalFree(pair);
}

LRESULT CALLBACK getMessageHook(int code, WPARAM wParam, LPARAM lParam) {
    InFlightCall call;
    if (isShuttingDown()) return CallNextHookEx(nullptr, code, wParam, lParam);
    HookPair* pair = currentPair();
    HHOOK own = pair ? pair->getMessageHandle : nullptr;
    if (code >= 0) {
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        messageFilter(msg->hwnd, msg->message, msg->wParam, msg->lParam, Delivery::Posted);
    }
    return CallNextHookEx(own, code, wParam, lParam);
}

LRESULT CALLBACK callWndProcHook(int code, WPARAM wParam, LPARAM lParam) {
    InFlightCall call;
    if (isShuttingDown()) return CallNextHookEx(nullptr, code, wParam, lParam);
    HookPair* pair = currentPair();
    HHOOK own = pair ? pair->callWndProcHandle : nullptr;
    if (code >= 0) {
        const CWPSTRUCT* cwp = reinterpret_cast<const CWPSTRUCT*>(lParam);
        messageFilter(cwp->hwnd, cwp->message, cwp->wParam, cwp->lParam, Delivery::Sent);
    }
    return CallNextHookEx(own, code, wParam, lParam);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (!isAlphaBlendingSupported()) return TRUE;   // inert: no lock, no slot, no hooks

    switch (reason) {
    case DLL_PROCESS_ATTACH:
        createFilterLock();
        InitializeCriticalSection(&pairListLock);
        hookSlot = TlsAlloc();
        if (hookSlot == TLS_OUT_OF_INDEXES) return FALSE;
        return installHookPair() ? TRUE : FALSE;
    case DLL_THREAD_ATTACH:
        return installHookPair() ? TRUE : FALSE;
    case DLL_THREAD_DETACH:
        releaseHookPair();
        return TRUE;
    case DLL_PROCESS_DETACH:
        if (reserved == nullptr) {
            unloadWhileRunning();
        } else {
            // The process is ending and its other threads are gone already.
            beginShutdown();
            deleteFilterLock();
            releaseHookPair();
        }
        DeleteCriticalSection(&pairListLock);
        TlsFree(hookSlot);
        return TRUE;
    default:
        return TRUE;
    }
}
