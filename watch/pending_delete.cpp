#include "watch/pending_delete.h"

#include <string.h>

#include "common/program_folder.h"
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
            edit->lineStart = start;
            edit->lineEnd   = lineEnd < end ? lineEnd + 1 : end;
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

// The watcher's own line, "NUL=" and its file's 8.3 path (WININIT.EXE runs before Windows and
// knows no long names); 0 when it cannot be made.
static int MakeOwnLine(char line[kPendingLineSize]) {
    char path[MAX_PATH];
    if (!ProgramPath(path)) {
        return 0;
    }
    memcpy(line, kDeleteKey, sizeof kDeleteKey - 1);
    DWORD length = GetShortPathNameA(path, line + sizeof kDeleteKey - 1, MAX_PATH);
    return length != 0 && length < MAX_PATH;
}

// WININIT.INI in the Windows folder, open for reading and writing (made where missing, with
// OPEN_ALWAYS) and read whole into wininitText, and the plan for the watcher's own line in it;
// INVALID_HANDLE_VALUE where it cannot be had or is no file the watcher understands.
static HANDLE OpenWininit(DWORD disposition, char line[kPendingLineSize], DWORD* size,
                          PendingDeleteEdit* edit, int* absent) {
    char wininit[MAX_PATH];
    UINT folder = GetWindowsDirectoryA(wininit, sizeof wininit);
    if (!MakeOwnLine(line) || folder == 0 || folder + 1 + sizeof kWininitFileName > sizeof wininit) {
        return INVALID_HANDLE_VALUE;
    }
    wininit[folder] = '\\';
    memcpy(wininit + folder + 1, kWininitFileName, sizeof kWininitFileName);
    // Setup and other programs write WININIT.INI through the profile functions, whose cache Windows
    // writes to the file when it sees fit: written now, so that their lines are in the file read.
    WritePrivateProfileStringA(NULL, NULL, NULL, kWininitFileName);
    HANDLE file =
        CreateFileA(wininit, GENERIC_READ | GENERIC_WRITE, 0, NULL, disposition, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return file;
    }
    DWORD read = 0;
    *size      = 0;
    while (*size < sizeof wininitText &&
           ReadFile(file, wininitText + *size, sizeof wininitText - *size, &read, NULL) && read != 0) {
        *size += read;
    }
    if (*size > kWininitLimit) {
        CloseHandle(file); // no file the watcher understands: left as it is
        return INVALID_HANDLE_VALUE;
    }
    *absent = PlanPendingDelete(wininitText, *size, line, edit);
    return file;
}

// Writes `text` at `offset`, then the file's bytes from `from` on, and ends the file there.
static int WriteFrom(HANDLE file, DWORD offset, const char* text, DWORD length, DWORD from, DWORD size) {
    DWORD rest = size - from, written = 0;
    return SetFilePointer(file, static_cast<LONG>(offset), NULL, FILE_BEGIN) == offset &&
           WriteFile(file, text, length, &written, NULL) && written == length &&
           WriteFile(file, wininitText + from, rest, &written, NULL) && written == rest && SetEndOfFile(file);
}

int SchedulePendingDelete() {
    char line[kPendingLineSize];
    DWORD size;
    PendingDeleteEdit edit;
    int absent;
    HANDLE file = OpenWininit(OPEN_ALWAYS, line, &size, &edit, &absent);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    int done = 1;
    if (absent) {
        char insert[2 + sizeof RENAME_HEADER + 1 + kPendingLineSize];
        char* end = PutText(insert, edit.lineBreak ? "\r\n" : "");
        end       = PutText(PutText(PutText(end, edit.header ? RENAME_HEADER "\r\n" : ""), line), "\r\n");
        done      = WriteFrom(file, edit.offset, insert, static_cast<DWORD>(end - insert), edit.offset, size);
    }
    CloseHandle(file);
    return done;
}

int TakeBackPendingDelete() {
    char line[kPendingLineSize];
    DWORD size;
    PendingDeleteEdit edit;
    int absent;
    // No WININIT.INI, no pending line: none is made.
    HANDLE file = OpenWininit(OPEN_EXISTING, line, &size, &edit, &absent);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    int done = absent || WriteFrom(file, edit.lineStart, "", 0, edit.lineEnd, size);
    CloseHandle(file);
    return done;
}
