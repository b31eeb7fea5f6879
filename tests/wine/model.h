// The debugger's only view of the adapter: every emulated port access and
// window store goes through these four functions, and nothing else in the
// debugger knows how registers behave.  local_model.cpp implements them with
// a small stand-in; pointing them at the shared adapter model means
// rewriting that one file.
#ifndef TESTS_WINE_MODEL_H
#define TESTS_WINE_MODEL_H

#include <stdint.h>

// Sets a register before the program starts.  kind is "crtc", "seq", "gc"
// (index = register index), "port" (index = I/O port) or "misc" (index
// ignored).  Returns false for an unknown kind or an index out of range.
bool ModelPreset(const char *kind, uint32_t index, uint8_t value);

uint8_t ModelIn(uint16_t port);
void ModelOut(uint16_t port, uint8_t value);
void ModelStore(uint32_t address, uint8_t value);

#endif
