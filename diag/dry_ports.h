// The diagnostic's adapter access. Port reads are real; a port write or window store is only
// written down, except an index write that a read right after it needs (the index selects which
// register answers; it changes none). Each index register is read before the diagnostic's first
// write to it and written back by RestoreIndexRegisters. The run thus reads the adapter as it is
// and leaves it exactly so.
#pragma once

#include <windows.h>

// Writes back each index register the run's reads changed, as it was before the first of them.
void RestoreIndexRegisters();

// The real port access underneath: x86 in and out on Windows, the simulated adapter on the host.
// The diagnostic's only port writes go through PassWritePort: its executable holds one out
// instruction, which the executable check counts.
BYTE PassReadPort(WORD port);
void PassWritePort(WORD port, BYTE value);
