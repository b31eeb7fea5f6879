#include "diag/access_list.h"

#include "hw/vga.h"

PlannedAccess plannedAccesses[kPlannedAccessRoom];
int plannedAccessCount;

// The last index write, while the next access may still be the read of its data port.
static WORD pendingIndexPort;
static BYTE pendingIndex;

const WORD kIndexPorts[kIndexPortCount] = {VGA_CRT_IC, EXT_IC};

int IndexPortSlot(WORD port) {
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

void ClearAccessList() {
    plannedAccessCount = 0;
    pendingIndexPort   = 0;
}

int IsMadeRead(WORD port, BYTE* index) {
    if (pendingIndexPort != 0 && port == pendingIndexPort + 1) {
        *index = pendingIndex;
        return 1;
    }
    return 0;
}

// A port is undecoded where the adapter would not answer it: none of its index, data or
// miscellaneous output ports (written at one, read at the other).
void PlanAccess(VgaAccessKind kind, DWORD where, BYTE value, int made) {
    WORD port = static_cast<WORD>(where);
    int known = kind >= kVgaAccessStore || IndexPortSlot(port) >= 0 || IsDataPort(port) ||
                (kind == kVgaAccessOut && port == VGA_MIS_W) || (kind == kVgaAccessIn && port == VGA_MIS_R);
    pendingIndexPort = kind == kVgaAccessOut && IndexPortSlot(port) >= 0 ? port : 0;
    pendingIndex     = value;
    if (made && plannedAccessCount > 0 && plannedAccessCount <= kPlannedAccessRoom) {
        plannedAccesses[plannedAccessCount - 1].made = 1;
    }
    if (plannedAccessCount < kPlannedAccessRoom) {
        PlannedAccess& access = plannedAccesses[plannedAccessCount];
        access.kind           = kind;
        access.where          = where;
        access.value          = value;
        access.undecoded      = static_cast<BYTE>(!known);
        access.made           = static_cast<BYTE>(made);
    }
    ++plannedAccessCount;
}
