// Host emulator: threads with a message loop, and pumping the calling thread's messages.
#include "hostsim.h"

#include "internal.h"

namespace hostsim {
namespace {

constexpr UINT RUN_ON_THREAD = WM_APP + 0x51;

}  // namespace

// ---- Threads -------------------------------------------------------------------------------

struct ThreadCall {
    std::function<void()> fn;
    HANDLE done;
};

DWORD WINAPI WindowThread::main(void* self) {
    WindowThread* t = static_cast<WindowThread*>(self);
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);     // make the queue before anyone posts
    SetEvent(t->ready_);
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!msg.hwnd && msg.message == RUN_ON_THREAD) {
            ThreadCall* call = reinterpret_cast<ThreadCall*>(msg.lParam);
            call->fn();
            if (call->done) SetEvent(call->done);
            else delete call;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

WindowThread::WindowThread() {
    ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, main, this, 0, &threadId_);
    WaitForSingleObject(ready_, INFINITE);
}

WindowThread::~WindowThread() {
    stop();
    CloseHandle(ready_);
}

void WindowThread::stop() {
    if (!thread_) return;
    PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    waitPumping(thread_, 30000);
    CloseHandle(thread_);
    thread_ = nullptr;
}

void WindowThread::run(const std::function<void()>& fn) {
    ThreadCall call{fn, CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    PostThreadMessageA(threadId_, RUN_ON_THREAD, 0, reinterpret_cast<LPARAM>(&call));
    waitPumping(call.done, INFINITE);
    CloseHandle(call.done);
}

void WindowThread::post(const std::function<void()>& fn) {
    ThreadCall* call = new ThreadCall{fn, nullptr};
    PostThreadMessageA(threadId_, RUN_ON_THREAD, 0, reinterpret_cast<LPARAM>(call));
}

// ---- Pumping -------------------------------------------------------------------------------

namespace {
void dispatchPending() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) continue;
        if (current && current->prefs && IsDialogMessageA(current->prefs, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}
}  // namespace

void pump(DWORD ms) {
    DWORD start = GetTickCount();
    do {
        dispatchPending();
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
    } while (true);
}

bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        dispatchPending();
        if (done()) return true;
        if (GetTickCount() - start >= timeoutMs) return done();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

bool waitPumping(HANDLE handle, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        DWORD left = timeoutMs == INFINITE ? INFINITE : (elapsed >= timeoutMs ? 0 : timeoutMs - elapsed);
        DWORD r = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) return true;
        if (r != WAIT_OBJECT_0 + 1) return false;
        dispatchPending();
    }
}

}  // namespace hostsim
