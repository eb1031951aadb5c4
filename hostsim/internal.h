// What the host emulator's files share among themselves; not for the tests or the demo.
#pragma once

#include "hostsim.h"

namespace hostsim {

// The running host, or null between stop() and the next start().
extern Host* current;

// Window classes of the host's windows (windows.cpp); registering them twice is harmless.
void registerClass(const char* name);
void registerClasses();

// The host's main popup menu, built once per start (menu.cpp).
HMENU buildMainMenu();

// The main window's answer to a request (requests.cpp).
LRESULT answerRequest(WPARAM argument, LPARAM request);
// Forgets every registered embedded window without destroying it (requests.cpp).
void clearEmbedded();

}  // namespace hostsim
