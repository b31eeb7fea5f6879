// The hardware primitives on Windows 95/98, where a Win32 process may execute in and out on the
// adapter's ports itself and the mapping VxD makes the register window addressable.
#include <windows.h>

#include "hw/primitives.h"
#include "hw/x86_io.h"

BYTE ReadPortByte(WORD port) {
    return InPortByte(port);
}

void WritePortByte(WORD port, BYTE value) {
    OutPortByte(port, value);
}

// Exactly one byte wide: the compiler may neither widen nor merge a volatile byte store.
void StoreWindowByte(RegisterWindow address, BYTE value) {
    *reinterpret_cast<volatile BYTE*>(static_cast<UINT_PTR>(address)) = value;
}
