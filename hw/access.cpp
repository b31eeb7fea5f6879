// Indexed register access over the byte primitives, and the skip-bit probe.
#include <windows.h>

#include "hw/hw.h"
#include "hw/primitives.h"
#include "hw/vga.h"

// Index and data sit at port and port + 1. Two separate accesses: nothing else may move the index
// in between.
BYTE ReadIndexed(WORD port, BYTE index) {
    WritePort(port, index);
    return ReadPort(port + 1);
}

void WriteIndexed(WORD port, BYTE index, BYTE value) {
    WritePort(port, index);
    WritePort(port + 1, value);
}

// Bit 5 of extended CRTC 0x75 set: leave the adapter's timing as it is.
int IsSkipBitSet(BYTE* extCrtc75) {
    *extCrtc75 = ReadIndexed(VGA_CRT_IC, EXT_CRTC_75);
    return *extCrtc75 & EXT_CRTC_75_SKIP;
}
