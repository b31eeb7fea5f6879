// Minimal register model behind model.h: the VGA-compatible indexed sets
// (CRTC, sequencer, graphics controller) plus Miscellaneous Output and Input
// Status 1.  Any other port keeps the last byte written to it and reads 0xFF,
// like an undecoded ISA port, until written.  Window stores are accepted and
// otherwise ignored.

#include <string.h>

#include "model.h"

namespace {

struct Indexed {
    uint8_t index;
    uint8_t reg[256];
};

struct State {
    Indexed crtc, seq, gc;
    uint8_t misc;
    uint8_t status1;  // toggled on every read so retrace polls terminate
    uint8_t port[65536];
    State() : crtc(), seq(), gc(), misc(0x67), status1(0) {
        memset(port, 0xFF, sizeof port);
    }
};

State &S() {
    static State s;
    return s;
}

// The port pair an indexed set answers at (index port, index port + 1);
// the CRTC answers at 0x3B4 too because the mono/colour select is not
// modelled.
Indexed *IndexedAt(uint16_t port, bool *isData) {
    State &s = S();
    *isData = (port & 1) != 0;
    switch (port & ~1u) {
        case 0x3D4: case 0x3B4: return &s.crtc;
        case 0x3C4: return &s.seq;
        case 0x3CE: return &s.gc;
        default: return nullptr;
    }
}

}  // namespace

bool ModelPreset(const char *kind, uint32_t index, uint8_t value) {
    State &s = S();
    if (strcmp(kind, "misc") == 0) return s.misc = value, true;
    if (strcmp(kind, "port") == 0) {
        if (index > 0xFFFF) return false;
        s.port[index] = value;
        return true;
    }
    Indexed *set = strcmp(kind, "crtc") == 0  ? &s.crtc
                   : strcmp(kind, "seq") == 0 ? &s.seq
                   : strcmp(kind, "gc") == 0  ? &s.gc
                                              : nullptr;
    if (!set || index > 0xFF) return false;
    set->reg[index] = value;
    return true;
}

uint8_t ModelIn(uint16_t port) {
    State &s = S();
    bool isData;
    if (Indexed *set = IndexedAt(port, &isData))
        return isData ? set->reg[set->index] : set->index;
    if (port == 0x3CC) return s.misc;
    if (port == 0x3DA || port == 0x3BA) {
        s.status1 ^= 0x09;  // display enable and vertical retrace
        return s.status1;
    }
    return s.port[port];
}

void ModelOut(uint16_t port, uint8_t value) {
    State &s = S();
    bool isData;
    if (Indexed *set = IndexedAt(port, &isData)) {
        if (isData) set->reg[set->index] = value;
        else set->index = value;
        return;
    }
    if (port == 0x3C2) {
        s.misc = value;
        return;
    }
    s.port[port] = value;
}

void ModelStore(uint32_t, uint8_t) {}
