// The diagnostic's real port access, on the host: the simulated adapter.
#include "diag/dry_ports.h"
#include "machine.h"

BYTE PassReadPort(WORD port) {
    return adapter::In(host::TheMachine().adapter, port);
}

void PassWritePort(WORD port, BYTE value) {
    adapter::Out(host::TheMachine().adapter, port, value);
}
