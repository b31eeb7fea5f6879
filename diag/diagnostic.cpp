#include "diag/diagnostic.h"

#include <windows.h>

#include "app/app.h"
#include "diag/dry_ports.h"
#include "facts/facts.h"
#include "diag/run_record.h"
#include "probe/probe.h"

int RunDiagnostic(ReportLineWriter writeLine, void* context) {
    ClearRunRecord();
    RunRefreshSetup();
    RestoreIndexRegisters();

    // What the run saw but does not keep, asked again of the system: only reading, as the run
    // itself does. What it decided is in its record.
    char path[kSystemIniPathSize];
    RunFacts facts;
    facts.notStarted = 0; // the diagnostic calls the run itself, with no window of its own
    GatherSystemFacts(&facts.system, path);
    facts.state       = &displayState;
    facts.steps       = recordedSteps;
    facts.stepCount   = recordedStepCount;
    facts.accesses    = plannedAccesses;
    facts.accessCount = plannedAccessCount < kPlannedAccessRoom ? plannedAccessCount : kPlannedAccessRoom;
    return WriteRunReport(&facts, writeLine, context, 0);
}
