// Process entry of the diagnostic, LUMCHECK.EXE in the package: a console program for an MS-DOS Prompt window
// of Windows 95/98. It runs the utility's own checks and sequence on this machine with port writes and window
// stores only written down, and prints what the run saw and what it would write. Like the utility it needs no
// C runtime: it starts here and leaves through ExitProcess.
#include <windows.h>

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

static char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

static int IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Where the program's own name ends on the command line, 0 when it is not there: the file name of
// its module, without folder and extension, standing after a folder, a quote, a blank or nothing,
// with its extension and closing quote if any, and then nothing, a blank or a switch. So a path
// that holds blanks or slashes without quotes around it is no switch.
static const char* AfterProgramName(const char* commandLine) {
    char module[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, module, sizeof module);
    if (length == 0 || length >= sizeof module) {
        return 0;
    }
    const char* name = module;
    const char* end  = module + length;
    for (const char* p = module; p < end; ++p) {
        if (*p == '\\' || *p == '/' || *p == ':') {
            name = p + 1;
        }
    }
    for (const char* p = end; p > name; --p) {
        if (p[-1] == '.') {
            end = p - 1;
            break;
        }
    }
    for (const char* p = commandLine; *p != 0; ++p) {
        if (p != commandLine && p[-1] != '\\' && p[-1] != '/' && p[-1] != ':' && p[-1] != '"' &&
            !IsBlank(p[-1])) {
            continue;
        }
        const char* q = p;
        const char* n = name;
        while (n < end && Upper(*q) == Upper(*n)) {
            ++q;
            ++n;
        }
        if (n < end) {
            continue;
        }
        if (*q == '.') {
            for (++q; (*q >= 'A' && *q <= 'Z') || (*q >= 'a' && *q <= 'z') || (*q >= '0' && *q <= '9'); ++q) {
            }
        }
        if (*q == '"') {
            ++q;
        }
        if (*q == 0 || IsBlank(*q) || *q == '/') {
            return q;
        }
    }
    return 0;
}

// What follows the program's own name on the command line, blanks skipped. As COMMAND.COM reads
// it, a switch may follow the name with no blank between ("LUMCHECK/?").
static const char* Arguments(const char* commandLine) {
    const char* p = AfterProgramName(commandLine);
    if (p != 0) {
        while (IsBlank(*p)) {
            ++p;
        }
        return p;
    }
    // A name the module's does not match: the first word, up to a blank or a switch.
    p = commandLine;
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
