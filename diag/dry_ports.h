// The diagnostic's adapter access. Port reads are real; a port write or window store is only
// written down, except an index write that a read right after it needs (the index selects which
// register answers; it changes none). Each index register is read before the diagnostic's first
// write to it and written back by RestoreIndexRegisters. The run thus reads the adapter as it is
// and leaves it exactly so.
#pragma once

#include <windows.h>

#include "diag/report.h"

// How many adapter accesses each part of a run makes: the skip-bit read (its index write and the
// read), the programming sequence's port accesses (extended 0x09, the CRTC 0x11 read and unlock,
// 18 CRTC and 4 extended writes of two accesses each, and the miscellaneous output twice), and
// the window's four byte stores.
enum {
    kSkipBitAccesses   = 2,
    kSequenceAccesses  = 2 + 2 + 2 + 2 * 18 + 2 * 4 + 2,
    kWindowStores      = 4,
    kLongestRun        = kSkipBitAccesses + kSequenceAccesses + kWindowStores,
    kPlannedAccessRoom = 64, // anything beyond is counted but not kept
};
static_assert(kLongestRun <= kPlannedAccessRoom, "the diagnostic keeps every access of a run");

extern PlannedAccess plannedAccesses[kPlannedAccessRoom];
extern int plannedAccessCount;

// Writes back each index register the run's reads changed, as it was before the first of them.
void RestoreIndexRegisters();

// The real port access underneath: x86 in and out on Windows, the simulated adapter on the host.
// The diagnostic's only port writes go through PassWritePort: its executable holds one out
// instruction, which the executable check counts.
BYTE PassReadPort(WORD port);
void PassWritePort(WORD port, BYTE value);
