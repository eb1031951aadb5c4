// Starting and stopping the demo player: the host's windows, the plug-in, and the two
// embedded "Winamp Gen" windows.
#include "demo.h"

namespace demo {

namespace {

void place(HWND window, int x, int y, int w, int h) {
    SetWindowPos(window, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Shows a window the way a host does after its plug-ins are loaded: the show and the first
// paint pass through the plug-in's hooks, which is when it takes the window over.
void showHostWindow(HWND window) {
    if (!window) return;
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
}

}  // namespace

bool startPlayer(Player& player, hostsim::Options options, const std::string& dllPath,
                 std::string& error) {
    options.showWindows = false;
    hostsim::Host& h = hostsim::start(options);
    decorate(h.main, Role::Main);
    decorate(h.equalizer, Role::Equalizer);
    decorate(h.playlist, Role::Playlist);
    decorate(h.minibrowser, Role::Browser);
    decorate(h.video, Role::Video);

    if (!hostsim::loadPlugin(player.plugin, dllPath.c_str())) {
        error = "cannot load the plug-in from " + dllPath + " (error " +
                std::to_string(GetLastError()) + ")";
        hostsim::unloadPlugin(player.plugin);
        hostsim::stop();
        return false;
    }
    hostsim::initPlugin(player.plugin);
    player.loaded = true;

    for (HWND w : {h.main, h.equalizer, h.playlist, h.minibrowser, h.video}) showHostWindow(w);

    // Created after the load, so both windows get their first paint under the hooks; the
    // second one lives on a thread that the plug-in hooks when it starts.
    player.embeddedMain = hostsim::addEmbedded(EMBEDDED_MAIN_TITLE);
    decorate(player.embeddedMain, Role::Embedded);
    place(player.embeddedMain, 625, 40, 230, 150);
    UpdateWindow(player.embeddedMain);

    player.thread = new hostsim::WindowThread();
    HWND created = nullptr;
    player.thread->run([&created] {
        created = hostsim::addEmbedded(EMBEDDED_THREAD_TITLE);
        decorate(created, Role::Embedded);
        place(created, 625, 250, 230, 150);
        UpdateWindow(created);
    });
    player.embeddedThread = created;
    hostsim::pump(50);
    return true;
}

void stopPlayer(Player& player) {
    if (player.thread) {
        HWND window = player.embeddedThread;
        if (window) player.thread->run([window] { hostsim::removeEmbedded(window); });
        delete player.thread;       // ends its loop and joins it
        player.thread = nullptr;
    }
    if (player.loaded) hostsim::quitPlugin(player.plugin);
    hostsim::stop();
    hostsim::pump(20);
    hostsim::unloadPlugin(player.plugin);
    player.loaded = false;
    player.embeddedMain = player.embeddedThread = nullptr;
}

}  // namespace demo
