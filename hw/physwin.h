// The interface of the physical-memory mapping VxD that hands out the adapter's register window.
// Opening the device path loads the VxD on demand; FILE_FLAG_DELETE_ON_CLOSE lets Windows unload
// it again when the handle is closed. Control code 3 maps the adapter's registers and answers
// with their linear address in the first 32 bits of an eight-byte output buffer; the program
// passes no input.
#pragma once

#define PHYSWIN_DEVICE_PATH "\\\\.\\PHYSWIN.VXD"

enum {
    kPhyswinMapRegisterWindow = 3, // control code
    kPhyswinAnswerSize        = 8, // bytes of the answer: the address, then four unused
};
