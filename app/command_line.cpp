#include "app/command_line.h"

static const char* SkipBlanks(const char* p) {
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    return p;
}

int HasOnlySwitch(const char* commandLine, const char* word) {
    const char* p = commandLine;
    if (*p == '"') {
        for (++p; *p != 0 && *p != '"'; ++p) {
        }
        p += *p == '"';
    } else {
        while (*p != 0 && *p != ' ' && *p != '\t') {
            ++p;
        }
    }
    p = SkipBlanks(p);
    for (; *word != 0; ++p, ++word) {
        char c = *p >= 'a' && *p <= 'z' ? static_cast<char>(*p - 'a' + 'A') : *p;
        if (c != *word) {
            return 0;
        }
    }
    return *SkipBlanks(p) == 0;
}
