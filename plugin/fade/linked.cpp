// Linked broadcast: one alpha, or a restore or stop request, to every managed window.
//
// The five host windows are addressed by handle, the embedded windows through the host's
// enumeration, whose callback receives the request code in EmbedEnumParam::user_data:
// LINKED_RESTORE (0), LINKED_STOP_TIMERS (2), or an alpha. Callers never pass an alpha that
// could be read as a code: alphas are 0 (restore) or at least 25.
#include "fade.h"

#include <initializer_list>
#include <type_traits>

#include "../host/host.h"
#include "../window/window.h"

// The host calls the callback caller-cleans and pops its two arguments itself. On the
// 32-bit build the convention is part of the type: a callee-cleans callback would return
// with "ret 8" and the host's stack would drift by 8 bytes for every window it visits.
using HostEnumCallback = int(__cdecl*)(void*, EmbedEnumParam*);
static_assert(std::is_same<decltype(EmbedEnumParam::callback), HostEnumCallback>::value,
              "the host calls the enumeration callback caller-cleans");
static_assert(std::is_same<decltype(&linkedEnumProc), HostEnumCallback>::value,
              "linkedEnumProc must be caller-cleans");

namespace {

void enumerateEmbedded(int code) {
    EmbedEnumParam param = {linkedEnumProc, code};
    sendHostRequest(HOST_ENUM_EMBED_WINDOWS, reinterpret_cast<WPARAM>(&param));
}

}  // namespace

void applyLinkedOpacity(float alpha) {
    // One decision for every window, made now; each window then shows its newest decision,
    // which is this one unless a newer one is made before the broadcast reaches it.
    decideBroadcastAlpha(alpha);
    const HostWindowSet& h = hostWindows;
    for (HWND window : {h.hwndMain, h.hwndEqualizer, h.hwndMinibrowser, h.hwndPlaylist, h.hwndVideo})
        if (window) showDecidedAlpha(window, getRecord(window));
    enumerateEmbedded(static_cast<int>(alpha) & 0xFF);
}

void resetLinkedWindows() {
    const HostWindowSet& h = hostWindows;
    for (HWND window : {h.hwndMain, h.hwndEqualizer, h.hwndPlaylist, h.hwndMinibrowser, h.hwndVideo})
        killFadeTimers(window);
    enumerateEmbedded(LINKED_STOP_TIMERS);
}

int __cdecl linkedEnumProc(void* hostRecord, EmbedEnumParam* param) {
    HWND window = *static_cast<HWND*>(hostRecord);
    if (GetAncestor(window, GA_ROOTOWNER) != window) return 0;
    // The request that calls back is sent outside the lock; the records are read under it.
    FilterLockGuard lock;
    if (!lock) return 0;
    WindowOpacityRecord* record = getRecord(window);
    if (!record) return 0;
    // A restore or an alpha was decided for every window when the request was sent; the
    // window shows its newest decision, which is that one unless a newer one came since.
    if (param->user_data == LINKED_STOP_TIMERS) killFadeTimers(window);
    else showDecidedAlpha(window, record);
    return 0;
}
