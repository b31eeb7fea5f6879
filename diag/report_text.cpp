#include "diag/report_text.h"

#include "hw/vga.h"
#include "hw/vga_names.h"

char* PutText(char* p, const char* text) {
    while (*text != 0) {
        *p++ = *text++;
    }
    *p = 0;
    return p;
}

char* PutHex(char* p, unsigned long value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        *p++ = "0123456789ABCDEF"[(value >> shift) & 0xF];
    }
    *p = 0;
    return p;
}

char* PutDecimal(char* p, long value) {
    unsigned long magnitude =
        value < 0 ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    if (value < 0) {
        *p++ = '-';
    }
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (n > 0) {
        *p++ = digits[--n];
    }
    *p = 0;
    return p;
}

void DescribeVgaAccess(char line[kVgaAccessTextSize], VgaAccessKind kind, unsigned long where,
                       unsigned char value, int undecoded, unsigned char* crtcLatch,
                       unsigned char* extLatch) {
    const char* arrow = kind == kVgaAccessOut || kind == kVgaAccessStore ? " <- " : " -> ";
    const char* flag  = undecoded ? "  ** not decoded by the adapter **" : "";
    char* p           = line;
    if (kind >= kVgaAccessStore) {
        p = PutText(p, "window 0x");
        p = PutHex(p, where, 8);
    } else if (kind == kVgaAccessOut && where == VGA_CRT_IC) {
        *crtcLatch = value;
        p          = PutText(p, "out 0x");
        p          = PutHex(p, where, 3);
        flag       = " (CRTC index)";
    } else if (kind == kVgaAccessOut && where == EXT_IC) {
        *extLatch = value;
        p         = PutText(p, "out 0x");
        p         = PutHex(p, where, 3);
        flag      = " (extended index)";
    } else if (where == VGA_CRT_DC) {
        // A register the utility does not touch shows as "unnamed".
        const char* name = CrtcRegisterName(*crtcLatch);
        p                = PutText(p, "CRTC 0x");
        p                = PutHex(p, *crtcLatch, 2);
        p                = PutText(p, " (");
        p                = PutText(p, name != 0 ? name : "unnamed");
        p                = PutText(p, ")");
    } else if (where == EXT_DC) {
        // The extended registers' names are their indexes: what they do is the adapter's own.
        const char* name = ExtRegisterName(*extLatch);
        if (name != 0) {
            p = PutText(p, name);
        } else {
            p = PutText(p, "extended 0x");
            p = PutHex(p, *extLatch, 2);
            p = PutText(p, " (unnamed)");
        }
    } else if ((kind == kVgaAccessOut && where == VGA_MIS_W) ||
               (kind == kVgaAccessIn && where == VGA_MIS_R)) {
        p    = PutText(p, kind == kVgaAccessOut ? "out 0x" : "in 0x");
        p    = PutHex(p, where, 3);
        flag = " (miscellaneous output)";
    } else {
        p = PutText(p, kind == kVgaAccessOut ? "out 0x" : "in 0x");
        p = PutHex(p, where, 4);
    }
    p = PutText(p, arrow);
    p = PutHex(p, value, 2);
    PutText(p, flag);
}
