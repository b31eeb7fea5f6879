// Host primitives: the program's port and window accesses go to the simulated adapter.
#include "hw/primitives.h"
#include "machine.h"

BYTE ReadPortByte(WORD port) {
    return adapter::In(host::TheMachine().adapter, port);
}

void WritePortByte(WORD port, BYTE value) {
    adapter::Out(host::TheMachine().adapter, port, value);
}

void StoreWindowByte(RegisterWindow address, BYTE value) {
    adapter::Store(host::TheMachine().adapter, address, value);
}
