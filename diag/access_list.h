// The adapter accesses of a run, written down where its program keeps them (the diagnostic, and
// every program of the host build), each as the diagnostic treats it: made for real, or only
// planned. The report lists them; what the run decided is in its decisions (run/decide.h).
#pragma once

#include <windows.h>

#include "hw/sequence.h"
#include "hw/vga_names.h"

// One adapter access as the report lists it.
struct PlannedAccess {
    VgaAccessKind kind;
    DWORD where; // port, or window address for a store or load
    BYTE value;
    BYTE undecoded; // a port or address the adapter does not answer
    BYTE made;      // the diagnostic makes it: an index write and the read of its data port
};

// How many adapter accesses a run makes at the most: the skip-bit read (its index write and the
// read), then the programming sequence's port steps and the window's byte stores.
enum {
    kSkipBitAccesses   = 2,
    kSequenceAccesses  = SequenceAccesses(0, FirstWindowStep()),                     // through the ports
    kWindowStores      = SequenceAccesses(FirstWindowStep(), kTimingSequenceLength), // into the window
    kLongestRun        = kSkipBitAccesses + kSequenceAccesses + kWindowStores,
    kPlannedAccessRoom = 64, // anything beyond is counted but not kept
};
static_assert(kLongestRun <= kPlannedAccessRoom, "the list keeps every access of a run");

extern PlannedAccess plannedAccesses[kPlannedAccessRoom];
extern int plannedAccessCount;

// Empties the list, as a new process finds it.
void ClearAccessList();

// The diagnostic's one rule of what it makes: a read of a data port right after the write of its
// own index. Whether a read of `port` now is one, and then the index to select for it.
int IsMadeRead(WORD port, BYTE* index);
// Writes one access down, with whether it is made; a made read makes its index write made too.
void PlanAccess(VgaAccessKind kind, DWORD where, BYTE value, int made);
// The two index registers a made read selects through, and the slot of port among them; -1 for
// another port.
enum { kIndexPortCount = 2 };
extern const WORD kIndexPorts[kIndexPortCount];
int IndexPortSlot(WORD port);
