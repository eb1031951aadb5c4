// The host's handles and command ids gathered at start-up, and the one way to send the host
// a request.
#include "host.h"

#include "../window/window.h"

HostWindowSet hostWindows;
HMENU hostMainMenu;
MenuCommandIds menuCommandIds;

LRESULT sendHostRequest(LPARAM request, WPARAM argument) {
    if (!hostWindows.hwndMain) return 0;
    // The host's procedure runs whatever it likes, on its own thread or another one.
    OutsideLock outside;
    return SendMessageA(hostWindows.hwndMain, HOST_REQUEST, argument, request);
}
