// A set of hardware primitives whose signatures drifted together: they define other functions than
// the product calls. Linked as an executable's only set, this must fail to link, never leave the
// product to take another set.
#include <windows.h>

BYTE ReadPort(DWORD) {
    return 0xFF;
}

void WritePort(DWORD, BYTE) {}

void StoreWindowByte(DWORD, BYTE) {}

BYTE LoadWindowByte(DWORD) {
    return 0xFF;
}

int main() {
    return WinMain(0, 0, 0, 0);
}
