// Keeping the library loaded while its own windows and modal loops exist.
#include "window.h"

// The library's own module handle: the allocation its code lies in. (The host may hand
// anything to the descriptor, so that handle is not used here.)
static HMODULE ownModule() {
    MEMORY_BASIC_INFORMATION info = {};
    if (!VirtualQuery(reinterpret_cast<void*>(&ownModule), &info, sizeof info)) return nullptr;
    return static_cast<HMODULE>(info.AllocationBase);
}

bool pinModule() {
    HMODULE self = ownModule();
    char path[MAX_PATH] = "";
    DWORD length = self ? GetModuleFileNameA(self, path, sizeof path) : 0;
    if (length == 0 || length >= sizeof path) return false;
    HMODULE again = LoadLibraryA(path);
    if (again && again != self) {
        FreeLibrary(again);             // another file of the same name: not a reference on us
        again = nullptr;
    }
    // The reference is kept on purpose; unpinModule gives it back.
    // cppcheck-suppress resourceLeak
    return again != nullptr;
}

void unpinModule() {
    // The thread starts in FreeLibrary itself and ends in the system when it returns, so
    // that nothing returns into this library after the last reference is gone. If it cannot
    // start, the reference stays: the library then lives on until the process ends.
    auto release = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "FreeLibrary")));
    HANDLE thread = release ? CreateThread(nullptr, 0, release, ownModule(), 0, nullptr) : nullptr;
    if (thread) CloseHandle(thread);
}
