#include "app/package.h"

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

static const char* SkipBlanks(const char* p) {
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    return p;
}

int HasOnlySwitch(const char* commandLine, const char* word) {
    const char* p = commandLine;
    if (*p == '"') {
        for (++p; *p != 0 && *p != '"'; ++p) {
        }
        p += *p == '"';
    } else {
        while (*p != 0 && *p != ' ' && *p != '\t') {
            ++p;
        }
    }
    p = SkipBlanks(p);
    for (; *word != 0; ++p, ++word) {
        char c = *p >= 'a' && *p <= 'z' ? static_cast<char>(*p - 'a' + 'A') : *p;
        if (c != *word) {
            return 0;
        }
    }
    return *SkipBlanks(p) == 0;
}
