// The diagnostic's four primitives, over the real port access of PassReadPort and PassWritePort.
// What is made and what is only written down is decided by the access list's rule
// (diag/access_list.h); here it is done.
#include "diag/dry_ports.h"

#include "diag/access_list.h"
#include "hw/primitives.h"

// The two index registers as the diagnostic found them, read before its first index write to each
// and written back by RestoreIndexRegisters: another program's next data access must find the
// register it selected.
static BYTE savedIndex[kIndexPortCount];
static BYTE indexSaved[kIndexPortCount];

// A read that is not made answers 0xFF, as an undecoded port floats high.
BYTE ReadPort(WORD port) {
    BYTE value = 0xFF;
    BYTE index;
    int made = IsMadeRead(port, &index);
    if (made) {
        WORD indexPort = port - 1;
        int slot       = IndexPortSlot(indexPort);
        if (!indexSaved[slot]) {
            savedIndex[slot] = PassReadPort(indexPort);
            indexSaved[slot] = 1;
        }
        PassWritePort(indexPort, index);
        value = PassReadPort(port);
    }
    PlanAccess(kVgaAccessIn, port, value, made);
    return value;
}

void WritePort(WORD port, BYTE value) {
    PlanAccess(kVgaAccessOut, port, value, 0);
}

void StoreWindowByte(RegisterWindow address, BYTE value) {
    PlanAccess(kVgaAccessStore, address, value, 0);
}

// The diagnostic makes no window access: a load is only written down, and answers 0xFF as a port
// read it does not make does.
BYTE LoadWindowByte(RegisterWindow address) {
    PlanAccess(kVgaAccessLoad, address, 0xFF, 0);
    return 0xFF;
}

void RestoreIndexRegisters() {
    for (int i = 0; i < kIndexPortCount; ++i) {
        if (indexSaved[i]) {
            PassWritePort(kIndexPorts[i], savedIndex[i]);
            indexSaved[i] = 0;
        }
    }
}
