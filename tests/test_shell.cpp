// The plug-in shell through the real DLL: the descriptor, start-up discovery, the INI path
// and the loading of the global settings.
#include "support/harness.h"

#include <string.h>

using namespace hostsim;

namespace {

std::vector<LPARAM> requestNumbers() {
    std::vector<LPARAM> numbers;
    for (const RequestRecord& r : host().requests) numbers.push_back(r.request);
    return numbers;
}

// Where the plug-in keeps its settings when the host names no INI file: beside the
// executable that loaded it (here the test program itself).
std::string exeDerivedIniPath() {
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string path = exe;
    return path.substr(0, path.rfind('.') + 1) + "ini";
}

std::string readEntry(const std::string& file, const char* key) {
    char buffer[512];
    GetPrivateProfileStringA("Quorvel", key, "<absent>", buffer, sizeof buffer, file.c_str());
    return buffer;
}

bool fileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A managed "Winamp Gen" window shown and painted: attaching it makes the plug-in read and
// write its entry in whatever INI file it settled on at start-up.
HWND paintedEmbedded(const char* title) {
    HWND window = addEmbedded(title);
    paint(window);
    return window;
}

// A folder of its own for host INI paths of a chosen length, removed with its files.
struct LongPathFolder {
    std::string folder;
    std::vector<std::string> files;
    LongPathFolder() {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        folder = std::string(temp) + "quorvel-long-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder.c_str(), nullptr);
    }
    ~LongPathFolder() {
        for (const std::string& f : files) DeleteFileA(f.c_str());
        RemoveDirectoryA(folder.c_str());
    }
    // A path of exactly length characters inside the folder, ending in ".ini".
    std::string pathOfLength(size_t length) {
        size_t fixed = folder.size() + 1 + 4;
        std::string path = folder + "\\" + std::string(length - fixed, 'p') + ".ini";
        files.push_back(path);
        return path;
    }
};

}  // namespace

TEST_CASE("the export returns the same descriptor every time and sends nothing") {
    Session s(Options(), false);
    using Export = Descriptor* (*)();
    Export get = reinterpret_cast<Export>(
        reinterpret_cast<void*>(GetProcAddress(s.plugin.module, "winampGetGeneralPurposePlugin")));
    REQUIRE((get != nullptr));
    Descriptor* first = get();
    CHECK(get() == first);
    CHECK(first == s.plugin.descriptor);
    CHECK(first->version == 0x10);
    CHECK(std::string(first->description) ==
          (sizeof(void*) == 4 ? "Quorvel v1.1 (x86)" : "Quorvel v1.1 (x64)"));
    CHECK((first->init && first->config && first->quit));
    CHECK(s.host.requests.empty());
}

TEST_CASE("start-up asks the host in order and keeps the command ids in table order") {
    Session s;
    std::vector<LPARAM> expected = {260, 260, 260, 260, 281};
    for (int i = 0; i < 23; ++i) expected.push_back(3019);
    expected.push_back(334);
    CHECK(requestNumbers() == expected);
    std::vector<WPARAM> windowArgs;
    for (int i = 0; i < 4; ++i) windowArgs.push_back(s.host.requests[i].argument);
    CHECK(windowArgs == std::vector<WPARAM>{3, 0, 1, 2});
    for (const RequestRecord& r : s.host.requests) {
        if (r.request != 260) CHECK(r.argument == 0);
        CHECK(r.thread == GetCurrentThreadId());
    }
    CHECK(s.plugin.descriptor->init() == 0);   // init answers 0 on every path
}

TEST_CASE("config asks the host to open preferences page 22") {
    Session s;
    size_t before = s.host.requests.size();
    configPlugin(s.plugin);
    REQUIRE(s.host.requests.size() == before + 1);
    CHECK(s.host.requests.back().request == 380);
    CHECK(s.host.requests.back().argument == 22);
    CHECK(s.host.prefsOpenCount == 1);
}

TEST_CASE("the INI file: the host's path when it gives one that fits, else beside the executable") {
    std::string derived = exeDerivedIniPath();
    DeleteFileA(derived.c_str());

    SUBCASE("a host path is used as it is") {
        Session s;
        paintedEmbedded("Probe");
        CHECK(iniRead("Probe") == "255 2 0 0 0 0");
    }
    SUBCASE("a host that answers 0 or 1, or points to an empty path, has no path") {
        for (IniReply reply : {IniReply::Zero, IniReply::One, IniReply::Custom}) {
            Options o;
            o.iniReply = reply;
            o.customIniPath = "";
            Session s(o);
            const char* title = reply == IniReply::Zero ? "Probe zero"
                                : reply == IniReply::One ? "Probe one" : "Probe empty";
            paintedEmbedded(title);
            CHECK(readEntry(derived, title) == "255 2 0 0 0 0");
            CHECK(iniRead(title) == "<absent>");
        }
    }
    SUBCASE("259 characters fit the buffer and are used") {
        LongPathFolder folder;
        Options o;
        o.iniReply = IniReply::Custom;
        o.customIniPath = folder.pathOfLength(259);
        Session s(o);
        paintedEmbedded("Probe");
        CHECK(readEntry(o.customIniPath, "Probe") == "255 2 0 0 0 0");
        CHECK(!fileExists(derived));
    }
    SUBCASE("260 characters do not fit and are refused rather than cut") {
        LongPathFolder folder;
        Options o;
        o.iniReply = IniReply::Custom;
        o.customIniPath = folder.pathOfLength(260);
        std::string cut = o.customIniPath.substr(0, 259);
        folder.files.push_back(cut);
        Session s(o);
        paintedEmbedded("Probe");
        CHECK(readEntry(derived, "Probe") == "255 2 0 0 0 0");
        CHECK(!fileExists(o.customIniPath));
        CHECK(!fileExists(cut));
    }
    DeleteFileA(derived.c_str());
}

TEST_CASE("the loaded settings are the ones the windows show and the file keeps") {
    SUBCASE("no file: the defaults, and the first window creates its entry") {
        Session s;
        HWND w = paintedEmbedded("Visualizer");
        REQUIRE(recordOf(w) != nullptr);
        CHECK(layeredAlpha(w) == -1);       // 255 linked: left opaque, never made layered
        CHECK(iniRead("Visualizer") == "255 2 0 0 0 0");
        CHECK(iniRead("cfg_opaque") == "<absent>");   // loading writes no global
    }
    SUBCASE("a stored linked opacity reaches every window painted after start-up") {
        Options o;
        o.iniText = quorvelSection({"cfg_opaque=128", "cfg_link=1", "Visualizer=200 2 0 0 0 0"});
        Session s(o);
        HWND w = paintedEmbedded("Visualizer");
        paint(s.host.playlist);
        CHECK(layeredAlpha(w) == 128);
        CHECK(layeredAlpha(s.host.playlist) == 128);
        CHECK(iniRead("cfg_opaque") == "128");
    }
    SUBCASE("a stored negative linked opacity counts as above every bound: 255") {
        Session s(withIni({"cfg_opaque=-5", "cfg_link=1"}));
        CHECK(layeredAlpha(paintedEmbedded("Visualizer")) == -1);
    }
    SUBCASE("unlinked, an out-of-range entry is clamped, shown and rewritten") {
        Options o;
        o.iniText = quorvelSection({"cfg_opaque=128", "cfg_link=0", "Visualizer=-5 -1 0 0 0 0"});
        Session s(o);
        HWND w = paintedEmbedded("Visualizer");
        CHECK(layeredAlpha(w) == 26);
        CHECK(iniRead("Visualizer") == "26 255 0 0 0 0");
        CHECK(iniRead("cfg_link") == "0");
        CHECK(iniRead("volume", "Player") == "200");   // the host's own section is untouched
    }
}
