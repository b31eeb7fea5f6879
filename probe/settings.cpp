// The refresh rate chosen in the Display control panel, as the display settings keep it.
#include "probe/probe.h"

#include <string.h>

static const char kDefaultRate[] = "60"; // what the display settings use when no rate was chosen

enum {
    kRateBufferSize = 256,
};

RateSource ReadRefreshRate(DisplayState* state) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_CONFIG, DISPLAY_SETTINGS_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return kRateNoKey;
    }
    RateSource source = QueryRefreshRateValue(key, state->rateText);
    if (source != kRateFromRegistry) {
        strcpy(state->rateText, kDefaultRate);
    }
    RegCloseKey(key);
    return source;
}

// The query is told the buffer holds 255 bytes and does not terminate what it copies: with the
// whole buffer zeroed first, the last byte is always a terminator. A value whose text does not fit
// rateText with its zero (255 characters stored without one) counts like one too long to fetch.
RateSource QueryRefreshRateValue(HKEY key, char rateText[kRateTextSize]) {
    char buffer[kRateBufferSize];
    memset(buffer, 0, sizeof buffer);
    DWORD size = kRateBufferSize - 1;
    LONG result =
        RegQueryValueExA(key, REFRESH_RATE_VALUE, NULL, NULL, reinterpret_cast<LPBYTE>(buffer), &size);
    if (result == ERROR_FILE_NOT_FOUND) {
        return kRateNoValue;
    }
    if (result != ERROR_SUCCESS || memchr(buffer, 0, kRateTextSize) == NULL) {
        return kRateUnreadable;
    }
    strcpy(rateText, buffer);
    return kRateFromRegistry;
}
