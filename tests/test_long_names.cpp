// Long names: "Winamp Gen" titles and class names at and beyond the 260-byte buffers the
// plug-in reads them into, and INI paths from the host at and beyond MAX_PATH. Every name
// must be cut within its buffer and terminated; nothing may crash or write elsewhere.
#include "support/harness.h"

#include <stdio.h>

#include <string>

using namespace hostsim;

namespace {

LRESULT CALLBACK plainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        BeginPaint(window, &ps);
        EndPaint(window, &ps);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Registers a class with a name of the given length, or the longest the system accepts
// below it; returns the name registered.
std::string registerLongClass(size_t length, char fill) {
    for (size_t n = length; n > 0; --n) {
        std::string name(n, fill);
        WNDCLASSA wc = {};
        wc.lpfnWndProc = plainProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = name.c_str();
        if (RegisterClassA(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) return name;
    }
    return "";
}

std::string exeDerivedIniPath() {
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string path = exe;
    return path.substr(0, path.rfind('.') + 1) + "ini";
}

std::string sectionOf(const std::string& path) {
    char buffer[4096] = "";
    GetPrivateProfileSectionA("Quorvel", buffer, sizeof buffer, path.c_str());
    return buffer;
}

}  // namespace

TEST_CASE("embedded window titles of 259, 260 and 300 characters key their entries by 259") {
    Session s;
    for (size_t length : {259u, 260u, 300u}) {
        CAPTURE(length);
        std::string title;
        for (size_t i = 0; i < length; ++i) title += static_cast<char>('a' + (i * 7 + length) % 26);
        HWND w = addEmbedded(title);
        REQUIRE(w != nullptr);
        paint(w);
        REQUIRE(recordOf(w) != nullptr);
        std::string key = title.substr(0, 259);
        CHECK(iniRead(key.c_str()) == "255 2 0 0 0 0");
        removeEmbedded(w);
    }
}

TEST_CASE("class names as long as the system allows are read within the buffer") {
    for (size_t length : {259u, 260u, 300u}) {
        CAPTURE(length);
        // A host window with a long class name, handed out as the playlist editor: its class
        // name is its INI key.
        Session s(Options(), false);
        std::string name = registerLongClass(length, static_cast<char>('A' + length % 26));
        REQUIRE(!name.empty());
        MESSAGE("longest class name accepted: " << name.size());
        HWND w = CreateWindowExA(0, name.c_str(), "Long class", WS_POPUP | WS_VISIBLE, 50, 50, 100,
                                 80, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        REQUIRE(w != nullptr);
        HWND playlist = s.host.playlist;
        s.host.playlist = w;
        initPlugin(s.plugin);
        s.host.playlist = playlist;
        paint(w);
        REQUIRE(recordOf(w) != nullptr);
        std::string key = name.substr(0, 259);
        CHECK(iniRead(key.c_str()) == "255 2 0 0 0 0");

        // The same long name on an unrelated window: routed as an other window, no record.
        HWND other = CreateWindowExA(0, name.c_str(), "Other", WS_POPUP | WS_VISIBLE, 60, 60, 100,
                                     80, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        paint(other);
        SendMessageA(other, WM_MOUSEMOVE, 0, 0);
        CHECK(recordOf(other) == nullptr);
        DestroyWindow(other);
        DestroyWindow(w);
        UnregisterClassA(name.c_str(), GetModuleHandleA(nullptr));
    }
}

TEST_CASE("host INI paths of 259, 260 and 1000 characters: used when they fit, else refused") {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    char folderBuffer[MAX_PATH];
    snprintf(folderBuffer, sizeof folderBuffer, "%sqlong%lu", temp, GetCurrentProcessId());
    std::string folder = folderBuffer;
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string fallback = exeDerivedIniPath();

    for (size_t length : {259u, 260u, 1000u}) {
        CAPTURE(length);
        DeleteFileA(fallback.c_str());
        std::string path = folder + "\\";
        path += std::string(length - path.size() - 4, 'p') + ".ini";
        REQUIRE(path.size() == length);
        std::string cut = path.substr(0, 259);   // what a path cut to the buffer would name

        Options options;
        options.iniReply = IniReply::Custom;
        options.customIniPath = path;
        {
            Session s(options);
            paint(s.host.main);
            REQUIRE(recordOf(s.host.main) != nullptr);
        }
        if (length < MAX_PATH) {
            CHECK(sectionOf(path).size() > 0);
            CHECK(GetFileAttributesA(fallback.c_str()) == INVALID_FILE_ATTRIBUTES);
            DeleteFileA(path.c_str());
        } else {
            // Refused as a whole: the settings go to the file beside the executable, and no
            // file appears under a cut version of the host's path.
            CHECK(sectionOf(fallback).size() > 0);
            CHECK(GetFileAttributesA(cut.c_str()) == INVALID_FILE_ATTRIBUTES);
        }
    }
    DeleteFileA(fallback.c_str());
    RemoveDirectoryA(folder.c_str());
}
