// The demo player: the host emulator dressed up as a small media player, with the plug-in
// loaded into it. It runs interactively, or plays a scripted tour that leaves screenshots
// and a short report behind.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "hostsim/hostsim.h"

namespace demo {

// What a decorated window draws.
enum class Role { Main, Equalizer, Playlist, Browser, Video, Embedded };

constexpr UINT EXIT_COMMAND = 40001;    // "E&xit" in the host's main menu

// The part of the screen the demo uses: the backdrop covers it and the tour captures it.
constexpr RECT STAGE = {0, 0, 880, 560};

// Set by "E&xit" or by closing the main window; the interactive loop ends on it.
extern std::atomic<bool> quitRequested;

// ---- Scenery (scenery.cpp) -------------------------------------------------------------------

// Gives a host window player-like content instead of hostsim's plain colour. Call it on the
// window's own thread. The demo is the host, so it may subclass its own windows.
void decorate(HWND window, Role role);
// A patterned window under everything else, so that translucency shows.
HWND createBackdrop();

// ---- The player (player.cpp) ------------------------------------------------------------------

struct Player {
    hostsim::Plugin plugin;
    hostsim::WindowThread* thread = nullptr;   // owns the second embedded window
    HWND embeddedMain = nullptr;               // "Winamp Gen" window of the main thread
    HWND embeddedThread = nullptr;             // "Winamp Gen" window of the second thread
    bool loaded = false;
};

constexpr char EMBEDDED_MAIN_TITLE[] = "Visualizer";
constexpr char EMBEDDED_THREAD_TITLE[] = "Lyrics (second thread)";

// Starts the host with its windows hidden, loads and initialises the plug-in from dllPath,
// then shows the windows (so their first paint reaches the plug-in) and adds the two
// embedded windows, one of them on a thread started after the load. Main thread only.
// Returns false (with a message in error) when the plug-in cannot be loaded.
bool startPlayer(Player& player, hostsim::Options options, const std::string& dllPath,
                 std::string& error);
// Quits the plug-in, destroys every window, stops the second thread and frees the DLL.
void stopPlayer(Player& player);

// ---- Screen capture (capture.cpp) ---------------------------------------------------------

// Copies the given screen rectangle into a 24-bit BMP file. The screen holds no mouse
// pointer, so with withPointer an arrow is drawn where the pointer is. Returns false on
// failure.
bool captureScreen(const std::string& path, const RECT& area, bool withPointer = false);

// A recording: frames of one area of the screen, with the pointer drawn in, taken every
// periodMs by a thread of its own until it is finished. A frame the same as the one before
// only keeps that one on screen longer.
struct Recording;
Recording* startRecording(const RECT& area, DWORD periodMs);
// Stops the recording and writes its frames into FOLDER\frames\NAME\: 000.bmp, 001.bmp, ...
// and frames.txt, one line "FILE MILLISECONDS" per frame, the time it was on screen
// (scripts/demo.sh makes NAME.gif of them). With an empty folder the frames are dropped.
// Returns the number of frames written, with the time they span; 0 with the reason in error
// when there are none.
int finishRecording(Recording* recording, const std::string& folder, const std::string& name,
                    DWORD& spanMs, std::string& error);

// ---- Modes ------------------------------------------------------------------------------------

int runInteractive(const std::string& dllPath, const std::string& iniPath);
int runTour(const std::string& dllPath, const std::string& folder);

}  // namespace demo
