// The adapter's memory-mapped register window, obtained from the physical-memory mapping VxD.
#include <stdio.h>
#include <windows.h>

#include "hw/hw.h"

// Opening the device path loads the VxD on demand; FILE_FLAG_DELETE_ON_CLOSE lets Windows unload
// it again when the handle is closed.
static const char kMappingDriverPath[] = "\\\\.\\PHYSWIN.VXD";

// Maps the adapter's registers and answers with their linear address in the first 32 bits of an
// eight-byte output buffer.
static const DWORD kMapRegisterWindowIoctl = 3;

RegisterWindow MapRegisterWindow() {
    HANDLE driver = CreateFileA(kMappingDriverPath, 0, 0, NULL, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, NULL);
    if (driver == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_NOT_SUPPORTED) {
            printf("Unable to open VxD, \n device does not support DeviceIOCTL\n");
        } else {
            printf("Unable to open VxD, Error code: %lx\n", error);
        }
        return 0;
    }

    // A driver that reports success without filling in its answer leaves address 0: no window.
    UINT32 out[2] = {0, 0};
    DWORD returned;
    if (!DeviceIoControl(driver, kMapRegisterWindowIoctl, NULL, 0, out, sizeof out, &returned, NULL)) {
        MessageBoxA(NULL, "Can not map physical to linear address", "", MB_OK);
        CloseHandle(driver);
        return 0;
    }
    CloseHandle(driver);
    return out[0];
}
