#include "adapter/adapter.h"

#include <cstdio>
#include <cstdlib>

#include "hw/vga.h"
#include "hw/vga_names.h"

namespace adapter {

Adapter MakeAdapter() {
    Adapter a;
    a.crtc[VGA_CRTC_V_SYNC_END] = 0x8E;
    return a;
}

static bool InWindow(const Adapter& a, uint32_t address) {
    return address >= a.windowBase && address - a.windowBase < kWindowSize;
}

uint8_t In(Adapter& a, uint16_t port) {
    uint8_t value  = 0xFF; // an undecoded port floats high
    bool undecoded = false;
    switch (port) {
    case VGA_CRT_IC: value = a.crtcLatch; break;
    case VGA_CRT_DC: value = a.crtc[a.crtcLatch]; break;
    case EXT_IC: value = a.extLatch; break;
    case EXT_DC: value = a.ext[a.extLatch]; break;
    case VGA_MIS_R: value = a.miscOutput; break;
    default: undecoded = true; break;
    }
    a.trace.push_back({Op::In, port, value, undecoded});
    return value;
}

// The registers bit 0 of extended 0x09 opens for writing: the timing registers, as the adapter
// gates them.
static bool TimingWritesOpen(const Adapter& a) {
    return (a.ext[EXT_09] & EXT_09_BIT0) != 0;
}

static bool IsGatedCrtc(uint8_t index) {
    return index <= VGA_CRTC_OVERFLOW || (index >= VGA_CRTC_V_SYNC_START && index <= VGA_CRTC_V_BLANK_END) ||
           (index >= EXT_CRTC_30 && index <= EXT_CRTC_33);
}

static void WriteCrtc(Adapter& a, uint8_t index, uint8_t value) {
    if (IsGatedCrtc(index) && !TimingWritesOpen(a)) {
        return;
    }
    bool locked = (a.crtc[VGA_CRTC_V_SYNC_END] & VGA_CR11_LOCK_CR0_CR7) != 0;
    if (locked && index < VGA_CRTC_OVERFLOW) {
        return;
    }
    if (locked && index == VGA_CRTC_OVERFLOW) {
        a.crtc[index] = (a.crtc[index] & ~VGA_CR07_LINE_COMPARE8) | (value & VGA_CR07_LINE_COMPARE8);
        return;
    }
    a.crtc[index] = value;
}

void Out(Adapter& a, uint16_t port, uint8_t value) {
    bool undecoded = false;
    switch (port) {
    case VGA_CRT_IC: a.crtcLatch = value; break;
    case VGA_CRT_DC: WriteCrtc(a, a.crtcLatch, value); break;
    case EXT_IC: a.extLatch = value; break;
    case EXT_DC:
        if (a.extLatch < EXT_C8 || a.extLatch > EXT_CB || TimingWritesOpen(a)) {
            a.ext[a.extLatch] = value;
        }
        break;
    case VGA_MIS_W: a.miscOutput = value; break;
    default: undecoded = true; break;
    }
    a.trace.push_back({Op::Out, port, value, undecoded});
}

void Store(Adapter& a, uint32_t address, uint8_t value) {
    bool inside = InWindow(a, address);
    if (inside) {
        a.window[address - a.windowBase] = value;
    }
    a.trace.push_back({Op::Store, address, value, !inside});
}

uint8_t Load(Adapter& a, uint32_t address) {
    bool inside   = InWindow(a, address);
    uint8_t value = inside ? a.window[address - a.windowBase] : 0xFF;
    a.trace.push_back({Op::Load, address, value, !inside});
    return value;
}

static bool ParseByte(const std::string& text, uint8_t* value) {
    char* end;
    unsigned long long x = std::strtoull(text.c_str(), &end, 0);
    if (text.empty() || *end != 0 || text[0] == '-' || x > 0xFF) {
        return false;
    }
    *value = static_cast<uint8_t>(x);
    return true;
}

bool SetRegister(Adapter& a, const std::string& setting, std::string* error) {
    size_t eq = setting.find('=');
    if (eq == std::string::npos) {
        *error = "a register setting is KIND[:INDEX]=VALUE";
        return false;
    }
    std::string left = setting.substr(0, eq), kind = left;
    uint8_t index = 0, value;
    size_t colon  = left.find(':');
    bool indexed  = colon != std::string::npos;
    if (indexed) {
        kind = left.substr(0, colon);
        if (!ParseByte(left.substr(colon + 1), &index)) {
            *error = "a register's index is one byte";
            return false;
        }
    }
    if (!ParseByte(setting.substr(eq + 1), &value)) {
        *error = "a register's value is one byte";
        return false;
    }
    if (kind == "crtc" && indexed) {
        a.crtc[index] = value;
    } else if (kind == "ext" && indexed) {
        a.ext[index] = value;
    } else if (kind == "window" && indexed && index < kWindowSize) {
        a.window[index] = value;
    } else if (kind == "misc" && !indexed) {
        a.miscOutput = value;
    } else if (kind == "crtc-index" && !indexed) {
        a.crtcLatch = value;
    } else if (kind == "ext-index" && !indexed) {
        a.extLatch = value;
    } else {
        *error = "no such register: " + left;
        return false;
    }
    return true;
}

size_t CountUndecoded(const Adapter& a) {
    size_t n = 0;
    for (const Access& access : a.trace) {
        n += access.undecoded ? 1 : 0;
    }
    return n;
}

std::vector<std::string> ChangedRegisters(const Adapter& before, const Adapter& after) {
    std::vector<std::string> changed;
    auto hex = [](const char* what, unsigned index) {
        char name[32];
        std::snprintf(name, sizeof name, "%s 0x%02X", what, index);
        return std::string(name);
    };
    if (before.crtcLatch != after.crtcLatch) {
        changed.push_back("CRTC index");
    }
    if (before.extLatch != after.extLatch) {
        changed.push_back("extended index");
    }
    for (unsigned i = 0; i < before.crtc.size(); ++i) {
        if (before.crtc[i] != after.crtc[i]) {
            changed.push_back(hex("CRTC", i));
        }
    }
    for (unsigned i = 0; i < before.ext.size(); ++i) {
        if (before.ext[i] != after.ext[i]) {
            changed.push_back(hex("extended", i));
        }
    }
    if (before.miscOutput != after.miscOutput) {
        changed.push_back("miscellaneous output");
    }
    for (unsigned i = 0; i < kWindowSize; ++i) {
        if (before.window[i] != after.window[i]) {
            changed.push_back("window " + std::to_string(i));
        }
    }
    return changed;
}

std::vector<std::string> DescribeTrace(const std::vector<Access>& trace, uint8_t crtcLatch,
                                       uint8_t extLatch) {
    std::vector<std::string> lines;
    for (const Access& a : trace) {
        static const VgaAccessKind kKinds[] = {kVgaAccessIn, kVgaAccessOut, kVgaAccessStore, kVgaAccessLoad};
        VgaAccessKind kind                  = kKinds[static_cast<int>(a.op)];
        char line[kVgaAccessTextSize];
        DescribeVgaAccess(line, kind, a.where, a.value, a.undecoded, &crtcLatch, &extLatch);
        lines.push_back(line);
    }
    return lines;
}

} // namespace adapter
