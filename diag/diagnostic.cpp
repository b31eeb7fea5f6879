#include "diag/diagnostic.h"

#include <windows.h>

#include "app/app.h"
#include "diag/access_list.h"
#include "diag/dry_ports.h"
#include "facts/facts.h"
#include "probe/probe.h"
#include "run/decide.h"

int RunDiagnostic(ReportLineWriter writeLine, void* context) {
    ClearAccessList();
    RunRefreshSetup();
    RestoreIndexRegisters();

    // What explains the run's decisions but is not kept by it, asked again of the system: only
    // reading, as the run itself does.
    char path[kSystemIniPathSize];
    RunFacts facts;
    facts.notStarted = 0; // the diagnostic calls the run itself, with no window of its own
    facts.decisions  = &runDecisions;
    facts.state      = &displayState;
    facts.selection  = &timingSelection;
    GatherSystemFacts(&facts.system, path, runDecisions.displayDriver);
    facts.accesses    = plannedAccesses;
    facts.accessCount = plannedAccessCount < kPlannedAccessRoom ? plannedAccessCount : kPlannedAccessRoom;
    // Process-wide, as the program's other large data: kept out of the stack frame.
    static WatchFacts watch;
    GatherWatchFacts(&watch);
    facts.watch = &watch;
    return WriteRunReport(&facts, writeLine, context, 0);
}
