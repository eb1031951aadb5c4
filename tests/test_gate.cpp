// The plug-in on a system older than it supports. This program runs as test_gate.exe,
// which the test set-up registers with Wine as a Windows NT 4.0 program, so the version
// check fails here and the plug-in must stay inert.
//
// Not caught here, on purpose: a gate that forgets its service-pack condition. Telling it
// apart needs a system that reports version 5.0 without a service pack, and Wine's
// per-program version setting offers none (its "win2k" carries service pack 4).
#include "support/harness.h"

#include <string>

using namespace hostsim;

namespace {

// The product is the 32-bit DLL; its 64-bit twin names its own width.
#ifdef _WIN64
#define DESCRIPTION "Quorvel v1.1 (x64)"
#else
#define DESCRIPTION "Quorvel v1.1 (x86)"
#endif
constexpr char CAPTION[] = DESCRIPTION;
constexpr char MESSAGE[] =
    DESCRIPTION " support for alpha blending is only available for\n"
    "Microsoft Windows 2000/XP versions and higher, your system detected version\n"
    "is lower than the required for the plugin to function properly.\n"
    "\n"
    "The plugin has not been loaded and it is suggested that you remove the plugin\n"
    "from your system, as it will only consume unecessary resources.";
constexpr int MESSAGE_BOX_TEXT = 0xFFFF;    // the message box's static text control
constexpr int MESSAGE_BOX_ICON = 0x0440;    // and its icon control

// The same question the plug-in asks: version 5.0 with service pack 1 or later?
bool systemPassesGate() {
    OSVERSIONINFOEXA v = {};
    v.dwOSVersionInfoSize = sizeof v;
    v.dwMajorVersion = 5;
    v.wServicePackMajor = 1;
    DWORDLONG mask = 0;
    mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoA(&v, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, mask);
}

// What a helper thread saw of the message box before it pressed OK.
struct BoxSeen {
    bool found = false;
    std::string text;
    HWND owner = nullptr;
    bool informationIcon = false;
    std::vector<int> buttons;       // ids of the visible push buttons
};

BOOL CALLBACK collectButton(HWND child, LPARAM param) {
    char cls[32] = "";
    GetClassNameA(child, cls, sizeof cls);
    if (!lstrcmpiA(cls, "Button") && IsWindowVisible(child))
        reinterpret_cast<BoxSeen*>(param)->buttons.push_back(GetDlgCtrlID(child));
    return TRUE;
}

// Runs on a thread created before the plug-in is loaded, so it has no hooks of its own.
DWORD WINAPI answerBox(void* param) {
    BoxSeen* seen = static_cast<BoxSeen*>(param);
    HWND box = nullptr;
    for (DWORD start = GetTickCount(); !box && GetTickCount() - start < 20000; Sleep(10))
        box = FindWindowA("#32770", CAPTION);
    if (!box) return 0;
    seen->found = true;
    char text[1024] = "";
    GetDlgItemTextA(box, MESSAGE_BOX_TEXT, text, sizeof text);
    seen->text = text;
    seen->owner = GetWindow(box, GW_OWNER);
    HICON icon = reinterpret_cast<HICON>(SendDlgItemMessageA(box, MESSAGE_BOX_ICON, STM_GETICON, 0, 0));
    seen->informationIcon = icon && icon == LoadIconA(nullptr, IDI_INFORMATION);
    EnumChildWindows(box, collectButton, reinterpret_cast<LPARAM>(seen));
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    return 0;
}

}  // namespace

TEST_CASE("on an unsupported system the plug-in loads, sends nothing and hooks nothing") {
    REQUIRE_MESSAGE(!systemPassesGate(),
                    "this program must see Windows NT 4.0 (Wine AppDefaults for test_gate.exe)");
    Session s(Options(), false);
    CHECK(initPlugin(s.plugin) == 0);
    pump(20);
    CHECK(s.host.requests.empty());

    HWND gen = addEmbedded("Visualizer");
    paint(gen);
    paint(s.host.main);
    CHECK(GetPropA(gen, "Quorvel") == nullptr);
    CHECK(GetPropA(s.host.main, "Quorvel") == nullptr);
    CHECK(layeredAlpha(gen) == -1);

    // A thread started after the load gets no hooks either.
    HWND other = nullptr;
    {
        WindowThread thread;
        thread.run([&] {
            other = addEmbedded("Other thread");
            paint(other);
        });
        CHECK(GetPropA(other, "Quorvel") == nullptr);
        thread.run([&] { removeEmbedded(other); });
    }
    CHECK(GetFileAttributesA(s.host.iniPath.c_str()) == INVALID_FILE_ATTRIBUTES);
}

TEST_CASE("on an unsupported system config explains it in an ownerless message box") {
    REQUIRE(!systemPassesGate());
    BoxSeen seen;
    HANDLE helper = CreateThread(nullptr, 0, answerBox, &seen, 0, nullptr);
    REQUIRE(helper != nullptr);
    {
        Session s(Options(), false);
        initPlugin(s.plugin);
        configPlugin(s.plugin);     // returns once the helper has pressed OK
        CHECK(s.host.requests.empty());
        CHECK(s.host.prefsOpenCount == 0);
    }
    CHECK(WaitForSingleObject(helper, 30000) == WAIT_OBJECT_0);
    CloseHandle(helper);

    REQUIRE(seen.found);
    CHECK(seen.text == MESSAGE);
    CHECK(seen.owner == nullptr);
    CHECK(seen.informationIcon);
    CHECK(seen.buttons == std::vector<int>{IDOK});
}
