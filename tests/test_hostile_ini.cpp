// Hostile per-window entries through the real DLL: a few hundred generated values stored
// for "Winamp Gen" windows, which are then painted. Each window must attach with a resting
// alpha inside 26..255, show it, and leave its entry rewritten in normalised form. (The bulk
// of hostile values, and the global keys, go through the settings functions directly in
// unit_hostile_ini.cpp.)
#include "support/harness.h"

#include <stdio.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

using namespace hostsim;

namespace {

std::string hostileValue(std::mt19937& random, int i) {
    auto number = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    auto digits = [&](int count) {
        std::string s;
        for (int k = 0; k < count; ++k) s += static_cast<char>('0' + number(0, 9));
        return s;
    };
    auto text = [&](int length) {
        std::string s;
        while (static_cast<int>(s.size()) < length) {
            char c = static_cast<char>(number(1, 255));
            if (c != '\r' && c != '\n') s += c;
        }
        return s;
    };
    auto one = [&]() -> std::string {
        switch (number(0, 7)) {
        case 0: return "";
        case 1: return text(number(1, 30));
        case 2: return digits(number(11, 40));
        case 3: return "-" + digits(number(1, 30));
        case 4: return number(0, 1) ? "2147483648" : "-2147483649";
        case 5: return "  " + std::string(number(1, 2), "+-"[number(0, 1)]) + std::to_string(number(0, 400));
        case 6: return digits(300);
        default: return std::to_string(number(-1000, 1000));
        }
    };
    std::string value = one();
    if (i % 2)
        for (int f = 1; f < 6; ++f) value += " " + one();
    return value;
}

bool parseWritten(const std::string& text, int fields[6]) {
    char tail = 0;
    return sscanf(text.c_str(), "%d %d %d %d %d %d%c", &fields[0], &fields[1], &fields[2],
                  &fields[3], &fields[4], &fields[5], &tail) == 6;
}

}  // namespace

TEST_CASE("hostile per-window entries attach within range and are rewritten normalised") {
    Options options;
    options.iniText = quorvelSection({"cfg_link=0"});   // each window shows its own alpha
    Session s(options);
    std::mt19937 random(7u);
    int attached = 0;
    for (int batch = 0; batch < 10; ++batch) {
        std::vector<HWND> windows;
        std::vector<std::string> stored;
        for (int i = 0; i < 30; ++i) {
            char title[32];
            snprintf(title, sizeof title, "Hostile %d", batch * 30 + i);
            stored.push_back(hostileValue(random, i));
            iniWrite(title, stored.back().c_str());
            windows.push_back(addEmbedded(title));
        }
        for (size_t i = 0; i < windows.size(); ++i) {
            HWND w = windows[i];
            paint(w);
            char title[32];
            GetWindowTextA(w, title, sizeof title);
            CAPTURE(stored[i]);
            Record* record = recordOf(w);
            REQUIRE(record != nullptr);
            CHECK((record->opaque >= 26.0f && record->opaque <= 255.0f));
            CHECK(record->opaque == static_cast<float>(static_cast<int>(record->opaque)));
            CHECK(record->current == record->opaque);
            int shown = layeredAlpha(w);
            CHECK(shown == (record->opaque == 255.0f ? -1 : static_cast<int>(record->opaque)));

            int fields[6];
            std::string written = iniRead(title);
            CAPTURE(written);
            REQUIRE(parseWritten(written, fields));
            char normal[64];
            snprintf(normal, sizeof normal, "%d %u %u %u %u %u", static_cast<int>(record->opaque),
                     record->auto_mode, record->auto_hide, record->always_on_top,
                     record->dock_side, record->drag_dock);
            CHECK(written == normal);
            ++attached;
        }
        for (HWND w : windows) removeEmbedded(w);
    }
    CHECK(attached == 300);
}
