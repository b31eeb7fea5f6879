#include "common/standard_output.h"

#include <windows.h>

// A windowed process started the ordinary way has no standard output: the text is dropped without a
// word. One started with its output redirected gets the bytes at once, with nothing left in a buffer
// when the process ends. Lines end in CR LF, as in any text file on Windows.
void WriteStandardOutput(const char* text, int length) {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == NULL || output == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written;
    WriteFile(output, text, static_cast<DWORD>(length), &written, NULL);
}
