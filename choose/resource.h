// The controls of the rate chooser's dialogs (choose/dialogs.cpp), by which its code finds them.
// Their numbers are below 128, where the code pushes and compares them as single bytes, and above
// those of the standard buttons (IDOK, IDCANCEL, ...).
#pragma once

#define IDC_SCREEN 21
#define IDC_STORED 22
#define IDC_NOTE 23
#define IDC_RATES 24
#define IDC_TRY 25
#define IDC_FORGET 26
#define IDC_OUTCOME 27
#define IDC_MONITOR 28
#define IDC_WHY 29
#define IDC_COUNTDOWN 30
#define IDC_KEEP 31
#define IDC_QUESTION 32
#define IDC_OTHER_SIZES 33
