// Adapter access: byte-wide port I/O, the skip-bit probe, the memory-mapped register window, and
// the programming sequence that writes one timing set into the adapter.
#pragma once

#include <windows.h>

#include "timing/timing.h"

// Linear address of the adapter's register window, as the mapping driver hands it out; 0 when
// no window could be had.
typedef UINT32 RegisterWindow;

// Port access: ReadPort, WritePort and StoreWindowByte (hw/primitives.h), each program's own, and
// the indexed access over them.
BYTE ReadIndexed(WORD port, BYTE index);
void WriteIndexed(WORD port, BYTE index, BYTE value);
int IsSkipBitSet();
RegisterWindow MapRegisterWindow();
// Writes one timing set into the adapter, register by register; it decides nothing.
void ProgramTiming(const TimingSelection* selection);

// Writes text to the process's standard output at once; dropped when it has none.
void WriteStandardOutput(const char* text, int length);
