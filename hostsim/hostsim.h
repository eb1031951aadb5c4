// Host emulator: what the media player provides to a general-purpose plug-in, written from
// what the plug-in relies on and nothing more. Used by the tests and by the demo player.
//
// One host at a time per process. Its windows live on the thread that calls start(), which
// must pump messages (pump(), pumpUntil()) for timers, paints and requests to be served.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace hostsim {

// ---- The host's side of the plug-in protocol -----------------------------------------------

constexpr UINT HOST_MESSAGE = WM_USER;
constexpr LPARAM REQ_GET_WINDOW = 260;
constexpr LPARAM REQ_GET_MENU = 281;
constexpr LPARAM REQ_GET_INI_PATH = 334;
constexpr LPARAM REQ_OPEN_PREFS = 380;
constexpr LPARAM REQ_ENUM_EMBED = 532;
constexpr LPARAM REQ_ALLOC_COMMAND_ID = 3019;

constexpr UINT MENU_ANCHOR_COMMAND = 40347;    // "Window Settings" goes before this item
constexpr UINT MENU_PREFERENCES_COMMAND = 40012;
constexpr int PREFS_TAB_CONTROL = 1279;
constexpr WPARAM PREFS_PAGE = 22;
constexpr char EMBED_CLASS[] = "Winamp Gen";

// The host's record of an embedded window; only the first field is known to plug-ins.
struct EmbedRecord {
    HWND hwnd;
    int flags;
    RECT placement;
};

struct EmbedEnum {
    int (__cdecl *callback)(EmbedRecord* record, EmbedEnum* param);
    int user_data;
};

// The plug-in's descriptor as the host reads it.
struct Descriptor {
    int version;
    const char* description;
    int (*init)();
    void (*config)();
    void (*quit)();
    HWND parentWindow;
    HINSTANCE moduleHandle;
};

// ---- Configuration -------------------------------------------------------------------------

enum class IniReply { Path, Zero, One, Custom };

struct Options {
    bool equalizer = true;          // false: the host answers 0 for that window
    bool playlist = true;
    bool minibrowser = true;
    bool video = true;
    bool showWindows = true;
    IniReply iniReply = IniReply::Path;
    std::string customIniPath;      // answered when iniReply is Custom
    WORD firstCommandId = 41000;    // command ids are handed out consecutively from here
    WORD commandIdStep = 1;         // 0: a broken host that hands out the same id every time
    std::string iniText;            // initial content of the INI file ("" = no file)
};

struct RequestRecord {
    LPARAM request;
    WPARAM argument;
    DWORD thread;
};

struct Host {
    Options options;
    HWND main = nullptr;
    HWND equalizer = nullptr;
    HWND playlist = nullptr;
    HWND minibrowser = nullptr;
    HWND video = nullptr;
    HMENU mainMenu = nullptr;
    HWND prefs = nullptr;           // the preferences window, while open
    std::string iniPath;            // a fresh file in a folder of its own
    std::string iniFolder;
    std::vector<RequestRecord> requests;   // every request received, in order
    WORD nextCommandId = 0;
    int prefsOpenCount = 0;
    int prefsTab = 0;               // the page's last selected tab, selected again on opening
};

// Starts the host: its five windows, main menu and INI file. Returns the host.
Host& start(const Options& options = Options());
// Destroys every window of the host (embedded ones included) and removes the INI folder.
void stop();
Host& host();
bool running();

// ---- Embedded "Winamp Gen" windows ---------------------------------------------------------

enum class EmbedKind { TopLevel, Owned, Child };

// Creates a window of class "Winamp Gen" on the calling thread and registers it with the
// host, so that the embedded-window enumeration reaches it. owner is the owner (Owned) or
// the parent (Child); it defaults to the main window.
HWND addEmbedded(const std::string& title, EmbedKind kind = EmbedKind::TopLevel,
                 HWND owner = nullptr, const char* className = EMBED_CLASS);
// The same for a top-level window whose text messages are handled in Unicode, as in a
// Unicode host, so that its title keeps characters the ANSI code page has not got.
HWND addUnicodeEmbedded(const wchar_t* title);
// Destroys the window (on the calling thread) and unregisters it.
void removeEmbedded(HWND window);
// Registers or unregisters a window created elsewhere.
void registerEmbedded(HWND window);
void unregisterEmbedded(HWND window);
std::vector<HWND> embeddedWindows();

// Creates a plain top-level window the host knows nothing about.
HWND createForeignWindow(const char* title, const char* className = "QuorvelForeign");

// ---- Threads -------------------------------------------------------------------------------

// A thread with a message loop. Threads started after the plug-in is loaded get its hooks.
class WindowThread {
public:
    WindowThread();
    ~WindowThread();                 // ends the loop and joins
    WindowThread(const WindowThread&) = delete;
    WindowThread& operator=(const WindowThread&) = delete;
    // Runs fn on the thread and waits for it, pumping the caller's messages meanwhile.
    void run(const std::function<void()>& fn);
    // Runs fn on the thread without waiting.
    void post(const std::function<void()>& fn);
    DWORD id() const { return threadId_; }
    void stop();

private:
    static DWORD WINAPI main(void* self);
    HANDLE thread_ = nullptr;
    HANDLE ready_ = nullptr;
    DWORD threadId_ = 0;
};

// ---- Message pumping -----------------------------------------------------------------------

// Dispatches the calling thread's messages for about ms milliseconds.
void pump(DWORD ms);
// Pumps until done() holds or timeoutMs pass; returns done().
bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000);
// Waits for a handle while pumping the calling thread's messages.
bool waitPumping(HANDLE handle, DWORD timeoutMs);

// ---- The plug-in ---------------------------------------------------------------------------

struct Plugin {
    HMODULE module = nullptr;
    Descriptor* descriptor = nullptr;
};

// LoadLibraryA, the export, and the two fields the host writes. Returns false on failure.
bool loadPlugin(Plugin& plugin, const char* path = "gen_quorvel.dll");
int initPlugin(Plugin& plugin);
void configPlugin(Plugin& plugin);
void quitPlugin(Plugin& plugin);
void unloadPlugin(Plugin& plugin);

// ---- Menus and preferences -----------------------------------------------------------------

// Builds the main menu anew, as a host does for a new skin or language: from now on the
// host answers the menu request with the new one. Returns the old menu, still alive.
HMENU rebuildMainMenu();

// Opens the host's main menu modally over owner (TrackPopupMenu), as a right-click would.
// whileOpen runs from a timer on the calling thread while the menu is open; the menu closes
// after it, or by the command it picks. Returns the command chosen (0 for none).
UINT trackMainMenu(HWND owner, const std::function<UINT(HMENU menu)>& whileOpen = nullptr);

// Opens the preferences window on the given page (what request 380 does).
HWND openPreferences(WPARAM page);
void closePreferences();
// The preferences window's tab control (id 1279), or 0.
HWND prefsTabControl();
// Selects a tab of the preferences window as a click would (TCM_SETCURSEL, then the
// TCN_SELCHANGE notification to the page).
void selectPrefsTab(int index);
int findPrefsTab(const char* text);
// Clicks a tab of the preferences window with the mouse: the tab control itself then sends
// TCN_SELCHANGING and TCN_SELCHANGE to the page.
void clickPrefsTab(int index);
// The host's own page behind its tab index (0 "General", 1 "Display"), a child of the tab
// control shown while its tab is selected.
HWND prefsHostPage(int index);
int prefsTabCount();
// Child dialogs of the tab control (the host's own pages are not dialogs).
std::vector<HWND> tabChildDialogs(HWND tab);

// A modeless dialog that is not the preferences page: its tab control has the given id and
// carries two items, and tabFirst says whether the tab control or a button comes first and
// so gets the default focus. It is owned by the main window unless hostOwned is false, and
// controlClass may make its "tab control" a control of another kind. Closed by
// closeTabDialog or stop().
HWND openTabDialog(int tabControlId, bool tabFirst, bool hostOwned = true,
                   const char* controlClass = "SysTabControl32");
void closeTabDialog();

}  // namespace hostsim
