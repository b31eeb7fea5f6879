// The rate chooser's dialogs: the machine in words, the rates to try, and after a trial the
// question with its countdown. Every way out of the question but Keep goes back.
#include <windows.h>

#include "choose/choose.h"
#include "choose/resource.h"
#include "common/display_events.h"
#include "common/names.h"
#include "common/one_instance.h"

enum {
    kCountdownTimer     = 1,
    kConfirmModeChanged = 100, // the confirmation's end at a mode change or a resume
};

static int secondsLeft;
static HINSTANCE chooserInstance;

static void ShowCountdown(HWND dialog) {
    char text[64];
    wsprintfA(text, "Going back in %d seconds.", secondsLeft);
    SetDlgItemTextA(dialog, IDC_COUNTDOWN, text);
}

static INT_PTR CALLBACK ConfirmProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        secondsLeft = kTrialSeconds;
        ShowCountdown(dialog);
        SetTimer(dialog, kCountdownTimer, 1000, NULL);
        SetFocus(GetDlgItem(dialog, IDCANCEL));
        return FALSE; // the focus is set: on Go back
    case WM_TIMER:
        if (--secondsLeft <= 0) {
            EndDialog(dialog, IDCANCEL);
        } else {
            ShowCountdown(dialog);
        }
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_KEEP || LOWORD(wParam) == IDCANCEL) {
            KillTimer(dialog, kCountdownTimer);
            EndDialog(dialog, LOWORD(wParam));
        }
        return TRUE;
    case WM_ENDSESSION:
        if (wParam) {
            EndTrial(kTrialWentBack);
        }
        return TRUE;
    }
    if (SetsDisplayAnew(message, wParam)) {
        KillTimer(dialog, kCountdownTimer);
        EndDialog(dialog, kConfirmModeChanged);
    }
    return FALSE;
}

static void ShowMachine(HWND dialog) {
    char text[kSentenceSize];
    DescribeScreen(text);
    SetDlgItemTextA(dialog, IDC_SCREEN, text);
    DescribeStoredRate(text);
    SetDlgItemTextA(dialog, IDC_STORED, text);
    DescribeHindrance(text);
    SetDlgItemTextA(dialog, IDC_NOTE, text);
    SendDlgItemMessageA(dialog, IDC_RATES, LB_RESETCONTENT, 0, 0);
    if (chooser.hindrance == kNoHindrance) {
        for (int i = 0; i < chooser.rateCount; ++i) {
            wsprintfA(text, "%s Hz", chooser.rates[i]);
            SendDlgItemMessageA(dialog, IDC_RATES, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        }
        SendDlgItemMessageA(dialog, IDC_RATES, LB_SETCURSEL, 0, 0);
    }
    EnableWindow(GetDlgItem(dialog, IDC_TRY), chooser.hindrance == kNoHindrance);
}

static void Try(HWND dialog) {
    LRESULT chosen = SendDlgItemMessageA(dialog, IDC_RATES, LB_GETCURSEL, 0, 0);
    if (chosen < 0 || chosen >= chooser.rateCount) {
        return;
    }
    char text[kSentenceSize];
    if (!StartTrial(chooser.rates[chosen])) {
        SetDlgItemTextA(dialog, IDC_OUTCOME, "The rate could not be tried: nothing was changed.");
        return;
    }
    INT_PTR answer = DialogBoxParamA(chooserInstance, MAKEINTRESOURCEA(IDD_CONFIRM), dialog, ConfirmProc, 0);
    const char* rate = chooser.trialRate;
    switch (EndTrial(answer == IDC_KEEP              ? kTrialKept
                     : answer == kConfirmModeChanged ? kTrialModeChanged
                                                     : kTrialWentBack)) {
    case kTrialKept: wsprintfA(text, "%s Hz is kept: LUMRATE sets it from now on.", rate); break;
    case kTrialWentBack: wsprintfA(text, "%s Hz was not kept: the timing is back as it was.", rate); break;
    case kTrialModeChanged:
        wsprintfA(text, "Windows set the display anew during the trial: nothing was put back or kept.");
        break;
    }
    SetDlgItemTextA(dialog, IDC_OUTCOME, text);
    GatherChooserFacts();
    ShowMachine(dialog);
}

static INT_PTR CALLBACK ChooserProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: ShowMachine(dialog); return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_TRY: Try(dialog); return TRUE;
        case IDC_FORGET:
            SetDlgItemTextA(dialog, IDC_OUTCOME,
                            ForgetRate() ? "No rate is stored now: LUMRATE sets 60 Hz."
                                         : "The stored rate could not be forgotten.");
            GatherChooserFacts();
            ShowMachine(dialog);
            return TRUE;
        case IDCANCEL: EndDialog(dialog, 0); return TRUE;
        }
        return FALSE;
    case WM_DISPLAYCHANGE:
        // During a trial the question ends it and Try looks again afterwards; looking now would
        // lose the trial, and with it the mutex that holds the watcher back.
        if (!chooser.trialOn) {
            GatherChooserFacts();
            ShowMachine(dialog);
        }
        return FALSE;
    }
    return FALSE;
}

int ChooserMain(HINSTANCE instance, const char* commandLine) {
    if (AsksToForget(commandLine)) {
        return ForgetRate() ? 0 : 1;
    }
    if (!IsFirstInstance(CHOOSER_MUTEX_NAME)) {
        HWND other = FindWindowA(NULL, CHOOSER_TITLE);
        if (other != NULL) {
            SetForegroundWindow(other);
        }
        return 0;
    }
    chooserInstance = instance;
    GatherChooserFacts();
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_CHOOSER), NULL, ChooserProc, 0);
    return 0;
}
