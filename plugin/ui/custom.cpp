// Custom Opacity dialog: any opacity from 10 % to 100 % with a live preview.
//
// Opened modally by the Window Settings menu's Custom command for the menu's target window
// (or, when linked, for all managed windows), on the thread that took the command, once that
// thread has left the filter lock: the modal loop runs without it, so that no other thread
// waits for the user, and each handler inside it takes the lock for its own work and fetches
// afresh what it acts on. One dialog at a time. While it exists the library keeps itself
// loaded, so that the host may free it even from inside the loop.
// The slider only previews; OK stores the chosen alpha and writes it at once, Cancel and the
// close button put the stored resting alpha back on screen.
#include "ui.h"

#include <commctrl.h>
#include <stdio.h>

#include "../fade/fade.h"
#include "../host/host.h"
#include "../settings/settings.h"
#include "../window/window.h"
#include "opacity.h"
#include "resource.h"

HWND customTarget;

namespace {

constexpr int SLIDER_PAGE = 5;

// Set (under the lock) from the command that opens the dialog until its loop has ended; the
// dialog's handle once it has one.
bool dialogActive;
HWND openDialog;
HWND openingTarget;
// What the dialog shows on its windows: their alpha when it opened, then its last preview.
// OK keeps that on screen as a decision of its own, so that a change decided while the
// dialog was open (a preset taken meanwhile, even from inside one of our own calls) does
// not stay on screen against the stored value.
int dialogShows;

HWND sliderOf(HWND dialog) { return GetDlgItem(dialog, IDC_CUSTOM_SLIDER); }

int sliderPosition(HWND dialog) {
    return static_cast<int>(SendMessageA(sliderOf(dialog), TBM_GETPOS, 0, 0));
}

void showPercent(HWND dialog, int percent) {
    char text[32];
    formatText(text, sizeof text, "Opacity : %d%%", percent);
    SetDlgItemTextA(dialog, IDC_CUSTOM_FRAME, text);
}

INT_PTR onInitDialog(HWND dialog, HWND target) {
    float alpha;
    {
        FilterLockGuard lock;
        if (!lock) return TRUE;
        openDialog = dialog;
        customTarget = target;
        alpha = cfg_opaque;
        dialogShows = static_cast<int>(cur_opaque);
        if (!cfg_link) {
            // The menu opens the dialog only for a window with a record; a window without
            // one shows fully opaque, so that is where the slider starts.
            WindowOpacityRecord* record = getRecord(target);
            alpha = record ? record->opaque : 255.0f;
            dialogShows = record ? decidedAlpha(record) : 255;
        }
    }
    int percent = shownPercentOf(alpha);
    HWND slider = sliderOf(dialog);
    SendMessageA(slider, TBM_SETRANGE, TRUE, MAKELPARAM(PERCENT_MIN, PERCENT_MAX));
    SendMessageA(slider, TBM_SETPAGESIZE, 0, SLIDER_PAGE);
    SendMessageA(slider, TBM_SETSEL, FALSE, MAKELPARAM(PERCENT_MIN, PERCENT_MAX));
    SendMessageA(slider, TBM_SETPOS, TRUE, percent);
    showPercent(dialog, percent);
    return TRUE;
}

// The target loses its record when it is hidden, destroyed or made a child while the
// dialog is open, so per-window paths fetch it afresh each time and leave a window without
// one alone: it is no longer layered and nothing of it is stored.
void onSliderMoved(HWND dialog) {
    int percent = sliderPosition(dialog);
    showPercent(dialog, percent);
    float preview = previewAlphaOf(percent);
    FilterLockGuard lock;
    if (!lock) return;
    dialogShows = static_cast<int>(preview);
    if (cfg_link) {
        applyLinkedOpacity(preview);
    } else if (getRecord(customTarget)) {
        setLayeredAlpha(customTarget, 0, static_cast<int>(preview), LWA_ALPHA);
    }
}

void onOk(HWND dialog) {
    float alpha = storedAlphaOf(static_cast<float>(sliderPosition(dialog)));
    // The windows keep what the last preview showed until the resting alpha is next applied:
    // that is decided again here, newer than anything decided while the dialog was open.
    FilterLockGuard lock;
    if (!lock) return;
    if (cfg_link) {
        cfg_opaque = alpha;
        cur_opaque = cfg_opaque;
        saveOpaque();
        applyLinkedOpacity(static_cast<float>(dialogShows));
    } else if (WindowOpacityRecord* record = getRecord(customTarget)) {
        record->opaque = alpha;
        record->current = alpha;
        decideWindowAlpha(record, dialogShows);
        saveRecordEntry(customTarget, record);
        showDecidedAlpha(customTarget, getRecord(customTarget));   // afresh after the title
    }
}

void onCancel() {
    FilterLockGuard lock;
    if (!lock) return;
    if (cfg_link) {
        cur_opaque = cfg_opaque;
        applyLinkedOpacity(cfg_opaque);
    } else if (WindowOpacityRecord* record = getRecord(customTarget)) {
        record->current = record->opaque;
        setLayeredAlpha(customTarget, 0, static_cast<int>(record->opaque), LWA_ALPHA);
    }
}

// Runs on the thread that took the command, after it has left the lock.
void runDialog() {
    int pin = isShuttingDown() ? -1 : pinModule();
    if (pin >= 0)
        DialogBoxParamA(pluginDescriptor.moduleHandle, MAKEINTRESOURCEA(IDD_CUSTOM_OPACITY),
                        hostWindows.hwndMain, customOpacityProc,
                        reinterpret_cast<LPARAM>(openingTarget));
    {
        FilterLockGuard lock;   // denied only while unloading, when nothing else runs
        openDialog = nullptr;
        dialogActive = false;
    }
    unpinModule(pin);           // the last thing done here: it may be the last reference
}

}  // namespace

void openCustomDialog(HWND timerWindow) {
    if (dialogActive) {
        HWND open = openDialog;
        OutsideLock outside;
        if (open) SetForegroundWindow(open);
        return;
    }
    // Not from inside another thread's send (a borrowed lock), whose sender would stay
    // blocked for the dialog's whole life.
    if (!runOnceUnlocked(runDialog)) return;
    dialogActive = true;
    openingTarget = menuTarget;
    KillTimer(timerWindow, TIMER_FADE_IN);
    KillTimer(timerWindow, TIMER_FADE_OUT);
    KillTimer(timerWindow, TIMER_HOLD);
}

INT_PTR CALLBACK customOpacityProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    InFlightCall call;
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(dialog, reinterpret_cast<HWND>(lParam));
    case WM_HSCROLL:
        onSliderMoved(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            onOk(dialog);
            EndDialog(dialog, 0);
            break;
        case IDCANCEL:
            onCancel();
            EndDialog(dialog, 0);
            break;
        }
        return TRUE;
    case WM_CLOSE:
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }
    return FALSE;
}
