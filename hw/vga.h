// Ports, register indexes and bits of the adapter that the utility touches, each named once. The
// CRTC is reached at its colour addresses, which the miscellaneous output value below selects.
#pragma once

// clang-format off

// I/O ports
#define VGA_MIS_W              0x3C2 // miscellaneous output register, write
#define VGA_MIS_R              0x3CC // miscellaneous output register, read
#define VGA_CRT_IC             0x3D4 // CRTC index, colour addressing
#define VGA_CRT_DC             0x3D5 // CRTC data
#define EXT_IC                 0x3D6 // extended register index
#define EXT_DC                 0x3D7 // extended register data

// Standard CRTC registers, behind VGA_CRT_IC
#define VGA_CRTC_H_TOTAL       0x00
#define VGA_CRTC_H_DISP        0x01
#define VGA_CRTC_H_BLANK_START 0x02
#define VGA_CRTC_H_BLANK_END   0x03
#define VGA_CRTC_H_SYNC_START  0x04
#define VGA_CRTC_H_SYNC_END    0x05
#define VGA_CRTC_V_TOTAL       0x06
#define VGA_CRTC_OVERFLOW      0x07
#define VGA_CRTC_V_SYNC_START  0x10
#define VGA_CRTC_V_SYNC_END    0x11
#define VGA_CRTC_V_DISP_END    0x12
#define VGA_CRTC_OFFSET        0x13
#define VGA_CRTC_V_BLANK_START 0x15
#define VGA_CRTC_V_BLANK_END   0x16

// Extended CRTC registers of the adapter family, behind VGA_CRT_IC
#define EXT_CRTC_30            0x30
#define EXT_CRTC_31            0x31
#define EXT_CRTC_32            0x32
#define EXT_CRTC_33            0x33
#define EXT_CRTC_75            0x75

// Extended registers, behind EXT_IC
#define EXT_09                 0x09
#define EXT_C8                 0xC8
#define EXT_C9                 0xC9
#define EXT_CA                 0xCA
#define EXT_CB                 0xCB

// Bits and values
#define VGA_CR11_LOCK_CR0_CR7  0x80 // CRTC 0x00-0x07 ignore writes while set (bit 4 of 0x07 excepted)
#define VGA_CR07_LINE_COMPARE8 0x10 // bit 8 of the line compare: writable even while CRTC 0x11 locks 0x07
#define EXT_CRTC_75_SKIP       0x20 // set: the adapter's timing is not to be touched
#define EXT_09_BIT0            0x01 // set: the timing registers take writes (CRTC 0x00-0x07 and 0x10-0x16,
                                    // extended CRTC 0x30-0x33, extended 0xC8-0xCB); clear: they ignore them
#define VGA_CR07_V_TOTAL8      0x01 // bit 8 of the vertical total (CRTC 0x06)
#define VGA_CR07_V_TOTAL9      0x20 // bit 9 of the vertical total
#define EXT_CRTC_30_V_TOTAL    0x07 // extended 0x30: bits 8-10 of the vertical total, 8 and 9 again

// Miscellaneous output register bits
#define VGA_MIS_COLOR          0x01 // I/O at 0x3Dx: colour addressing
#define VGA_MIS_ENB_MEM_ACCESS 0x02 // display memory answers the processor
#define VGA_MIS_CLOCK_2        0x08 // bits 3-2 = 10: clock select 2
#define VGA_MIS_SEL_HIGH_PAGE  0x20 // odd/even page select: high page
// The value the timing is written with; bits 7-6 clear, both sync polarities positive.
#define VGA_MIS_TIMING         (VGA_MIS_SEL_HIGH_PAGE | VGA_MIS_CLOCK_2 | VGA_MIS_ENB_MEM_ACCESS | VGA_MIS_COLOR)

// clang-format on
