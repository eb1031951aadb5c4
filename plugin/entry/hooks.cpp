// The library entry point and the per-thread hook pairs.
//
// Every thread of the host gets a WH_GETMESSAGE and a WH_CALLWNDPROC hook: the threads that
// already run when the library is loaded at process attach, every later one when it starts.
// The pairs are also kept in a list, so that when the library is freed while other threads
// still run, all their hooks can be removed and every call still inside library code can be
// waited for before the code goes away.
//
// One copy of the plug-in per process: a second file of it that the host loads as well finds
// the first one's marker and stays inert, so that the two never act on the same windows.
#include "entry.h"

#include <tlhelp32.h>

#include "../dock/dock.h"
#include "../fade/fade.h"
#include "../settings/settings.h"
#include "../ui/ui.h"
#include "../window/window.h"

namespace {

DWORD hookSlot = TLS_OUT_OF_INDEXES;

// Held by the active copy for its life; a named object per process.
HANDLE activeCopyMarker;
bool inertCopy;

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

HookPair* listedPair(DWORD thread) {
    EnterCriticalSection(&pairListLock);
    HookPair* p = pairList;
    while (p && p->thread != thread) p = p->next;
    LeaveCriticalSection(&pairListLock);
    return p;
}

// The calling thread's pair. A thread hooked from outside at load finds its pair in the list
// the first time and keeps it in its slot from then on.
HookPair* currentPair() {
    HookPair* pair = static_cast<HookPair*>(TlsGetValue(hookSlot));
    if (!pair && (pair = listedPair(GetCurrentThreadId()))) TlsSetValue(hookSlot, pair);
    return pair;
}

bool installHookPairFor(DWORD thread) {
    HookPair* pair = static_cast<HookPair*>(LocalAlloc(LMEM_ZEROINIT, sizeof(HookPair)));
    if (!pair) return false;
    pair->thread = thread;
    pair->getMessageHandle = SetWindowsHookExA(WH_GETMESSAGE, getMessageHook, nullptr, thread);
    pair->callWndProcHandle = SetWindowsHookExA(WH_CALLWNDPROC, callWndProcHook, nullptr, thread);
    linkPair(pair);
    return true;
}

// Threads that ran before the library was loaded get no thread-attach notification: hook
// each of them from here. A thread started meanwhile is hooked once, by whichever comes
// first.
void hookRunningThreads() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    DWORD process = GetCurrentProcessId();
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != process || listedPair(entry.th32ThreadID)) continue;
        installHookPairFor(entry.th32ThreadID);
    }
    CloseHandle(snapshot);
}

// The marker of the process's active copy: a named object that lives while that copy does.
void markerName(char* name, size_t size) {
    formatText(name, size, "Quorvel-active-copy-%lu", GetCurrentProcessId());
}

// The first copy of the plug-in in this process leaves a marker; a later one finds it.
bool claimProcess() {
    char name[64];
    markerName(name, sizeof name);
    activeCopyMarker = CreateMutexA(nullptr, FALSE, name);
    if (activeCopyMarker && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(activeCopyMarker);
        activeCopyMarker = nullptr;
        return false;
    }
    return true;
}

BOOL CALLBACK visitWithChildren(HWND window, LPARAM visit) {
    auto fn = reinterpret_cast<void (*)(HWND)>(visit);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId()) return TRUE;
    fn(window);
    EnumChildWindows(window, visitWithChildren, visit);
    return TRUE;
}

// Fade and dock timers call library code from whichever thread owns their window, and a
// hidden or re-parented window keeps its timers without keeping its record. Stop them on
// every host window of this process before the code goes away.
void stopTimers(HWND window) {
    if (!isHostWindow(window)) return;
    killFadeTimers(window);
    killDockTimers(window);
}

// A thread that ends takes its windows down without a message the filter would see: their
// records go back now. Most threads have none, and never wait for the lock.
BOOL CALLBACK releaseRecordAtThreadEnd(HWND window, LPARAM) {
    if (!getRecord(window)) return TRUE;
    FilterLockGuard lock;
    if (lock) releaseRecordAtUnload(window);
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
    forEachProcessWindow(stopTimers);

    waitForCallsToDrain(2000);
    // Nothing of ours runs any more: give the host its menu back as it was, the shell every
    // edge our windows hold, and free the records of the windows still attached.
    removeWindowSettings(false);
    undockAll();
    forEachProcessWindow(releaseRecordAtUnload);
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

void forEachProcessWindow(void (*visit)(HWND)) {
    LPARAM fn = reinterpret_cast<LPARAM>(visit);
    EnumWindows(visitWithChildren, fn);
    // Message-only windows are no top-level windows to EnumWindows, yet a "Winamp Gen"
    // window can be one.
    for (HWND w = FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); w;
         w = FindWindowExA(HWND_MESSAGE, w, nullptr, nullptr))
        visitWithChildren(w, fn);
}

bool isInertCopy() { return inertCopy; }

bool activeCopyRemains() {
    char name[64];
    markerName(name, sizeof name);
    HANDLE marker = OpenMutexA(SYNCHRONIZE, FALSE, name);
    if (!marker) return false;
    CloseHandle(marker);
    return true;
}

bool installHookPair() {
    // Hooked already if it started while the library was being loaded.
    if (!currentPair() && !installHookPairFor(GetCurrentThreadId())) return false;
    return currentPair() != nullptr;
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
    // A loop that peeks before it takes (PM_NOREMOVE, then PM_REMOVE) shows us the same
    // message twice; only its removal is its delivery, so a posted toggle acts once.
    if (code >= 0 && wParam == PM_REMOVE) {
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
    if (reason == DLL_PROCESS_ATTACH) inertCopy = !claimProcess();
    if (inertCopy) return TRUE;                     // another copy serves this process

    switch (reason) {
    case DLL_PROCESS_ATTACH:
        createFilterLock();
        InitializeCriticalSection(&pairListLock);
        bindLayeredAlpha();
        hookSlot = TlsAlloc();
        if (hookSlot == TLS_OUT_OF_INDEXES || !installHookPair()) {
            // The system calls us again at once with the detach, which gives back the rest;
            // the marker goes here, and only here.
            CloseHandle(activeCopyMarker);
            activeCopyMarker = nullptr;
            return FALSE;
        }
        hookRunningThreads();
        return TRUE;
    case DLL_THREAD_ATTACH:
        return installHookPair() ? TRUE : FALSE;
    case DLL_THREAD_DETACH:
        // The system takes the thread's windows down without telling them: a page or dialog
        // of ours among them gives its reference on the library back here, and a docked
        // window its edge (the hooks go first, so nothing of ours sees the thread again).
        unpinThread(GetCurrentThreadId());
        releaseHookPair();
        undockThread();
        EnumThreadWindows(GetCurrentThreadId(), releaseRecordAtThreadEnd, 0);
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
        if (activeCopyMarker) CloseHandle(activeCopyMarker);
        activeCopyMarker = nullptr;
        return TRUE;
    default:
        return TRUE;
    }
}
