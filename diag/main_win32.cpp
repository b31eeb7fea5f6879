// Process entry of the diagnostic, LUMCHECK.EXE in the package: a console program for an MS-DOS Prompt window
// of Windows 95/98. It runs the utility's own checks and sequence on this machine with port writes and window
// stores only written down, and prints what the run saw and what it would write. Like the utility it needs no
// C runtime: it starts here and leaves through ExitProcess.
#include <windows.h>

#include "common/command_line.h"
#include "common/standard_output.h"
#include "diag/diagnostic.h"
#include "hw/hw.h"

// The package's version, from project() in the top-level CMakeLists.txt: where the user sees it.
static const char kHelp[] =
    "LUMCHECK shows what LUMRATE.EXE would do on this machine, without doing it.\r\n"
    "\r\n"
    "  LUMCHECK      Prints each decision LUMRATE makes, every register write it\r\n"
    "                would make, and what it would do to the display adapter.\r\n"
    "  LUMCHECK /?   Shows this help.\r\n"
    "\r\n"
    "It reads the CRTC index register, reads two adapter registers through it, and\r\n"
    "sets the index register back as it found it. It writes nothing else: no other\r\n"
    "register, no file, no registry value. LUMRATE's own messages (a message box,\r\n"
    "or a line about PHYSWIN.VXD) appear as LUMRATE would show them.\r\n"
    "To keep the report, type LUMCHECK > REPORT.TXT\r\n"
    "\r\n"
    "Version " REFRESH_VERSION " of the package.\r\n";

static const char kBadOption[] = "LUMCHECK: unknown option; LUMCHECK /? shows the options.\r\n";

static void WriteLine(const char* line, void*) {
    WriteStandardOutput(line, lstrlenA(line));
    WriteStandardOutput("\r\n", 2);
}

// "/?" or "-?", and nothing but blanks after it.
static int IsHelpSwitch(const char* arguments) {
    return IsOnlySwitch(arguments, "/?") || IsOnlySwitch(arguments, "-?");
}

// Exit code 0 when the report or the help was printed, 2 for an option it does not know.
static UINT RunCommand(const char* arguments) {
    if (*arguments == 0) {
        RunDiagnostic(WriteLine, 0);
        return 0;
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
