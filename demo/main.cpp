// quorvel-demo: a small media player built on the host emulator, with the plug-in loaded.
//
//   quorvel-demo.exe [--ini FILE] [PLUGIN.dll]       run interactively
//   quorvel-demo.exe --tour FOLDER [PLUGIN.dll]      play the scripted tour, write screenshots
//                                                    (BMP) and report.txt into FOLDER
//
// The plug-in is gen_quorvel.dll from the program's own folder unless a path is given.
#include "demo.h"

#include <stdio.h>
#include <string.h>

namespace demo {

namespace {

std::string programFolder() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* slash = strrchr(path, '\\');
    if (slash) slash[1] = '\0';
    return path;
}

bool fileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// First run: translucent, linked, opaque while the mouse is over a window.
constexpr char STARTER_INI[] =
    "[Quorvel]\r\n"
    "cfg_link=1\r\n"
    "cfg_opaque=179\r\n"
    "cfg_auto=2\r\n"
    "cfg_fadein=250\r\n"
    "cfg_hold=1000\r\n"
    "cfg_fadeout=750\r\n";

}  // namespace

int runInteractive(const std::string& dllPath, const std::string& iniPath) {
    if (!fileExists(iniPath)) {
        FILE* f = fopen(iniPath.c_str(), "wb");
        if (f) {
            fputs(STARTER_INI, f);
            fclose(f);
        }
    }
    hostsim::Options options;
    options.iniReply = hostsim::IniReply::Custom;
    options.customIniPath = iniPath;

    createBackdrop();
    Player player;
    std::string error;
    if (!startPlayer(player, options, dllPath, error)) {
        fprintf(stderr, "quorvel-demo: %s\n", error.c_str());
        MessageBoxA(nullptr, error.c_str(), "Quorvel demo", MB_ICONERROR);
        return 1;
    }
    printf("quorvel-demo: plug-in %s loaded; settings in %s\n", dllPath.c_str(), iniPath.c_str());
    printf("  Move the mouse over a window: it turns opaque (Opaque on Hover) and fades back.\n"
           "  Right-click any player window: the menu holds \"Window Settings\" (Opacity presets,\n"
           "  Custom..., Opaque on Focus/Hover) and \"Options...\" (the Alpha Blending tab).\n"
           "  Quit with \"Exit\" in that menu or by closing the main window.\n");
    fflush(stdout);
    while (!quitRequested) hostsim::pump(100);
    stopPlayer(player);
    return 0;
}

}  // namespace demo

int main(int argc, char** argv) {
    std::string dllPath, tourFolder, iniPath;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--tour") && i + 1 < argc) {
            tourFolder = argv[++i];
        } else if (!strcmp(argv[i], "--ini") && i + 1 < argc) {
            iniPath = argv[++i];
        } else if (argv[i][0] == '-') {
            fprintf(stderr, "usage: quorvel-demo [--tour FOLDER] [--ini FILE] [PLUGIN.dll]\n");
            return 2;
        } else {
            dllPath = argv[i];
        }
    }
    std::string folder = demo::programFolder();
    if (dllPath.empty()) dllPath = folder + "gen_quorvel.dll";
    if (iniPath.empty()) iniPath = folder + "quorvel-demo.ini";
    if (!tourFolder.empty()) return demo::runTour(dllPath, tourFolder);
    return demo::runInteractive(dllPath, iniPath);
}
