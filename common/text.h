// Characters and numbers as the Windows programs handle text: plain code, with no C runtime (the
// programs have none but common/runtime_win32.cpp's few functions).
#pragma once

// A blank between words on a line: a space or a tab.
inline int IsBlank(char c) {
    return c == ' ' || c == '\t';
}

inline char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline const char* SkipBlanks(const char* p) {
    while (IsBlank(*p)) {
        ++p;
    }
    return p;
}

// Where text goes on after `word`, where it begins with it in any letters' case; 0 where it does not.
const char* AfterWord(const char* text, const char* word);

// Text helpers over a buffer the caller sized: each writes at p and returns the new end, with a
// terminating zero after it.
char* PutText(char* p, const char* text);
char* PutHex(char* p, unsigned long value, int digits);
char* PutDecimal(char* p, long value);
