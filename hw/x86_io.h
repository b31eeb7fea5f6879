// Byte-wide x86 port instructions, for the Windows programs that execute them themselves: a
// Windows 95/98 process may use in and out on the adapter's ports.
#pragma once

#include <windows.h>

// The port goes in DX: the adapter's ports lie above 0xFF, out of reach of the immediate form.
inline BYTE InPortByte(WORD port) {
    BYTE value;
    __asm__ __volatile__("inb %%dx, %%al" : "=a"(value) : "d"(port));
    return value;
}

inline void OutPortByte(WORD port, BYTE value) {
    __asm__ __volatile__("outb %%al, %%dx" : : "a"(value), "d"(port));
}
