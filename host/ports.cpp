// Host primitives: the program's port and window accesses go to the simulated adapter, and are
// written down as the diagnostic writes them, so that refresh-sim reports what the diagnostic would.
#include "diag/access_list.h"
#include "hw/primitives.h"
#include "machine.h"

BYTE ReadPort(WORD port) {
    BYTE index;
    int made   = IsMadeRead(port, &index);
    BYTE value = adapter::In(host::TheMachine().adapter, port);
    PlanAccess(kVgaAccessIn, port, value, made);
    return value;
}

void WritePort(WORD port, BYTE value) {
    adapter::Out(host::TheMachine().adapter, port, value);
    PlanAccess(kVgaAccessOut, port, value, 0);
}

void StoreWindowByte(RegisterWindow address, BYTE value) {
    adapter::Store(host::TheMachine().adapter, address, value);
    PlanAccess(kVgaAccessStore, address, value, 0);
}

BYTE LoadWindowByte(RegisterWindow address) {
    BYTE value = adapter::Load(host::TheMachine().adapter, address);
    PlanAccess(kVgaAccessLoad, address, value, 0);
    return value;
}
