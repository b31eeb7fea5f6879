// The utility's own words to the user: a message box when system.ini does not open or the mapping
// VxD does not map the registers, a line on standard output when the VxD does not open. The texts
// are the utility's, byte for byte; the diagnostic's report quotes them. Each program that runs the
// utility's run names in its build whether they are said, as it names its hardware primitives: the
// utility and the host build say them (app/words.cpp), the diagnostic only reports them
// (diag/quiet_words.cpp).
#pragma once

#include <windows.h>

#include "hw/hw.h"

#define OPEN_SYSTEM_INI_ERROR "Open System.ini error!"
#define MAP_FAILED_TEXT "Can not map physical to linear address"
#define VXD_NOT_SUPPORTED_TEXT "Unable to open VxD, \r\n device does not support DeviceIOCTL\r\n"
#define VXD_OPEN_ERROR_FORMAT "Unable to open VxD, Error code: %lx\r\n"

// The box for a system.ini that does not open.
void SayOpenSystemIniError();
// What the utility says of the mapping VxD's answer: a line on standard output where it does not
// open, a box where its control call fails, nothing otherwise.
void SayMappingVxdAnswer(VxdAnswer answer, DWORD error);
