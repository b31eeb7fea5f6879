#include "diag/diagnostic.h"

#include <windows.h>

#include "app/app.h"
#include "diag/dry_ports.h"
#include "diag/facts.h"
#include "probe/probe.h"

int RunDiagnostic(ReportLineWriter writeLine, void* context) {
    RunRefreshSetup();
    RestoreIndexRegisters();

    // What the run saw, asked again of the system: only reading, as the run itself does.
    char path[kSystemIniPathSize];
    RunFacts facts;
    facts.notStarted = 0; // the diagnostic calls the run itself, with no window of its own
    GatherSystemFacts(&facts, path);
    facts.accesses    = plannedAccesses;
    facts.accessCount = plannedAccessCount < kPlannedAccessRoom ? plannedAccessCount : kPlannedAccessRoom;
    facts.state       = &displayState;
    facts.askWindow   = AskMappingDriver;
    return WriteRunReport(&facts, writeLine, context, 0);
}
