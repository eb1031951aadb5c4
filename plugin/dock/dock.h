// Docked toolbar: a managed window made an application desktop toolbar on an edge of its
// monitor, kept on top, auto-hidden to a strip, and docked or undocked by dragging.
//
// Each window's four options live in its record (auto_hide, always_on_top, dock_side,
// drag_dock) and in its INI entry. What the window holds with the shell and on screen
// lives in a block of its own, the window property "QuorvelDock", from its attach to its
// detach. The filter's cases only decide and write the record; the shell calls and the
// moves that follow run on the window's own thread after the lock is left, when the
// window retrieves the plug-in's appbar message (posted to it, or the shell's notices).
#pragma once

#include <windows.h>

// Timers on a docked window (the fade timers are 101 to 103).
constexpr UINT_PTR TIMER_DOCK_SLIDE = 111;   // one step of an auto-hide slide
constexpr UINT_PTR TIMER_DOCK_HOLD = 112;    // the pointer may have left a slid-in window

// True for the four sides a record's dock_side can name: 1 left, 2 right, 4 top, 8 bottom.
bool isDockSide(BYTE side);

// The Docked Toolbar commands (lock held): act on window alone and write its entry. False
// when id is none of them.
bool onDockCommand(HWND window, WORD id);

// Life cycle, from the filter's cases (lock held): after a record is attached, and before
// it is detached. A window being destroyed is not moved any more.
void attachDock(HWND window);
void detachDock(HWND window, bool destroying);

// Cases of the filter for managed windows (lock held).
void onDockHover(HWND window, WPARAM wParam, LPARAM lParam);     // mouse over the window
void onDockMoved(HWND window, WPARAM wParam, LPARAM lParam);     // WM_WINDOWPOSCHANGED, sent:
                                                                 // minimised, restored, moved
                                                                 // by others, resized, z-order
void onDockStyleChanged(HWND window, WPARAM wParam, LPARAM lParam);  // WM_STYLECHANGED
void onDockDragStart(HWND window, WPARAM wParam, LPARAM lParam); // WM_ENTERSIZEMOVE
void onDockDragEnd(HWND window, WPARAM wParam, LPARAM lParam);   // capture lost, button up,
                                                                 // end of a move loop
// The screen changed (WM_DISPLAYCHANGE) or its work area did (WM_SETTINGCHANGE with
// SPI_SETWORKAREA): a docked window is placed again on the edge of the monitor it is on.
void onDockDisplayChange(HWND window, WPARAM wParam, LPARAM lParam);
void onDockSettingChange(HWND window, WPARAM wParam, LPARAM lParam);

// The dock's messages, registered at run time and so checked beside the routing tables
// (0 until registered, and then never WM_NULL): the window's appbar message (the shell's
// notices and the plug-in's own requests), and "TaskbarCreated", which a shell that has
// started again sends every top-level window. Its case takes the lock itself, only for as
// long as it decides.
bool isDockMessage(UINT message);
void onDockMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Stops the dock timers of a window of the calling thread.
void killDockTimers(HWND window);

// Quit and unload: gives every registration back to the shell, brings an auto-hidden
// window back into view, and docks nothing more from then on. While unloading (the lock
// denied) it runs only once nothing else does.
void undockAll();

// The calling thread ends (its library notification, under the system's loader lock): the
// system takes its windows down without a message, so each of its docked windows gives its
// registration back and loses its block and timers here, as at a detach. It waits only for
// the lock, whose holders run no foreign code and give up a wait for the loader (a pin), and
// for the shell, which is another process.
void undockThread();
