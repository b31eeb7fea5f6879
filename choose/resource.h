// Dialogs and controls of the rate chooser, shared by its code and its resource script.
#pragma once

#define IDD_CHOOSER 100
#define IDD_CONFIRM 101

#define IDC_SCREEN 1001
#define IDC_STORED 1002
#define IDC_NOTE 1003
#define IDC_RATES 1004
#define IDC_TRY 1005
#define IDC_FORGET 1006
#define IDC_OUTCOME 1007
#define IDC_MONITOR 1008
#define IDC_WHY 1009
#define IDC_COUNTDOWN 1010
#define IDC_KEEP 1011
#define IDC_QUESTION 1012
#define IDC_OTHER_SIZES 1013
