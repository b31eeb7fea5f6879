#include "watch/pending_delete.h"

#include <string.h>

#include "common/program_folder.h"
#include "common/text.h"

const char kWininitFileName[] = "WININIT.INI";

// The section WININIT.EXE works through: one literal for the comparison and the line written.
#define RENAME_HEADER "[rename]"
static const char kDeleteKey[] = "NUL=";

enum { kCtrlZ = 0x1A };

// Blanks around a line's text, and the CR of its CR LF end.
static int IsBlankOrCr(char c) {
    return IsBlank(c) || c == '\r';
}

// Whether text[0, length), a line without the blanks around it, is `word` without regard to case.
static int IsLine(const char* text, DWORD length, const char* word) {
    DWORD i = 0;
    for (; i < length && word[i] != 0; ++i) {
        if (UpperAscii(text[i]) != UpperAscii(word[i])) {
            return 0;
        }
    }
    return i == length && word[i] == 0;
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
        // The line's text, without the blanks around it: each line is compared so.
        const char* line = text + start;
        DWORD size       = lineEnd - start;
        while (size > 0 && IsBlankOrCr(*line)) {
            ++line;
            --size;
        }
        while (size > 0 && IsBlankOrCr(line[size - 1])) {
            --size;
        }
        if (size > 0 && *line == '[') {
            if (inRename) {
                // The next section: the line goes at the end of [rename], before this header.
                edit->offset    = start;
                edit->lineBreak = 0;
                edit->header    = 0;
                return 1;
            }
            inRename    = !foundRename && IsLine(line, size, RENAME_HEADER);
            foundRename = foundRename || inRename;
        } else if (inRename && IsLine(line, size, entry)) {
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

// Both edits, over one reading of WININIT.INI in the Windows folder: with `put`, the watcher's own
// line goes in where it is missing (the file or the section made where missing); else it comes out
// where it stands (no WININIT.INI, no pending line: none is made). 1 when the line is, or is not,
// there afterwards; 0 where the file cannot be had or is no file the watcher understands.
static int EditPendingDelete(int put) {
    char line[kPendingLineSize];
    char wininit[MAX_PATH];
    UINT folder = GetWindowsDirectoryA(wininit, sizeof wininit);
    if (!MakeOwnLine(line) || folder == 0 || folder + 1 + sizeof kWininitFileName > sizeof wininit) {
        return 0;
    }
    wininit[folder] = '\\';
    memcpy(wininit + folder + 1, kWininitFileName, sizeof kWininitFileName);
    // Setup and other programs write WININIT.INI through the profile functions, whose cache Windows
    // writes to the file when it sees fit: written now, so that their lines are in the file read.
    WritePrivateProfileStringA(NULL, NULL, NULL, kWininitFileName);
    HANDLE file = CreateFileA(wininit, GENERIC_READ | GENERIC_WRITE, 0, NULL,
                              put ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    DWORD read = 0, size = 0;
    while (size < sizeof wininitText &&
           ReadFile(file, wininitText + size, sizeof wininitText - size, &read, NULL) && read != 0) {
        size += read;
    }
    int done = 0; // a file larger than the watcher understands is left as it is
    if (size <= kWininitLimit) {
        PendingDeleteEdit edit;
        int absent = PlanPendingDelete(wininitText, size, line, &edit);
        done       = put != absent;
        if (!done) {
            // Written from lineStart on: the new text, then the file's bytes from `from` on, and the
            // file ends there. The line goes in at the offset, before every byte that stood there;
            // it comes out with no text, the bytes after its line end closing up.
            char insert[2 + sizeof RENAME_HEADER + 1 + kPendingLineSize];
            char* end  = insert;
            DWORD from = edit.lineEnd;
            if (put) {
                if (edit.lineBreak) {
                    end = PutText(end, "\r\n");
                }
                if (edit.header) {
                    end = PutText(PutText(end, RENAME_HEADER), "\r\n");
                }
                end  = PutText(PutText(end, line), "\r\n");
                from = edit.lineStart = edit.offset;
            }
            DWORD length = static_cast<DWORD>(end - insert), rest = size - from, written = 0;
            done =
                SetFilePointer(file, static_cast<LONG>(edit.lineStart), NULL, FILE_BEGIN) == edit.lineStart &&
                WriteFile(file, insert, length, &written, NULL) && written == length &&
                WriteFile(file, wininitText + from, rest, &written, NULL) && written == rest &&
                SetEndOfFile(file);
        }
    }
    CloseHandle(file);
    return done;
}

int SchedulePendingDelete() {
    return EditPendingDelete(1);
}

int TakeBackPendingDelete() {
    return EditPendingDelete(0);
}
