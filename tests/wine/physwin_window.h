// Where the mapping-driver double puts the register window.  A fixed linear
// address keeps recorded store addresses identical from run to run.  It lies
// below every builtin DLL of Wine's 32-bit tree (lowest near 0x61500000) and
// inside the low area the Wine loader keeps free for the process, above the
// exe at 0x00400000.
#ifndef TESTS_WINE_PHYSWIN_WINDOW_H
#define TESTS_WINE_PHYSWIN_WINDOW_H

#define PHYSWIN_WINDOW_BASE 0x60000000u
#define PHYSWIN_WINDOW_SIZE 0x00010000u

// The double reports each control call to the debugger as a debug string
// starting with this tag, so the debugger learns the window without being
// told separately.
#define PHYSWIN_TAG "physwin:"

#endif
