// The hardware primitives on Windows 95/98, where a Win32 process may execute in and out on the
// adapter's ports itself and the mapping VxD makes the register window addressable.
#include <windows.h>

#include "hw/primitives.h"
#include "hw/x86_io.h"

BYTE ReadPort(WORD port) {
    return InPortByte(port);
}

void WritePort(WORD port, BYTE value) {
    OutPortByte(port, value);
}

// Exactly one byte wide: the compiler may neither widen nor merge a volatile byte store. The whole
// program is optimised as one unit, so the store is fenced off from the port accesses before it:
// the adapter sees the window bytes only after the register writes.
void StoreWindowByte(RegisterWindow address, BYTE value) {
    __asm__ __volatile__("" : : : "memory");
    *reinterpret_cast<volatile BYTE*>(static_cast<UINT_PTR>(address)) = value;
}

// One byte wide, as the store, and fenced the same way: the load stays in its place among the port
// accesses around it.
BYTE LoadWindowByte(RegisterWindow address) {
    __asm__ __volatile__("" : : : "memory");
    return *reinterpret_cast<volatile BYTE*>(static_cast<UINT_PTR>(address));
}
