#pragma once
// Number and list parsing for Collada texts. Locale-independent: values are
// converted with std::from_chars, never with streams or strtod.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Leading decimal integer as the C library reads it: optional white space and
// sign, then digits; 0 when there are none. Saturates at the int32 range.
int32_t DAEParseInt(const char* text);
// "inf", "-inf", "nan", "-nan" (any case) give the special values; anything
// else is read like the C library's decimal conversion (leading '+',
// exponent, hex floats), 0 when there is no number.
float DAEParseFloat(const char* text);
// Anything but "false" (any case) is true.
bool DAEParseBool(const char* text);

// One token of a list (no separators inside).
int32_t DAEIntToken(std::string_view token);
float DAEFloatToken(std::string_view token);

// Tokens are separated by runs of white space and commas.
extern const bool kDAESeparator[256];
inline bool IsDAESeparator(char c)
{
    return kDAESeparator[static_cast<unsigned char>(c)];
}
size_t DAECountTokens(const char* text);
// The text without white space at either end.
std::string_view TrimDAE(std::string_view text);
inline std::string TrimmedDAE(const char* text)
{
    return std::string(TrimDAE(text ? std::string_view(text) : std::string_view()));
}

// Count first, make exactly that much storage, convert. The previous
// contents of out are released. Long texts are read in pieces on all cores
// (pieces 0: one per megabyte, at most four per core; tests give a count);
// the values are those of reading the tokens one by one in order.
void DAEParseFloatList(const char* text, std::vector<float>& out, size_t pieces = 0);
void DAEParseIntList(const char* text, std::vector<int32_t>& out, size_t pieces = 0);
void DAEParseStringList(const char* text, std::vector<std::string>& out);
// Fixed-size lists (transforms, colours): returns the number of tokens in
// the text; fills out only when that number is exactly n.
size_t DAEParseFloatsExactly(const char* text, float* out, size_t n);
// Up to n values; returns the number of tokens in the text.
size_t DAEParseFloatsUpTo(const char* text, float* out, size_t n);

// Decimal commas ("0,5" for 0.5): some exporters write them, though a
// Collada number has a decimal point and the lists above read a comma as a
// separator. For a text that should hold `expected` numbers (0: unknown):
//   none       no word of the text has a comma between digits, or the
//              commas separate the expected numbers;
//   decimal    every comma stands between the digits of one number and the
//              words between white space are the expected numbers;
//   ambiguous  commas between digits, but the count cannot tell which.
enum EDAEDecimalCommas { eDAENoDecimalCommas, eDAEDecimalCommas, eDAEAmbiguousCommas };
EDAEDecimalCommas DAEDecimalCommas(const char* text, size_t expected);
// The text with every comma made a decimal point, to be read as the
// document's author meant it (for texts classed decimal).
std::string DAEDecimalCommasToPoints(const char* text);

// Calls fn(token) for every token in order.
template <class Fn>
void ForEachDAEToken(const char* text, Fn&& fn)
{
    if (!text)
        return;
    const char* s = text;
    for (;;) {
        while (*s && IsDAESeparator(*s))
            ++s;
        if (!*s)
            return;
        const char* b = s;
        while (*s && !IsDAESeparator(*s))
            ++s;
        fn(std::string_view(b, size_t(s - b)));
    }
}
