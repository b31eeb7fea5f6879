// The record a run leaves where its program keeps one (the diagnostic, and every program of the
// host build): the steps the run told through RecordStep, and each adapter access as the
// diagnostic treats it, made for real or only written down. Reports read it; nothing in it is
// worked out afterwards.
#pragma once

#include <windows.h>

#include "diag/report_text.h"
#include "hw/primitives.h"

struct RecordedStep {
    RunStep step;
    DWORD value;
    int accessCount; // adapter accesses before the step: the last of them is what it decided on
};

// One adapter access as the report lists it.
struct PlannedAccess {
    VgaAccessKind kind;
    DWORD where; // port, or window address for a store or load
    BYTE value;
    BYTE undecoded; // a port or address the adapter does not answer
    BYTE made;      // the diagnostic makes it: an index write and the read of its data port
};

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
    kRecordedStepRoom  = 8,  // one run tells at most six steps
};
static_assert(kLongestRun <= kPlannedAccessRoom, "the record keeps every access of a run");

extern RecordedStep recordedSteps[kRecordedStepRoom];
extern int recordedStepCount;
extern PlannedAccess plannedAccesses[kPlannedAccessRoom];
extern int plannedAccessCount;

// Empties the record, as a new process finds it.
void ClearRunRecord();
// Keeps one step: what RecordStep does in each program that keeps the record.
void KeepStep(RunStep step, DWORD value);

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
