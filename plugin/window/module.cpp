// Keeping the library loaded while its own windows and modal loops exist.
#include "window.h"

namespace {

// One reference each, held by a thread (0: a free slot) and possibly handed to one of its
// windows. A slot is claimed with an interlocked exchange and from then on touched only by
// its thread (window procedures and the thread's detach notification all run on it).
struct Pin {
    volatile LONG thread;
    HWND window;
};
constexpr int PIN_COUNT = 16;
Pin pins[PIN_COUNT];

constexpr DWORD PIN_WAIT_MS = 2000;

// The library's own module handle: the allocation its code lies in. (The host may hand
// anything to the descriptor, so that handle is not used here.)
HMODULE ownModule() {
    MEMORY_BASIC_INFORMATION info = {};
    if (!VirtualQuery(reinterpret_cast<void*>(&ownModule), &info, sizeof info)) return nullptr;
    return static_cast<HMODULE>(info.AllocationBase);
}

// The system loader's lock: the critical section the process environment block points to,
// at the same place in every version of the system.
CRITICAL_SECTION* loaderLock() {
    BYTE* peb;
#if defined(_WIN64)
    __asm__("movq %%gs:0x60, %0" : "=r"(peb));
    constexpr size_t LOADER_LOCK_OFFSET = 0x110;
#else
    __asm__("movl %%fs:0x30, %0" : "=r"(peb));
    constexpr size_t LOADER_LOCK_OFFSET = 0xA0;
#endif
    return *reinterpret_cast<CRITICAL_SECTION**>(peb + LOADER_LOCK_OFFSET);
}

// Holds the loader lock only when it is free now, or comes free while we wait without
// unloading having begun. An unloading thread holds it and waits for every call of ours to
// leave; blocking on it here, in LoadLibraryA, would keep this call in the library until
// the unloading thread gives up waiting and unmaps the code under it.
bool tryLoaderLock(CRITICAL_SECTION* loader) {
    DWORD start = GetTickCount();
    while (!TryEnterCriticalSection(loader)) {
        if (isShuttingDown() || GetTickCount() - start >= PIN_WAIT_MS) return false;
        // Serve what is sent to us meanwhile: the holder may be waiting for our answer.
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        MsgWaitForMultipleObjectsEx(0, nullptr, 1, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
    }
    if (!isShuttingDown()) return true;
    LeaveCriticalSection(loader);
    return false;
}

// One more reference on the library, taken with the loader lock already held, so that
// LoadLibraryA only counts it.
bool addReference() {
    HMODULE self = ownModule();
    CRITICAL_SECTION* loader = loaderLock();
    if (!self || !loader || !tryLoaderLock(loader)) return false;
    char path[MAX_PATH] = "";
    DWORD length = GetModuleFileNameA(self, path, sizeof path);
    HMODULE again = length > 0 && length < sizeof path ? LoadLibraryA(path) : nullptr;
    if (again && again != self) {
        FreeLibrary(again);             // another file of the same name: not a reference on us
        again = nullptr;
    }
    LeaveCriticalSection(loader);
    // The reference is kept on purpose; releaseReference gives it back.
    // cppcheck-suppress resourceLeak
    return again != nullptr;
}

void releaseReference() {
    // The thread starts in FreeLibrary itself and ends in the system when it returns, so
    // that nothing returns into this library after the last reference is gone. If it cannot
    // start, the reference stays: the library then lives on until the process ends.
    // FreeLibrary is the system's own address (an import), not a stub in this library.
    auto release = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(&FreeLibrary));
    HANDLE thread = CreateThread(nullptr, 0, release, ownModule(), 0, nullptr);
    if (thread) CloseHandle(thread);
}

void releaseSlot(Pin& pin) {
    pin.window = nullptr;
    InterlockedExchange(&pin.thread, 0);
    releaseReference();
}

bool ownSlot(int pin) {
    return pin >= 0 && pin < PIN_COUNT &&
           static_cast<DWORD>(pins[pin].thread) == GetCurrentThreadId();
}

}  // namespace

int pinModule() {
    LONG self = static_cast<LONG>(GetCurrentThreadId());
    for (int i = 0; i < PIN_COUNT; ++i) {
        if (InterlockedCompareExchange(&pins[i].thread, self, 0) != 0) continue;
        pins[i].window = nullptr;
        if (addReference()) return i;
        InterlockedExchange(&pins[i].thread, 0);
        return -1;
    }
    return -1;
}

void unpinModule(int pin) {
    // A pin handed to a window goes back with that window (or its thread).
    if (ownSlot(pin) && !pins[pin].window) releaseSlot(pins[pin]);
}

bool handPinTo(int pin, HWND window) {
    if (!ownSlot(pin) || pins[pin].window) return false;
    pins[pin].window = window;
    return true;
}

// cppcheck-suppress constParameter ; a window handle, compared only
void unpinWindow(HWND window) {
    if (!window) return;
    for (int i = 0; i < PIN_COUNT; ++i)
        if (ownSlot(i) && pins[i].window == window) releaseSlot(pins[i]);
}

void unpinThread(DWORD thread) {
    for (Pin& pin : pins)
        if (static_cast<DWORD>(pin.thread) == thread) releaseSlot(pin);
}
