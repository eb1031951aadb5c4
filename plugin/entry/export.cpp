// The export, start-up, configuration and the operating-system gate.
#include "entry.h"

#include "../dock/dock.h"
#include "../fade/fade.h"
#include "../host/host.h"
#include "../settings/settings.h"
#include "../ui/ui.h"
#include "../window/window.h"

PluginDescriptor pluginDescriptor = {
    DESCRIPTOR_VERSION, PLUGIN_DESCRIPTION, pluginInit, pluginConfig, pluginQuit, nullptr, nullptr,
};

// The host reads the descriptor by layout: seven 32-bit fields on the 32-bit platform.
static_assert(sizeof(void*) != 4 || sizeof(PluginDescriptor) == 28, "descriptor layout");
static_assert(sizeof(OSVERSIONINFOEXA) == 156, "version query layout");

namespace {

constexpr char UNSUPPORTED_TEXT[] =
    PLUGIN_DESCRIPTION_TEXT " support for alpha blending is only available for\n"
    "Microsoft Windows 2000/XP versions and higher, your system detected version\n"
    "is lower than the required for the plugin to function properly.\n"
    "\n"
    "The plugin has not been loaded and it is suggested that you remove the plugin\n"
    "from your system, as it will only consume unecessary resources.";

constexpr char ANOTHER_COPY_TEXT[] =
    PLUGIN_DESCRIPTION_TEXT ": another copy of this plug-in is already active in this player,\n"
    "so this one does nothing. This copy is\n"
    "\n"
    "%s\n"
    "\n"
    "Remove one of the two files from the player's plug-in folder.";

// The same, once the copy that was active has been unloaded: this one stays inert for the
// rest of the session, as it never hooked the player's threads, and starts working when the
// player starts again (it is then the only copy, or the first one loaded).
constexpr char ANOTHER_COPY_GONE_TEXT[] =
    PLUGIN_DESCRIPTION_TEXT ": another copy of this plug-in was active in this player when\n"
    "this one was loaded, so this one does nothing. That copy has been unloaded since;\n"
    "this copy starts working when the player is restarted. This copy is\n"
    "\n"
    "%s\n"
    "\n"
    "Keep only one of the two files in the player's plug-in folder.";

HWND requestHostWindow(WPARAM which) {
    return reinterpret_cast<HWND>(sendHostRequest(HOST_GET_WINDOW, which));
}

// Quit: every window the plug-in made translucent is put back as it was, its record freed
// and its fades stopped (a timer of another thread's window stops itself at its next tick).
void restoreAtQuit(HWND window) {
    if (isHostWindow(window)) killFadeTimers(window);
    FilterLockGuard lock;
    if (lock) detachRecord(window);
}

}  // namespace


extern "C" __declspec(dllexport) PluginDescriptor* winampGetGeneralPurposePlugin() {
    return &pluginDescriptor;
}

BOOL isAlphaBlendingSupported() {
    OSVERSIONINFOEXA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    version.dwMajorVersion = 5;
    version.dwMinorVersion = 0;
    version.wServicePackMajor = 1;
    DWORDLONG mask = 0;
    mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoA(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR,
                              mask);
}

int pluginInit() {
    if (!isAlphaBlendingSupported() || isInertCopy()) return 0;
    markQuit(false);
    {
        // Called again (the host's menu may be open with our items in it): the items of
        // the earlier start-up go before the menu and the command ids are asked anew.
        FilterLockGuard lock;
        if (lock) removeWindowSettings(true);
    }

    // Known before the first request, so that the filter already recognises the main window
    // while the requests below pass through the hooks.
    hostWindows.hwndMain = pluginDescriptor.parentWindow;
    hostWindows.hwndVideo = requestHostWindow(HOST_WINDOW_VIDEO);
    hostWindows.hwndEqualizer = requestHostWindow(HOST_WINDOW_EQUALIZER);
    hostWindows.hwndPlaylist = requestHostWindow(HOST_WINDOW_PLAYLIST);
    hostWindows.hwndMinibrowser = requestHostWindow(HOST_WINDOW_MINIBROWSER);
    hostMainMenu = reinterpret_cast<HMENU>(sendHostRequest(HOST_GET_MENU, 0));
    for (WORD& id : menuCommandIds.id)
        id = LOWORD(sendHostRequest(HOST_ALLOC_COMMAND_ID, 0));

    LRESULT path = sendHostRequest(HOST_GET_INI_PATH, 0);
    setIniPath(reinterpret_cast<const char*>(path));
    loadGlobalSettings();
    return 0;
}

void pluginConfig() {
    if (!isAlphaBlendingSupported()) {
        MessageBoxA(hostWindows.hwndMain, UNSUPPORTED_TEXT, PLUGIN_DESCRIPTION,
                    MB_OK | MB_ICONINFORMATION);
    } else if (isInertCopy()) {
        char path[MAX_PATH] = "";
        GetModuleFileNameA(pluginDescriptor.moduleHandle, path, sizeof path);
        static_assert(sizeof ANOTHER_COPY_GONE_TEXT >= sizeof ANOTHER_COPY_TEXT, "room for both");
        char text[sizeof ANOTHER_COPY_GONE_TEXT + MAX_PATH];
        formatText(text, sizeof text, activeCopyRemains() ? ANOTHER_COPY_TEXT : ANOTHER_COPY_GONE_TEXT,
                   path);
        MessageBoxA(pluginDescriptor.parentWindow, text, PLUGIN_DESCRIPTION,
                    MB_OK | MB_ICONINFORMATION);
    } else {
        sendHostRequest(HOST_OPEN_PREFS_PAGE, PREFS_PAGE_ALPHA);
    }
}

void pluginQuit() {
    if (!isAlphaBlendingSupported() || isInertCopy()) return;
    {
        FilterLockGuard lock;
        if (!lock) return;
        markQuit(true);             // from now on nothing attaches, fades or docks
        removeWindowSettings(true);
    }
    undockAll();                    // the shell gets every edge back: the work area is whole
    forEachProcessWindow(restoreAtQuit);
}
