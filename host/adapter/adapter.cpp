#include "adapter/adapter.h"

#include <cstdio>

namespace adapter {

Adapter MakeAdapter() {
    Adapter a;
    a.crtc[kCrtcVerticalEnd] = 0x8E;
    return a;
}

static bool InWindow(const Adapter& a, uint32_t address) {
    return address >= a.windowBase && address - a.windowBase < kWindowSize;
}

uint8_t In(Adapter& a, uint16_t port) {
    uint8_t value   = 0xFF; // an undecoded port floats high
    bool unexpected = false;
    switch (port) {
    case kCrtcIndex: value = a.crtcLatch; break;
    case kCrtcData: value = a.crtc[a.crtcLatch]; break;
    case kExtIndex: value = a.extLatch; break;
    case kExtData: value = a.ext[a.extLatch]; break;
    default: unexpected = true; break;
    }
    a.trace.push_back({Op::In, port, value, unexpected});
    return value;
}

static void WriteCrtc(Adapter& a, uint8_t index, uint8_t value) {
    bool locked = (a.crtc[kCrtcVerticalEnd] & kCrtcProtectBit) != 0;
    if (locked && index < kCrtcOverflow) {
        return;
    }
    if (locked && index == kCrtcOverflow) {
        a.crtc[index] = (a.crtc[index] & ~kCrtcOverflowLineCompare) | (value & kCrtcOverflowLineCompare);
        return;
    }
    a.crtc[index] = value;
}

void Out(Adapter& a, uint16_t port, uint8_t value) {
    bool unexpected = false;
    switch (port) {
    case kCrtcIndex: a.crtcLatch = value; break;
    case kCrtcData: WriteCrtc(a, a.crtcLatch, value); break;
    case kExtIndex: a.extLatch = value; break;
    case kExtData: a.ext[a.extLatch] = value; break;
    case kMiscOutputWrite: a.miscOutput = value; break;
    default: unexpected = true; break;
    }
    a.trace.push_back({Op::Out, port, value, unexpected});
}

void Store(Adapter& a, uint32_t address, uint8_t value) {
    bool inside = InWindow(a, address);
    if (inside) {
        a.window[address - a.windowBase] = value;
    }
    a.trace.push_back({Op::Store, address, value, !inside});
}

size_t CountUnexpected(const Adapter& a) {
    size_t n = 0;
    for (const Access& access : a.trace) {
        n += access.unexpected ? 1 : 0;
    }
    return n;
}

const char* CrtcRegisterName(uint8_t index) {
    switch (index) {
    case 0x00: return "horizontal total";
    case 0x01: return "horizontal display end";
    case 0x02: return "start horizontal blanking";
    case 0x03: return "end horizontal blanking";
    case 0x04: return "start horizontal retrace";
    case 0x05: return "end horizontal retrace";
    case 0x06: return "vertical total";
    case 0x07: return "overflow";
    case 0x10: return "vertical retrace start";
    case 0x11: return "vertical retrace end";
    case 0x12: return "vertical display end";
    case 0x13: return "offset";
    case 0x15: return "start vertical blanking";
    case 0x16: return "end vertical blanking";
    case 0x30: return "extended 0x30";
    case 0x31: return "extended 0x31";
    case 0x32: return "extended 0x32";
    case 0x33: return "extended 0x33";
    case 0x75: return "extended 0x75, skip bit 5";
    default: return "unnamed";
    }
}

const char* ExtRegisterName(uint8_t index) {
    switch (index) {
    case 0x09: return "extended 0x09";
    case 0xC8: return "extended 0xC8";
    case 0xC9: return "extended 0xC9";
    case 0xCA: return "extended 0xCA";
    case 0xCB: return "extended 0xCB";
    default: return "unnamed";
    }
}

std::vector<std::string> DescribeTrace(const std::vector<Access>& trace, uint8_t crtcLatch,
                                       uint8_t extLatch) {
    std::vector<std::string> lines;
    char line[128];
    for (const Access& a : trace) {
        const char* flag = a.unexpected ? "  ** not decoded by the adapter **" : "";
        if (a.op == Op::Store) {
            std::snprintf(line, sizeof line, "window 0x%08X <- %02X%s", static_cast<unsigned>(a.where),
                          a.value, flag);
        } else if (a.op == Op::Out && a.where == kCrtcIndex) {
            crtcLatch = a.value;
            std::snprintf(line, sizeof line, "out 0x3D4 <- %02X (CRTC index)", a.value);
        } else if (a.op == Op::Out && a.where == kExtIndex) {
            extLatch = a.value;
            std::snprintf(line, sizeof line, "out 0x3D6 <- %02X (extended index)", a.value);
        } else if (a.where == kCrtcData) {
            std::snprintf(line, sizeof line, "CRTC 0x%02X (%s) %s %02X", crtcLatch,
                          CrtcRegisterName(crtcLatch), a.op == Op::Out ? "<-" : "->", a.value);
        } else if (a.where == kExtData) {
            std::snprintf(line, sizeof line, "XR 0x%02X (%s) %s %02X", extLatch, ExtRegisterName(extLatch),
                          a.op == Op::Out ? "<-" : "->", a.value);
        } else if (a.op == Op::Out && a.where == kMiscOutputWrite) {
            std::snprintf(line, sizeof line, "out 0x3C2 <- %02X (miscellaneous output)", a.value);
        } else {
            std::snprintf(line, sizeof line, "%s 0x%04X %s %02X%s", a.op == Op::Out ? "out" : "in",
                          static_cast<unsigned>(a.where), a.op == Op::Out ? "<-" : "->", a.value, flag);
        }
        lines.push_back(line);
    }
    return lines;
}

} // namespace adapter
