// The four ways a program touches the adapter, and the fifth per-program hook beside them. The
// Windows build executes them itself (x86 in and out, one byte store into or load from the mapped
// window) and records nothing; the diagnostic and the host build drive their own sets and keep the
// record. Only the read-back before a trial loads from the window; the utility never does.
#pragma once

#include "hw/hw.h"

BYTE ReadPort(WORD port);
void WritePort(WORD port, BYTE value);
void StoreWindowByte(RegisterWindow address, BYTE value);
BYTE LoadWindowByte(RegisterWindow address);

// What the run decided, told where it decides it, in the order it decides. A report reads the
// steps back; it never works them out again from the adapter's accesses.
enum RunStep {
    kStepDriverLine,      // 1: system.ini names the served display driver; 0: the run stops
    kStepSkipBit,         // 1: the skip bit of extended CRTC 0x75 is set, the last read before
                          // this step; the run stops
    kStepDisplaySettings, // bits per pixel, the rate text and screen size now in displayState; too
                          // few bits per pixel stop the run (then no further step follows)
    kStepSelection,       // 1: the tables hold a timing for the display state; 0: the run stops
    kStepDriverOpenFails, // the mapping VxD does not open: the error code
    kStepDriverCallFails, // its control call fails (value 0)
    kStepWindowAnswer,    // the address its control call answers; 0: no window
};

// Empty in the utility, whose bytes stay as they are: the calls vanish at link time.
void RecordStep(RunStep step, DWORD value);
