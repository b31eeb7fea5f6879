// Host primitives: the program's port and window accesses go to the simulated adapter.
#include "hw/primitives.h"
#include "machine.h"

BYTE ReadPort(WORD port) {
    return adapter::In(host::TheMachine().adapter, port);
}

void WritePort(WORD port, BYTE value) {
    adapter::Out(host::TheMachine().adapter, port, value);
}

void StoreWindowByte(RegisterWindow address, BYTE value) {
    adapter::Store(host::TheMachine().adapter, address, value);
}
