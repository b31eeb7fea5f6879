// The adapter's memory-mapped register window, obtained from the physical-memory mapping VxD.
#include <windows.h>

#include "hw/hw.h"
#include "hw/physwin.h"
#include "hw/primitives.h"

static const char kNotSupportedText[] = "Unable to open VxD, \r\n device does not support DeviceIOCTL\r\n";

// "Unable to open VxD, Error code: ", at most eight hex digits, CR LF and the terminating zero.
enum { kErrorTextSize = 48 };

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

// The mapping VxD is loaded for as long as the handle is open.
static HANDLE OpenMappingDriver() {
    return CreateFileA(PHYSWIN_DEVICE_PATH, 0, 0, NULL, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, NULL);
}

// The one asking of the mapping driver: the run's. Its answer goes to the run record, so a report
// tells what the run was answered and never asks again.
RegisterWindow MapRegisterWindow() {
    HANDLE driver = OpenMappingDriver();
    if (driver == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        RecordStep(kStepDriverOpenFails, error);
        if (error == ERROR_NOT_SUPPORTED) {
            WriteStandardOutput(kNotSupportedText, sizeof kNotSupportedText - 1);
        } else {
            char text[kErrorTextSize];
            WriteStandardOutput(text, wsprintfA(text, "Unable to open VxD, Error code: %lx\r\n", error));
        }
        return 0;
    }

    // A driver that reports success without filling in its answer leaves address 0: no window.
    UINT32 out[kPhyswinAnswerSize / 4] = {0, 0};
    DWORD returned;
    if (!DeviceIoControl(driver, kPhyswinMapRegisterWindow, NULL, 0, out, sizeof out, &returned, NULL)) {
        RecordStep(kStepDriverCallFails, 0);
        MessageBoxA(NULL, "Can not map physical to linear address", "", MB_OK);
        CloseHandle(driver);
        return 0;
    }
    CloseHandle(driver);
    RecordStep(kStepWindowAnswer, out[0]);
    return out[0];
}
