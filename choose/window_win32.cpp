// The rate chooser's dialogs: the machine in words, the rates to try, and after a trial the
// question with its countdown. Every way out of a trial but Keep, and another mode set meanwhile,
// goes back: the question's buttons and keys, its countdown, closing either window, the end of the
// session, a resume or a suspend, and a fault of the program. No handler waits, shows a box or asks
// the mapping VxD while a broadcast waits for it: looking at the machine again is posted.
#include <windows.h>

#include "choose/choose.h"
#include "choose/dialogs.h"
#include "choose/resource.h"
#include "common/names.h"
#include "common/one_instance.h"
#include "common/this_module.h"
#include "common/text.h"

enum {
    kCountdownTimer   = 1,
    kBusyTimer        = 2, // the adapter was busy: look again shortly
    kBusyMilliseconds = 500,
    kLookAgain        = WM_APP + 1, // posted: gather the machine's facts anew and show them
};

static int secondsLeft;
static HWND question; // the question's dialog while it is up

static void ShowCountdown(HWND dialog) {
    char text[64];
    char* p = PutText(PutDecimal(PutText(text, "Going back in "), secondsLeft), " second");
    PutText(p, secondsLeft == 1 ? "." : "s.");
    SetDlgItemTextA(dialog, IDC_COUNTDOWN, text);
}

// Ends the trial as `how` says, and with it the question, wherever it stands.
static void EndTrialAndQuestion(TrialEnd how) {
    EndTrial(how);
    if (question != NULL) {
        EndDialog(question, 0);
    }
}

// What a message means for the trial going on, whichever window it reaches first.
static void SeeTrialEvent(UINT message, WPARAM wParam, LPARAM lParam) {
    TrialEnd how = TrialEndFor(message, wParam, lParam);
    if (how != kTrialOn) {
        EndTrialAndQuestion(how);
    }
}

static INT_PTR CALLBACK ConfirmProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        question = dialog;
        if (!chooser.trialOn) {
            EndDialog(dialog, 0); // ended already, by a message that came before the question
            return TRUE;
        }
        char text[kSentenceSize];
        DescribeQuestion(text);
        SetDlgItemTextA(dialog, IDC_QUESTION, text);
        DescribeOtherSizes(text);
        SetDlgItemTextA(dialog, IDC_OTHER_SIZES, text);
        secondsLeft = kTrialSeconds;
        ShowCountdown(dialog);
        SetTimer(dialog, kCountdownTimer, 1000, NULL);
        return TRUE; // the focus goes to the first button: Go back
    case WM_TIMER:
        if (--secondsLeft <= 0) {
            EndTrialAndQuestion(kTrialWentBack);
        } else {
            ShowCountdown(dialog);
        }
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_KEEP || LOWORD(wParam) == IDCANCEL) {
            EndTrialAndQuestion(LOWORD(wParam) == IDC_KEEP ? kTrialKept : kTrialWentBack);
        }
        return TRUE;
    case WM_DESTROY: // the countdown goes with the window
        question = NULL;
        return FALSE;
    }
    SeeTrialEvent(message, wParam, lParam);
    return FALSE;
}

// The rate chosen in the list, or 0 where none is.
static const ListedRate* ChosenRate(HWND dialog) {
    LRESULT chosen = SendDlgItemMessageA(dialog, IDC_RATES, LB_GETCURSEL, 0, 0);
    return chosen >= 0 && chosen < chooser.rateCount ? &chooser.rates[chosen] : 0;
}

// Try only for a rate the monitor is not known to refuse; for one it refuses, why.
static void ShowChosen(HWND dialog) {
    char text[kSentenceSize];
    text[0]                = 0;
    const ListedRate* rate = ChosenRate(dialog);
    if (rate != 0) {
        DescribeBeyond(rate, text);
    }
    SetDlgItemTextA(dialog, IDC_WHY, text);
    EnableWindow(GetDlgItem(dialog, IDC_TRY),
                 chooser.hindrance == kNoHindrance && rate != 0 && !IsBeyondMonitor(rate->monitor));
}

static void ShowMachine(HWND dialog) {
    char text[kSentenceSize];
    DescribeScreen(text);
    SetDlgItemTextA(dialog, IDC_SCREEN, text);
    DescribeStoredRate(text);
    SetDlgItemTextA(dialog, IDC_STORED, text);
    DescribeHindrance(text);
    SetDlgItemTextA(dialog, IDC_NOTE, text);
    DescribeMonitor(text);
    SetDlgItemTextA(dialog, IDC_MONITOR, text);
    SendDlgItemMessageA(dialog, IDC_RATES, LB_RESETCONTENT, 0, 0);
    if (chooser.hindrance == kNoHindrance) {
        for (int i = 0; i < chooser.rateCount; ++i) {
            DescribeListedRate(&chooser.rates[i], text);
            SendDlgItemMessageA(dialog, IDC_RATES, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        }
        SendDlgItemMessageA(dialog, IDC_RATES, LB_SETCURSEL, 0, 0);
    }
    ShowChosen(dialog);
    // Another writer at the adapter: look again shortly, never wait for it here.
    if (chooser.hindrance == kAdapterBusy) {
        SetTimer(dialog, kBusyTimer, kBusyMilliseconds, NULL);
    }
}

static void LookAgain(HWND dialog) {
    GatherChooserFacts();
    ShowMachine(dialog);
}

static void Try(HWND dialog) {
    const ListedRate* rate = ChosenRate(dialog);
    if (rate == 0) {
        return;
    }
    char text[kSentenceSize];
    switch (StartTrial(rate->rate)) {
    case kTrialStarted: break;
    case kTrialBusy:
        PutText(PutText(text, kAnotherAtTheAdapter), ": try again in a moment.");
        SetDlgItemTextA(dialog, IDC_OUTCOME, text);
        ShowMachine(dialog);
        return;
    case kTrialBeyondMonitor:
        DescribeBeyond(&chooser.trial, text);
        SetDlgItemTextA(dialog, IDC_OUTCOME, text);
        LookAgain(dialog);
        return;
    case kTrialRefused:
        SetDlgItemTextA(dialog, IDC_OUTCOME, "The rate could not be tried: nothing was changed.");
        ShowMachine(dialog);
        return;
    }
    DialogBoxIndirectParamA(ThisModule(), static_cast<LPCDLGTEMPLATEA>(DialogTemplate(kConfirmDialog)),
                            dialog, ConfirmProc, 0);
    EndTrial(kTrialWentBack); // a question that could not be shown asked nothing: back
    DescribeTrialEnd(text);
    SetDlgItemTextA(dialog, IDC_OUTCOME, text);
    PostMessageA(dialog, kLookAgain, 0, 0);
}

static INT_PTR CALLBACK ChooserProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: ShowMachine(dialog); return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_TRY: Try(dialog); return TRUE;
        case IDC_RATES:
            if (HIWORD(wParam) == LBN_SELCHANGE) {
                ShowChosen(dialog);
            }
            return TRUE;
        case IDC_FORGET: {
            char text[kSentenceSize];
            DescribeForget(ForgetRate(), text);
            SetDlgItemTextA(dialog, IDC_OUTCOME, text);
            LookAgain(dialog);
            return TRUE;
        }
        case IDCANCEL:
            // Closed from outside during a trial (End Task asks politely first): back, then gone.
            EndTrialAndQuestion(kTrialWentBack);
            EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    case WM_TIMER:
        if (wParam != kBusyTimer) {
            return TRUE;
        }
        KillTimer(dialog, kBusyTimer);
        [[fallthrough]];
    case kLookAgain:
        if (!chooser.trialOn) {
            LookAgain(dialog);
        }
        return TRUE;
    case WM_DISPLAYCHANGE:
        // Looked at again once the broadcast is over; a trial it ends has nothing left to show.
        PostMessageA(dialog, kLookAgain, 0, 0);
        break;
    }
    SeeTrialEvent(message, wParam, lParam);
    return FALSE;
}

// A fault inside the program during a trial: back, before Windows ends the process. The lock goes
// with the process.
static LONG WINAPI GoBackOnFault(EXCEPTION_POINTERS*) {
    EndTrial(kTrialWentBack);
    return EXCEPTION_EXECUTE_HANDLER;
}

int ChooserMain(const char* commandLine) {
    if (AsksToForget(commandLine)) {
        return ForgetRate() == kNotForgotten ? 1 : 0;
    }
    if (!IsFirstInstance(CHOOSER_MUTEX_NAME)) {
        HWND other = FindWindowA(NULL, ChooserTitle());
        if (other != NULL) {
            SetForegroundWindow(other);
        }
        return 0;
    }
    StartWatcherWhereMissing();
    SetUnhandledExceptionFilter(GoBackOnFault);
    GatherChooserFacts();
    DialogBoxIndirectParamA(ThisModule(), static_cast<LPCDLGTEMPLATEA>(DialogTemplate(kChooserDialog)), NULL,
                            ChooserProc, 0);
    return 0;
}
