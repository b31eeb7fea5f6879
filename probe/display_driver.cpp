// Whether the display driver of the served adapter family is the one Windows boots with: the
// [boot.description] section of system.ini names it.
#include "probe/probe.h"

#include <string.h>

static const char kSystemIniName[] = "\\system.ini";
static const char kSectionHeader[] = SYSTEM_INI_SECTION;
static const char kDriverLine[]    = SERVED_DRIVER_LINE "\n";

enum {
    kPathSize      = kSystemIniPathSize,
    kDirectorySize = 255, // what GetWindowsDirectoryA is told the path buffer holds
    // A line is examined as a 256-byte line buffer read with a limit of 255 would hold it: at
    // most 254 characters, so a longer line comes in pieces.
    kLineLimit    = 255,
    kLongestPiece = kLineLimit - 1,
    kReadSize     = 64 * 1024,
};

// The read buffer keeps the unfinished end of the previous read in front of each new one, so a
// line is always whole in one place and a CR at the end of one read meets the LF of the next.
static char readBuffer[kLongestPiece + kReadSize];

// A directory too long for the buffer comes back as the size it needs, which fails the same room
// test.
SystemIniPath BuildSystemIniPath(char path[kSystemIniPathSize]) {
    UINT length = GetWindowsDirectoryA(path, kDirectorySize);
    if (length == 0) {
        return kNoWindowsFolder;
    }
    if (length + sizeof kSystemIniName > kPathSize) {
        return kWindowsFolderTooLong;
    }
    memcpy(path + length, kSystemIniName, sizeof kSystemIniName);
    return kSystemIniPathBuilt;
}

int IsSectionHeader(const char* line, size_t length) {
    return line[0] == '[' && length >= sizeof kSectionHeader - 1 &&
           memcmp(line, kSectionHeader, sizeof kSectionHeader - 1) == 0;
}

// The whole line, key and all: a line equal to it begins with the key as well.
int IsDriverLine(const char* line, size_t length) {
    return length == sizeof kDriverLine - 1 && memcmp(line, kDriverLine, length) == 0;
}

struct DriverScan {
    int inSection;
    int found;
};

// The tests on one line, or one piece of a long line.
static void ExamineLine(const char* line, size_t length, void* context) {
    DriverScan* scan = static_cast<DriverScan*>(context);
    if (IsSectionHeader(line, length)) {
        scan->inSection = 1;
    }
    if (scan->inSection && IsDriverLine(line, length)) {
        scan->found = 1;
    }
}

// Reads the whole file as text, whatever the C runtime's convention: a CR directly before an LF
// is dropped, a lone CR stays, Ctrl+Z ends the file. Each line keeps its LF (the last may have
// none); a line longer than kLongestPiece comes in pieces of at most that many characters. A
// failed read ends the scan where it stands; the unfinished line before it is not examined.
void ReadSystemIniLines(HANDLE file, SystemIniLineVisitor visit, void* context) {
    size_t kept = 0; // the unfinished line carried to the front of readBuffer
    int atEnd   = 0;
    while (!atEnd) {
        DWORD got = 0;
        if (!ReadFile(file, readBuffer + kept, kReadSize, &got, NULL)) {
            break;
        }
        char* end     = readBuffer + kept + got;
        char* endMark = static_cast<char*>(memchr(readBuffer + kept, kSystemIniEndMark, got));
        if (endMark != NULL) {
            end = endMark;
        }
        atEnd = got == 0 || endMark != NULL;

        char* line = readBuffer;
        for (;;) {
            size_t left   = static_cast<size_t>(end - line);
            size_t window = left < kLineLimit ? left : static_cast<size_t>(kLineLimit);
            // An LF within kLineLimit bytes ends this piece (its CR, if any, makes it one shorter).
            char* lf = static_cast<char*>(memchr(line, '\n', window));
            size_t length;
            size_t next;
            if (lf != NULL) {
                length = static_cast<size_t>(lf - line) + 1;
                next   = length;
                if (lf > line && lf[-1] == '\r') {
                    lf[-1] = '\n'; // the CR becomes the line's end, in place
                    length -= 1;
                }
                if (length > kLongestPiece) {
                    length = kLongestPiece;
                    next   = kLongestPiece;
                }
            } else if (left >= kLineLimit) {
                length = kLongestPiece;
                next   = kLongestPiece;
            } else if (atEnd && left > 0) {
                length = left; // the last line, without an LF
                next   = left;
            } else {
                break;
            }
            visit(line, length, context);
            line += next;
        }
        kept = static_cast<size_t>(end - line);
        memmove(readBuffer, line, kept);
    }
}

HANDLE OpenSystemIni(const char* path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

DriverCheck CheckDisplayDriver() {
    char path[kPathSize];
    if (BuildSystemIniPath(path) != kSystemIniPathBuilt) {
        return kSystemIniNoPath;
    }
    HANDLE file = OpenSystemIni(path);
    if (file == INVALID_HANDLE_VALUE) {
        return kSystemIniNotOpen;
    }
    DriverScan scan = {0, 0};
    ReadSystemIniLines(file, ExamineLine, &scan);
    CloseHandle(file);
    return scan.found ? kDriverNamed : kDriverNotNamed;
}
