#include "common/display_events.h"

// Power broadcast events after which Windows has reset the display. Windows 95 sends a resume
// from suspend only to a program that saw the suspend, else a critical resume.
enum {
    kResumeCritical  = 6,    // PBT_APMRESUMECRITICAL
    kResumeSuspend   = 7,    // PBT_APMRESUMESUSPEND
    kResumeStandby   = 8,    // PBT_APMRESUMESTANDBY
    kResumeAutomatic = 0x12, // PBT_APMRESUMEAUTOMATIC
};

int SetsDisplayAnew(UINT message, WPARAM wParam) {
    if (message == WM_DISPLAYCHANGE) {
        return 1;
    }
    return message == WM_POWERBROADCAST && (wParam == kResumeCritical || wParam == kResumeSuspend ||
                                            wParam == kResumeStandby || wParam == kResumeAutomatic);
}
