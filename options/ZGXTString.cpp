#include "base/ZGXTString.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <vector>

CZGXTString StrFormat(const char* format, ...)
{
    if (!format)
        return CZGXTString();
    char small[512];
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(small, sizeof(small), format, args);
    va_end(args);
    CZGXTString out;
    if (n < 0) {
        va_end(copy);
        return out;
    }
    if (size_t(n) < sizeof(small)) {
        out.assign(small, size_t(n));
    } else {
        std::vector<char> big(size_t(n) + 1);
        std::vsnprintf(big.data(), big.size(), format, copy);
        out.assign(big.data(), size_t(n));
    }
    va_end(copy);
    return out;
}

static const char* SkipBlanks(const char* p, const char* end)
{
    while (p < end && std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    return p;
}

long long ParseDecimalInteger(const char* p, const char* end)
{
    p = SkipBlanks(p, end);
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = (*p == '-');
        ++p;
    }
    // Accumulate as a negative number so that the minimum is reachable.
    const long long lo = std::numeric_limits<long long>::min();
    long long value = 0;
    bool saturated = false;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        int digit = *p - '0';
        if (saturated)
            continue;
        if (value < (lo + digit) / 10) {
            saturated = true;
            value = lo;
            continue;
        }
        value = value * 10 - digit;
    }
    if (negative)
        return value;
    if (value == lo)
        return std::numeric_limits<long long>::max();
    return -value;
}

double ParseDecimalReal(const char* p, const char* end)
{
    p = SkipBlanks(p, end);
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = (*p == '-');
        ++p;
    }
    if (p < end && (*p == '+' || *p == '-'))
        return 0.0; // a second sign is not a number
    double value = 0.0;
    auto res = std::from_chars(p, end, value, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone; strtod gives HUGE_VAL or 0.
        bool tiny = false;
        for (const char* q = p; q < res.ptr; ++q)
            if (*q == 'e' || *q == 'E') {
                tiny = (q + 1 < res.ptr && q[1] == '-');
                break;
            }
        value = tiny ? 0.0 : HUGE_VAL;
    } else if (res.ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

CZGXTString FormatFixed(double value, int decimals)
{
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof(buf), value, std::chars_format::fixed, decimals);
    if (res.ec != std::errc())
        return "0";
    return CZGXTString(buf, res.ptr);
}
