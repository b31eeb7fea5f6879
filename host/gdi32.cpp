// GDI32 stand-in: a display device context that answers bits per pixel and planes.
#include <windows.h>

#include <cstring>

#include "machine.h"

using host::TheMachine;

namespace {
const HDC kDisplayDc = reinterpret_cast<HDC>(0xD15);
}

HDC WINAPI CreateDCA(LPCSTR driver, LPCSTR, LPCSTR, const void*) {
    host::Machine& m = TheMachine();
    m.calls.push_back("CreateDCA");
    if (m.displayDcFails || driver == nullptr || std::strcmp(driver, "DISPLAY") != 0) {
        return nullptr;
    }
    return kDisplayDc;
}

int WINAPI GetDeviceCaps(HDC dc, int index) {
    host::Machine& m = TheMachine();
    m.calls.push_back("GetDeviceCaps");
    if (dc != kDisplayDc) {
        return 0;
    }
    switch (index) {
    case BITSPIXEL: return m.bitsPerPixel;
    case PLANES: return m.planes;
    default: return 0;
    }
}

BOOL WINAPI DeleteDC(HDC dc) {
    TheMachine().calls.push_back("DeleteDC");
    return dc == kDisplayDc ? TRUE : FALSE;
}
