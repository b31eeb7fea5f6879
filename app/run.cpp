// The program's one piece of work: decide whether to act (run/decide.cpp), tell the user what the
// utility tells, and hand over to the programming sequence. Every other stop is silent.
#include <windows.h>

#include "app/app.h"
#include "common/standard_output.h"
#include "hw/hw.h"
#include "probe/probe.h"
#include "run/decide.h"
#include "timing/timing.h"

static const char kNotSupportedText[] = "Unable to open VxD, \r\n device does not support DeviceIOCTL\r\n";

// "Unable to open VxD, Error code: ", at most eight hex digits, CR LF and the terminating zero.
enum { kErrorTextSize = 48 };

RegisterWindow MapRegisterWindow() {
    RunDecisions* d = &runDecisions;
    d->vxd          = AskMappingVxd(&d->registers, &d->vxdError);
    if (d->vxd == kVxdDoesNotOpen) {
        // On standard output, which a windowed program started the ordinary way does not have.
        if (d->vxdError == ERROR_NOT_SUPPORTED) {
            WriteStandardOutput(kNotSupportedText, sizeof kNotSupportedText - 1);
        } else {
            char text[kErrorTextSize];
            WriteStandardOutput(text,
                                wsprintfA(text, "Unable to open VxD, Error code: %lx\r\n", d->vxdError));
        }
    } else if (d->vxd == kVxdCallFails) {
        MessageBoxA(NULL, "Can not map physical to linear address", "", MB_OK);
    }
    // Zero at the start of the process; only a control call that answers sets it.
    return d->registers;
}

void RunRefreshSetup() {
    if (DecideRun(&displayState, &timingSelection, &runDecisions) != kRunProgramsAdapter) {
        // Of all the stops, only a system.ini that does not open is told.
        if (runDecisions.displayDriver >= kSystemIniNotOpen) {
            MessageBoxA(NULL, OPEN_SYSTEM_INI_ERROR, "", MB_ICONERROR | MB_OK);
        }
        return;
    }
    // The window is asked for only once the ports are written: without it they stay in effect.
    ProgramTimingPorts(&timingSelection);
    ProgramMappedWord(&timingSelection, MapRegisterWindow());
}
