// The debugger's reading of the program's port instructions and window stores: a wrong length skips
// into the middle of the next instruction, a wrong width or direction records accesses the program
// never made.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/accesses.h"
#include "x86_decode.h"

namespace {

using support::In;
using support::Out;
using x86::PortForm;

// The instruction's bytes, followed by NOPs up to what the debugger reads at EIP.
std::vector<uint8_t> Code(std::vector<uint8_t> bytes) {
    bytes.resize(x86::kMaxInstruction, 0x90);
    return bytes;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string s;
    for (uint8_t b : bytes) {
        char text[4];
        std::snprintf(text, sizeof text, "%02X ", b);
        s += text;
    }
    return s;
}

TEST(DecodePort, InAndOutInAllForms) {
    struct Case {
        std::vector<uint8_t> bytes;
        PortForm form;
        bool in;
        bool viaDx;
        uint8_t imm8;
        unsigned width;
        size_t length;
    } cases[] = {
        // imm8 port
        {{0xE4, 0xD5}, PortForm::kInOut, true, false, 0xD5, 1, 2},        // in al, 0xD5
        {{0xE5, 0x40}, PortForm::kInOut, true, false, 0x40, 4, 2},        // in eax, 0x40
        {{0x66, 0xE5, 0x40}, PortForm::kInOut, true, false, 0x40, 2, 3},  // in ax, 0x40
        {{0xE6, 0xC2}, PortForm::kInOut, false, false, 0xC2, 1, 2},       // out 0xC2, al
        {{0xE7, 0x80}, PortForm::kInOut, false, false, 0x80, 4, 2},       // out 0x80, eax
        {{0x66, 0xE7, 0x80}, PortForm::kInOut, false, false, 0x80, 2, 3}, // out 0x80, ax
        // DX port
        {{0xEC}, PortForm::kInOut, true, true, 0, 1, 1},        // in al, dx
        {{0xED}, PortForm::kInOut, true, true, 0, 4, 1},        // in eax, dx
        {{0x66, 0xED}, PortForm::kInOut, true, true, 0, 2, 2},  // in ax, dx
        {{0xEE}, PortForm::kInOut, false, true, 0, 1, 1},       // out dx, al
        {{0xEF}, PortForm::kInOut, false, true, 0, 4, 1},       // out dx, eax
        {{0x66, 0xEF}, PortForm::kInOut, false, true, 0, 2, 2}, // out dx, ax
        // prefixes that change nothing for IN/OUT still count in the length
        {{0x3E, 0xEE}, PortForm::kInOut, false, true, 0, 1, 2},
        {{0xF3, 0x67, 0xEC}, PortForm::kInOut, true, true, 0, 1, 3},
        {{0x26, 0x66, 0x64, 0xE7, 0x70}, PortForm::kInOut, false, false, 0x70, 2, 5},
        // INS/OUTS, with or without REP: refused
        {{0x6C}, PortForm::kString, false, false, 0, 0, 0},             // insb
        {{0x6D}, PortForm::kString, false, false, 0, 0, 0},             // insd
        {{0x6E}, PortForm::kString, false, false, 0, 0, 0},             // outsb
        {{0x66, 0x6F}, PortForm::kString, false, false, 0, 0, 0},       // outsw
        {{0xF3, 0x6E}, PortForm::kString, false, false, 0, 0, 0},       // rep outsb
        {{0xF3, 0x66, 0x6D}, PortForm::kString, false, false, 0, 0, 0}, // rep insw
        // not port instructions: the fault is something else
        {{0x88, 0x02}, PortForm::kNone, false, false, 0, 0, 0},       // mov [edx], al
        {{0xFA}, PortForm::kNone, false, false, 0, 0, 0},             // cli
        {{0xE3, 0x00}, PortForm::kNone, false, false, 0, 0, 0},       // jecxz, next to IN
        {{0xE8, 0, 0, 0, 0}, PortForm::kNone, false, false, 0, 0, 0}, // call rel32
        {{0xF0, 0xEE}, PortForm::kNone, false, false, 0, 0, 0},       // LOCK OUT: invalid, not taken as OUT
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> code    = Code(c.bytes);
        x86::PortInstruction decoded = x86::DecodePort(code.data());
        SCOPED_TRACE(Hex(c.bytes));
        ASSERT_EQ(decoded.form, c.form);
        if (c.form != PortForm::kInOut) {
            continue;
        }
        EXPECT_EQ(decoded.in, c.in);
        EXPECT_EQ(decoded.viaDx, c.viaDx);
        if (!c.viaDx) {
            EXPECT_EQ(decoded.imm8, c.imm8);
        }
        EXPECT_EQ(decoded.width, c.width);
        EXPECT_EQ(decoded.length, c.length);
    }
}

// Word and dword accesses reach the 8-bit adapter as byte accesses at port, port+1, ..., lowest
// byte first; an IN replaces only AL or AX of EAX.
TEST(RunPortInstruction, SplitsIntoByteAccesses) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        uint32_t eax, edx;
        std::vector<adapter::Access> trace;
        uint32_t eaxAfter;
    } cases[] = {
        {"out dx, al", {0xEE}, 0x12345611, 0xABCD03D4, {Out(0x3D4, 0x11)}, 0x12345611},
        {"out dx, ax",
         {0x66, 0xEF},
         0x12340E11,
         0x000003D4,
         {Out(0x3D4, 0x11), Out(0x3D5, 0x0E)},
         0x12340E11},
        {"out dx, eax",
         {0xEF},
         0x0109A511,
         0x03D4,
         {Out(0x3D4, 0x11), Out(0x3D5, 0xA5), Out(0x3D6, 0x09), Out(0x3D7, 0x01)},
         0x0109A511},
        // a port the adapter does not decode is still reached, and flagged
        {"out 0x80, al", {0xE6, 0x80}, 0x2B, 0x03D4, {{adapter::Op::Out, 0x80, 0x2B, true}}, 0x2B},
        {"in al, dx", {0xEC}, 0xAABBCCDD, 0x03D5, {In(0x3D5, 0x8E)}, 0xAABBCC8E},
        {"in ax, dx", {0x66, 0xED}, 0xAABBCCDD, 0x03D4, {In(0x3D4, 0x11), In(0x3D5, 0x8E)}, 0xAABB8E11},
        {"in eax, dx",
         {0xED},
         0xAABBCCDD,
         0x03D4,
         {In(0x3D4, 0x11), In(0x3D5, 0x8E), In(0x3D6, 0x00), In(0x3D7, 0x00)},
         0x00008E11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        adapter::Adapter model    = adapter::MakeAdapter();
        model.crtcLatch           = 0x11; // CRTC 0x11 reads 0x8E at power-on
        std::vector<uint8_t> code = Code(c.bytes);
        x86::PortInstruction insn = x86::DecodePort(code.data());
        ASSERT_EQ(insn.form, PortForm::kInOut);
        EXPECT_EQ(x86::RunPortInstruction(model, insn, c.eax, c.edx), c.eaxAfter);
        EXPECT_TRUE(support::SameTrace(model.trace, c.trace));
    }
}

TEST(StoreWidth, KnownStoreForms) {
    struct Case {
        std::vector<uint8_t> bytes;
        unsigned width;
    } cases[] = {
        {{0x88, 0x02}, 1},                // mov [edx], al
        {{0x89, 0x02}, 4},                // mov [edx], eax
        {{0x66, 0x89, 0x02}, 2},          // mov [edx], ax
        {{0xC6, 0x02, 0x1C}, 1},          // mov byte [edx], 0x1C
        {{0xC7, 0x02, 1, 2, 3, 4}, 4},    // mov dword [edx], imm32
        {{0x66, 0xC7, 0x02, 1, 2}, 2},    // mov word [edx], imm16
        {{0xA2, 0, 0, 0, 0x60}, 1},       // mov [moffs], al
        {{0xA3, 0, 0, 0, 0x60}, 4},       // mov [moffs], eax
        {{0x66, 0xA3, 0, 0, 0, 0x60}, 2}, // mov [moffs], ax
        {{0x26, 0x88, 0x02}, 1},          // es: mov [edx], al
        {{0x00, 0x02}, 1},                // add [edx], al
        {{0x09, 0x02}, 4},                // or [edx], eax
        {{0x66, 0x31, 0x02}, 2},          // xor [edx], ax
        {{0x80, 0x22, 0xDF}, 1},          // and byte [edx], 0xDF
        {{0x81, 0x0A, 0, 0, 0, 1}, 4},    // or dword [edx], imm32
        {{0x83, 0x22, 0x0F}, 4},          // and dword [edx], imm8
        {{0x86, 0x02}, 1},                // xchg [edx], al
        {{0x87, 0x02}, 4},                // xchg [edx], eax
        {{0xFE, 0x02}, 1},                // inc byte [edx]
        {{0xFF, 0x0A}, 4},                // dec dword [edx]
        {{0xF6, 0x12}, 1},                // not byte [edx]
        {{0xF7, 0x1A}, 4},                // neg dword [edx]
        {{0xC0, 0x22, 0x02}, 1},          // shl byte [edx], 2
        {{0xD1, 0x2A}, 4},                // shr dword [edx], 1
        {{0xD2, 0x02}, 1},                // rol byte [edx], cl
        {{0x0F, 0x94, 0x02}, 1},          // sete [edx]
        {{0xAA}, 1},                      // stosb
        {{0xAB}, 4},                      // stosd
        {{0x66, 0xAB}, 2},                // stosw
        {{0xF3, 0xAB}, 4},                // rep stosd: one element per step
        {{0xA4}, 1},                      // movsb
        {{0xF3, 0x66, 0xA5}, 2},          // rep movsw
        {{0x0F, 0xB6, 0x02}, 0},          // movzx: not a store
        {{0x8F, 0x02}, 0},                // pop dword [edx]: not known here
        {{0x0F, 0xAB, 0x02}, 0},          // bts [edx], eax: not known here
        {{0xD9, 0x1A}, 0},                // fstp dword [edx]: not known here
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> code = Code(c.bytes);
        EXPECT_EQ(x86::StoreWidth(code.data()), c.width) << Hex(c.bytes);
    }
}

// The loads a program makes from the window: pure reads of the known forms. A form that also writes
// memory is a store's fault, never a load's, and is no load here.
TEST(LoadWidth, KnownLoadForms) {
    struct Case {
        std::vector<uint8_t> bytes;
        unsigned width;
    } cases[] = {
        {{0x8A, 0x02}, 1},                // mov al, [edx]
        {{0x8B, 0x02}, 4},                // mov eax, [edx]
        {{0x66, 0x8B, 0x02}, 2},          // mov ax, [edx]
        {{0x0F, 0xB6, 0x02}, 1},          // movzx eax, byte [edx]
        {{0x0F, 0xB7, 0x02}, 2},          // movzx eax, word [edx]
        {{0x0F, 0xBE, 0x02}, 1},          // movsx eax, byte [edx]
        {{0x0F, 0xBF, 0x02}, 2},          // movsx eax, word [edx]
        {{0xA0, 0, 0, 0, 0x60}, 1},       // mov al, [moffs]
        {{0xA1, 0, 0, 0, 0x60}, 4},       // mov eax, [moffs]
        {{0x66, 0xA1, 0, 0, 0, 0x60}, 2}, // mov ax, [moffs]
        {{0x26, 0x8A, 0x02}, 1},          // es: mov al, [edx]
        {{0x02, 0x02}, 1},                // add al, [edx]
        {{0x0B, 0x02}, 4},                // or eax, [edx]
        {{0x66, 0x33, 0x02}, 2},          // xor ax, [edx]
        {{0x3A, 0x02}, 1},                // cmp al, [edx]
        {{0x38, 0x02}, 1},                // cmp [edx], al
        {{0x84, 0x02}, 1},                // test [edx], al
        {{0x85, 0x02}, 4},                // test [edx], eax
        {{0x80, 0x3A, 0x1C}, 1},          // cmp byte [edx], 0x1C
        {{0x83, 0x3A, 0x01}, 4},          // cmp dword [edx], 1
        {{0xF6, 0x02, 0x80}, 1},          // test byte [edx], 0x80
        {{0xFF, 0x32}, 4},                // push dword [edx]
        {{0xAC}, 1},                      // lodsb
        {{0xAD}, 4},                      // lodsd
        {{0xF3, 0x66, 0xAD}, 2},          // rep lodsw: one element per step
        {{0xAE}, 1},                      // scasb
        {{0xA6}, 1},                      // cmpsb
        {{0x88, 0x02}, 0},                // mov [edx], al: a store
        {{0x80, 0x22, 0xDF}, 0},          // and byte [edx], 0xDF: writes too
        {{0xF6, 0x12}, 0},                // not byte [edx]: writes too
        {{0xFF, 0x02}, 0},                // inc dword [edx]: writes too
        {{0x0F, 0xA3, 0x02}, 0},          // bt [edx], eax: not known here
        {{0xD9, 0x02}, 0},                // fld dword [edx]: not known here
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> code = Code(c.bytes);
        EXPECT_EQ(x86::LoadWidth(code.data()), c.width) << Hex(c.bytes);
    }
}

} // namespace
