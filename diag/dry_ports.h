// The diagnostic's adapter access. Port reads are real; a port write or window store is only
// written down, except an index write that a read right after it needs (the index selects which
// register answers; it changes none). The run thus reads the adapter as it is and leaves it so.
#pragma once

#include <windows.h>

#include "diag/report.h"

// Room for the longest run: 2 skip-bit accesses, 52 port accesses of the programming sequence
// and 4 window stores; anything beyond is counted but not kept.
enum { kPlannedAccessRoom = 64 };

extern PlannedAccess plannedAccesses[kPlannedAccessRoom];
extern int plannedAccessCount;

// The real port access underneath: x86 in and out on Windows, the simulated adapter on the host.
BYTE PassReadPort(WORD port);
void PassWritePort(WORD port, BYTE value);
