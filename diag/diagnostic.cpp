#include "diag/diagnostic.h"

#include <windows.h>

#include "app/app.h"
#include "diag/dry_ports.h"
#include "probe/probe.h"

// Whether system.ini opens as the utility opens it.
static int SystemIniOpens(const char* path) {
    HANDLE file = OpenSystemIni(path);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    CloseHandle(file);
    return 1;
}

// Where the rate text came from: "60" may be the user's choice or the default for a missing value.
static RateSource FindRateSource() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_CONFIG, "Display\\Settings", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return kRateNoKey;
    }
    char rateText[kRateTextSize];
    RateSource source = QueryRefreshRateValue(key, rateText) ? kRateFromRegistry : kRateDefault;
    RegCloseKey(key);
    return source;
}

int RunDiagnostic(ReportLineWriter writeLine, void* context) {
    RunRefreshSetup();

    // What the run saw, asked again of the system: only reading, as the run itself does.
    char path[kSystemIniPathSize];
    RunFacts facts;
    facts.systemIniPath  = BuildSystemIniPath(path) ? path : 0;
    facts.systemIniOpens = facts.systemIniPath != 0 && SystemIniOpens(path);
    facts.rateSource     = FindRateSource();
    facts.state          = &displayState;
    facts.accesses       = plannedAccesses;
    facts.accessCount    = plannedAccessCount < kPlannedAccessRoom ? plannedAccessCount : kPlannedAccessRoom;
    return WriteRunReport(&facts, writeLine, context, 0);
}
