#include "hw/vga_names.h"

#include "common/text.h"
#include "hw/vga.h"

// clang-format off
const VgaRegisterName kCrtcRegisterNames[] = {
    {VGA_CRTC_H_TOTAL,       "horizontal total"},
    {VGA_CRTC_H_DISP,        "horizontal display end"},
    {VGA_CRTC_H_BLANK_START, "start horizontal blanking"},
    {VGA_CRTC_H_BLANK_END,   "end horizontal blanking"},
    {VGA_CRTC_H_SYNC_START,  "start horizontal retrace"},
    {VGA_CRTC_H_SYNC_END,    "end horizontal retrace"},
    {VGA_CRTC_V_TOTAL,       "vertical total"},
    {VGA_CRTC_OVERFLOW,      "overflow"},
    {VGA_CRTC_V_SYNC_START,  "vertical retrace start"},
    {VGA_CRTC_V_SYNC_END,    "vertical retrace end"},
    {VGA_CRTC_V_DISP_END,    "vertical display end"},
    {VGA_CRTC_OFFSET,        "offset"},
    {VGA_CRTC_V_BLANK_START, "start vertical blanking"},
    {VGA_CRTC_V_BLANK_END,   "end vertical blanking"},
    {EXT_CRTC_30,            "extended 0x30"},
    {EXT_CRTC_31,            "extended 0x31"},
    {EXT_CRTC_32,            "extended 0x32"},
    {EXT_CRTC_33,            "extended 0x33"},
    {EXT_CRTC_75,            "extended 0x75, skip bit 5"},
};

const VgaRegisterName kExtRegisterNames[] = {
    {EXT_09,                 "extended 0x09"},
    {EXT_C8,                 "extended 0xC8"},
    {EXT_C9,                 "extended 0xC9"},
    {EXT_CA,                 "extended 0xCA"},
    {EXT_CB,                 "extended 0xCB"},
};
// clang-format on

const int kCrtcRegisterNameCount = sizeof kCrtcRegisterNames / sizeof kCrtcRegisterNames[0];
const int kExtRegisterNameCount  = sizeof kExtRegisterNames / sizeof kExtRegisterNames[0];

static const char* FindName(const VgaRegisterName* names, int count, unsigned char index) {
    for (int i = 0; i < count; ++i) {
        if (names[i].index == index) {
            return names[i].name;
        }
    }
    return 0;
}

const char* CrtcRegisterName(unsigned char index) {
    return FindName(kCrtcRegisterNames, kCrtcRegisterNameCount, index);
}

const char* ExtRegisterName(unsigned char index) {
    return FindName(kExtRegisterNames, kExtRegisterNameCount, index);
}

const char* IndexPortName(unsigned long port) {
    return port == VGA_CRT_IC ? "CRTC index" : port == EXT_IC ? "extended index" : 0;
}

void DescribeVgaAccess(char line[kVgaAccessTextSize], VgaAccessKind kind, unsigned long where,
                       unsigned char value, int undecoded, unsigned char* crtcLatch,
                       unsigned char* extLatch) {
    const char* arrow = kind == kVgaAccessOut || kind == kVgaAccessStore ? " <- " : " -> ";
    const char* flag  = undecoded ? "  ** not decoded by the adapter **" : "";
    const char* port  = 0; // the name of a port the adapter answers, in brackets after the value
    char* p           = line;
    if (kind >= kVgaAccessStore) {
        p = PutText(p, "window 0x");
        p = PutHex(p, where, 8);
    } else if (kind == kVgaAccessOut && IndexPortName(where) != 0) {
        port = IndexPortName(where);
        p    = PutHex(PutText(p, "out 0x"), where, 3);
        if (where == VGA_CRT_IC) {
            *crtcLatch = value;
        } else {
            *extLatch = value;
        }
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
        port = "miscellaneous output";
    } else {
        p = PutText(p, kind == kVgaAccessOut ? "out 0x" : "in 0x");
        p = PutHex(p, where, 4);
    }
    p = PutText(p, arrow);
    p = PutHex(p, value, 2);
    if (port != 0) {
        PutText(PutText(PutText(p, " ("), port), ")");
    } else {
        PutText(p, flag);
    }
}
