// The three ways the program touches the adapter. The Windows build executes them itself (x86 in
// and out, one byte store into the mapped window); the host build drives a simulated adapter.
#pragma once

#include "hw/hw.h"

BYTE ReadPort(WORD port);
void WritePort(WORD port, BYTE value);
void StoreWindowByte(RegisterWindow address, BYTE value);
