// Process entry of LUMCHECK.EXE: a console program for an MS-DOS Prompt window of Windows 95/98. It runs
// LUMRATE's own checks and sequence on this machine with port writes and window stores only written down,
// and prints what the run saw, what it would write, and what LUMWATCH judges before it starts the run. Like
// LUMRATE it needs no C runtime: it starts here and leaves through ExitProcess.
#include <windows.h>

#include "common/adapter_lock.h"
#include "common/command_line.h"
#include "common/standard_output.h"
#include "diag/diagnostic.h"
#include "hw/hw.h"

// The package's version, from project() in the top-level CMakeLists.txt: where the user sees it.
static const char kHelp[] =
    "LUMCHECK shows what LUMRATE.EXE would do on this machine, without doing it.\r\n"
    "\r\n"
    "  LUMCHECK      Prints each decision LUMRATE makes, every register write it\r\n"
    "                would make, what it would do to the display adapter, the\r\n"
    "                monitor's limits, and whether LUMWATCH starts LUMRATE here.\r\n"
    "  LUMCHECK /?   Shows this help.\r\n"
    "\r\n"
    "It reads up to two adapter registers through the CRTC index register: none\r\n"
    "where system.ini does not open or does not name the display driver, one (the\r\n"
    "skip bit's) where the skip bit is set or LUMRATE stops before it sets the\r\n"
    "timing. The report marks these reads \"made\", and the index writes that select\r\n"
    "them; LUMCHECK reads the index register first and sets it back as it found it.\r\n"
    "It writes nothing else: no other register, no file, no registry value. The\r\n"
    "report quotes LUMRATE's own messages (a message box, or a line about\r\n"
    "PHYSWIN.VXD) instead of showing them.\r\n"
    "To keep the report, type LUMCHECK > REPORT.TXT\r\n"
    "\r\n"
    "Version " REFRESH_VERSION " of the package.\r\n";

static const char kBadOption[] = "LUMCHECK: unknown option; LUMCHECK /? shows the options.\r\n";
static const char kWaiting[] =
    "LUMCHECK: LUMRATE or LUMSET is setting the adapter now; waiting for it (at most 30 seconds).\r\n";
static const char kStillBusy[] =
    "LUMCHECK: the adapter is still being set; nothing was read. Try again in a moment.\r\n";

enum {
    kBusyExitCode = 3,
    kWaitSeconds  = 30, // longer than a trial of LUMSET, whose question counts down 15 seconds
};

static void WriteLine(const char* line, void*) {
    WriteStandardOutput(line, lstrlenA(line));
    WriteStandardOutput("\r\n", 2);
}

// "/?" or "-?", and nothing but blanks after it.
static int IsHelpSwitch(const char* arguments) {
    return IsOnlySwitch(arguments, "/?") || IsOnlySwitch(arguments, "-?");
}

// The diagnostic's register reads select their register through the index registers, which another
// writer's index and data pairs must not meet: it reads with the adapter lock held, waiting for it
// a while (a console program may wait). A holder that ended without letting go may have left its
// timing: once the report is printed, the watcher is asked to put a known one back.
static UINT RunWithLock() {
    LockTaken taken = TakeAdapterLock(0);
    if (taken == kLockBusy) {
        WriteStandardOutput(kWaiting, sizeof kWaiting - 1);
        taken = TakeAdapterLock(kWaitSeconds * 1000);
    }
    if (taken == kLockBusy) {
        WriteStandardOutput(kStillBusy, sizeof kStillBusy - 1);
        return kBusyExitCode;
    }
    RunDiagnostic(WriteLine, 0);
    ReleaseAdapterLock();
    if (taken == kLockAbandoned) {
        AskWatcherToRun();
    }
    return 0;
}

// Exit code 0 when the report or the help was printed, 2 for an option it does not know, 3 when the
// adapter stayed busy.
static UINT RunCommand(const char* arguments) {
    if (*arguments == 0) {
        return RunWithLock();
    }
    if (IsHelpSwitch(arguments)) {
        WriteStandardOutput(kHelp, sizeof kHelp - 1);
        return 0;
    }
    WriteStandardOutput(kBadOption, sizeof kBadOption - 1);
    return 2;
}

extern "C" void __cdecl mainCRTStartup(void) {
    ExitProcess(RunCommand(ProgramArguments(GetCommandLineA())));
}
