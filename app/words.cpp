#include "app/words.h"

#include "common/standard_output.h"

// "Unable to open VxD, Error code: ", at most eight hex digits, CR LF and the terminating zero.
enum { kErrorTextSize = 48 };

void SayOpenSystemIniError() {
    MessageBoxA(NULL, OPEN_SYSTEM_INI_ERROR, "", MB_ICONERROR | MB_OK);
}

// On standard output, which a windowed program started the ordinary way does not have.
void SayMappingVxdAnswer(VxdAnswer answer, DWORD error) {
    static const char kNotSupportedText[] = VXD_NOT_SUPPORTED_TEXT;
    if (answer == kVxdDoesNotOpen) {
        if (error == ERROR_NOT_SUPPORTED) {
            WriteStandardOutput(kNotSupportedText, sizeof kNotSupportedText - 1);
        } else {
            char text[kErrorTextSize];
            WriteStandardOutput(text, wsprintfA(text, VXD_OPEN_ERROR_FORMAT, error));
        }
    } else if (answer == kVxdCallFails) {
        MessageBoxA(NULL, MAP_FAILED_TEXT, "", MB_OK);
    }
}
