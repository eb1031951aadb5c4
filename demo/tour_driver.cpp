// The scripted tour's machinery: captures the screen at each step and writes what it saw
// into report.txt.
//
// The host runs on the main thread as usual. A driver thread, started before the plug-in is
// loaded (so it has no hooks of the plug-in), plays the user: it moves the mouse, right-
// clicks, presses keys in the menu, moves sliders and clicks buttons, all by messages and
// input the windows would receive anyway. What must run on the host's thread (starting the
// player, opening a preferences tab) is handed to it through a window of the main thread,
// whose sent messages are served even inside the menu's and the dialogs' modal loops.
// Every wait has a deadline: a feature that is missing is reported, never waited for.
#include "tour.h"

#include <commctrl.h>
#include <stdarg.h>
#include <string.h>

#include <memory>

namespace demo {

namespace {

const char* const WINDOW_NAMES[] = {"main", "equalizer", "playlist", "minibrowser", "video",
                                    "Visualizer (embedded)", "Lyrics (embedded, second thread)"};

// ---- Running code on the host's thread ------------------------------------------------------

constexpr UINT RUN_JOB = WM_APP + 0x71;

struct Job {
    std::function<void()> fn;
    std::atomic<bool> done{false};
};

HWND conductor;
std::atomic<bool> tourFinished{false};

LRESULT CALLBACK conductorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == RUN_JOB) {
        auto* keep = reinterpret_cast<std::shared_ptr<Job>*>(lParam);
        (*keep)->fn();
        (*keep)->done = true;
        delete keep;
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

bool onMain(std::function<void()> fn, DWORD timeoutMs) {
    auto job = std::make_shared<Job>();
    job->fn = std::move(fn);
    auto* keep = new std::shared_ptr<Job>(job);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(conductor, RUN_JOB, 0, reinterpret_cast<LPARAM>(keep), SMTO_NORMAL,
                             timeoutMs, &result))
        return false;
    return job->done;
}

// ---- Small helpers of the driver -----------------------------------------------------------

bool waitFor(const std::function<bool()>& done, DWORD timeoutMs,
             const std::function<void()>& meanwhile) {
    DWORD start = GetTickCount();
    DWORD lastNudge = start;
    for (;;) {
        if (done()) return true;
        DWORD now = GetTickCount();
        if (now - start >= timeoutMs) return done();
        if (meanwhile && now - lastNudge >= 60) {
            meanwhile();
            lastNudge = now;
        }
        Sleep(5);
    }
}

// The alpha a window shows: its layered alpha, or 255 when it is not layered.
int shownAlpha(HWND window) {
    if (!window || !(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_LAYERED)) return 255;
    BYTE alpha = 0;
    DWORD flags = 0;
    COLORREF key = 0;
    if (!GetLayeredWindowAttributes(window, &key, &alpha, &flags)) return -1;
    return alpha;
}

void moveMouse(int x, int y) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof input);
}

POINT centreOf(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

int visiblePopupMenus() {
    int count = 0;
    HWND w = nullptr;
    while ((w = FindWindowExA(nullptr, w, "#32768", nullptr)) != nullptr)
        if (IsWindowVisible(w)) ++count;
    return count;
}

// A message to a window of the host, with a deadline: a host that stops answering makes the
// step fail instead of hanging the tour.
LRESULT ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, 3000, &result)) return 0;
    return static_cast<LRESULT>(result);
}

std::string menuText(HMENU menu, int position) {
    char buffer[128] = "";
    GetMenuStringA(menu, position, buffer, sizeof buffer, MF_BYPOSITION);
    return buffer;
}

bool isSeparator(HMENU menu, int position) {
    return (GetMenuState(menu, position, MF_BYPOSITION) & MF_SEPARATOR) != 0;
}

// Buffers handed to another thread are static: a reply that comes after the deadline still
// writes into memory that exists.
std::string windowText(HWND window) {
    static char buffer[256];
    buffer[0] = '\0';
    if (window) ask(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
    return buffer;
}

// Clicks a button as the mouse would; falls back to the notification a click sends when the
// button does not react (for instance because its window is not active).
void clickButton(HWND button) {
    LRESULT before = ask(button, BM_GETCHECK, 0, 0);
    HWND parent = GetParent(button);
    bool isCheckBox = (GetWindowLongA(button, GWL_STYLE) & 0x0F) == BS_AUTOCHECKBOX;
    PostMessageA(button, BM_CLICK, 0, 0);
    bool reacted = waitFor([&] {
        if (!IsWindow(button)) return true;
        return isCheckBox ? ask(button, BM_GETCHECK, 0, 0) != before : false;
    }, isCheckBox ? 700 : 500);
    if (reacted || !IsWindow(button)) return;
    if (isCheckBox) ask(button, BM_SETCHECK, before ? BST_UNCHECKED : BST_CHECKED, 0);
    PostMessageA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

// ---- The tour's machinery -------------------------------------------------------------------

void Tour::say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    printf("tour: ");
    vprintf(format, args);
    printf("\n");
    fflush(stdout);
    va_end(args);
}

// One line of the report: ok (seen and as expected), not seen (the feature did not show
// up: a stub in this build, or missing), FAILED (it showed up wrong, or the tour broke).
void Tour::note(const char* status, const std::string& shot, const std::string& what) {
    if (!strcmp(status, "ok")) ++seen;
    else if (!strcmp(status, "not seen")) ++notSeen;
    else ++failed;
    std::string line = std::string("[") + status + "] " + (shot.empty() ? "" : shot + ": ") + what;
    if (report) {
        fprintf(report, "%s\n", line.c_str());
        fflush(report);
    }
    say("  %s", line.c_str());
}

std::string Tour::shoot(const char* name, bool withPointer) {
    std::string bmp = folder + "\\" + name + ".bmp";
    if (!captureScreen(bmp, STAGE, withPointer)) {
        note("FAILED", name, "the screen could not be captured");
        return "";
    }
    return std::string(name) + ".png";
}

void Tour::step(const char* title) { say("%d. %s", ++stepNumber, title); }

void Tour::startAnimation(const RECT& area, DWORD periodMs) {
    if (!IntersectRect(&recordedArea, &area, &STAGE)) recordedArea = STAGE;
    recording = startRecording(recordedArea, periodMs);
}

void Tour::endAnimation(const char* name, const std::string& what, bool shown) {
    if (!recording) return;
    DWORD span = 0;
    std::string error;
    int frames = finishRecording(recording, shown ? folder : std::string(), name, span, error);
    recording = nullptr;
    std::string gif = std::string(name) + ".gif";
    if (!shown) {
        note("not seen", gif, what + ": the step did not show it, so no animation");
    } else if (frames == 0) {
        note("FAILED", gif, what + ": " + error);
    } else {
        char made[160];
        snprintf(made, sizeof made, "%d frames of %ldx%ld over %.1f s, in frames\\%s: ", frames,
                 recordedArea.right - recordedArea.left, recordedArea.bottom - recordedArea.top,
                 span / 1000.0, name);
        note("ok", gif, made + what);
    }
}

std::string Tour::iniValue(const char* key) {
    char buffer[128];
    GetPrivateProfileStringA("Quorvel", key, "<absent>", buffer, sizeof buffer, iniPath.c_str());
    return buffer;
}

std::string Tour::alphaList() {
    std::string s;
    for (int i = 0; i < WINDOW_COUNT; ++i)
        s += std::string(i ? ", " : "") + WINDOW_NAMES[i] + " " + std::to_string(shownAlpha(windows[i]));
    return s;
}

bool Tour::allAt(const int* expected) {
    for (int i = 0; i < WINDOW_COUNT; ++i)
        if (shownAlpha(windows[i]) != expected[i]) return false;
    return true;
}

bool Tour::startPhase(const std::string& ini) {
    hostsim::Options options;
    options.iniText = ini;
    started = false;
    bool ran = onMain([this, options] {
        started = startPlayer(player, options, dll, startError);
        if (!started) return;
        hostsim::Host& h = hostsim::host();
        iniPath = h.iniPath;
        HWND all[WINDOW_COUNT] = {h.main, h.equalizer, h.playlist, h.minibrowser, h.video,
                                  player.embeddedMain, player.embeddedThread};
        memcpy(windows, all, sizeof windows);
    }, 30000);
    if (!ran || !started) {
        note("FAILED", "", "the player did not start: " + (ran ? startError : "no answer from the host"));
        return false;
    }
    return true;
}

void Tour::endPhase() {
    onMain([this] { stopPlayer(player); }, 30000);
}

// Right-click on a player window: opens the host's main menu at the mouse position, on
// the thread of that window.
bool Tour::openHostMenu(HWND owner, POINT at) {
    menuOwner = owner;
    moveMouse(at.x, at.y);      // over the backdrop, next to the window
    Sleep(100);
    PostMessageA(owner, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(20, 20));
    PostMessageA(owner, WM_RBUTTONUP, 0, MAKELPARAM(20, 20));
    bool open = waitFor([] { return visiblePopupMenus() >= 1; }, 3000);
    Sleep(150);
    return open;
}

bool Tour::openHostMenu() { return openHostMenu(windows[0], POINT{320, 150}); }

void Tour::closeMenus() {
    for (int i = 0; i < 3 && visiblePopupMenus() > 0; ++i) {
        PostMessageA(menuOwner, WM_KEYDOWN, VK_ESCAPE, 0);
        Sleep(100);
    }
    if (!waitFor([] { return visiblePopupMenus() == 0; }, 1000)) onMain([] { EndMenu(); }, 2000);
    waitFor([] { return visiblePopupMenus() == 0; }, 1000);
}

void Tour::key(UINT vk) {
    PostMessageA(menuOwner, WM_KEYDOWN, vk, 1);
    PostMessageA(menuOwner, WM_KEYUP, vk, 0xC0000001);
    Sleep(60);
}

void Tour::menuChar(char c) { PostMessageA(menuOwner, WM_CHAR, static_cast<WPARAM>(c), 1); }

// With the host menu open: walks to "Window Settings" and opens it, its first item
// selected. Returns its position, or -1 with the host menu's items in items when there is
// no "Window Settings" (the menu is then still open).
int Tour::openSettingsPopup(std::string& items) {
    HMENU menu = hostsim::host().mainMenu;
    int count = GetMenuItemCount(menu);
    int position = -1, downs = 0;
    for (int i = 0; i < count; ++i) {
        if (isSeparator(menu, i)) continue;
        std::string t = menuText(menu, i);
        items += (items.empty() ? "" : ", ") + t;
        ++downs;
        if (t == "Window Settings") {
            position = i;
            break;
        }
    }
    if (position < 0) return -1;
    for (int i = 0; i < downs; ++i) key(VK_DOWN);
    key(VK_RIGHT);                  // opens Window Settings, selects "&Opacity"
    waitFor([] { return visiblePopupMenus() >= 2; }, 1500);
    return position;
}

// Opens the popup at index inside Window Settings, after walking down to it.
HMENU Tour::openSettingsItem(std::string& items, int index) {
    int position = openSettingsPopup(items);
    if (position < 0) return nullptr;
    for (int i = 0; i < index; ++i) key(VK_DOWN);
    key(VK_RIGHT);                  // opens it, selects its first item
    if (!waitFor([] { return visiblePopupMenus() >= 3; }, 1500)) return nullptr;
    Sleep(150);
    HMENU settings = GetSubMenu(hostsim::host().mainMenu, position);
    return settings ? GetSubMenu(settings, index) : nullptr;
}

HMENU Tour::openOpacityPopup(std::string& items) { return openSettingsItem(items, 0); }
bool Tour::openReport() {
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string reportPath = folder + "\\report.txt";
    report = fopen(reportPath.c_str(), "w");
    if (!report) {
        say("cannot write %s", reportPath.c_str());
        return false;
    }
    SYSTEMTIME t;
    GetSystemTime(&t);
    fprintf(report, "Quorvel demo tour, %04d-%02d-%02d %02d:%02d UTC\nplug-in: %s\n\n", t.wYear,
            t.wMonth, t.wDay, t.wHour, t.wMinute, dll.c_str());
    return true;
}

int Tour::closeReport() {
    std::string reportPath = folder + "\\report.txt";
    fprintf(report, "\nseen: %d, not seen: %d, failed: %d\n", seen, notSeen, failed);
    if (notSeen)
        fprintf(report, "\"not seen\" marks a feature that did not show up through its normal "
                        "trigger (not built into this plug-in yet, or missing).\n");
    fclose(report);
    say("done: %d seen, %d not seen, %d failed; report in %s", seen, notSeen, failed, reportPath.c_str());
    // A tour that did not see everything is no demonstration: it must not pass as one.
    if (failed) return 1;
    return notSeen ? 2 : 0;
}

namespace {

Tour* tour;     // lives until the process ends: late jobs may still refer to it
int tourResult = 1;

DWORD WINAPI driverMain(void*) {
    tourResult = tour->run();
    tourFinished = true;
    PostMessageA(conductor, WM_NULL, 0, 0);     // wake the host's loop
    return 0;
}

}  // namespace

int runTour(const std::string& dllPath, const std::string& folder) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = conductorProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "QuorvelDemoConductor";
    RegisterClassA(&wc);
    conductor = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                wc.hInstance, nullptr);
    createBackdrop();

    tour = new Tour();
    tour->dll = dllPath;
    tour->folder = folder;
    // Started before the plug-in is loaded, so the driver thread never gets its hooks.
    HANDLE driver = CreateThread(nullptr, 0, driverMain, nullptr, 0, nullptr);
    while (!tourFinished) hostsim::pump(50);
    hostsim::waitPumping(driver, 10000);
    CloseHandle(driver);
    return tourResult;
}

}  // namespace demo
