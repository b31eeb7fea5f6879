// The three hardware primitives of the diagnostic, over the real port access of PassReadPort and
// PassWritePort. An access is marked undecoded where the adapter would not answer it: a port that
// is none of its index, data or miscellaneous output ports (the last one write-only).
#include "diag/dry_ports.h"

#include "hw/primitives.h"
#include "hw/vga.h"

PlannedAccess plannedAccesses[kPlannedAccessRoom];
int plannedAccessCount;

// The last index write, still unmade: made for real only when its data port is read next.
static WORD pendingIndexPort;
static BYTE pendingIndex;

// The two index registers as the diagnostic found them, read before its first index write to each
// and written back by RestoreIndexRegisters: another program's next data access must find the
// register it selected.
static const WORD kIndexPorts[] = {VGA_CRT_IC, EXT_IC};
enum { kIndexPortCount = sizeof kIndexPorts / sizeof kIndexPorts[0] };
static BYTE savedIndex[kIndexPortCount];
static BYTE indexSaved[kIndexPortCount];

static int IndexPortSlot(WORD port) {
    for (int i = 0; i < kIndexPortCount; ++i) {
        if (kIndexPorts[i] == port) {
            return i;
        }
    }
    return -1;
}

static int IsDataPort(WORD port) {
    return port == VGA_CRT_DC || port == EXT_DC;
}

static void Plan(VgaAccessKind kind, DWORD where, BYTE value, int undecoded) {
    if (plannedAccessCount < kPlannedAccessRoom) {
        PlannedAccess& access = plannedAccesses[plannedAccessCount];
        access.kind           = kind;
        access.where          = where;
        access.value          = value;
        access.undecoded      = static_cast<BYTE>(undecoded);
    }
    ++plannedAccessCount;
}

// Only a data port read right after its own index write reaches the adapter; any other read is
// not made and answers 0xFF, as an undecoded port floats high.
BYTE ReadPort(WORD port) {
    BYTE value = 0xFF;
    if (pendingIndexPort != 0 && port == pendingIndexPort + 1) {
        int slot = IndexPortSlot(pendingIndexPort);
        if (!indexSaved[slot]) {
            savedIndex[slot] = PassReadPort(pendingIndexPort);
            indexSaved[slot] = 1;
        }
        PassWritePort(pendingIndexPort, pendingIndex);
        value = PassReadPort(port);
    }
    pendingIndexPort = 0;
    Plan(kVgaAccessIn, port, value, IndexPortSlot(port) < 0 && !IsDataPort(port));
    return value;
}

void WritePort(WORD port, BYTE value) {
    int isIndex      = IndexPortSlot(port) >= 0;
    pendingIndexPort = isIndex ? port : 0;
    pendingIndex     = value;
    Plan(kVgaAccessOut, port, value, !isIndex && !IsDataPort(port) && port != VGA_MIS_W);
}

void StoreWindowByte(RegisterWindow address, BYTE value) {
    pendingIndexPort = 0;
    Plan(kVgaAccessStore, address, value, 0);
}

void RestoreIndexRegisters() {
    for (int i = 0; i < kIndexPortCount; ++i) {
        if (indexSaved[i]) {
            PassWritePort(kIndexPorts[i], savedIndex[i]);
            indexSaved[i] = 0;
        }
    }
}
