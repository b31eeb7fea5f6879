// Stand-in for the product while it does not exist: touches the adapter the
// same ways (I/O ports, then the register window handed out by the mapping
// driver), shows a message box on request, prints a line and exits with a
// code that tells how far it got.  Built with the Windows 95 recipe so the
// recipe itself is exercised under Wine too.
//
// Words on the command line pick extra behaviour:
//   box     MessageBoxA(NULL, "text", "", MB_OK) before exiting
//   boxerr  a box with an icon, a caption and text that needs JSON escaping
//   wide    also uses the 16/32-bit and immediate-port forms of in/out
//   string  executes OUTSB, which the debugger refuses to emulate
//   crash   writes through a null pointer after the window stores
//   hang    never returns (for the debugger's time limit)
//
// It also prints what it sees of the environment the driver script sets up:
// the Windows version family, HKCC\Display\Settings RefreshRate and
// [boot] display.drv from system.ini, and string 1 of its own resources.
//
// Exit codes: 7 all done, 2 open failed, 3 control call failed, 4 window at 0.

#include <stdio.h>
#include <string.h>
#include <windows.h>

static inline unsigned char InB(unsigned short port) {
    unsigned char v;
    __asm__ volatile("inb %w1, %b0" : "=a"(v) : "Nd"(port));
    return v;
}

static inline void OutB(unsigned short port, unsigned char v) {
    __asm__ volatile("outb %b0, %w1" : : "a"(v), "Nd"(port));
}

static bool HasWord(const char *line, const char *word) {
    size_t n = strlen(word);
    for (const char *p = line; *p;) {
        while (*p == ' ') ++p;
        const char *e = p;
        while (*e && *e != ' ') ++e;
        if ((size_t)(e - p) == n && strncmp(p, word, n) == 0) return true;
        p = e;
    }
    return false;
}

static void WideForms() {
    unsigned short w;
    unsigned char b;
    // Index and data in one 16-bit write, as CRTC code often does.
    __asm__ volatile("outw %w0, %w1" : : "a"((unsigned short)0x2075),
                     "d"((unsigned short)0x3D4));
    __asm__ volatile("inw %w1, %w0" : "=a"(w) : "d"((unsigned short)0x3D4));
    __asm__ volatile("outl %0, %w1" : : "a"(0x44332211u),
                     "d"((unsigned short)0x3C4));
    __asm__ volatile("inb $0x80, %b0" : "=a"(b));
    __asm__ volatile("outb %b0, $0x80" : : "a"((unsigned char)0x5C));
    printf("wide=%04x imm=%02x\n", w, b);
}

static void PrintEnvironment() {
    char value[64] = "(no key)";
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_CONFIG, "Display\\Settings", 0, KEY_READ,
                      &key) == ERROR_SUCCESS) {
        DWORD type, size = sizeof value - 1;
        if (RegQueryValueExA(key, "RefreshRate", NULL, &type, (BYTE *)value,
                             &size) != ERROR_SUCCESS)
            strcpy(value, "(no value)");
        else
            value[size] = 0;
        RegCloseKey(key);
    }
    char drv[64];
    GetPrivateProfileStringA("boot", "display.drv", "(none)", drv, sizeof drv,
                             "system.ini");
    char res[32] = "(no string)";
    LoadStringA(GetModuleHandleA(NULL), 1, res, sizeof res);
    printf("win9x=%d refresh=%s display.drv=%s string=%s\n",
           (GetVersion() & 0x80000000) ? 1 : 0, value, drv, res);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR cmd, int) {
    PrintEnvironment();
    OutB(0x3D4, 0x75);
    unsigned char crtc75 = InB(0x3D5);
    OutB(0x3D5, crtc75 | 0x10);
    unsigned char status = InB(0x3C2);
    OutB(0x3C2, 0xE3);
    printf("crtc75=%02x status=%02x\n", crtc75, status);

    if (HasWord(cmd, "wide")) WideForms();
    if (HasWord(cmd, "string")) {
        static const char bytes[1] = {0x42};
        const char *src = bytes;
        __asm__ volatile("outsb" : "+S"(src) : "d"((unsigned short)0x3C0));
    }

    HANDLE h = CreateFileA("\\\\.\\PHYSWIN.VXD", 0, 0, NULL, CREATE_NEW,
                           FILE_FLAG_DELETE_ON_CLOSE, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        printf("open failed %lu\n", GetLastError());
        return 2;
    }
    DWORD out[2] = {0xDEADBEEF, 0xDEADBEEF};
    DWORD got = 0;
    if (!DeviceIoControl(h, 3, NULL, 0, out, sizeof out, &got, NULL)) {
        printf("control failed %lu\n", GetLastError());
        CloseHandle(h);
        return 3;
    }
    if (out[0] == 0) {
        printf("window at 0, got %lu\n", got);
        CloseHandle(h);
        return 4;
    }
    volatile unsigned char *w = (volatile unsigned char *)out[0];
    // Highest byte first, so the order of the captured stores is visible.
    w[3] = crtc75;
    w[2] = 0xA5;
    w[1] = 0x5A;
    w[0] = 0x00;
    printf("window %08lx size %08lx got %lu\n", out[0], out[1], got);

    if (HasWord(cmd, "crash")) *(volatile int *)0 = 1;
    if (HasWord(cmd, "hang")) Sleep(INFINITE);
    if (HasWord(cmd, "box")) MessageBoxA(NULL, "text", "", MB_OK);
    if (HasWord(cmd, "boxerr"))
        MessageBoxA(NULL, "Line one\r\n\"quoted\" back\\slash\ttab", "Probe",
                    MB_OK | MB_ICONERROR);
    CloseHandle(h);
    printf("done");  // no newline: only exit()'s flush can deliver it
    return 7;
}
