// The hardware primitives on Windows 95/98, where a Win32 process may execute in and out on the
// adapter's ports itself and the mapping VxD makes the register window addressable.
#include <windows.h>

#include "hw/primitives.h"

// The port goes in DX: the adapter's ports lie above 0xFF, out of reach of the immediate form.
BYTE ReadPortByte(WORD port) {
    BYTE value;
    __asm__ __volatile__("inb %%dx, %%al" : "=a"(value) : "d"(port));
    return value;
}

void WritePortByte(WORD port, BYTE value) {
    __asm__ __volatile__("outb %%al, %%dx" : : "a"(value), "d"(port));
}

// Exactly one byte wide: the compiler may neither widen nor merge a volatile byte store. The whole
// program is optimised as one unit, so the store is fenced off from the port accesses before it:
// the adapter sees the window bytes only after the register writes.
void StoreWindowByte(RegisterWindow address, BYTE value) {
    __asm__ __volatile__("" : : : "memory");
    *reinterpret_cast<volatile BYTE*>(static_cast<UINT_PTR>(address)) = value;
}
