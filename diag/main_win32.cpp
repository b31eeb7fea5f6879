// Process entry of the diagnostic, REFCHECK.EXE: a console program for an MS-DOS Prompt window of
// Windows 95/98. It runs the utility's own checks and sequence on this machine with port writes
// and window stores only written down, and prints what the run saw and what it would write. Like
// the utility it needs no C runtime: it starts here and leaves through ExitProcess.
#include <windows.h>

#include "diag/diagnostic.h"
#include "hw/hw.h"

static const char kHelp[] =
    "REFCHECK shows what REFRESH.EXE would do on this machine, without doing it.\r\n"
    "\r\n"
    "  REFCHECK      Runs REFRESH's checks and prints each decision it makes, every\r\n"
    "                register write it would make, and whether it would change the\r\n"
    "                display adapter.\r\n"
    "  REFCHECK /?   Shows this help.\r\n"
    "\r\n"
    "REFCHECK only reads two adapter registers and changes nothing: not the\r\n"
    "adapter, no file, no registry value. REFRESH's own messages (a message box,\r\n"
    "or a line about PHYSWIN.VXD) appear as REFRESH would show them. To keep the\r\n"
    "report, type REFCHECK > REPORT.TXT\r\n";

static const char kBadOption[] = "REFCHECK: unknown option; REFCHECK /? shows the options.\r\n";

static void WriteLine(const char* line, void*) {
    WriteStandardOutput(line, lstrlenA(line));
    WriteStandardOutput("\r\n", 2);
}

// What follows the program's own name on the command line, blanks skipped. As COMMAND.COM reads
// it, a switch may follow the name with no blank between ("REFCHECK/?").
static const char* Arguments(const char* commandLine) {
    const char* p = commandLine;
    if (*p == '"') {
        for (++p; *p != 0 && *p != '"'; ++p) {
        }
        if (*p == '"') {
            ++p;
        }
    } else {
        while (*p != 0 && *p != ' ' && *p != '\t' && *p != '/') {
            ++p;
        }
    }
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    return p;
}

// "/?" or "-?", and nothing but blanks after it.
static int IsHelpSwitch(const char* p) {
    if ((p[0] != '/' && p[0] != '-') || p[1] != '?') {
        return 0;
    }
    for (p += 2; *p == ' ' || *p == '\t'; ++p) {
    }
    return *p == 0;
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
    ExitProcess(RunCommand(Arguments(GetCommandLineA())));
}
