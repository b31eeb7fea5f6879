#include "common/command_line.h"

#include <windows.h>

#include <string.h>

#include "common/program_folder.h"
#include "common/text.h"

static int EndsFolder(char c) {
    return c == '\\' || c == '/' || c == ':';
}

static int IsAlphanumeric(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Where the program's own name ends on the command line; 0 when it is not there.
static const char* AfterProgramName(const char* commandLine) {
    char module[MAX_PATH];
    if (!ProgramPath(module)) {
        return 0;
    }
    const char* name = module;
    const char* end  = module + strlen(module);
    for (const char* p = module; p < end; ++p) {
        if (EndsFolder(*p)) {
            name = p + 1;
        }
    }
    for (const char* p = end; p > name; --p) {
        if (p[-1] == '.') {
            end = p - 1;
            break;
        }
    }
    module[end - module] = 0; // the name alone, without its extension
    for (const char* p = commandLine; *p != 0; ++p) {
        if (p != commandLine && !EndsFolder(p[-1]) && p[-1] != '"' && !IsBlank(p[-1])) {
            continue;
        }
        const char* q = AfterWord(p, name);
        if (q == 0) {
            continue;
        }
        if (*q == '.') {
            for (++q; IsAlphanumeric(*q); ++q) {
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

const char* ProgramArguments(const char* commandLine) {
    const char* p = AfterProgramName(commandLine);
    if (p != 0) {
        return SkipBlanks(p);
    }
    p = commandLine;
    if (*p == '"') {
        for (++p; *p != 0 && *p != '"'; ++p) {
        }
        p += *p == '"';
    } else {
        // A switch ends the name, but cannot be the name's first character.
        while (*p != 0 && !IsBlank(*p) && !(*p == '/' && p != commandLine)) {
            ++p;
        }
    }
    return SkipBlanks(p);
}

int IsOnlySwitch(const char* arguments, const char* word) {
    const char* p = AfterWord(arguments, word);
    return p != 0 && *SkipBlanks(p) == 0;
}
