#include "choose/dialogs.h"

#include "choose/resource.h"
#include "common/names.h"

namespace {

// The kinds of control, as the script names them, and what each makes: its style and the atom of
// its window class.
enum ControlKind {
    kLabel,         // LTEXT
    kList,          // LISTBOX
    kButton,        // PUSHBUTTON
    kDefaultButton, // DEFPUSHBUTTON
};

struct Kind {
    DWORD style;
    WORD atom;
};

constexpr Kind kKinds[] = {
    {WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, 0x0082},                               // static
    {WS_CHILD | WS_VISIBLE | LBS_NOTIFY | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 0x0083}, // list box
    {WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0x0080},                       // button
    {WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0x0080},                    // button
};

// A control, in dialog units. A label nothing refers to has the id -1 (0xFFFF).
struct Control {
    ControlKind kind;
    const char* text;
    int id, x, y, cx, cy;
};

struct Dialog {
    DWORD style;
    int cx, cy; // centred: DS_CENTER
    const char* caption;
    const Control* controls;
    int count;
};

// clang-format off
constexpr Control kChooserControls[] = {
    // kind         text                             id                 x    y   cx   cy
    {kLabel,        "",                              IDC_SCREEN,        7,   7, 306,   9},
    {kLabel,        "",                              IDC_STORED,        7,  19, 306,  18},
    {kLabel,        "",                              IDC_NOTE,          7,  40, 306,  27},
    {kLabel,        "",                              IDC_MONITOR,       7,  70, 306,  27},
    {kLabel,        "&Rates LUMRATE can set here:",  0xFFFF,            7, 100, 200,   9},
    {kList,         "",                              IDC_RATES,         7, 111, 210,  62},
    {kButton,       "&Try",                          IDC_TRY,         226, 111,  87,  14},
    {kButton,       "&Forget the stored rate",       IDC_FORGET,      226, 130,  87,  14},
    {kLabel,        "",                              IDC_WHY,           7, 176, 306,  18},
    {kLabel,        "",                              IDC_OUTCOME,       7, 196, 306,  18},
    {kDefaultButton, "Close",                        IDCANCEL,        243, 214,  70,  14},
};

// Go back is the question's default button and its first, which has the focus when it opens:
// Enter or Esc on a screen that stays dark goes back.
constexpr Control kConfirmControls[] = {
    // kind         text                             id                 x    y   cx   cy
    {kLabel,        "",                              IDC_QUESTION,      7,   7, 226,   9},
    {kLabel,        "",                              IDC_COUNTDOWN,     7,  19, 226,   9},
    {kLabel,        "",                              IDC_OTHER_SIZES,   7,  31, 226,  36},
    {kDefaultButton, "&Go back",                     IDCANCEL,        126,  72,  64,  14},
    {kButton,       "&Keep",                         IDC_KEEP,         50,  72,  64,  14},
};
// clang-format on

constexpr Dialog kDialogs[] = {
    {DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 320, 232, CHOOSER_TITLE,
     kChooserControls, sizeof kChooserControls / sizeof kChooserControls[0]},
    {DS_MODALFRAME | DS_CENTER | DS_SETFOREGROUND | WS_POPUP | WS_CAPTION | WS_SYSMENU, 240, 92,
     "Keep this refresh rate?", kConfirmControls, sizeof kConfirmControls / sizeof kConfirmControls[0]},
};
constexpr int kDialogCount = sizeof kDialogs / sizeof kDialogs[0];

// A template word by word, as the script's dialog makes it.
enum { kMostWords = 272 };
struct Words {
    WORD word[kMostWords];
    int count;
};

constexpr void Add(Words& t, DWORD word) {
    t.word[t.count++] = static_cast<WORD>(word);
}
constexpr void AddLong(Words& t, DWORD value) {
    Add(t, value & 0xFFFF);
    Add(t, value >> 16);
}
constexpr void AddText(Words& t, const char* text) {
    do {
        Add(t, static_cast<BYTE>(*text));
    } while (*text++ != 0);
}

constexpr Words TemplateOf(const Dialog& d) {
    Words t = {};
    AddLong(t, d.style | DS_SETFONT);
    AddLong(t, 0); // no extended style
    Add(t, d.count);
    Add(t, 0); // x and y: DS_CENTER places it
    Add(t, 0);
    Add(t, d.cx);
    Add(t, d.cy);
    Add(t, 0); // no menu
    Add(t, 0); // the dialog class
    AddText(t, d.caption);
    Add(t, 8); // points
    AddText(t, "MS Sans Serif");
    for (int i = 0; i < d.count; ++i) {
        const Control& c = d.controls[i];
        if (t.count % 2 != 0) {
            Add(t, 0); // each control on a 4-byte boundary
        }
        AddLong(t, kKinds[c.kind].style);
        AddLong(t, 0);
        Add(t, c.x);
        Add(t, c.y);
        Add(t, c.cx);
        Add(t, c.cy);
        Add(t, c.id);
        Add(t, 0xFFFF); // the class by its atom
        Add(t, kKinds[c.kind].atom);
        AddText(t, c.text);
        Add(t, 0); // no creation data
    }
    return t;
}

constexpr Words kTemplates[] = {TemplateOf(kDialogs[0]), TemplateOf(kDialogs[1])};
static_assert(sizeof kTemplates / sizeof kTemplates[0] == kDialogCount, "a template for each dialog");

// The templates as the program carries them: each word a byte, and the words from kFirstLarge up,
// which are few (styles, the atoms' mark, the widest sizes), by their place in a table of them.
// kFirstLarge is the highest first word that leaves a byte for each word from it up.
struct LargeWords {
    WORD word[256];
    int count;
};

constexpr int FindLarge(const WORD* large, int count, WORD word) {
    for (int k = 0; k < count; ++k) {
        if (large[k] == word) {
            return k;
        }
    }
    return -1;
}

// The distinct words of the templates from `first` up, in the order they come.
constexpr LargeWords CollectLarge(int first) {
    LargeWords l = {};
    for (const Words& t : kTemplates) {
        for (int i = 0; i < t.count; ++i) {
            if (t.word[i] >= first && FindLarge(l.word, l.count, t.word[i]) < 0) {
                l.word[l.count++] = t.word[i];
            }
        }
    }
    return l;
}

constexpr int FirstLarge() {
    int first = 256;
    while (CollectLarge(first).count > 256 - first) {
        --first;
    }
    return first;
}
constexpr int kFirstLarge        = FirstLarge();
constexpr LargeWords kLargeWords = CollectLarge(kFirstLarge);

constexpr int kChooserWords = kTemplates[0].count;
constexpr int kConfirmWords = kTemplates[1].count;

struct Packed {
    WORD large[kLargeWords.count];
    WORD start[kDialogCount + 1]; // each template's first byte in byte, the last's end
    BYTE byte[kChooserWords + kConfirmWords];
};

constexpr Packed Pack() {
    Packed p = {};
    for (int k = 0; k < kLargeWords.count; ++k) {
        p.large[k] = kLargeWords.word[k];
    }
    int n = 0;
    for (int d = 0; d < kDialogCount; ++d) {
        p.start[d]     = static_cast<WORD>(n);
        const Words& t = kTemplates[d];
        for (int i = 0; i < t.count; ++i, ++n) {
            WORD word = t.word[i];
            p.byte[n] = static_cast<BYTE>(
                word < kFirstLarge ? word : kFirstLarge + FindLarge(p.large, kLargeWords.count, word));
        }
    }
    p.start[kDialogCount] = static_cast<WORD>(n);
    return p;
}
constexpr Packed kPacked = Pack();

alignas(4) WORD dialogTemplate[kMostWords];

// Where the chooser's caption begins in its template: after the header's nine words, the menu and
// the class. Its characters, each below kFirstLarge, are a byte each in the packed template, with
// the zero after them: the title as it is.
enum { kCaptionWord = 11 };

constexpr int IsChooserTitle(const BYTE* caption) {
    const char title[] = CHOOSER_TITLE;
    for (unsigned k = 0; k < sizeof title; ++k) {
        if (caption[k] != static_cast<BYTE>(title[k])) {
            return 0;
        }
    }
    return 1;
}
static_assert(IsChooserTitle(kPacked.byte + kCaptionWord), "the packed chooser template holds its title");

} // namespace

const char* ChooserTitle() {
    return reinterpret_cast<const char*>(kPacked.byte + kCaptionWord);
}

const void* DialogTemplate(ChooserDialog dialog) {
    WORD* w = dialogTemplate;
    for (int i = kPacked.start[dialog]; i < kPacked.start[dialog + 1]; ++i) {
        BYTE b = kPacked.byte[i];
        *w++   = b < kFirstLarge ? b : kPacked.large[b - kFirstLarge];
    }
    return dialogTemplate;
}
