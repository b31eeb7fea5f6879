// The rate chooser's two dialogs. They are written here as a dialog script would write them, and
// their templates are worked out from that when the program is built, so that the program carries
// no resource section: each word of a template takes one byte, the few larger ones a place in a
// table of them, and the template is laid out again when its dialog opens.
#pragma once

#include <windows.h>

enum ChooserDialog {
    kChooserDialog, // the machine in words, the rates, Try, Forget and Close
    kConfirmDialog, // "Keep this refresh rate?", its countdown, Go back and Keep
};

// The dialog's template, for DialogBoxIndirectParamA: the standard form (DLGTEMPLATE and a
// DLGITEMTEMPLATE for each control, MS Sans Serif 8), aligned as Windows 95 needs it, in one
// buffer that the next template takes over.
const void* DialogTemplate(ChooserDialog dialog);

// The chooser's title (CHOOSER_TITLE), by which a second chooser finds the first, as its template
// holds it.
const char* ChooserTitle();
