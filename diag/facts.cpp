#include "diag/facts.h"

#include <string.h>

#include "hw/hw.h"
#include "hw/physwin.h"
#include "probe/probe.h"

void GatherSystemFacts(RunFacts* facts, char path[kSystemIniPathSize]) {
    facts->systemIniPath  = BuildSystemIniPath(path) ? path : 0;
    facts->systemIniOpens = facts->systemIniPath != 0 && SystemIniOpens(path);
    facts->driverLine     = DriverLineFacts{0, kNoNearMiss, 0};
    if (facts->systemIniOpens) {
        facts->driverLine = ExplainDriverLine(path);
    }
    facts->rateSource = FindRateSource();
}

int SystemIniOpens(const char* path) {
    HANDLE file = OpenSystemIni(path);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    CloseHandle(file);
    return 1;
}

namespace {

const char kDriverText[]   = "display.drv=Lumarel series";
const char kSqueezedLine[] = "display.drv=lumarelseries"; // without blanks, in small letters

struct LineReview {
    int number;          // of the line being read, from 1
    int inSection;       // the driver check's own state
    int headerOtherCase; // a [boot.description] header in other letters' case was read
    DriverLineFacts first;
};

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether two texts of `length` bytes are equal but for letters' case.
int SameButCase(const char* a, const char* b, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return 0;
        }
    }
    return 1;
}

// The line in small letters without blanks, tabs, CR and LF equals the served driver's line so.
int ComesClose(const char* line, size_t length) {
    size_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            continue;
        }
        if (n == sizeof kSqueezedLine - 1 || Lower(c) != kSqueezedLine[n]) {
            return 0;
        }
        ++n;
    }
    return n == sizeof kSqueezedLine - 1;
}

// Which rule a line that comes close fails, the line's own form first.
NearMiss RuleFailed(const LineReview* review, const char* line, size_t length) {
    const size_t textLength = sizeof kDriverText - 1;
    int lineBreak           = length > 0 && line[length - 1] == '\n';
    size_t body             = lineBreak ? length - 1 : length;
    if (body == textLength && memcmp(line, kDriverText, textLength) == 0) {
        if (!lineBreak) {
            return kNearMissNoLineBreak;
        }
        return review->headerOtherCase ? kNearMissHeaderCase : kNearMissBeforeHeader;
    }
    if (body > textLength && memcmp(line, kDriverText, textLength) == 0) {
        return kNearMissTrailingText;
    }
    if (body == textLength && SameButCase(line, kDriverText, textLength)) {
        return kNearMissLetterCase;
    }
    return kNearMissBlanks;
}

void ReviewLine(const char* line, size_t length, void* context) {
    LineReview* review        = static_cast<LineReview*>(context);
    const size_t headerLength = sizeof "[boot.description]" - 1;
    if (IsSectionHeader(line, length)) {
        review->inSection = 1;
    } else if (length >= headerLength && SameButCase(line, "[boot.description]", headerLength)) {
        review->headerOtherCase = 1;
    }
    int served = review->inSection && IsDriverLine(line, length);
    review->first.found |= served;
    if (!served && review->first.nearMiss == kNoNearMiss && ComesClose(line, length)) {
        review->first.nearMiss = RuleFailed(review, line, length);
        review->first.line     = review->number;
    }
    // A piece of a long line leaves the line unfinished.
    if (length > 0 && line[length - 1] == '\n') {
        ++review->number;
    }
}

} // namespace

DriverLineFacts ExplainDriverLine(const char* path) {
    LineReview review = {1, 0, 0, {0, kNoNearMiss, 0}};
    HANDLE file       = OpenSystemIni(path);
    if (file != INVALID_HANDLE_VALUE) {
        ReadSystemIniLines(file, ReviewLine, &review);
        CloseHandle(file);
    }
    return review.first;
}

RateSource FindRateSource() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_CONFIG, "Display\\Settings", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return kRateNoKey;
    }
    char rateText[kRateTextSize];
    RateSource source = QueryRefreshRateValue(key, rateText) ? kRateFromRegistry : kRateDefault;
    RegCloseKey(key);
    return source;
}

WindowFacts AskMappingDriver() {
    WindowFacts facts = {kWindowHandedOut, 0, 0};
    HANDLE driver     = OpenMappingDriver();
    if (driver == INVALID_HANDLE_VALUE) {
        facts.answer = kWindowOpenFails;
        facts.error  = GetLastError();
        return facts;
    }
    UINT32 out[kPhyswinAnswerSize / 4] = {0, 0};
    DWORD returned                     = 0;
    if (!DeviceIoControl(driver, kPhyswinMapRegisterWindow, NULL, 0, out, sizeof out, &returned, NULL)) {
        facts.answer = kWindowCallFails;
    } else if (returned < sizeof out[0]) {
        facts.answer = kWindowNoAnswer;
    } else if (out[0] == 0) {
        facts.answer = kWindowAddressZero;
    } else {
        facts.address = out[0];
    }
    CloseHandle(driver);
    return facts;
}
