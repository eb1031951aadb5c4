// At rest the plug-in costs nothing: once its windows are painted and any fade has run its
// course, no timer of the plug-in runs and nothing is written to the INI file.
#include "support/harness.h"

#include <string.h>

#include <fstream>
#include <sstream>

using namespace hostsim;

namespace {

// Counts WM_TIMER messages that the test thread retrieves for the given windows. The
// test's own hook sees every message the thread's loop takes from its queue.
HHOOK timerWatch;
HWND watched[8];
int watchedCount;
int timerMessages;

LRESULT CALLBACK watchTimers(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0) {
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg->message == WM_TIMER)
            for (int i = 0; i < watchedCount; ++i)
                if (msg->hwnd == watched[i]) ++timerMessages;
    }
    return CallNextHookEx(timerWatch, code, wParam, lParam);
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

FILETIME lastWrite(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

}  // namespace

TEST_CASE("after a fade has run out no timer runs, and neither fade nor rest writes the INI file") {
    // Short fades, so that settling after the hover below takes little time.
    Options options;
    options.iniText = quorvelSection({"cfg_fadein=40", "cfg_hold=150", "cfg_fadeout=40", "cfg_opaque=128"});
    Session s(options);
    SetCursorPos(1020, 760);    // away from every window, so no real hover keeps a fade going
    HWND embedded = addEmbedded("Resting embedded");
    HWND windows[] = {s.host.main, s.host.equalizer, s.host.playlist, s.host.minibrowser,
                      s.host.video, embedded};
    for (HWND w : windows) paint(w);
    for (HWND w : windows) REQUIRE(recordOf(w) != nullptr);

    // From here on nothing may write the file: neither the fade below nor the rest after it.
    std::string before = fileText(s.host.iniPath);
    FILETIME writtenBefore = lastWrite(s.host.iniPath);
    REQUIRE(!before.empty());

    // A user action first: hovering over the main window starts a fade in linked hover
    // mode; it must run out by itself.
    SendMessageA(s.host.main, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    SendMessageA(s.host.main, WM_SETCURSOR, reinterpret_cast<WPARAM>(s.host.main), HTCLIENT);

    watchedCount = 0;
    for (HWND w : windows) watched[watchedCount++] = w;
    timerWatch = SetWindowsHookExA(WH_GETMESSAGE, watchTimers, nullptr, GetCurrentThreadId());
    REQUIRE(timerWatch != nullptr);

    // Settle: wait until no timer message has come for half a second (10 s at most).
    DWORD start = GetTickCount();
    int seen = -1;
    DWORD quietSince = GetTickCount();
    while (GetTickCount() - start < 10000) {
        pump(20);
        if (timerMessages != seen) {
            seen = timerMessages;
            quietSince = GetTickCount();
        } else if (GetTickCount() - quietSince >= 500) {
            break;
        }
    }
    REQUIRE(GetTickCount() - quietSince >= 500);

    // Rest: for a while, nothing ticks and the file stays exactly as it is.
    timerMessages = 0;
    pump(1500);
    CHECK(timerMessages == 0);
    CHECK(fileText(s.host.iniPath) == before);
    FILETIME writtenAfter = lastWrite(s.host.iniPath);
    CHECK(CompareFileTime(&writtenBefore, &writtenAfter) == 0);

    // No fade timer is left on any managed window (KillTimer reports whether one existed).
    for (HWND w : windows)
        for (UINT_PTR id : {101, 102, 103}) {
            CAPTURE(id);
            CHECK(!KillTimer(w, id));
        }
    UnhookWindowsHookEx(timerWatch);
    removeEmbedded(embedded);
}
