// The watcher's own file is in use for as long as Windows runs, and Windows 95/98 delete no file in
// use. WININIT.EXE, at the next start and before Windows itself, deletes each file named after
// NUL= in the [rename] section of WININIT.INI. Other programs keep their pending deletes and
// replacements there too, many lines with the same key: the profile functions would change the
// first NUL= line, another program's. So the file is edited as text: one line is put into the
// section, every other byte stays as it was.
#pragma once

#include <windows.h>

enum {
    // A WININIT.INI larger than this is left alone (it is a few lines long; one this size is no
    // file the watcher understands).
    kWininitLimit = 32768,
    // "NUL=", an 8.3 path and CR LF.
    kPendingLineSize = 4 + MAX_PATH + 2,
};

extern const char kWininitFileName[];

struct PendingDeleteEdit {
    // Where the line goes, when it is not there yet:
    DWORD offset;  // where the new text goes: every byte before stays, every byte from here follows it
    int lineBreak; // a CR LF first: the text before does not end its last line
    int header;    // "[rename]" first: the file has no such section
    // Where it stands, when it is: its first byte, and the first after its line end.
    DWORD lineStart;
    DWORD lineEnd;
};

// Where the line `entry` (no line end) goes into WININIT.INI's text: at the end of the [rename]
// section (the first, where there are several), before the first line of the next section, or at
// the end of the text, which a Ctrl+Z ends. 0 when the section holds the line already (compared
// without regard to case or blanks around it), and where; else 1.
int PlanPendingDelete(const char* text, DWORD length, const char* entry, PendingDeleteEdit* edit);

// Puts "NUL=" and the watcher's own file, by its 8.3 path (WININIT.EXE runs before Windows and
// knows no long names), into WININIT.INI in the Windows folder; creates the file or the section
// where missing. 1 when the line is there afterwards.
int SchedulePendingDelete();
// Takes that line out of WININIT.INI again, every other byte staying as it was: the package was
// installed again before the next start. 1 when the line is not there afterwards.
int TakeBackPendingDelete();
