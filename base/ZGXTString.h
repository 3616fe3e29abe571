#pragma once
// The 8-bit string used by the options and scene code. std::string is
// length-counted and always NUL-terminated, which is all the code relies on.
#include <string>

using CZGXTString = std::string;

// printf-style formatting into a new string.
CZGXTString StrFormat(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Decimal conversions as the C library does them (leading blanks and a sign
// accepted, reading stops at the first other character, no digits gives 0),
// but independent of the process locale and without undefined overflow:
// integers saturate at the 64-bit range before the caller narrows them.
long long ParseDecimalInteger(const char* begin, const char* end);
double ParseDecimalReal(const char* begin, const char* end);

// Fixed-point text with the given number of decimals, always with a '.'.
CZGXTString FormatFixed(double value, int decimals);
