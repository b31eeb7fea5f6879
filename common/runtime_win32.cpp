// The few C library functions the Windows executable needs: the string and memory functions the
// product calls, and the four the compiler may call on its own for block copies and clears. The
// executable links no C runtime DLL (app/entry_win32.cpp), so they live here, beside the process
// entry and like it part of the executable alone: the host build takes them from its C library.
// Built without builtins and without loop-to-call rewriting, so no loop here becomes a call to the
// very function it is in.
#include <stdint.h>
#include <string.h>

extern "C" {

void* memcpy(void* destination, const void* source, size_t count) {
    unsigned char* to         = static_cast<unsigned char*>(destination);
    const unsigned char* from = static_cast<const unsigned char*>(source);
    while (count != 0) {
        *to++ = *from++;
        --count;
    }
    return destination;
}

// Overlapping blocks: copying downwards goes front to back, upwards back to front.
void* memmove(void* destination, const void* source, size_t count) {
    unsigned char* to         = static_cast<unsigned char*>(destination);
    const unsigned char* from = static_cast<const unsigned char*>(source);
    if (reinterpret_cast<uintptr_t>(to) <= reinterpret_cast<uintptr_t>(from)) {
        while (count != 0) {
            *to++ = *from++;
            --count;
        }
    } else {
        while (count != 0) {
            --count;
            to[count] = from[count];
        }
    }
    return destination;
}

void* memset(void* destination, int value, size_t count) {
    unsigned char* to = static_cast<unsigned char*>(destination);
    while (count != 0) {
        *to++ = static_cast<unsigned char>(value);
        --count;
    }
    return destination;
}

int memcmp(const void* first, const void* second, size_t count) {
    const unsigned char* a = static_cast<const unsigned char*>(first);
    const unsigned char* b = static_cast<const unsigned char*>(second);
    for (; count != 0; ++a, ++b, --count) {
        if (*a != *b) {
            return *a - *b;
        }
    }
    return 0;
}

void* memchr(const void* where, int value, size_t count) {
    const unsigned char* p = static_cast<const unsigned char*>(where);
    for (; count != 0; ++p, --count) {
        if (*p == static_cast<unsigned char>(value)) {
            return const_cast<unsigned char*>(p);
        }
    }
    return NULL;
}

char* strcpy(char* destination, const char* source) {
    char* to = destination;
    while ((*to++ = *source++) != 0) {
    }
    return destination;
}

size_t strlen(const char* text) {
    const char* end = text;
    while (*end != 0) {
        ++end;
    }
    return static_cast<size_t>(end - text);
}

int strcmp(const char* first, const char* second) {
    return strncmp(first, second, static_cast<size_t>(-1));
}

int strncmp(const char* first, const char* second, size_t count) {
    const unsigned char* a = reinterpret_cast<const unsigned char*>(first);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(second);
    for (; count != 0; ++a, ++b, --count) {
        if (*a != *b) {
            return *a - *b;
        }
        if (*a == 0) {
            break;
        }
    }
    return 0;
}

} // extern "C"
