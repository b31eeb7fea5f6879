#include "common/text.h"

const char* AfterWord(const char* text, const char* word) {
    for (; *word != 0; ++text, ++word) {
        if (UpperAscii(*text) != UpperAscii(*word)) {
            return 0;
        }
    }
    return text;
}

char* PutText(char* p, const char* text) {
    while (*text != 0) {
        *p++ = *text++;
    }
    *p = 0;
    return p;
}

char* PutHex(char* p, unsigned long value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        unsigned digit = (value >> shift) & 0xF;
        *p++           = static_cast<char>(digit < 10 ? '0' + digit : 'A' - 10 + digit);
    }
    *p = 0;
    return p;
}

char* PutDecimal(char* p, long value) {
    unsigned long magnitude =
        value < 0 ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    if (value < 0) {
        *p++ = '-';
    }
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (n > 0) {
        *p++ = digits[--n];
    }
    *p = 0;
    return p;
}
