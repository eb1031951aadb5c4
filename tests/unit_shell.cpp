// Start-up and the derived INI path, with the plug-in's own sources compiled in: start-up
// runs against the host emulator in this process, so the state it gathers (the command ids
// above all, which the DLL keeps to itself) can be read directly.
#include <doctest.h>

#include <string.h>

#include <string>

#include "plugin/entry/entry.h"
#include "hostsim/hostsim.h"
#include "plugin/settings/settings.h"

namespace {

// A fresh host whose main window the descriptor names, as the host writes it before init.
struct InProcessHost {
    explicit InProcessHost(const hostsim::Options& options = hostsim::Options())
        : host(hostsim::start(options)) {
        pluginDescriptor.parentWindow = host.main;
        pluginDescriptor.moduleHandle = GetModuleHandleA(nullptr);
    }
    ~InProcessHost() { hostsim::stop(); }
    hostsim::Host& host;
};

void scrambleIniPath() {
    memset(iniPath, 'x', sizeof iniPath - 1);
    iniPath[sizeof iniPath - 1] = '\0';
}

// The Window Settings commands in the order the host is asked for them.
const MenuCommand REQUEST_ORDER[] = {
    ID_WINDOW_SETTINGS, ID_SETTINGS_SEPARATOR, ID_OPACITY_100, ID_OPACITY_90, ID_OPACITY_80,
    ID_OPACITY_70, ID_OPACITY_60, ID_OPACITY_50, ID_OPACITY_40, ID_OPACITY_30, ID_OPACITY_20,
    ID_OPACITY_10, ID_OPACITY_CUSTOM, ID_OPAQUE_ON_FOCUS, ID_OPAQUE_ON_HOVER, ID_AUTO_HIDE,
    ID_ALWAYS_ON_TOP, ID_DOCK_LEFT, ID_DOCK_RIGHT, ID_DOCK_TOP, ID_DOCK_BOTTOM, ID_NOT_DOCKED,
    ID_DRAG_DOCK,
};

}  // namespace

TEST_CASE("start-up stores the host's windows, menu, command ids and INI path") {
    static_assert(sizeof REQUEST_ORDER / sizeof REQUEST_ORDER[0] == MENU_COMMAND_COUNT);
    hostsim::Options options;
    options.video = false;              // the host answers 0 for the video window
    options.firstCommandId = 0x7F00;
    InProcessHost h(options);
    hostWindows.hwndVideo = h.host.main;    // stale values must be replaced, not kept
    scrambleIniPath();

    REQUIRE(pluginInit() == 0);
    CHECK(hostWindows.hwndMain == h.host.main);
    CHECK(hostWindows.hwndEqualizer == h.host.equalizer);
    CHECK(hostWindows.hwndPlaylist == h.host.playlist);
    CHECK(hostWindows.hwndMinibrowser == h.host.minibrowser);
    CHECK(hostWindows.hwndVideo == nullptr);
    CHECK(hostMainMenu == h.host.mainMenu);
    CHECK(std::string(iniPath) == h.host.iniPath);

    // With consecutive replies each id is its table position past the first one.
    for (int i = 0; i < MENU_COMMAND_COUNT; ++i) {
        CAPTURE(i);
        CHECK(commandId(REQUEST_ORDER[i]) == 0x7F00 + i);
    }
    CHECK(commandId(ID_DOCK_LEFT) < commandId(ID_DOCK_TOP));
}

TEST_CASE("the executable's path becomes the INI path behind its last dot, within the buffer") {
    struct Case {
        const char* exe;
        const char* ini;
    };
    const Case cases[] = {
        {"D:\\Player\\host.exe", "D:\\Player\\host.ini"},
        {"D:\\Player\\host.tar.exe", "D:\\Player\\host.tar.ini"},
        {"D:\\My.Player\\host", "D:\\My.ini"},     // the scan does not stop at a separator
        {"D:\\Player\\host", "ini"},
        {"", "ini"},
        {"D:\\Player\\host.", "D:\\Player\\host.ini"},
    };
    char buffer[INI_PATH_SIZE + 16];
    for (const Case& c : cases) {
        CAPTURE(c.exe);
        deriveIniPath(buffer, c.exe);
        CHECK(std::string(buffer) == c.ini);
    }

    // A dot near the end of a full buffer: "ini" is cut to what fits, and nothing is
    // written past the 260 characters.
    for (size_t dot = 250; dot < INI_PATH_SIZE - 1; ++dot) {
        CAPTURE(dot);
        std::string exe = std::string(dot, 'a') + "." + std::string(INI_PATH_SIZE - 2 - dot, 'e');
        REQUIRE(exe.size() == INI_PATH_SIZE - 1);
        memset(buffer, '#', sizeof buffer);
        deriveIniPath(buffer, exe.c_str());
        std::string expected = exe.substr(0, dot + 1) + std::string("ini").substr(0, INI_PATH_SIZE - 2 - dot);
        CHECK(std::string(buffer) == expected);
        CHECK(std::string(buffer + INI_PATH_SIZE, 16) == std::string(16, '#'));
    }

    // A cut executable path longer than the buffer is cut to it first.
    std::string cut = "D:\\Player." + std::string(400, 'b');
    deriveIniPath(buffer, cut.c_str());
    CHECK(std::string(buffer) == "D:\\Player.ini");
}
