// The program's one piece of work: decide whether to act (run/decide.cpp), tell the user what the
// utility tells (app/words.h), and hand over to the programming sequence. Every other stop is silent.
#include <windows.h>

#include "app/app.h"
#include "app/words.h"
#include "hw/hw.h"
#include "probe/probe.h"
#include "run/decide.h"
#include "timing/timing.h"

RegisterWindow MapRegisterWindow() {
    RunDecisions* d = &runDecisions;
    d->vxd          = AskMappingVxd(&d->registers, &d->vxdError);
    SayMappingVxdAnswer(d->vxd, d->vxdError);
    // Zero at the start of the process; only a control call that answers sets it.
    return d->registers;
}

void RunRefreshSetup() {
    if (DecideRun(&displayState, &timingSelection, &runDecisions) != kRunProgramsAdapter) {
        // Of all the stops, only a system.ini that does not open is told.
        if (runDecisions.displayDriver >= kSystemIniNotOpen) {
            SayOpenSystemIniError();
        }
        return;
    }
    // The window is asked for only once the ports are written: without it they stay in effect.
    ProgramTimingPorts(&timingSelection);
    ProgramMappedWord(&timingSelection, MapRegisterWindow());
}
