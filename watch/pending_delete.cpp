#include "watch/pending_delete.h"

#include <string.h>

#include "common/text.h"

const char kWininitFileName[] = "WININIT.INI";

// The section WININIT.EXE works through; a literal, to be joined with its line end.
#define RENAME_HEADER "[rename]"
static const char kDeleteKey[] = "NUL=";

enum { kCtrlZ = 0x1A };

// Blanks around a line's text, and the CR of its CR LF end.
static int IsBlankOrCr(char c) {
    return IsBlank(c) || c == '\r';
}

// Whether text[0, length) is `word`, without regard to case or to blanks around it.
static int IsLine(const char* text, DWORD length, const char* word) {
    while (length > 0 && IsBlankOrCr(*text)) {
        ++text;
        --length;
    }
    while (length > 0 && IsBlankOrCr(text[length - 1])) {
        --length;
    }
    DWORD i = 0;
    for (; i < length && word[i] != 0; ++i) {
        if (UpperAscii(text[i]) != UpperAscii(word[i])) {
            return 0;
        }
    }
    return i == length && word[i] == 0;
}

static int IsHeader(const char* text, DWORD length) {
    while (length > 0 && IsBlankOrCr(*text)) {
        ++text;
        --length;
    }
    return length > 0 && *text == '[';
}

int PlanPendingDelete(const char* text, DWORD length, const char* entry, PendingDeleteEdit* edit) {
    const char* stop = static_cast<const char*>(memchr(text, kCtrlZ, length));
    DWORD end        = stop != NULL ? static_cast<DWORD>(stop - text) : length;
    int inRename = 0, foundRename = 0;
    for (DWORD start = 0; start < end;) {
        DWORD lineEnd = start;
        while (lineEnd < end && text[lineEnd] != '\n') {
            ++lineEnd;
        }
        DWORD size = lineEnd - start;
        if (IsHeader(text + start, size)) {
            if (inRename) {
                // The next section: the line goes at the end of [rename], before this header.
                edit->offset    = start;
                edit->lineBreak = 0;
                edit->header    = 0;
                return 1;
            }
            inRename    = !foundRename && IsLine(text + start, size, RENAME_HEADER);
            foundRename = foundRename || inRename;
        } else if (inRename && IsLine(text + start, size, entry)) {
            return 0;
        }
        start = lineEnd + 1;
    }
    edit->offset    = end;
    edit->lineBreak = end > 0 && text[end - 1] != '\n';
    edit->header    = !foundRename;
    return 1;
}

// Read whole, so that everything after the new line can be written again behind it.
static char wininitText[kWininitLimit + 1];

int SchedulePendingDelete() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        return 0;
    }
    char line[kPendingLineSize];
    memcpy(line, kDeleteKey, sizeof kDeleteKey - 1);
    char* shortPath = line + sizeof kDeleteKey - 1;
    length          = GetShortPathNameA(path, shortPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return 0;
    }

    char wininit[MAX_PATH];
    UINT folder = GetWindowsDirectoryA(wininit, sizeof wininit);
    if (folder == 0 || folder + 1 + sizeof kWininitFileName > sizeof wininit) {
        return 0;
    }
    wininit[folder] = '\\';
    memcpy(wininit + folder + 1, kWininitFileName, sizeof kWininitFileName);
    HANDLE file =
        CreateFileA(wininit, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    DWORD size = 0, read = 0;
    while (size < sizeof wininitText &&
           ReadFile(file, wininitText + size, sizeof wininitText - size, &read, NULL) && read != 0) {
        size += read;
    }
    PendingDeleteEdit edit;
    int done = 0;
    if (size > kWininitLimit) {
        done = 0; // no file the watcher understands: left as it is
    } else if (!PlanPendingDelete(wininitText, size, line, &edit)) {
        done = 1;
    } else {
        char insert[2 + sizeof RENAME_HEADER + 1 + kPendingLineSize];
        DWORD insertLength = static_cast<DWORD>(wsprintfA(insert, "%s%s%s\r\n", edit.lineBreak ? "\r\n" : "",
                                                          edit.header ? RENAME_HEADER "\r\n" : "", line));
        DWORD rest = size - edit.offset, written = 0;
        done = SetFilePointer(file, static_cast<LONG>(edit.offset), NULL, FILE_BEGIN) == edit.offset &&
               WriteFile(file, insert, insertLength, &written, NULL) && written == insertLength &&
               WriteFile(file, wininitText + edit.offset, rest, &written, NULL) && written == rest;
    }
    CloseHandle(file);
    return done;
}
