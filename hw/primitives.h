// The four ways a program touches the adapter. The Windows programs execute them themselves (x86 in
// and out, one byte store into or load from the mapped window); the diagnostic and the host build
// drive their own sets and write each access down. Only the read-back before a trial loads from the
// window; the utility never does.
#pragma once

#include "hw/hw.h"

BYTE ReadPort(WORD port);
void WritePort(WORD port, BYTE value);
void StoreWindowByte(RegisterWindow address, BYTE value);
BYTE LoadWindowByte(RegisterWindow address);
