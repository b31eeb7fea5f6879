#include "x86_decode.h"

namespace x86 {

namespace {

// Skips the prefixes that may stand before IN/OUT or a store, leaving room for an opcode and one
// more byte (the imm8 port, or the second opcode byte of SETcc).
size_t SkipPrefixes(const uint8_t* code, bool* opsize16) {
    size_t i  = 0;
    *opsize16 = false;
    for (; i < kMaxInstruction - 2; ++i) {
        switch (code[i]) {
        case 0x66: *opsize16 = true; continue;
        case 0x67:           // address size
        case 0xF2:           // REPNE
        case 0xF3:           // REP
        case 0x26:           // ES:
        case 0x2E:           // CS:
        case 0x36:           // SS:
        case 0x3E:           // DS:
        case 0x64:           // FS:
        case 0x65: continue; // GS:
        }
        break;
    }
    return i;
}

} // namespace

PortInstruction DecodePort(const uint8_t* code) {
    PortInstruction insn{};
    bool op16;
    size_t i   = SkipPrefixes(code, &op16);
    uint8_t op = code[i++];
    if (op >= 0x6C && op <= 0x6F) { // INSB, INSW/D, OUTSB, OUTSW/D
        insn.form = PortForm::kString;
        return insn;
    }
    // E4-E7: IN/OUT with an imm8 port; EC-EF: the same with the port in DX.
    if (!((op >= 0xE4 && op <= 0xE7) || (op >= 0xEC && op <= 0xEF))) {
        insn.form = PortForm::kNone;
        return insn;
    }
    insn.form  = PortForm::kInOut;
    insn.in    = (op & 2) == 0;
    insn.viaDx = (op & 0xF8) == 0xE8;
    insn.width = (op & 1) ? (op16 ? 2 : 4) : 1;
    if (!insn.viaDx) {
        insn.imm8 = code[i++];
    }
    insn.length = i;
    return insn;
}

uint32_t RunPortInstruction(adapter::Adapter& model, const PortInstruction& insn, uint32_t eax,
                            uint32_t edx) {
    uint16_t port  = insn.viaDx ? static_cast<uint16_t>(edx) : insn.imm8;
    uint32_t value = 0;
    for (unsigned k = 0; k < insn.width; ++k) {
        uint16_t p = static_cast<uint16_t>(port + k);
        if (insn.in) {
            value |= static_cast<uint32_t>(adapter::In(model, p)) << (8 * k);
        } else {
            adapter::Out(model, p, static_cast<uint8_t>(eax >> (8 * k)));
        }
    }
    if (!insn.in) {
        return eax;
    }
    uint32_t keep = insn.width == 4 ? 0 : (insn.width == 2 ? 0xFFFF0000u : 0xFFFFFF00u);
    return (eax & keep) | value;
}

unsigned StoreWidth(const uint8_t* code) {
    bool op16;
    size_t i      = SkipPrefixes(code, &op16);
    unsigned word = op16 ? 2 : 4;
    uint8_t op    = code[i];
    if (op == 0x0F) {
        return (code[i + 1] & 0xF0) == 0x90 ? 1 : 0; // SETcc
    }
    if (op < 0x40 && (op & 7) <= 1) {
        return (op & 1) ? word : 1; // ALU r/m, r
    }
    switch (op) {
    case 0x88: // MOV r/m8, r8
    case 0xC6: // MOV r/m8, imm8
    case 0xAA: // STOSB
    case 0xA4: // MOVSB
    case 0x86: // XCHG r/m8, r8
    case 0xFE: // INC/DEC r/m8
    case 0xF6: // NOT/NEG r/m8
    case 0x80: // ALU r/m8, imm8
    case 0x82:
    case 0xC0: // shifts and rotates of r/m8
    case 0xD0:
    case 0xD2:
    case 0xA2: return 1; // MOV moffs8, AL
    case 0x89:           // the same forms on a word or dword
    case 0xC7:
    case 0xAB:
    case 0xA5:
    case 0x87:
    case 0xFF:
    case 0xF7:
    case 0x81:
    case 0x83:
    case 0xC1:
    case 0xD1:
    case 0xD3:
    case 0xA3: return word;
    }
    return 0;
}

unsigned LoadWidth(const uint8_t* code) {
    bool op16;
    size_t i      = SkipPrefixes(code, &op16);
    unsigned word = op16 ? 2 : 4;
    uint8_t op    = code[i];
    unsigned reg  = (code[i + 1] >> 3) & 7; // the ModRM byte's opcode extension, where it has one
    if (op == 0x0F) {
        switch (code[i + 1]) {
        case 0xB6:           // MOVZX r, r/m8
        case 0xBE: return 1; // MOVSX r, r/m8
        case 0xB7:           // MOVZX r, r/m16
        case 0xBF: return 2; // MOVSX r, r/m16
        }
        return 0;
    }
    if (op < 0x40 && (op & 7) >= 2 && (op & 7) <= 3) {
        return (op & 1) ? word : 1; // ALU r, r/m
    }
    switch (op) {
    case 0x8A:           // MOV r8, r/m8
    case 0xA0:           // MOV AL, moffs8
    case 0x38:           // CMP r/m8, r8
    case 0x84:           // TEST r/m8, r8
    case 0xAC:           // LODSB
    case 0xAE:           // SCASB
    case 0xA6: return 1; // CMPSB
    case 0x8B:           // the same forms on a word or dword
    case 0xA1:
    case 0x39:
    case 0x85:
    case 0xAD:
    case 0xAF:
    case 0xA7: return word;
    case 0x80: // CMP r/m8, imm8
    case 0x82: return reg == 7 ? 1 : 0;
    case 0x81: // CMP r/m, imm
    case 0x83: return reg == 7 ? word : 0;
    case 0xF6: return reg <= 1 ? 1 : 0;    // TEST r/m8, imm8
    case 0xF7: return reg <= 1 ? word : 0; // TEST r/m, imm
    case 0xFF: return reg == 6 ? word : 0; // PUSH r/m
    }
    return 0;
}

} // namespace x86
