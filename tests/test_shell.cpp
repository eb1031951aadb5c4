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

std::string exeDerivedIniPath() {
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string path = exe;
    return path.substr(0, path.rfind('.') + 1) + "ini";
}

// The settings as the plug-in holds them, read back where the user can see them: the
// linked alpha shown on a managed window, and the values it writes when asked to.
struct Loaded {
    int opaque;
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
    CHECK(std::string(first->description) == "Quorvel v1.1 (x86)");
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
    CHECK(s.plugin.descriptor->init() == 0);   // init answers 0 on every path
}
