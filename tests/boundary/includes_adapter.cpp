// Built as a product file, this must not compile: the product is Win32 code, blind to the host face.
#include <windows.h>

#include "adapter/adapter.h"
