#include "facts/facts.h"

#include "common/text.h"
#include "probe/probe.h"
#include "run/decide.h"

void GatherSystemFacts(SystemFacts* facts, char path[kSystemIniPathSize], DriverCheck check) {
    facts->place         = BuildSystemIniPath(path);
    facts->systemIniPath = facts->place == kSystemIniPathBuilt ? path : 0;
    facts->driverLine    = DriverLineFacts{0, 0, 0, 0, 0, 0, 0, 0};
    if (check == kDriverNotNamed && facts->systemIniPath != 0) {
        facts->driverLine = ExplainDriverLine(path);
    }
}

void GatherWatchFacts(WatchFacts* facts) {
    facts->state.rateText[0] = 0; // no settings key leaves the rate text as it is: empty
    ReadDisplaySettings(&facts->state);
    facts->row     = kRowCount;
    facts->verdict = JudgeTimingHere(&facts->state, &facts->limits, &facts->row);
}

namespace {

const char kDriverText[]    = SERVED_DRIVER_LINE;
const char kSectionHeader[] = SYSTEM_INI_SECTION;

// Where a character first stands in a text, worked out by the compiler.
constexpr size_t IndexOf(const char* text, char c) {
    return *text == c ? 0 : 1 + IndexOf(text + 1, c);
}

enum {
    kDriverLength = sizeof kDriverText - 1,
    kHeaderLength = sizeof kSectionHeader - 1,
    kKeyLength    = IndexOf(SERVED_DRIVER_LINE, '=') + 1, // the key and its equals sign
    kWordGap      = IndexOf(SERVED_DRIVER_LINE, ' '),     // the one blank between the two words
};

struct LineReview {
    int number;    // of the line being read, from 1
    int inSection; // the driver check's own state
    DriverLineFacts facts;
};

// Whether the line's first characters, blanks and tabs aside, are the letters of `text` (its
// blanks aside) but for letters' case; then where in the line the last of them stands, plus one.
// 0 when they are not.
size_t MatchLoosely(const char* line, size_t length, const char* text, size_t textLength) {
    size_t i = 0;
    for (size_t n = 0; n < textLength; ++n) {
        if (IsBlank(text[n])) {
            continue; // where the line has its blanks is LineFaults' matter
        }
        while (i < length && IsBlank(line[i])) {
            ++i;
        }
        if (i == length || LowerAscii(line[i]) != LowerAscii(text[n])) {
            return 0;
        }
        ++i;
    }
    return i;
}

// The faults of a line that comes close, the served driver's line being kDriverText: letters
// matched one by one, the blanks between them looked at where they stand.
unsigned LineFaults(const char* line, size_t length, size_t end) {
    unsigned faults = 0;
    size_t n        = 0; // letters of kDriverText matched
    size_t gap      = 0; // blanks since the last letter, a tab counting two: never the one blank
    for (size_t i = 0; i < end; ++i) {
        char c = line[i];
        if (IsBlank(c)) {
            gap += c == '\t' ? 2 : 1;
            continue;
        }
        if (n == kWordGap) {
            ++n; // the expected blank between the words
            if (gap != 1) {
                faults |= kFaultDescriptionGap;
            }
        } else if (gap != 0) {
            faults |= n <= kKeyLength ? kFaultBlanksInKey : kFaultDescriptionGap;
        }
        if (c != kDriverText[n]) {
            faults |= kFaultLetterCase;
        }
        ++n;
        gap = 0;
    }
    int lineBreak = length > 0 && line[length - 1] == '\n';
    size_t rest   = (lineBreak ? length - 1 : length) - end;
    if (!lineBreak) {
        faults |= kFaultNoLineBreak;
    }
    if (rest == 1 && line[end] == '\r') {
        faults |= kFaultExtraCr;
    } else if (rest != 0) {
        faults |= kFaultTrailingText;
    }
    return faults;
}

// A line that is [boot.description] but for letters' case, or but for blanks before it or its
// closing bracket: the user meant the header.
void ReviewHeader(LineReview* review, const char* line, size_t length) {
    DriverLineFacts& f = review->facts;
    if (IsSectionHeader(line, length)) {
        if (f.headerLine == 0) {
            f.headerLine = review->number;
        }
        return;
    }
    size_t lead = 0;
    while (lead < length && IsBlank(line[lead])) {
        ++lead;
    }
    const char* text = line + lead;
    size_t left      = length - lead;
    if (left == 0 || text[0] != '[') {
        return;
    }
    size_t end = MatchLoosely(text, left, kSectionHeader, kHeaderLength - 1); // up to the bracket
    if (end == 0) {
        return;
    }
    int closed = end < left && text[end] == ']';
    if (lead == 0 && closed && end == kHeaderLength - 1) {
        if (f.otherCaseHeader == 0) {
            f.otherCaseHeader = review->number;
        }
    } else if (f.brokenHeader == 0) {
        f.brokenHeader = review->number;
    }
}

void ReviewLine(const char* line, size_t length, void* context) {
    LineReview* review = static_cast<LineReview*>(context);
    DriverLineFacts& f = review->facts;
    ReviewHeader(review, line, length);
    if (IsSectionHeader(line, length)) {
        review->inSection = 1;
    }
    int served = review->inSection && IsDriverLine(line, length);
    f.found |= served;
    if (!served && f.nearMiss == 0) {
        size_t end = MatchLoosely(line, length, kDriverText, kDriverLength);
        if (end != 0) {
            f.nearMiss = LineFaults(line, length, end) | (review->inSection ? 0 : kFaultOutsideSection);
            f.line     = review->number;
        }
    }
    // A piece of a long line leaves the line unfinished.
    if (length > 0 && line[length - 1] == '\n') {
        ++review->number;
    }
}

// The first Ctrl+Z of the file, read byte by byte as it stands: its line, when anything follows
// it that the utility does not read, and whether it took the near miss's line break's place.
void FindEndMark(HANDLE file, DriverLineFacts* f) {
    char buffer[512];
    int line   = 1;
    int marked = 0;
    int after  = 0;
    DWORD got;
    while (!after && ReadFile(file, buffer, sizeof buffer, &got, NULL) && got != 0) {
        for (DWORD i = 0; i < got && !after; ++i) {
            if (marked != 0) {
                after = 1;
            } else if (buffer[i] == kSystemIniEndMark) {
                marked = line;
            } else if (buffer[i] == '\n') {
                ++line;
            }
        }
    }
    f->endMarkLine     = after ? marked : 0;
    f->endMarkEndsLine = marked != 0 && marked == f->line && (f->nearMiss & kFaultNoLineBreak) != 0;
}

} // namespace

DriverLineFacts ExplainDriverLine(const char* path) {
    LineReview review = {1, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
    HANDLE file       = OpenSystemIni(path);
    if (file != INVALID_HANDLE_VALUE) {
        ReadSystemIniLines(file, ReviewLine, &review);
        CloseHandle(file);
    }
    file = OpenSystemIni(path);
    if (file != INVALID_HANDLE_VALUE) {
        FindEndMark(file, &review.facts);
        CloseHandle(file);
    }
    return review.facts;
}
