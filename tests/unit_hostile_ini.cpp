// Hostile INI input, in bulk, through the settings functions themselves: generated values
// for the six global keys and for per-window entries (random text, empty values, huge and
// negative numbers, 32-bit overflow, leading blanks and signs, values of 300 characters).
// Nothing may crash, every loaded value must lie within its clamp, and a per-window entry
// must come out in its normalised written form. The real DLL gets a few hundred of the same
// values through window paints in test_hostile_ini.cpp.
#include "support/harness.h"

#include <stdio.h>
#include <string.h>

#include <random>
#include <string>

#include "plugin/settings/settings.h"

namespace {

// Values of every hostile shape, from a fixed seed so that a failure can be replayed.
struct HostileValues {
    std::mt19937 random{20261207u};

    int number(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }

    std::string digits(int count) {
        std::string s;
        for (int i = 0; i < count; ++i) s += static_cast<char>('0' + number(0, 9));
        return s;
    }

    std::string text(int length) {
        // Any byte a line of an INI file can hold: no NUL, no line break.
        std::string s;
        while (static_cast<int>(s.size()) < length) {
            char c = static_cast<char>(number(1, 255));
            if (c != '\r' && c != '\n') s += c;
        }
        return s;
    }

    std::string next() {
        static const char* const EDGES[] = {
            "2147483647", "2147483648", "-2147483648", "-2147483649", "4294967295",
            "4294967296", "4294967297", "18446744073709551616", "-1", "0", "-0", "+0",
            "26", "25", "27", "254", "255", "256", "29999", "30000", "30001", "+", "-", "++5",
            "+-5", "-+5", "--5", " \t +12", "\t-7", "0x1F", "1e3", "12abc", "007", "\"55\"",
            "=3", ";9", "[x]", " ", "3 4 5"};
        switch (number(0, 9)) {
        case 0: return "";
        case 1: return text(number(1, 40));
        case 2: return digits(number(11, 60));                                // huge
        case 3: return "-" + digits(number(1, 40));                           // negative
        case 4: return EDGES[number(0, sizeof EDGES / sizeof *EDGES - 1)];    // edges
        case 5: return std::string(number(1, 6), " \t"[number(0, 1)]) +      // blanks, signs
                       std::string(number(0, 2), "+-"[number(0, 1)]) + std::to_string(number(-99, 999));
        case 6: return number(0, 1) ? digits(300) : std::to_string(number(0, 300)) + text(297);
        case 7: return std::to_string(number(-2000, 70000));
        default: return std::to_string(static_cast<int>(random()));
        }
    }
};

std::string tempIniPath() {
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%squorvel-hostile-%lu.ini", folder, GetCurrentProcessId());
    return path;
}

bool isNormalisedEntry(const char* text, const WindowEntry& e) {
    char expected[INI_VALUE_SIZE];
    snprintf(expected, sizeof expected, "%d %u %u %u %u %u", e.opaque, e.auto_mode, e.auto_hide,
             e.always_on_top, e.dock_side, e.drag_dock);
    return strcmp(text, expected) == 0;
}

bool sameEntry(const WindowEntry& a, const WindowEntry& b) {
    return a.opaque == b.opaque && a.auto_mode == b.auto_mode && a.auto_hide == b.auto_hide &&
           a.always_on_top == b.always_on_top && a.dock_side == b.dock_side &&
           a.drag_dock == b.drag_dock;
}

}  // namespace

TEST_CASE("hostile global values load within their clamps, by the number the system reads") {
    std::string path = tempIniPath();
    DeleteFileA(path.c_str());
    snprintf(iniPath, sizeof iniPath, "%s", path.c_str());
    HostileValues values;
    const char* const KEYS[] = {"cfg_fadein", "cfg_hold", "cfg_fadeout", "cfg_link", "cfg_opaque", "cfg_auto"};
    int hostileValues = 0;
    for (int round = 0; round < 2000; ++round) {
        // One section write per round sets all six keys; a key left out now and then must
        // load its default.
        std::string section;
        for (const char* key : KEYS) {
            if (values.number(0, 19) == 0) continue;
            section += std::string(key) + "=" + values.next();
            section += '\0';
            ++hostileValues;
        }
        section += '\0';
        REQUIRE(WritePrivateProfileSectionA(INI_SECTION, section.c_str(), iniPath));

        loadGlobalSettings();

        // The number the system reads for each key, then the load rule on it as unsigned.
        auto read = [&](const char* key, int fallback) {
            return static_cast<unsigned>(GetPrivateProfileIntA(INI_SECTION, key, fallback, iniPath));
        };
        unsigned fadein = read("cfg_fadein", 250), hold = read("cfg_hold", 2000);
        unsigned fadeout = read("cfg_fadeout", 750), link = read("cfg_link", 1);
        unsigned opaque = read("cfg_opaque", 255), automode = read("cfg_auto", 2);
        CAPTURE(round);
        CHECK(cfg_fadein == (fadein >= 30000 ? 30000u : fadein));
        CHECK(cfg_hold == (hold >= 30000 ? 30000u : hold));
        CHECK(cfg_fadeout == (fadeout >= 30000 ? 30000u : fadeout));
        CHECK(cfg_link == (link != 0 ? 1 : 0));
        CHECK(cfg_opaque == static_cast<float>(opaque <= 26 ? 26u : opaque >= 255 ? 255u : opaque));
        CHECK(cfg_auto == (automode >= 2 ? 2 : automode));
        // Whatever was stored, the values in memory stay inside their ranges.
        CHECK((cfg_fadein <= 30000 && cfg_hold <= 30000 && cfg_fadeout <= 30000));
        CHECK((cfg_opaque >= 26.0f && cfg_opaque <= 255.0f && cfg_auto <= 2 && cfg_link <= 1));
        CHECK(cur_opaque == cfg_opaque);
    }
    CHECK(hostileValues >= 10000);
    DeleteFileA(path.c_str());
    iniPath[0] = '\0';
}

TEST_CASE("hostile per-window values parse within range and normalise to a fixed point") {
    HostileValues values;
    for (int i = 0; i < 12000; ++i) {
        // Half whole hostile values, half six hostile numbers in a row.
        std::string text = values.next();
        if (i % 2) {
            for (int f = 1; f < 6; ++f) text += std::string(values.number(1, 3), ' ') + values.next();
        }
        CAPTURE(text);
        WindowEntry e = parseWindowEntry(text.c_str());
        REQUIRE((e.opaque >= 26 && e.opaque <= 255));

        char written[INI_VALUE_SIZE];
        formatWindowEntry(written, sizeof written, e);
        REQUIRE(isNormalisedEntry(written, e));
        WindowEntry again = parseWindowEntry(written);
        REQUIRE(sameEntry(again, e));
    }
}

TEST_CASE("each per-window number lands in its own field only, as its low byte") {
    HostileValues values;
    for (int i = 0; i < 3000; ++i) {
        int v[6];
        std::string text;
        for (int f = 0; f < 6; ++f) {
            v[f] = f == 0 ? values.number(-100000, 100000) : values.number(-70000, 70000);
            text += (f ? " " : "") + std::to_string(v[f]);
        }
        // Cut the text after a random number of fields: the missing ones stay 0.
        int kept = values.number(1, 6);
        std::string cut;
        for (int f = 0, spaces = 0; f < static_cast<int>(text.size()); ++f) {
            if (text[f] == ' ' && ++spaces == kept) break;
            cut += text[f];
        }
        CAPTURE(cut);
        WindowEntry e = parseWindowEntry(cut.c_str());
        int opaque = v[0] <= 26 ? 26 : v[0] >= 255 ? 255 : v[0];
        CHECK(e.opaque == opaque);
        const BYTE fields[5] = {e.auto_mode, e.auto_hide, e.always_on_top, e.dock_side, e.drag_dock};
        for (int f = 1; f < 6; ++f)
            CHECK(fields[f - 1] == (f < kept ? static_cast<BYTE>(v[f] & 0xFF) : 0));
    }
}

TEST_CASE("hostile per-window values stored in the file are rewritten in normalised form") {
    std::string path = tempIniPath();
    DeleteFileA(path.c_str());
    snprintf(iniPath, sizeof iniPath, "%s", path.c_str());
    HostileValues values;
    for (int i = 0; i < 600; ++i) {
        char key[32];
        snprintf(key, sizeof key, "Window %d", i % 40);
        std::string text = values.next();
        for (int f = 1; f < 6 && (i % 3); ++f) text += " " + values.next();
        WritePrivateProfileStringA(INI_SECTION, key, text.c_str(), iniPath);

        // What attaching a window does with its entry: read, clamp, write back.
        WindowEntry e = readWindowEntry(key);
        writeWindowEntry(key, e);

        char stored[1024];
        GetPrivateProfileStringA(INI_SECTION, key, "", stored, sizeof stored, iniPath);
        CAPTURE(text);
        CHECK(isNormalisedEntry(stored, e));
        CHECK(sameEntry(readWindowEntry(key), e));
    }
    DeleteFileA(path.c_str());
    iniPath[0] = '\0';
}
