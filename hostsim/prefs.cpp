// Host emulator: the preferences window on page 22 with its tab control 1279, and other
// dialogs with a tab control.
#include "hostsim.h"

#include <commctrl.h>
#include <string.h>

#include <vector>

#include "internal.h"

namespace hostsim {
namespace {

constexpr int PREFS_PAGE_BASE = 1500;       // host page controls: 1500 + tab index
const char* const HOST_TABS[] = {"General", "Display"};

// A plug-in page sits at a fixed place in the tab control, in pixels (the player's own
// layout: 400 x 374 at 1, 22). Laid out in pixels too, whatever the dialog font, the tab
// control holds such a page whole and the window stays small enough for a screenshot.
void fitPrefsLayout(HWND dialog, HWND tab) {
    constexpr int MARGIN = 7, TAB_W = 404, TAB_H = 400, BUTTON_W = 75, BUTTON_H = 23;
    SetWindowPos(tab, nullptr, MARGIN, MARGIN, TAB_W, TAB_H, SWP_NOZORDER | SWP_NOACTIVATE);
    int buttonsY = MARGIN + TAB_H + MARGIN;
    SetWindowPos(GetDlgItem(dialog, IDCANCEL), nullptr, MARGIN + TAB_W - BUTTON_W, buttonsY,
                 BUTTON_W, BUTTON_H, SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(GetDlgItem(dialog, IDOK), nullptr, MARGIN + TAB_W - 2 * BUTTON_W - 6, buttonsY,
                 BUTTON_W, BUTTON_H, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT frame = {0, 0, MARGIN + TAB_W + MARGIN, buttonsY + BUTTON_H + MARGIN};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongA(dialog, GWL_EXSTYLE)));
    SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK prefsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        HWND tab = GetDlgItem(dialog, PREFS_TAB_CONTROL);
        fitPrefsLayout(dialog, tab);
        for (int i = 0; i < 2; ++i) {
            TCITEMA item = {};
            item.mask = TCIF_TEXT | TCIF_PARAM;
            item.pszText = const_cast<char*>(HOST_TABS[i]);
            item.lParam = PREFS_PAGE_BASE + i;
            SendMessageA(tab, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
            HWND page = CreateWindowExA(0, "STATIC", HOST_TABS[i], WS_CHILD | SS_LEFT, 8, 30, 300,
                                        200, tab, reinterpret_cast<HMENU>(static_cast<INT_PTR>(PREFS_PAGE_BASE + i)),
                                        GetModuleHandleA(nullptr), nullptr);
            (void)page;
        }
        // Like a real host, the page opens on the tab that was selected when it last closed.
        int count = static_cast<int>(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0));
        int last = current ? current->prefsTab : 0;
        SendMessageA(tab, TCM_SETCURSEL, last >= 0 && last < count ? last : 0, 0);
        NMHDR hdr = {tab, static_cast<UINT_PTR>(PREFS_TAB_CONTROL), static_cast<UINT>(TCN_SELCHANGE)};
        SendMessageA(dialog, WM_NOTIFY, PREFS_TAB_CONTROL, reinterpret_cast<LPARAM>(&hdr));
        return FALSE;   // the plug-in relies on wParam, the default focus control, only
    }
    case WM_NOTIFY: {
        const NMHDR* hdr = reinterpret_cast<const NMHDR*>(lParam);
        if (hdr->idFrom == static_cast<UINT_PTR>(PREFS_TAB_CONTROL) && hdr->code == static_cast<UINT>(TCN_SELCHANGE)) {
            int sel = static_cast<int>(SendMessageA(hdr->hwndFrom, TCM_GETCURSEL, 0, 0));
            if (current) current->prefsTab = sel;
            TCITEMA item = {};
            item.mask = TCIF_PARAM;
            SendMessageA(hdr->hwndFrom, TCM_GETITEMA, sel, reinterpret_cast<LPARAM>(&item));
            for (int i = 0; i < 2; ++i)
                ShowWindow(GetDlgItem(hdr->hwndFrom, PREFS_PAGE_BASE + i),
                           item.lParam == PREFS_PAGE_BASE + i ? SW_SHOW : SW_HIDE);
        }
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            closePreferences();
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        closePreferences();
        return TRUE;
    }
    return FALSE;
}

// An in-memory dialog template: the page with its tab control first, so that the tab
// control is the first tab stop and so the control WM_INITDIALOG names for the focus.
struct TemplateItem {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    const char* cls;
    const char* text;
};

struct TemplateWriter {
    std::vector<WORD> words;
    void align() { if (words.size() % 2) words.push_back(0); }
    void add(WORD w) { words.push_back(w); }
    void addDword(DWORD d) { add(LOWORD(d)); add(HIWORD(d)); }
    void addString(const char* s) {
        do add(static_cast<WORD>(static_cast<unsigned char>(*s))); while (*s++);
    }
    void addItem(const TemplateItem& it) {
        align();
        addDword(it.style);
        addDword(0);
        add(it.x); add(it.y); add(it.cx); add(it.cy);
        add(it.id);
        addString(it.cls);
        addString(it.text);
        add(0);
    }
};

std::vector<WORD> prefsTemplate() {
    TemplateWriter t;
    t.addDword(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE);
    t.addDword(0);
    t.add(3);                   // controls
    t.add(20); t.add(10); t.add(320); t.add(350);
    t.add(0); t.add(0);         // no menu, default class
    t.addString("Preferences");
    t.add(8);
    t.addString("MS Sans Serif");
    const TemplateItem items[] = {
        {WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, 5, 5, 310, 320, PREFS_TAB_CONTROL, WC_TABCONTROLA, ""},
        {WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 210, 330, 50, 14, IDOK, "BUTTON", "Close"},
        {WS_CHILD | WS_VISIBLE | WS_TABSTOP, 265, 330, 50, 14, IDCANCEL, "BUTTON", "Cancel"},
    };
    for (const TemplateItem& it : items) t.addItem(it);
    return t.words;
}

}  // namespace

HWND openPreferences(WPARAM page) {
    Host& h = *current;
    if (page != PREFS_PAGE) return nullptr;
    if (h.prefs && IsWindow(h.prefs)) {
        SetForegroundWindow(h.prefs);
        return h.prefs;
    }
    std::vector<WORD> words = prefsTemplate();
    h.prefs = CreateDialogIndirectParamA(GetModuleHandleA(nullptr),
                                         reinterpret_cast<LPCDLGTEMPLATEA>(words.data()), h.main,
                                         prefsProc, 0);
    ++h.prefsOpenCount;
    return h.prefs;
}

void closePreferences() {
    if (!current || !current->prefs) return;
    if (IsWindow(current->prefs)) DestroyWindow(current->prefs);
    current->prefs = nullptr;
}

HWND prefsTabControl() {
    if (!current || !current->prefs) return nullptr;
    return GetDlgItem(current->prefs, PREFS_TAB_CONTROL);
}

void selectPrefsTab(int index) {
    HWND tab = prefsTabControl();
    if (!tab) return;
    SendMessageA(tab, TCM_SETCURSEL, index, 0);
    NMHDR hdr = {tab, static_cast<UINT_PTR>(PREFS_TAB_CONTROL), static_cast<UINT>(TCN_SELCHANGE)};
    SendMessageA(GetParent(tab), WM_NOTIFY, PREFS_TAB_CONTROL, reinterpret_cast<LPARAM>(&hdr));
}

int findPrefsTab(const char* text) {
    HWND tab = prefsTabControl();
    if (!tab) return -1;
    int count = static_cast<int>(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char buffer[128] = "";
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = buffer;
        item.cchTextMax = sizeof buffer;
        SendMessageA(tab, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
        if (!strcmp(buffer, text)) return i;
    }
    return -1;
}

// ---- Preferences: clicks, pages and other tab dialogs ---------------------------------------

void clickPrefsTab(int index) {
    HWND tab = prefsTabControl();
    if (!tab) return;
    RECT rc = {};
    if (!SendMessageA(tab, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rc))) return;
    LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    SendMessageA(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(tab, WM_LBUTTONUP, 0, at);
}

HWND prefsHostPage(int index) {
    HWND tab = prefsTabControl();
    return tab ? GetDlgItem(tab, PREFS_PAGE_BASE + index) : nullptr;
}

int prefsTabCount() {
    HWND tab = prefsTabControl();
    return tab ? static_cast<int>(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0)) : 0;
}

std::vector<HWND> tabChildDialogs(HWND tab) {
    std::vector<HWND> dialogs;
    for (HWND w = GetWindow(tab, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        char name[16] = "";
        GetClassNameA(w, name, sizeof name);
        if (!strcmp(name, "#32770")) dialogs.push_back(w);
    }
    return dialogs;
}

namespace {

HWND tabDialog;

// The items are added after creation; the dialog itself only has to exist.
INT_PTR CALLBACK tabDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

std::vector<WORD> tabDialogTemplate(int tabControlId, bool tabFirst, const char* controlClass) {
    TemplateWriter t;
    t.addDword(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_VISIBLE);
    t.addDword(0);
    t.add(2);
    t.add(40); t.add(40); t.add(200); t.add(150);
    t.add(0); t.add(0);
    t.addString("Other tabs");
    t.add(8);
    t.addString("MS Sans Serif");
    const TemplateItem tab = {WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, 5, 5, 190, 120,
                              static_cast<WORD>(tabControlId), controlClass, ""};
    const TemplateItem button = {WS_CHILD | WS_VISIBLE | WS_TABSTOP, 145, 130, 50, 14, IDCANCEL,
                                 "BUTTON", "Close"};
    t.addItem(tabFirst ? tab : button);
    t.addItem(tabFirst ? button : tab);
    return t.words;
}

}  // namespace

HWND openTabDialog(int tabControlId, bool tabFirst, bool hostOwned, const char* controlClass) {
    closeTabDialog();
    std::vector<WORD> words = tabDialogTemplate(tabControlId, tabFirst, controlClass);
    HWND owner = hostOwned && current ? current->main : nullptr;
    tabDialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr),
                                           reinterpret_cast<LPCDLGTEMPLATEA>(words.data()), owner,
                                           tabDialogProc, 0);
    HWND tab = GetDlgItem(tabDialog, tabControlId);
    for (int i = 0; i < 2; ++i) {
        TCITEMA item = {};
        item.mask = TCIF_TEXT | TCIF_PARAM;
        item.pszText = const_cast<char*>(i ? "Two" : "One");
        item.lParam = i + 1;
        SendMessageA(tab, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
    }
    return tabDialog;
}

void closeTabDialog() {
    if (tabDialog && IsWindow(tabDialog)) DestroyWindow(tabDialog);
    tabDialog = nullptr;
}

}  // namespace hostsim
