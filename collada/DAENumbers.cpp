#include "collada/DAENumbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/MappedFile.h"
#include "base/Parallel.h"
#include "collada/DAEObject.h"

const bool kDAESeparator[256] = {
    false, false, false, false, false, false, false, false, false, true,  true,  true,  true,  true,  false, false,
    false, false, false, false, false, false, false, false, false, false, false, false, false, false, false, false,
    true,  false, false, false, false, false, false, false, false, false, false, false, true,  false, false, false,
};

namespace {

inline bool IsCSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// from_chars leaves the value alone when it does not fit; the C library gives
// infinity on overflow and zero (or a denormal) on underflow.
float OutOfRangeFloat(const char* b, const char* e)
{
    double d = 0;
    const auto r = std::from_chars(b, e, d);
    if (r.ec == std::errc())
        return float(d);
    const bool negative = b < e && *b == '-';
    bool negativeExponent = false;
    for (const char* s = b; s + 1 < e; ++s)
        if (*s == 'e' || *s == 'E') {
            negativeExponent = s[1] == '-';
            break;
        }
    if (negativeExponent)
        return negative ? -0.0f : 0.0f;
    return negative ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
}

} // namespace

int32_t DAEIntToken(std::string_view token)
{
    const char* s = token.data();
    const char* e = s + token.size();
    bool negative = false;
    if (s < e && (*s == '+' || *s == '-')) {
        negative = *s == '-';
        ++s;
    }
    int64_t value = 0;
    for (; s < e && *s >= '0' && *s <= '9'; ++s) {
        value = value * 10 + (*s - '0');
        if (value > int64_t(std::numeric_limits<int32_t>::max()) + 1)
            value = int64_t(std::numeric_limits<int32_t>::max()) + 1; // saturate, keep scanning
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int32_t>::max())
        value = std::numeric_limits<int32_t>::max();
    return int32_t(value);
}

float DAEFloatToken(std::string_view token)
{
    const size_t n = token.size();
    if (n == 3 || n == 4) {
        if (EqualsNoCase(token, "inf"))
            return std::numeric_limits<float>::infinity();
        if (EqualsNoCase(token, "-inf"))
            return -std::numeric_limits<float>::infinity();
        if (EqualsNoCase(token, "nan"))
            return std::numeric_limits<float>::quiet_NaN();
        if (EqualsNoCase(token, "-nan"))
            return -std::numeric_limits<float>::quiet_NaN();
    }
    const char* s = token.data();
    const char* e = s + n;
    if (s < e && *s == '+') {
        ++s;
        if (s < e && (*s == '+' || *s == '-'))
            return 0;
    }
    // Hexadecimal floats, which from_chars reads only without the prefix.
    const char* h = (s < e && *s == '-') ? s + 1 : s;
    if (e - h > 2 && h[0] == '0' && (h[1] == 'x' || h[1] == 'X')) {
        float v = 0;
        const auto r = std::from_chars(h + 2, e, v, std::chars_format::hex);
        if (r.ec != std::errc() || r.ptr == h + 2)
            return 0;
        return h != s ? -v : v;
    }
    float v = 0;
    const auto r = std::from_chars(s, e, v);
    if (r.ec == std::errc())
        return v;
    if (r.ec == std::errc::result_out_of_range)
        return OutOfRangeFloat(s, e);
    return 0;
}

int32_t DAEParseInt(const char* text)
{
    if (!text)
        return 0;
    while (IsCSpace(*text))
        ++text;
    const char* e = text;
    while (*e && !IsCSpace(*e))
        ++e;
    return DAEIntToken(std::string_view(text, size_t(e - text)));
}

float DAEParseFloat(const char* text)
{
    if (!text)
        return 0;
    while (IsCSpace(*text))
        ++text;
    const char* e = text;
    while (*e && !IsCSpace(*e))
        ++e;
    return DAEFloatToken(std::string_view(text, size_t(e - text)));
}

bool DAEParseBool(const char* text)
{
    if (!text)
        return true;
    std::string_view t(text);
    while (!t.empty() && IsCSpace(t.front()))
        t.remove_prefix(1);
    while (!t.empty() && IsCSpace(t.back()))
        t.remove_suffix(1);
    return !EqualsNoCase(t, "false");
}

std::string_view TrimDAE(std::string_view t)
{
    while (!t.empty() && IsCSpace(t.front()))
        t.remove_prefix(1);
    while (!t.empty() && IsCSpace(t.back()))
        t.remove_suffix(1);
    return t;
}

namespace {

// Tokens in the first length bytes of text, as if a separator came before.
size_t CountTokens(const char* text, size_t length)
{
    // A token starts wherever a non-separator follows a separator. Large
    // arrays are counted many bytes at a time: a mask says which bytes are
    // separators (space, comma, or tab to carriage return).
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    size_t count = 0;
    size_t i = 0;
    bool previousSeparator = true;
#if defined(__SSE2__)
    // 64 bytes at a time: one bit per byte that is a separator.
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i four = _mm_set1_epi8(4); // tab to carriage return: 9 + 0..4
    auto separators16 = [&](const unsigned char* p) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i control = _mm_sub_epi8(x, tab);
        const __m128i isControl = _mm_cmpeq_epi8(_mm_min_epu8(control, four), control);
        const __m128i sep = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, space), _mm_cmpeq_epi8(x, comma)), isControl);
        return uint64_t(uint32_t(_mm_movemask_epi8(sep)));
    };
    for (; i + 64 <= length; i += 64) {
        const uint64_t separators = separators16(s + i) | separators16(s + i + 16) << 16 |
                                    separators16(s + i + 32) << 32 | separators16(s + i + 48) << 48;
        const uint64_t before = (separators << 1) | (previousSeparator ? 1u : 0u);
        count += size_t(__builtin_popcountll(~separators & before));
        previousSeparator = (separators >> 63) != 0;
    }
#elif defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    constexpr uint64_t kLow7 = 0x7f7f7f7f7f7f7f7full;
    for (; i + 8 <= length; i += 8) {
        uint64_t x;
        std::memcpy(&x, s + i, 8);
        auto equals = [x](uint64_t c) {
            const uint64_t t = x ^ (kOnes * c);
            return ~(((t & kLow7) + kLow7) | t) & kHigh;
        };
        const uint64_t y = x & kLow7;
        const uint64_t control = ((y + kOnes * (0x80 - 9)) & ~(y + kOnes * (0x80 - 14)) & ~x) & kHigh;
        const uint64_t separators = equals(' ') | equals(',') | control;
        const uint64_t before = (separators << 8) | (previousSeparator ? 0x80u : 0u);
        // One bit per byte at most: summing the bytes counts them (no popcnt
        // instruction is assumed).
        count += size_t((((~separators & before & kHigh) >> 7) * kOnes) >> 56);
        previousSeparator = (separators >> 63) != 0;
    }
#endif
    for (; i < length; ++i) {
        const bool separator = kDAESeparator[s[i]];
        count += previousSeparator & !separator;
        previousSeparator = separator;
    }
    return count;
}

} // namespace

size_t DAECountTokens(const char* text)
{
    return text ? CountTokens(text, std::strlen(text)) : 0;
}

namespace {

// Lists shorter than this are read in one piece: starting threads would cost
// more than they save.
constexpr size_t kBytesPerPiece = size_t(1) << 20;

// Appends the digits at s to mantissa; returns how many there were.
inline int AppendDigits(const char*& s, uint64_t& mantissa)
{
    const char* first = s;
    for (; unsigned(*s - '0') < 10; ++s)
        mantissa = mantissa * 10 + unsigned(*s - '0');
    return int(s - first);
}

// Powers of ten that a double holds exactly.
constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Reads the plain decimal at s ([-]digits[.digits][(e|E)[+|-]digits]) when
// it ends at a separator or the end of the text, and when the value is
// cheaply known to be the correctly rounded float: the digits fit 2^53 and the power of ten is exact in a double, so
// one multiplication or division gives the correctly rounded double; that
// double rounds to the same float as the exact value unless it lies exactly
// halfway between two floats (then the exact value might not), or outside
// the range of normal floats. Returns the end of the token, or null to leave
// the token to the general rule.
const char* FastDecimal(const char* s, float& out)
{
    const bool negative = *s == '-';
    s += negative ? 1 : 0;
    if (unsigned(*s - '0') >= 10)
        return nullptr;
    uint64_t mantissa = 0;
    int digits = AppendDigits(s, mantissa); // 19 fit; zeros before the first digit of a fraction are not counted
    int64_t exponent = 0;
    if (*s == '.') {
        ++s;
        if (unsigned(*s - '0') >= 10)
            return nullptr;
        if (mantissa == 0)
            for (; *s == '0'; ++s)
                --exponent;
        const int fraction = AppendDigits(s, mantissa);
        digits += fraction;
        exponent -= fraction;
    }
    if (digits > 19)
        return nullptr; // the mantissa may have wrapped
    if (*s == 'e' || *s == 'E') {
        ++s;
        const bool negativeExponent = *s == '-';
        s += (*s == '-' || *s == '+') ? 1 : 0;
        if (unsigned(*s - '0') >= 10)
            return nullptr;
        int64_t value = 0;
        const char* first = s;
        for (; unsigned(*s - '0') < 10 && s - first < 5; ++s)
            value = value * 10 + int(*s - '0');
        if (unsigned(*s - '0') < 10)
            return nullptr;
        exponent += negativeExponent ? -value : value;
    }
    if (*s && !IsDAESeparator(*s))
        return nullptr;
    if (mantissa == 0) {
        out = negative ? -0.0f : 0.0f;
        return s;
    }
    if (mantissa > (uint64_t(1) << 53) || exponent < -22 || exponent > 22)
        return nullptr;
    const double d =
        exponent < 0 ? double(mantissa) / kExactPowers[-exponent] : double(mantissa) * kExactPowers[exponent];
    if (!(d >= double(std::numeric_limits<float>::min()) && d <= double(std::numeric_limits<float>::max())))
        return nullptr;
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    constexpr uint64_t kBelowFloat = (uint64_t(1) << 29) - 1; // double bits a normal float drops
    if ((bits & kBelowFloat) == (uint64_t(1) << 28))
        return nullptr; // halfway between two floats
    const float f = float(d);
    out = negative ? -f : f;
    return s;
}

// The next count float tokens from s; returns the end of the last one.
const char* ReadFloats(const char* s, size_t count, float* out)
{
    for (size_t i = 0; i < count; ++i) {
        while (IsDAESeparator(*s))
            ++s;
        if (const char* next = FastDecimal(s, out[i])) {
            s = next;
            continue;
        }
        const char* b = s;
        while (*s && !IsDAESeparator(*s))
            ++s;
        // Other decimals convert directly; words, signs and hex take the
        // general rule.
        const char* d = *b == '-' ? b + 1 : b;
        if (unsigned(*d - '0') < 10 || (*d == '.' && unsigned(d[1] - '0') < 10)) {
            float v = 0;
            const auto r = std::from_chars(b, s, v);
            if (r.ec == std::errc() && r.ptr == s) {
                out[i] = v;
                continue;
            }
        }
        out[i] = DAEFloatToken(std::string_view(b, size_t(s - b)));
    }
    return s;
}

const char* ReadInts(const char* s, size_t count, int32_t* out)
{
    for (size_t i = 0; i < count; ++i) {
        while (IsDAESeparator(*s))
            ++s;
        // Plain non-negative decimals (index lists) are read here; anything
        // else goes through the general token rule.
        const char* b = s;
        uint32_t v = 0;
        while (unsigned(*s - '0') < 10 && s - b < 9)
            v = v * 10 + unsigned(*s++ - '0');
        if (*s && !IsDAESeparator(*s)) {
            while (*s && !IsDAESeparator(*s))
                ++s;
            out[i] = DAEIntToken(std::string_view(b, size_t(s - b)));
        } else {
            out[i] = int32_t(v);
        }
    }
    return s;
}

// Reads a list in pieces: the text is cut into pieces of about equal length,
// each cut moved forward to the next separator so that no token is split;
// the pieces are counted in parallel, then read in parallel, each into its
// own range of out. Every token is read by the same rule as in one piece, so
// the values are the same however the text is cut.
template <class T, class Read>
void ReadList(const char* text, size_t pieces, std::vector<T>& out, Read read)
{
    std::vector<T>().swap(out);
    if (!text)
        return;
    const size_t length = std::strlen(text);
    if (pieces == 0)
        // Several pieces per core, so that a core the system gives to
        // others for a while leaves its share to the rest.
        pieces = std::min<size_t>(4 * ParallelWorkers(), length / kBytesPerPiece + 1);
    pieces = std::max<size_t>(1, std::min(pieces, length));
    struct SPiece {
        size_t begin, end, count, first;
    };
    std::vector<SPiece> cut(pieces);
    size_t at = 0;
    for (size_t i = 0; i < pieces; ++i) {
        size_t end = i + 1 == pieces ? length : std::max(at, length / pieces * (i + 1));
        while (end < length && !IsDAESeparator(text[end]))
            ++end;
        cut[i] = {at, end, 0, 0};
        at = end;
    }
    ParallelFor(pieces, [&](size_t i) { cut[i].count = CountTokens(text + cut[i].begin, cut[i].end - cut[i].begin); });
    size_t total = 0;
    for (SPiece& p : cut) {
        p.first = total;
        total += p.count;
    }
    if (!total)
        return;
    ResizeOnHugePages(out, total);
    ParallelFor(pieces, [&](size_t i) { read(text + cut[i].begin, cut[i].count, out.data() + cut[i].first); });
}

} // namespace

void DAEParseFloatList(const char* text, std::vector<float>& out, size_t pieces)
{
    ReadList(text, pieces, out, ReadFloats);
}

void DAEParseIntList(const char* text, std::vector<int32_t>& out, size_t pieces)
{
    ReadList(text, pieces, out, ReadInts);
}

void DAEParseStringList(const char* text, std::vector<std::string>& out)
{
    std::vector<std::string>().swap(out);
    out.reserve(DAECountTokens(text));
    ForEachDAEToken(text, [&out](std::string_view t) { out.emplace_back(t); });
}

size_t DAEParseFloatsExactly(const char* text, float* out, size_t n)
{
    const size_t count = DAECountTokens(text);
    if (count == n) {
        size_t i = 0;
        ForEachDAEToken(text, [&](std::string_view t) { out[i++] = DAEFloatToken(t); });
    }
    return count;
}

size_t DAEParseFloatsUpTo(const char* text, float* out, size_t n)
{
    size_t i = 0;
    ForEachDAEToken(text, [&](std::string_view t) {
        if (i < n)
            out[i] = DAEFloatToken(t);
        ++i;
    });
    return i;
}

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// One comma, digits right before and after it: "0,5", "-12,25e-3".
bool IsDecimalCommaWord(std::string_view word)
{
    const size_t comma = word.find(',');
    return comma != std::string_view::npos && word.find(',', comma + 1) == std::string_view::npos && comma > 0 &&
           comma + 1 < word.size() && IsDigit(word[comma - 1]) && IsDigit(word[comma + 1]);
}

} // namespace

EDAEDecimalCommas DAEDecimalCommas(const char* text, size_t expected)
{
    if (!text || !std::strchr(text, ','))
        return eDAENoDecimalCommas;
    size_t words = 0;
    bool decimal = false;
    for (const char* s = text;;) {
        while (IsCSpace(*s))
            ++s;
        if (!*s)
            break;
        const char* b = s;
        while (*s && !IsCSpace(*s))
            ++s;
        const std::string_view word(b, size_t(s - b));
        ++words;
        if (word.find(',') == std::string_view::npos)
            continue;
        // A comma anywhere else ("1,2,3", "1, 2") is a separator.
        if (!IsDecimalCommaWord(word))
            return eDAENoDecimalCommas;
        decimal = true;
    }
    if (!decimal)
        return eDAENoDecimalCommas;
    if (expected != 0 && words == expected)
        return eDAEDecimalCommas;
    if (expected != 0 && DAECountTokens(text) == expected)
        return eDAENoDecimalCommas;
    // A single number, as in <float>: read with a comma it would be two.
    if (expected == 0 && words == 1)
        return eDAEDecimalCommas;
    return eDAEAmbiguousCommas;
}

std::string DAEDecimalCommasToPoints(const char* text)
{
    std::string out = text ? text : "";
    std::replace(out.begin(), out.end(), ',', '.');
    return out;
}
