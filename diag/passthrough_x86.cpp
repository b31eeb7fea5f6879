// The diagnostic's real port access on Windows 95/98.
#include "diag/dry_ports.h"
#include "hw/x86_io.h"

BYTE PassReadPort(WORD port) {
    return InPortByte(port);
}

// Not inlined: one out instruction in the whole diagnostic.
__attribute__((noinline)) void PassWritePort(WORD port, BYTE value) {
    OutPortByte(port, value);
}
