#include "harness.h"

namespace {

// Wine quietly swallows an exception raised inside a hook or a window procedure, so a crash
// of the plug-in there would go unseen; every session counts them as they are raised.
volatile LONG faults;

LONG CALLBACK countFault(EXCEPTION_POINTERS* e) {
    switch (e->ExceptionRecord->ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_STACK_OVERFLOW:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_PRIV_INSTRUCTION:
        InterlockedIncrement(&faults);
        break;
    default:
        break;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

Session::Session(const hostsim::Options& options, bool init) : host(hostsim::start(options)) {
    faults = 0;
    faultHandler = AddVectoredExceptionHandler(1, countFault);
    REQUIRE(hostsim::loadPlugin(plugin));
    if (init) hostsim::initPlugin(plugin);
    hostsim::pump(20);
}

Session::~Session() {
    hostsim::stop();
    hostsim::pump(10);
    hostsim::unloadPlugin(plugin);
    // A page or dialog of the plug-in keeps the library loaded while it exists and lets it go
    // from a thread of its own when it ends: the next case must start from a fresh copy.
    CHECK_MESSAGE(hostsim::pumpUntil([] { return !GetModuleHandleA("gen_quorvel.dll"); }, 5000),
                  "the library is still loaded after the session");
    RemoveVectoredExceptionHandler(faultHandler);
    CHECK_MESSAGE(faults == 0, "a fault was raised (and swallowed) during the session");
}

std::string quorvelSection(std::initializer_list<const char*> lines) {
    std::string text = "[Player]\r\nvolume=200\r\n[Quorvel]\r\n";
    for (const char* line : lines) text += std::string(line) + "\r\n";
    return text;
}

hostsim::Options withIni(std::initializer_list<const char*> lines) {
    hostsim::Options options;
    options.iniText = quorvelSection(lines);
    return options;
}

std::string iniRead(const char* key, const char* section) {
    char buffer[1024];
    GetPrivateProfileStringA(section, key, "<absent>", buffer, sizeof buffer,
                             hostsim::host().iniPath.c_str());
    return buffer;
}

void iniWrite(const char* key, const char* value, const char* section) {
    WritePrivateProfileStringA(section, key, value, hostsim::host().iniPath.c_str());
}

int layeredAlpha(HWND window) {
    if (!(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_LAYERED)) return -1;
    BYTE alpha = 0;
    DWORD flags = 0;
    COLORREF key = 0;
    if (!GetLayeredWindowAttributes(window, &key, &alpha, &flags)) return -2;
    return alpha;
}

Record* recordOf(HWND window) { return static_cast<Record*>(GetPropA(window, "Quorvel")); }

void paint(HWND window) {
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
}

void hide(HWND window) { ShowWindow(window, SW_HIDE); }
void show(HWND window) {
    ShowWindow(window, SW_SHOWNA);
    paint(window);
}

void* replaceImport(HMODULE library, const char* dll, const char* name, void* replacement) {
    void* real = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(dll), name));
    BYTE* base = reinterpret_cast<BYTE*>(library);
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int patched = 0;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         d->Name; ++d) {
        for (auto* t = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk); t->u1.Function; ++t) {
            if (t->u1.Function != reinterpret_cast<ULONG_PTR>(real)) continue;
            DWORD old;
            VirtualProtect(&t->u1.Function, sizeof t->u1.Function, PAGE_READWRITE, &old);
            t->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&t->u1.Function, sizeof t->u1.Function, old, &old);
            ++patched;
        }
    }
    REQUIRE(patched == 1);
    return real;
}

HWND openAlphaPage(Session& s) {
    hostsim::configPlugin(s.plugin);
    hostsim::pump(20);
    int index = hostsim::findPrefsTab("Alpha Blending");
    REQUIRE(index >= 0);
    hostsim::selectPrefsTab(index);
    hostsim::pump(20);
    std::vector<HWND> pages = hostsim::tabChildDialogs(hostsim::prefsTabControl());
    REQUIRE(pages.size() == 1);
    return pages[0];
}
