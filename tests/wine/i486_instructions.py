"""The instructions of the 8086 to the Pentium, as i686-w64-mingw32-objdump spells them (AT&T): what a
486 or Pentium executes, for check_win95_exe.py."""

import re

CONDITIONS = "o no b c nae ae nb nc e z ne nz be na a nbe s ns p pe np po l nge ge nl le ng g nle".split()
INTEGER = """
    aaa aad aam aas adc add and arpl bound bsf bsr bswap bt btc btr bts call lcall cbtw cwtl cltd
    cwtd clc cld cli clts cmc cmp cmps cmpxchg cmpxchg8b cpuid daa das dec div enter hlt idiv imul
    in inc ins int int3 into invd invlpg iret jmp ljmp jcxz jecxz lahf lar lds lea leave les lfs
    lgdt lgs lidt lldt lmsw lods loop loope loopne loopz loopnz lsl lss ltr mov movs mul neg nop
    not or out outs pop popa popf push pusha pushf rcl rcr rdmsr rdtsc ret lret rol ror rsm sahf
    sal sar sbb scas sgdt shl shld shr shrd sidt sldt smsw stc std sti stos str sub test verr verw
    wait wbinvd wrmsr xadd xchg xlat xor
"""
X87 = """
    f2xm1 fabs fadd faddp fbld fbstp fchs fclex fnclex fcom fcomp fcompp fcos fdecstp fdiv fdivp
    fdivr fdivrp ffree fiadd ficom ficomp fidiv fidivr fild fimul fincstp finit fninit fist fistp
    fisub fisubr fld fld1 fldcw fldenv fldl2e fldl2t fldlg2 fldln2 fldpi fldz fmul fmulp fnop
    fpatan fprem fprem1 fptan frndint frstor fsave fnsave fscale fsin fsincos fsqrt fst fstcw
    fnstcw fstenv fnstenv fstp fstsw fnstsw fsub fsubp fsubr fsubrp ftst fucom fucomp fucompp fwait
    fxam fxch fxtract fyl2x fyl2xp1
"""
ALLOWED_MNEMONICS = (set(INTEGER.split()) | set(X87.split()) | {"j" + c for c in CONDITIONS}
                     | {"set" + c for c in CONDITIONS}
                     # Officially a Pentium Pro opcode, but it only exists to fault, and every
                     # earlier processor raises the same invalid-opcode fault for it.
                     | {"ud2"})
PREFIXES = {"rep", "repz", "repe", "repnz", "repne", "lock", "data16", "data32", "addr16", "addr32",
            "cs", "ds", "es", "fs", "gs", "ss"}


def mnemonic_allowed(mnemonic, operands):
    if re.search(r"%[xyz]?mm|%k[0-7]", " ".join(operands)):
        return False  # MMX, SSE and later registers
    if mnemonic == "nop":
        return not operands  # a NOP with an operand is the Pentium Pro's long NOP (0F 1F)
    if mnemonic in ALLOWED_MNEMONICS or re.fullmatch(r"mov[sz][bw][wl]", mnemonic):
        return True
    # Operand-size suffixes: movl, cmpb, shldl; x87 fildll, fstps, fldt. Only those, so that
    # movss or movq cannot pass as a suffixed movs or mov.
    suffixes = ("ll", "s", "l", "t") if mnemonic.startswith("f") else ("b", "w", "l")
    for suffix in suffixes:
        if mnemonic.endswith(suffix) and mnemonic[: -len(suffix)] in ALLOWED_MNEMONICS - {"nop"}:
            return True
    return False
