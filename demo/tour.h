// The scripted tour's parts: its machinery (tour_driver.cpp) runs code on the host's
// thread, plays the user, captures the screen and writes the report; its steps (tour.cpp)
// say what to show and what to expect.
#pragma once

#include <windows.h>

#include <stdio.h>

#include <functional>
#include <string>

#include "demo.h"

namespace demo {

// The windows the tour watches: main, equalizer, playlist, minibrowser, video, and the two
// embedded windows.
constexpr int WINDOW_COUNT = 7;

// ---- Running code on the host's thread and playing the user (tour_driver.cpp) --------------

// Runs fn on the host's thread and waits for it at most timeoutMs. Jobs capture only the
// tour object or values, so one that runs after its deadline touches nothing that is gone.
bool onMain(std::function<void()> fn, DWORD timeoutMs = 8000);
bool waitFor(const std::function<bool()>& done, DWORD timeoutMs,
             const std::function<void()>& meanwhile = nullptr);
// The alpha a window shows: its layered alpha, or 255 when it is not layered.
int shownAlpha(HWND window);
void moveMouse(int x, int y);
POINT centreOf(HWND window);
int visiblePopupMenus();
// A message to a window of the host, with a deadline: a host that stops answering makes the
// step fail instead of hanging the tour.
LRESULT ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
std::string menuText(HMENU menu, int position);
bool isSeparator(HMENU menu, int position);
std::string windowText(HWND window);
// Clicks a button as the mouse would; falls back to the notification a click sends when the
// button does not react (for instance because its window is not active).
void clickButton(HWND button);

// ---- The tour ------------------------------------------------------------------------------

struct Tour {
    std::string dll;
    std::string folder;
    FILE* report = nullptr;
    int seen = 0, notSeen = 0, failed = 0;
    Player player;
    bool started = false;
    std::string startError;
    std::string iniPath;
    HWND windows[WINDOW_COUNT] = {};
    POINT park = {STAGE.right - 20, STAGE.bottom - 20};    // over the backdrop only
    int stepNumber = 0;

    // ---- Machinery (tour_driver.cpp) ----

    void say(const char* format, ...);
    // One line of the report: ok (seen and as expected), not seen (the feature did not show
    // up: a stub in this build, or missing), FAILED (it showed up wrong, or the tour broke).
    void note(const char* status, const std::string& shot, const std::string& what);
    std::string shoot(const char* name, bool withPointer = false);
    void step(const char* title);
    std::string iniValue(const char* key);
    std::string alphaList();
    bool allAt(const int* expected);
    // Starts the player on the host's thread with the given INI file and fills windows.
    bool startPhase(const std::string& ini);
    void endPhase();

    // Right-click on a player window: opens the host's main menu at the mouse position, on
    // the thread of that window.
    bool openHostMenu(HWND owner, POINT at);
    bool openHostMenu();
    void closeMenus();
    void key(UINT vk);
    void menuChar(char c);
    // With the host menu open: walks to "Window Settings" and opens its Opacity popup.
    // Returns the popup, or null with the host menu's items in items when there is no
    // "Window Settings" (the menu is then still open).
    HMENU openOpacityPopup(std::string& items);
    int openSettingsPopup(std::string& items);
    // The same for the popup at index in Window Settings (2: "Docked Toolbar").
    HMENU openSettingsItem(std::string& items, int index);

    // The window whose menu is open: menu keys go to its thread, where the menu runs.
    HWND menuOwner = nullptr;

    // An animation of a step: frames of the area around what it shows, recorded while it
    // plays (capture.cpp); scripts/demo.sh makes a GIF of them.
    Recording* recording = nullptr;
    RECT recordedArea = {};
    // Records the part of area that lies on the stage, a frame every periodMs.
    void startAnimation(const RECT& area, DWORD periodMs);
    // Ends the recording. When the step showed what it should (shown), its frames are written
    // and the report lists them under the name of the GIF; otherwise they are dropped.
    void endAnimation(const char* name, const std::string& what, bool shown);

    // Opens the report and writes its heading; false when it cannot be written.
    bool openReport();
    // Writes the summary, closes the report and returns the tour's exit code: 1 when a step
    // failed, 2 when one was not seen, else 0.
    int closeReport();

    // ---- Steps (tour.cpp) ----

    // Phase 1: per-window opacity, from the INI file.
    void restPerWindow();
    bool restLinked();
    // Linked, opaque on hover: the mouse rests on the playlist editor, then leaves; recorded
    // for an animation.
    void hoverFade();
    bool hoverSteps();
    // The host menu with "Window Settings" and its Opacity popup, then "&Custom".
    void menuAndCustom();
    // The same menu opened on the embedded window of the second thread: a preset there
    // changes every window while linked.
    void presetFromSecondThread();
    // "&Options..." in the host menu: preferences page 22 and the Alpha Blending tab.
    void preferences();
    // Docked Toolbar: the minibrowser docked at the top edge, the visualizer at the left
    // edge auto-hidden to its strip, and slid back in under the pointer and out again,
    // recorded for an animation.
    void docking();
    // Opens the host menu beside owner and chooses the Docked Toolbar item that lies the
    // given number of steps down from its first one.
    bool chooseDockItem(HWND owner, int downs);
    int run();
};

}  // namespace demo
