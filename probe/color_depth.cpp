// The colour depth of the display device. A file of its own: a program that does not ask it (the
// watcher) then imports nothing from GDI32.
#include "probe/probe.h"

// A display context that cannot be made is not looked for: GetDeviceCaps on the null context
// answers 0, so the depth is 0 and the run stops at its depth test.
int QueryColorDepth() {
    HDC dc    = CreateDCA("DISPLAY", NULL, NULL, NULL);
    int depth = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
    DeleteDC(dc);
    return depth;
}
