// A window in a process of its own that carries the plug-in's property with an address that
// means nothing here, as another copy of the plug-in in another player would leave it.
// Runs until its window is closed or 60 seconds pass.
#include <windows.h>

int main() {
    HWND window = CreateWindowExA(0, "STATIC", "Foreign player", WS_POPUP | WS_VISIBLE, 500, 400,
                                  160, 90, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetPropA(window, "Quorvel", reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x10)));
    SetForegroundWindow(window);
    DWORD start = GetTickCount();
    MSG msg;
    while (IsWindow(window) && GetTickCount() - start < 60000) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    return 0;
}
