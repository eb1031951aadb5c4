// The settings store's load rules, with the plug-in's own sources compiled in: the six
// globals loaded from a real INI file through the platform's profile functions, and the
// per-window entry's parse, clamp and written form.
#include <doctest.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "plugin/settings/settings.h"

namespace {

// A fresh INI file of its own for every load, so no cached or earlier content can leak.
std::string freshIniFile() {
    static int counter = 0;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%squorvel-unit-%lu-%d.ini", temp, GetCurrentProcessId(), ++counter);
    DeleteFileA(path);
    snprintf(iniPath, sizeof iniPath, "%s", path);
    return path;
}

std::string readKey(const char* key) {
    char buffer[512];
    GetPrivateProfileStringA(INI_SECTION, key, "<absent>", buffer, sizeof buffer, iniPath);
    return buffer;
}

struct Global {
    const char* key;
    double fallback;
    double (*value)();
};

const Global GLOBALS[] = {
    {"cfg_fadein", 250, [] { return static_cast<double>(cfg_fadein); }},
    {"cfg_hold", 2000, [] { return static_cast<double>(cfg_hold); }},
    {"cfg_fadeout", 750, [] { return static_cast<double>(cfg_fadeout); }},
    {"cfg_link", 1, [] { return static_cast<double>(cfg_link); }},
    {"cfg_opaque", 255, [] { return static_cast<double>(cfg_opaque); }},
    {"cfg_auto", 2, [] { return static_cast<double>(cfg_auto); }},
};

void scrambleGlobals() {
    cfg_fadein = cfg_hold = cfg_fadeout = 12345;
    cfg_link = 77;
    cfg_opaque = cur_opaque = 99.5f;
    cfg_auto = 9;
}

}  // namespace

TEST_CASE("each global loads with its default and its clamp, and touches no other") {
    struct Case {
        const char* key;
        const char* stored;     // null: the key is absent
        double expected;
    };
    const Case cases[] = {
        {"cfg_fadein", nullptr, 250}, {"cfg_fadein", "0", 0}, {"cfg_fadein", "29999", 29999},
        {"cfg_fadein", "30000", 30000}, {"cfg_fadein", "-1", 30000},
        {"cfg_hold", nullptr, 2000}, {"cfg_hold", "30001", 30000}, {"cfg_hold", "abc", 0},
        {"cfg_hold", "1500ms", 1500},
        {"cfg_fadeout", nullptr, 750}, {"cfg_fadeout", "-1", 30000}, {"cfg_fadeout", "-30000", 30000},
        {"cfg_link", nullptr, 1}, {"cfg_link", "0", 0}, {"cfg_link", "5", 1},
        {"cfg_link", "-1", 1}, {"cfg_link", "no", 0},
        {"cfg_opaque", nullptr, 255}, {"cfg_opaque", "0", 26}, {"cfg_opaque", "20", 26},
        {"cfg_opaque", "26", 26}, {"cfg_opaque", "27", 27}, {"cfg_opaque", "254", 254},
        {"cfg_opaque", "300", 255}, {"cfg_opaque", "-5", 255}, {"cfg_opaque", "abc", 26},
        {"cfg_auto", nullptr, 2}, {"cfg_auto", "0", 0}, {"cfg_auto", "1", 1},
        {"cfg_auto", "7", 2}, {"cfg_auto", "-1", 2}, {"cfg_auto", "x", 0},
    };
    for (const Case& c : cases) {
        CAPTURE(c.key);
        CAPTURE(c.stored ? c.stored : "<absent>");
        std::string file = freshIniFile();
        WritePrivateProfileStringA(INI_SECTION, "unrelated", "1", file.c_str());
        if (c.stored) WritePrivateProfileStringA(INI_SECTION, c.key, c.stored, file.c_str());
        scrambleGlobals();
        loadGlobalSettings();
        for (const Global& g : GLOBALS) {
            CAPTURE(g.key);
            CHECK(g.value() == (strcmp(g.key, c.key) == 0 ? c.expected : g.fallback));
        }
        CHECK(cur_opaque == cfg_opaque);
        DeleteFileA(file.c_str());
    }

    // Digits beyond 32 bits load as some value inside each key's range.
    std::string file = freshIniFile();
    for (const Global& g : GLOBALS)
        WritePrivateProfileStringA(INI_SECTION, g.key, "99999999999999999999", file.c_str());
    loadGlobalSettings();
    CHECK(cfg_fadein <= 30000);
    CHECK(cfg_link <= 1);
    CHECK((cfg_opaque >= 26 && cfg_opaque <= 255));
    CHECK(cfg_auto <= 2);
    DeleteFileA(file.c_str());
}

TEST_CASE("a per-window entry is parsed, clamped and written back in normalised form") {
    struct Case {
        const char* stored;
        const char* written;
    };
    const Case cases[] = {
        {"255 2 0 0 0 0", "255 2 0 0 0 0"},
        {"300 1 0 0 0 0", "255 1 0 0 0 0"},
        {"-5 2 0 0 0 0", "26 2 0 0 0 0"},       // signed here, unlike cfg_opaque
        {"26 0 0 0 0 0", "26 0 0 0 0 0"},
        {"27 0 0 0 0 0", "27 0 0 0 0 0"},
        {"128 -1 0 0 0 0", "128 255 0 0 0 0"},
        {"128 258 5 -2 8 1", "128 2 5 254 8 1"}, // low 8 bits, each into its own field
        {"128", "128 0 0 0 0 0"},
        {"128 1 x 1 1 1", "128 1 0 0 0 0"},      // a non-number ends the parse
        {"128,1", "128 0 0 0 0 0"},
        {"  +100 \t3  1 0 0 0 7", "100 3 1 0 0 0"},
        {"", "255 0 0 0 0 0"},                   // no first number: rests fully opaque
        {"abc 1 2 3", "255 0 0 0 0 0"},
        {"- 5", "255 0 0 0 0 0"},
        {"4294967424 4294967297", "128 1 0 0 0 0"},   // overflowing digits wrap, never trap
    };
    char text[INI_VALUE_SIZE];
    for (const Case& c : cases) {
        CAPTURE(c.stored);
        formatWindowEntry(text, sizeof text, parseWindowEntry(c.stored));
        CHECK(std::string(text) == c.written);
    }
    std::string huge(5000, '9');
    WindowEntry e = parseWindowEntry(huge.c_str());
    CHECK((e.opaque >= 26 && e.opaque <= 255));
}

TEST_CASE("globals are written as plain signed decimals, the opacity as its integer part") {
    std::string file = freshIniFile();
    cfg_opaque = 127.9f;
    saveOpaque();
    CHECK(readKey("cfg_opaque") == "127");      // truncated, not rounded
    cfg_fadeout = 30000;
    saveFadeOut();
    CHECK(readKey("cfg_fadeout") == "30000");
    writeIntSetting(INI_SECTION, "signed", -5, iniPath);
    CHECK(readKey("signed") == "-5");
    DeleteFileA(file.c_str());
}
