// The adapter behind the program's faults, on the model the host build uses
// (host/adapter/adapter.h).
// * IN/OUT: a user-mode port access raises EXCEPTION_PRIV_INSTRUCTION; the instruction is decoded
//   (x86_decode.h), run on the model and skipped.
// * Register window: the mapping-driver double commits its window inaccessible and announces it
//   with a debug string. Every access to it faults. A store: the window is opened for writing, the
//   instruction single-stepped, the bytes it wrote handed to the model and the window closed again.
//   A load: the model answers the bytes it reads, which are put into the window; the window is
//   opened for reading, the instruction single-stepped and the window closed again.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "adapter/adapter.h"
#include "debuggee.h"
#include "result.h"

struct Window {
    uint32_t base, size;
};

struct Emulation {
    adapter::Adapter model; // its trace is the result
    std::vector<Window> windows;
    std::vector<DriverCall> driverCalls;
};

enum class Emu { kDone, kNotIo, kFailed };

// At a privileged-instruction or access-violation fault: runs the IN/OUT at EIP; INS/OUTS stop the
// run.
Emu EmulatePortIo(Debuggee& d, Emulation& e, DWORD tid);

// At a write fault at addr: when addr is in a window, opens it and single-steps the store, which
// ends in Pending::kStore and FinishStore. False when addr is outside every window.
bool BeginStore(Debuggee& d, Emulation& e, DWORD tid, uint32_t addr);
void FinishStore(Debuggee& d, Emulation& e, const Pending& p);

// At a read fault at addr: the same for a load, which ends in Pending::kLoad and FinishLoad. The
// load is recorded here, before the step, with the bytes the model answers.
bool BeginLoad(Debuggee& d, Emulation& e, DWORD tid, uint32_t addr);
void FinishLoad(Debuggee& d, Emulation& e, const Pending& p);

// The double's report of a control call: "physwin: code=... in=... out=... ok=... error=...
// base=... size=...".
void OnDebugString(Debuggee& d, Emulation& e, const OUTPUT_DEBUG_STRING_INFO& info);
