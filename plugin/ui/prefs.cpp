// Alpha Blending preferences tab and page.
//
// The host's preferences page 22 carries a tab control with id 1279. The filter shows us
// that page's traffic: when the page initialises we append an "Alpha Blending" item to the
// tab control, and whenever the selection changes we show our own child dialog inside the
// tab control while that item is selected, and destroy it otherwise. Each such tab control
// has at most one page, found among its children, so two preferences windows never touch
// each other's page. The page edits the linked settings and applies and stores each
// change at once.
#include "ui.h"

#include <commctrl.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "../fade/fade.h"
#include "../host/host.h"
#include "../settings/settings.h"
#include "../window/window.h"
#include "resource.h"

namespace {

constexpr char TAB_CONTROL_CLASS[] = "SysTabControl32";
constexpr char DIALOG_CLASS[] = "#32770";

// Where the page sits in the tab control's client area, in pixels.
constexpr int PAGE_X = 1, PAGE_Y = 22, PAGE_WIDTH = 400, PAGE_HEIGHT = 374;

constexpr int OPACITY_MIN_PERCENT = 10, OPACITY_MAX_PERCENT = 100;
constexpr int OPACITY_PAGE_SIZE = 5;
constexpr int TIME_SLIDER_MAX = 30000;      // ms, the load clamp of the three times
constexpr int LABEL_SIZE = 32;

// The controls that only mean something while all windows are linked, in the order the
// link check box enables or disables them.
constexpr int LINKED_CONTROLS[] = {IDC_OPACITY_SLIDER, IDC_OPACITY_VALUE, IDC_AUTO_NONE,
                                   IDC_AUTO_FOCUS, IDC_AUTO_HOVER, IDC_OPACITY_TRANSPARENT,
                                   IDC_OPACITY_OPAQUE};

// Rounds to single precision through memory, so that the 32-bit build (x87, which keeps
// extended precision in registers) and the 64-bit build store the same bits.
float toFloat(long double value) {
    volatile float stored = static_cast<float>(value);
    return stored;
}

// The host's tab control: a tab control with id 1279 in the host's preferences window, which
// the host's main window owns. The id alone says little: other dialogs use it as well, for
// tab controls and for controls of any other kind.
bool isHostTabControl(HWND window) {
    if (GetDlgCtrlID(window) != HOST_TAB_CONTROL) return false;
    char className[CLASS_NAME_SIZE];
    if (!GetClassNameA(window, className, CLASS_NAME_SIZE) ||
        memcmp(className, TAB_CONTROL_CLASS, sizeof TAB_CONTROL_CLASS) != 0)
        return false;
    HWND main = hostWindows.hwndMain;
    return main && GetWindow(GetAncestor(window, GA_ROOT), GW_OWNER) == main;
}

// The page applies its changes to the windows only while the main window is its own root
// owner; otherwise it only stores them.
bool mainIsOwnRoot() {
    HWND main = hostWindows.hwndMain;
    return GetAncestor(main, GA_ROOTOWNER) == main;
}

// The page inside this tab control, or 0: a child dialog that runs our procedure.
HWND pageIn(HWND tab) {
    HWND child = nullptr;
    while ((child = FindWindowExA(tab, child, DIALOG_CLASS, nullptr)) != nullptr)
        if (GetWindowLongPtrA(child, DWLP_DLGPROC) == reinterpret_cast<LONG_PTR>(alphaPageProc))
            return child;
    return nullptr;
}

LRESULT selectedIndex(HWND tab) {
    OutsideLock outside;
    return SendMessageA(tab, TCM_GETCURSEL, 0, 0);
}

// Shows the tab control's page when the item at index is ours, destroys it otherwise. A
// negative index selects no item; an index past the last item selects nothing new, and
// the page stays as it is.
void showOrHidePage(HWND tab, LRESULT index) {
    TCITEMA item = {};
    item.mask = TCIF_PARAM;
    BOOL readable;
    {
        OutsideLock outside;
        readable = SendMessageA(tab, TCM_GETITEMA, static_cast<WPARAM>(index),
                                reinterpret_cast<LPARAM>(&item)) != 0;
    }
    if (!readable && index >= 0) return;
    HWND page = pageIn(tab);
    if (!readable || item.lParam != ALPHA_TAB_PARAM) {
        OutsideLock outside;
        if (page) DestroyWindow(page);
        return;
    }
    if (page) return;                       // at most one page per tab control
    // The page keeps the library loaded for as long as it exists: the host may free the
    // library while its preferences are open, and the page's procedure must stay. The
    // reference is taken before the page exists and handed to it as it initialises.
    int pin = pinModule();
    if (pin < 0) return;                    // unloading, or the loader stays busy: no page
    {
        OutsideLock outside;
        page = CreateDialogParamA(pluginDescriptor.moduleHandle, MAKEINTRESOURCEA(IDD_ALPHA_PAGE),
                                  tab, alphaPageProc, pin + 1);
        SetWindowPos(page, HWND_TOP, PAGE_X, PAGE_Y, PAGE_WIDTH, PAGE_HEIGHT, SWP_SHOWWINDOW);
    }
    unpinModule(pin);                       // only if no page took it
}

// ---- The page ------------------------------------------------------------------------------

// A value label: the number followed directly by its unit ("50%", "750ms").
void setLabel(HWND label, int value, const char* unit) {
    char text[LABEL_SIZE];
    formatText(text, sizeof text, "%d%s", value, unit);
    OutsideLock outside;    // the page's own control, but other hooks see the message too
    SetWindowTextA(label, text);
}

void initTimeSlider(HWND page, int sliderId, unsigned ms) {
    HWND slider = GetDlgItem(page, sliderId);
    SendMessageA(slider, TBM_SETRANGE, TRUE, MAKELPARAM(0, TIME_SLIDER_MAX));
    SendMessageA(slider, TBM_SETSEL, FALSE, MAKELPARAM(0, TIME_SLIDER_MAX));
    SendMessageA(slider, TBM_SETPOS, TRUE, static_cast<LPARAM>(ms));
}

// Fills the page from the settings in memory (never from the file).
void initPage(HWND page) {
    int percent = opacityPercentOf(cfg_opaque);
    HWND opacity = GetDlgItem(page, IDC_OPACITY_SLIDER);
    SendMessageA(opacity, TBM_SETRANGE, TRUE, MAKELPARAM(OPACITY_MIN_PERCENT, OPACITY_MAX_PERCENT));
    SendMessageA(opacity, TBM_SETPAGESIZE, 0, OPACITY_PAGE_SIZE);
    SendMessageA(opacity, TBM_SETSEL, FALSE, MAKELPARAM(OPACITY_MIN_PERCENT, OPACITY_MAX_PERCENT));
    SendMessageA(opacity, TBM_SETPOS, TRUE, percent);

    initTimeSlider(page, IDC_FADEIN_SLIDER, cfg_fadein);
    initTimeSlider(page, IDC_HOLD_SLIDER, cfg_hold);
    initTimeSlider(page, IDC_FADEOUT_SLIDER, cfg_fadeout);

    setLabel(GetDlgItem(page, IDC_OPACITY_VALUE), percent, "%");
    setLabel(GetDlgItem(page, IDC_FADEIN_VALUE), static_cast<int>(cfg_fadein), "ms");
    setLabel(GetDlgItem(page, IDC_HOLD_VALUE), static_cast<int>(cfg_hold), "ms");
    setLabel(GetDlgItem(page, IDC_FADEOUT_VALUE), static_cast<int>(cfg_fadeout), "ms");

    CheckDlgButton(page, IDC_AUTO_NONE + cfg_auto, BST_CHECKED);
    if (cfg_link) {
        CheckDlgButton(page, IDC_LINK_ALL, BST_CHECKED);
        // The template leaves these disabled, as they are while unlinked.
        for (int id : LINKED_CONTROLS) EnableWindow(GetDlgItem(page, id), TRUE);
    }
}

// The link check box changed: store it, enable or disable the linked controls, then stop
// every fade and show the linked alpha, or give each window back its own resting alpha.
void onLinkToggled(HWND page) {
    BYTE link = IsDlgButtonChecked(page, IDC_LINK_ALL) ? 1 : 0;
    // Stored before anything leaves the lock, so that the file follows the decisions; only
    // when it changed, as another player sharing the file keeps its own choice of the rest.
    if (link != cfg_link) {
        cfg_link = link;
        saveLink();
    }
    {
        OutsideLock outside;
        for (int id : LINKED_CONTROLS) EnableWindow(GetDlgItem(page, id), link);
    }
    if (!mainIsOwnRoot()) return;
    resetLinkedWindows();
    cur_opaque = cfg_opaque;
    applyLinkedOpacity(cfg_link ? cfg_opaque : 0.0f);
}

void onPageCommand(HWND page, int id) {
    // Called from the thread's normal dispatch: the settings and the windows it changes are
    // also used by fade ticks on other threads, so it runs under the filter lock.
    FilterLockGuard lock;
    if (!lock) return;
    BYTE mode = cfg_auto;
    switch (id) {
    case IDC_LINK_ALL: onLinkToggled(page); break;
    case IDC_AUTO_NONE: cfg_auto = AUTO_NONE; break;
    case IDC_AUTO_FOCUS: cfg_auto = AUTO_FOCUS; break;
    case IDC_AUTO_HOVER: cfg_auto = AUTO_HOVER; break;
    default: break;
    }
    if (cfg_auto != mode) saveAuto();     // only what changed, as for the link
}

void onOpacityMoved(HWND label, int percent) {
    setLabel(label, percent, "%");
    SliderAlpha alpha = alphaOfPercent(percent);
    cur_opaque = alpha.shown;
    cfg_opaque = alpha.stored;
    saveOpaque();       // before the broadcast leaves the lock: the file follows decisions
    // The slider is enabled only while linked, so the link is not tested again here.
    if (mainIsOwnRoot()) applyLinkedOpacity(cfg_opaque);
}

void onTimeMoved(HWND label, int ms, unsigned* setting, void (*save)()) {
    // Running fades keep their pace; the fade engine reads the time at its next use.
    *setting = static_cast<unsigned>(ms);
    setLabel(label, ms, "ms");
    save();
}

void onPageScroll(HWND page, HWND slider) {
    FilterLockGuard lock;   // see onPageCommand
    if (!lock) return;
    int id = GetDlgCtrlID(slider);
    HWND label = GetDlgItem(page, id + 1);   // each value label sits one id above its slider
    int pos = 0;
    switch (id) {
    case IDC_OPACITY_SLIDER:
    case IDC_FADEIN_SLIDER:
    case IDC_HOLD_SLIDER:
    case IDC_FADEOUT_SLIDER:
        pos = static_cast<int>(SendMessageA(slider, TBM_GETPOS, 0, 0));
        break;
    default:
        return;
    }
    switch (id) {
    case IDC_OPACITY_SLIDER: onOpacityMoved(label, pos); break;
    case IDC_FADEIN_SLIDER: onTimeMoved(label, pos, &cfg_fadein, saveFadeIn); break;
    case IDC_HOLD_SLIDER: onTimeMoved(label, pos, &cfg_hold, saveHold); break;
    case IDC_FADEOUT_SLIDER: onTimeMoved(label, pos, &cfg_fadeout, saveFadeOut); break;
    }
}

}  // namespace

// ---- Conversions ---------------------------------------------------------------------------

int opacityPercentOf(float alpha) {
    long double scaled = static_cast<long double>(alpha) * 100.0L;
    return static_cast<int>(scaled) / 255;
}

SliderAlpha alphaOfPercent(int percent) {
    // 0.01 as a single-precision constant lies slightly below 0.01, so 50 gives 127.4999...,
    // shown as 127.5 once rounded to float, and stored rounded up, as 128.
    long double product = static_cast<long double>(percent) * 255.0L * static_cast<long double>(0.01f);
    return SliderAlpha{toFloat(product), toFloat(ceill(product))};
}

// ---- Tab cases of the filter (each takes the lock once the message concerns it) -----------

void onTabInitDialog(HWND dialog, WPARAM wParam, LPARAM) {
    // wParam names the control that is to get the default focus: on the host's page 22
    // that is its tab control. The hook sees this before the page's own initialisation.
    HWND tab = reinterpret_cast<HWND>(wParam);
    if (!isHostTabControl(tab) || !IsChild(dialog, tab)) return;
    FilterLockGuard lock;
    if (!lock) return;
    TCITEMA item = {};
    item.mask = TCIF_TEXT | TCIF_PARAM;
    item.pszText = const_cast<char*>(ALPHA_TAB_TEXT);
    item.lParam = ALPHA_TAB_PARAM;
    {
        OutsideLock outside;
        SendMessageA(tab, TCM_INSERTITEMA, ALPHA_TAB_INDEX, reinterpret_cast<LPARAM>(&item));
    }
    showOrHidePage(tab, selectedIndex(tab));
}

void onTabNotify(HWND, WPARAM, LPARAM lParam) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    if (!header) return;
    UINT code = header->code;
    if (code != static_cast<UINT>(TCN_SELCHANGE) && code != static_cast<UINT>(TCN_FOCUSCHANGE)) return;
    // The sender's own id, not idFrom, which a sender may fill as it likes.
    if (!isHostTabControl(header->hwndFrom)) return;
    FilterLockGuard lock;
    if (lock) showOrHidePage(header->hwndFrom, selectedIndex(header->hwndFrom));
}

void onTabSelect(HWND window, WPARAM wParam, LPARAM) {
    // Seen before the tab control acts, so its selection is still the old one: wParam is
    // the item about to be selected (the control reads it as an int).
    if (!isHostTabControl(window)) return;
    FilterLockGuard lock;
    if (lock) showOrHidePage(window, static_cast<int>(wParam));
}

// ---- The page's dialog procedure -----------------------------------------------------------

INT_PTR CALLBACK alphaPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    InFlightCall call;
    switch (message) {
    case WM_INITDIALOG:
        handPinTo(static_cast<int>(lParam) - 1, dialog);    // the reference taken for the page
        initPage(dialog);
        return 1;
    case WM_NCDESTROY:
        unpinWindow(dialog);
        return 0;
    case WM_COMMAND:
        onPageCommand(dialog, LOWORD(wParam));
        return 1;
    case WM_HSCROLL:
        onPageScroll(dialog, reinterpret_cast<HWND>(lParam));
        return 1;
    default:
        return 0;
    }
}
