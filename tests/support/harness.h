// Test harness: a fresh host emulator and a fresh load of the real DLL for each test case.
#pragma once

#include <doctest.h>

#include <string>

#include "hostsim/hostsim.h"

// The per-window record as the plug-in stores it in the window property "Quorvel". The
// layout is a contract, so the tests read it through their own declaration.
struct Record {
    float opaque;
    float current;
    BYTE auto_mode;
    BYTE auto_hide;
    BYTE always_on_top;
    BYTE dock_side;
    BYTE drag_dock;
    // The plug-in's own, after the fields above; declared so that a block of this size is one
    // the heap could hand out again in place of a freed record.
    BYTE shown;
    DWORD shownStamp;
    DWORD fadeClock;
};

// A host with its windows and INI file, and the plug-in loaded (and, by default,
// initialised). The destructor destroys the host's windows and frees the library.
struct Session {
    explicit Session(const hostsim::Options& options = hostsim::Options(), bool init = true);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    hostsim::Host& host;
    hostsim::Plugin plugin;
    PVOID faultHandler = nullptr;   // counts faults that Wine would swallow silently
};

// INI text with a [Quorvel] section holding the given "key=value" lines.
std::string quorvelSection(std::initializer_list<const char*> lines);
// Host options whose INI file starts with that section.
hostsim::Options withIni(std::initializer_list<const char*> lines);

// Reads a key of section "Quorvel" from the host's INI file; "<absent>" when missing.
std::string iniRead(const char* key, const char* section = "Quorvel");
void iniWrite(const char* key, const char* value, const char* section = "Quorvel");

// The window's layered alpha, or -1 when it is not a layered window.
int layeredAlpha(HWND window);
Record* recordOf(HWND window);
// Delivers a WM_PAINT through the window's message loop, as the first paint does.
void paint(HWND window);
// Shows or hides a window the way the host does (WM_SHOWWINDOW reaches the hooks).
void hide(HWND window);
void show(HWND window);
// Points the library's import of a system function at a replacement, so that a test sees or
// steers what the library asks of the system; returns the original function.
void* replaceImport(HMODULE library, const char* dll, const char* name, void* replacement);
// Opens the host's preferences through the plug-in's config entry, selects the Alpha
// Blending tab and returns the page (the one child dialog of the tab control).
HWND openAlphaPage(Session& s);
