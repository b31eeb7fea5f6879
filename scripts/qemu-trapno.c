/* Preloaded into the 32-bit Wine processes that qemu-user runs: scripts/ensure.sh --wine builds
 * it as libtrapno.so, tests/wine/run_case.sh hands it to qemu in QEMU_SET_ENV.
 *
 * qemu leaves the trap number of a signal's context at -1, and Wine 8 tells a page fault, a
 * privileged instruction (in, out), a breakpoint and a single step apart by that number alone:
 * without it each one becomes an illegal instruction or a breakpoint one byte off. This wraps the
 * handlers installed for the processor's signals and fills the number in from the signal's code
 * first. Where the kernel fills it in itself, it is left as it is. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stddef.h>
#include <ucontext.h>

typedef void (*Handler)(int, siginfo_t*, void*);
typedef int (*SigactionFn)(int, const struct sigaction*, struct sigaction*);

static Handler handlers[NSIG];

static int Wrapped(int sig) {
    return sig == SIGSEGV || sig == SIGTRAP || sig == SIGILL || sig == SIGFPE;
}

/* The x86 exception the kernel would have named, from what qemu does set. */
static int TrapFor(int sig, const siginfo_t* info) {
    switch (sig) {
    case SIGSEGV: return info->si_code == SI_KERNEL ? 13 : 14; /* general protection : page fault */
    case SIGTRAP: return info->si_code == SI_KERNEL ? 3 : 1;   /* int3 : single step */
    case SIGILL: return 6;                                     /* invalid opcode */
    case SIGFPE: return info->si_code == FPE_INTDIV ? 0 : info->si_code == FPE_INTOVF ? 4 : 16;
    default: return -1;
    }
}

__attribute__((force_align_arg_pointer)) static void Wrapper(int sig, siginfo_t* info, void* context) {
    ucontext_t* uc = context;
    if (uc && (int)uc->uc_mcontext.gregs[REG_TRAPNO] == -1) {
        uc->uc_mcontext.gregs[REG_TRAPNO] = TrapFor(sig, info);
    }
    handlers[sig](sig, info, context);
}

int sigaction(int sig, const struct sigaction* act, struct sigaction* old) {
    static SigactionFn next;
    if (!next) {
        next = (SigactionFn)dlsym(RTLD_NEXT, "sigaction");
    }
    int known       = sig > 0 && sig < NSIG;
    Handler current = known ? handlers[sig] : NULL;
    int status;
    if (act && known && Wrapped(sig) && (act->sa_flags & SA_SIGINFO)) {
        struct sigaction mine = *act;
        mine.sa_sigaction     = Wrapper;
        handlers[sig]         = act->sa_sigaction;
        status                = next(sig, &mine, old);
        if (status != 0) {
            handlers[sig] = current;
        }
    } else {
        status = next(sig, act, old);
        if (status == 0 && act && known) {
            handlers[sig] = NULL;
        }
    }
    /* The caller sees its own handler, never the wrapper. */
    if (status == 0 && old && current && old->sa_sigaction == Wrapper) {
        old->sa_sigaction = current;
    }
    return status;
}
