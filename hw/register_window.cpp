// The adapter's memory-mapped register window, obtained from the physical-memory mapping VxD.
#include <windows.h>

#include "hw/hw.h"
#include "hw/physwin.h"

// The mapping VxD is loaded for as long as the handle is open.
static HANDLE OpenMappingVxd() {
    return CreateFileA(PHYSWIN_DEVICE_PATH, 0, 0, NULL, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, NULL);
}

VxdAnswer AskMappingVxd(RegisterWindow* registers, DWORD* error) {
    HANDLE vxd = OpenMappingVxd();
    if (vxd == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return kVxdDoesNotOpen;
    }

    // A VxD that reports success without filling in its answer leaves address 0: no window.
    UINT32 out[kPhyswinAnswerSize / 4] = {0, 0};
    DWORD returned;
    BOOL answered =
        DeviceIoControl(vxd, kPhyswinMapRegisterWindow, NULL, 0, out, sizeof out, &returned, NULL);
    CloseHandle(vxd);
    if (!answered) {
        return kVxdCallFails;
    }
    *registers = out[0];
    return out[0] != 0 ? kVxdWindow : kVxdAddressZero;
}
