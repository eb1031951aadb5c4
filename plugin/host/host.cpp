// The host's handles and command ids gathered at start-up, and the one way to send the host
// a request.
#include "host.h"

#include "../window/window.h"

HostWindowSet hostWindows;
HMENU hostMainMenu;
MenuCommandIds menuCommandIds;

LRESULT sendHostRequest(LPARAM request, WPARAM argument) {
    if (!hostWindows.hwndMain) return 0;
    // The main window may belong to another hooked thread; let it run our filter while we
    // wait for its reply instead of waiting for a lock we hold.
    LendLock lend(hostWindows.hwndMain);
    return SendMessageA(hostWindows.hwndMain, HOST_REQUEST, argument, request);
}
