#include <gtest/gtest.h>

#include <QString>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <atomic>
#include <stdexcept>
#include <limits>
#include <string>
#include <vector>

#include "base/Parallel.h"
#include "common/TestSupport.h"
#include "collada/DAENumbers.h"
#include "collada/DAEObject.h"
#include "collada/DAEParser.h"
#include "collada/ElCore.h"
#include "collada/ElGeometry.h"

TEST(ColladaNumbers, FloatTokens)
{
    struct SCase {
        const char* text;
        float value;
    };
    const SCase cases[] = {
        {"1.5", 1.5f},     {"+2.25", 2.25f}, {"-0.5", -0.5f}, {"1e3", 1000.0f}, {".5", 0.5f},
        {"3.5abc", 3.5f},  {"abc", 0.0f},    {"", 0.0f},      {"+-1", 0.0f},    {"0x10", 16.0f},
        {"-0x1p1", -2.0f}, {"1e-60", 0.0f},  {"7,", 7.0f},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(DAEParseFloat(c.text), c.value) << c.text;
    EXPECT_EQ(DAEParseFloat("  42.5 "), 42.5f);
    EXPECT_EQ(DAEParseFloat("1e60"), std::numeric_limits<float>::infinity());
    EXPECT_EQ(DAEParseFloat("-1e999"), -std::numeric_limits<float>::infinity());
}

TEST(ColladaNumbers, InfinityAndNanWords)
{
    EXPECT_EQ(DAEParseFloat("inf"), std::numeric_limits<float>::infinity());
    EXPECT_EQ(DAEParseFloat("INF"), std::numeric_limits<float>::infinity());
    EXPECT_EQ(DAEParseFloat("-Inf"), -std::numeric_limits<float>::infinity());
    const float nan = DAEParseFloat("NaN");
    EXPECT_TRUE(std::isnan(nan));
    EXPECT_FALSE(std::signbit(nan));
    const float negativeNan = DAEParseFloat("-nan");
    EXPECT_TRUE(std::isnan(negativeNan));
    EXPECT_TRUE(std::signbit(negativeNan));
}

TEST(ColladaNumbers, Integers)
{
    EXPECT_EQ(DAEParseInt("42"), 42);
    EXPECT_EQ(DAEParseInt("  -7"), -7);
    EXPECT_EQ(DAEParseInt("+9"), 9);
    EXPECT_EQ(DAEParseInt("12abc"), 12);
    EXPECT_EQ(DAEParseInt("1.9"), 1);
    EXPECT_EQ(DAEParseInt("x"), 0);
    EXPECT_EQ(DAEParseInt(nullptr), 0);
    EXPECT_EQ(DAEParseInt("99999999999999999999"), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(DAEParseInt("-99999999999999999999"), std::numeric_limits<int32_t>::min());
}

TEST(ColladaNumbers, Booleans)
{
    EXPECT_FALSE(DAEParseBool("false"));
    EXPECT_FALSE(DAEParseBool("FALSE"));
    EXPECT_TRUE(DAEParseBool("true"));
    EXPECT_TRUE(DAEParseBool("0"));
    EXPECT_TRUE(DAEParseBool(""));
}

TEST(ColladaNumbers, ListsSplitOnWhiteSpaceAndCommas)
{
    std::vector<float> floats{9, 9, 9, 9, 9};
    DAEParseFloatList(" 1,2 ,, 3\r\n\t4 ", floats);
    EXPECT_EQ(floats, (std::vector<float>{1, 2, 3, 4}));
    EXPECT_EQ(floats.capacity(), 4u); // exactly as many as there are tokens

    std::vector<int32_t> ints;
    DAEParseIntList("5 -6,7", ints);
    EXPECT_EQ(ints, (std::vector<int32_t>{5, -6, 7}));
    DAEParseIntList(nullptr, ints);
    EXPECT_TRUE(ints.empty());

    std::vector<std::string> names;
    DAEParseStringList("Bone1  Bone_2,Hip", names);
    EXPECT_EQ(names, (std::vector<std::string>{"Bone1", "Bone_2", "Hip"}));

    float three[3] = {0, 0, 0};
    EXPECT_EQ(DAEParseFloatsExactly("1 2", three, 3), 2u);
    EXPECT_EQ(three[0], 0.0f); // a wrong count leaves the values alone
    EXPECT_EQ(DAEParseFloatsExactly("1 2 3", three, 3), 3u);
    EXPECT_EQ(three[2], 3.0f);
}

TEST(ColladaNumbers, TokenCountMatchesTheTokenisation)
{
    // Random texts over separators, digits and bytes with the top bit set,
    // at every length and alignment the block-wise counter meets.
    const char alphabet[] = " ,\t\n\r\v\f0123456789-.e\x80\xa0\xff\x8c\x89\x20";
    uint32_t seed = 12345;
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int length = round % 200;
        for (int i = 0; i < length; ++i) {
            seed = seed * 1103515245u + 12345u;
            text += alphabet[(seed >> 16) % (sizeof(alphabet) - 1)];
        }
        size_t expected = 0;
        ForEachDAEToken(text.c_str(), [&expected](std::string_view) { ++expected; });
        ASSERT_EQ(DAECountTokens(text.c_str()), expected) << round;
    }
}

TEST(ColladaNumbers, NamesCompareWithoutAsciiCase)
{
    EXPECT_TRUE(EqualsNoCase("profile_GLSL", "profile_glsl"));
    EXPECT_TRUE(EqualsNoCase("IDREF_array", "idref_array"));
    EXPECT_FALSE(EqualsNoCase("node", "nodes"));
    EXPECT_FALSE(EqualsNoCase("\xc3\x89", "\xc3\xa9")); // only ASCII letters fold
}

namespace {

// The literal rule: every token in order, read by the token functions.
std::vector<float> FloatsOneByOne(const char* text)
{
    std::vector<float> out;
    ForEachDAEToken(text, [&out](std::string_view t) { out.push_back(DAEFloatToken(t)); });
    return out;
}

std::vector<int32_t> IntsOneByOne(const char* text)
{
    std::vector<int32_t> out;
    ForEachDAEToken(text, [&out](std::string_view t) { out.push_back(DAEIntToken(t)); });
    return out;
}

// Same bits, so that NaNs and signed zeros compare too.
bool SameFloats(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), 4 * a.size()) == 0);
}

// A long list of ordinary and odd tokens (a fixed sequence), so that every
// cut lands in the middle of some number and bad tokens sit in late pieces.
std::string MixedList(size_t tokens)
{
    static const char* const odd[] = {"abc",   "1.2.3",  "+-1",  "-0x1p3",      "nan",         "-INF",
                                      "1e999", "-1e-60", "7,",   "99999999999", "-2147483649", "+5",
                                      "1e3",   ".5",     "-.25", "0x",          "--3",         "3-"};
    std::string s = "  \r\n";
    uint32_t state = 12345;
    for (size_t i = 0; i < tokens; ++i) {
        state = state * 1664525u + 1013904223u;
        const uint32_t r = state >> 8;
        if (r % 29 == 0)
            s += odd[r / 29 % (sizeof(odd) / sizeof(odd[0]))];
        else if (r % 3 == 0)
            s += std::to_string(r % 100000);
        else
            s += std::to_string(float(int32_t(r % 2000000) - 1000000) / 997.0f);
        s += (r % 7 == 0) ? ",\t" : (r % 11 == 0 ? "\n  " : " ");
    }
    return s;
}

} // namespace

TEST(ColladaNumbers, ListsReadInPiecesEqualTheTokensReadInOrder)
{
    const std::string mixed = MixedList(5000);
    const std::string longTokens = std::string(5000, '1') + " 2.5 " + std::string(3000, '7') + ".125e-3";
    const char* const cases[] = {
        "",
        " \t\r\n,, ",
        "1",
        "1.5 -2.25e2,3,,4\r\n5e-1 abc 6",
        "  leading and trailing  ",
        "0x1p4 -0x10 nan -nan INF -inf 1e60 -1e999 1e-60",
        "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 bad 22",
        "12345678 123456789 1234567890 99999999999 -5 +7 1.9 1e3 x",
        longTokens.c_str(),
        mixed.c_str(),
    };
    for (const char* text : cases) {
        const std::vector<float> floats = FloatsOneByOne(text);
        const std::vector<int32_t> ints = IntsOneByOne(text);
        const size_t length = std::strlen(text);
        // Every piece count up to 24, then counts that cut the text into a
        // few bytes each.
        std::vector<size_t> counts;
        for (size_t n = 0; n <= 24; ++n)
            counts.push_back(n);
        for (size_t n : {length / 7, length / 3, length})
            counts.push_back(n);
        for (size_t pieces : counts) {
            std::vector<float> f{42.0f};
            DAEParseFloatList(text, f, pieces);
            EXPECT_TRUE(SameFloats(f, floats)) << pieces << " pieces of \"" << std::string(text).substr(0, 80) << "\"";
            std::vector<int32_t> i{42};
            DAEParseIntList(text, i, pieces);
            EXPECT_EQ(i, ints) << pieces << " pieces of \"" << std::string(text).substr(0, 80) << "\"";
        }
    }
}

TEST(ColladaNumbers, PieceThatThrowsReachesTheCaller)
{
    // Out of memory in a piece on another thread must reach the import's
    // handler, not end the program: the lowest piece that threw is reported,
    // whatever the threads' timing, and every piece before it has run.
    for (int run = 0; run < 20; ++run) {
        std::vector<std::atomic<int>> ran(64);
        std::string caught;
        try {
            ParallelFor(ran.size(), [&](size_t i) {
                ran[i] = 1;
                if (i == 17 || i == 40 || i == 63)
                    throw std::runtime_error("piece " + std::to_string(i));
            });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        EXPECT_EQ(caught, "piece 17");
        for (size_t i = 0; i < 17; ++i)
            EXPECT_EQ(ran[i], 1) << i;
    }
}

TEST(ColladaNumbers, ListDecimalsAreTheCorrectlyRoundedFloats)
{
    // Decimals as exporters print floats, and the ones hardest to round:
    // values at and next to the halfway points between neighbouring floats
    // at every precision, long mantissas, the ends of the float range and
    // of the exact powers of ten, signed zeros and forms next to the plain one.
    std::string text;
    char buffer[64];
    auto add = [&](const char* format, double value) {
        std::snprintf(buffer, sizeof(buffer), format, value);
        text += buffer;
        text += ' ';
    };
    uint32_t seed = 2024;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        float f;
        const uint32_t bits = (seed & 0x80FFFFFFu) | ((uint32_t(seed >> 7) % 80u + 90u) << 23);
        std::memcpy(&f, &bits, 4);
        const double halfway = (double(f) + double(std::nextafter(f, 2 * f))) / 2;
        const char* const formats[] = {"%.6f", "%.9g", "%.17g", "%.12e", "%.20g", "%.3f"};
        add(formats[i % 6], (i % 12 < 6) ? double(f) : halfway);
        add("%.17g", std::nextafter(halfway, 0.0));
        add("%.17g", std::nextafter(halfway, 1e300));
    }
    const char* const edges[] = {
        "16777217",
        "16777219",
        "9007199254740993",
        "9007199254740992",
        "18446744073709551615",
        "123456789012345678901",
        "0.00000000000000000000000000001",
        "1e22",
        "1e23",
        "1e-22",
        "1.5e-23",
        "3.4028235e38",
        "3.4028236e38",
        "3.40282357e38",
        "1.17549435e-38",
        "1.1754942e-38",
        "1e-45",
        "-0",
        "-0.000",
        "0e99999",
        "5.",
        ".5",
        "-.5",
        "1e",
        "1e+",
        "2E+3",
        "2e-0003",
        "1.0e10000",
        "00000000000000000000000000001.5",
        "0.1",
        "-0.30000001192092896",
        "0.33333334",
        "1e-38",
        "1.0000000596046448",
    };
    for (const char* e : edges) {
        text += e;
        text += ",\n";
    }
    const std::vector<float> expected = FloatsOneByOne(text.c_str());
    std::vector<float> read;
    DAEParseFloatList(text.c_str(), read, 1);
    ASSERT_EQ(read.size(), expected.size());
    for (size_t i = 0; i < read.size(); ++i)
        ASSERT_EQ(std::memcmp(&read[i], &expected[i], 4), 0) << i;
}

TEST(ColladaNumbers, LongListsGiveTheSameArrayWhateverTheirCount)
{
    // More than a megabyte, so the parser reads it in pieces; the count
    // claims more values than the text holds, and one token is bad.
    std::string values = MixedList(200000) + " bad-token-at-the-end 1.5";
    ASSERT_GT(values.size(), size_t(1) << 20);
    const std::vector<float> expected = FloatsOneByOne(values.c_str());
    const std::string document = "<COLLADA><library_geometries><geometry id=\"g\"><mesh><source id=\"s\">"
                                 "<float_array id=\"big\" count=\"" +
                                 std::to_string(expected.size() + 3) + "\">" + values +
                                 "</float_array></source></mesh></geometry></library_geometries></COLLADA>";
    CLogCapture log;
    std::unique_ptr<CEl_Collada> loaded;
    ASSERT_TRUE(CDAEParser::LoadDocumentFromMemory("big.dae", document.data(), document.size(), loaded));
    const CEl_Collada* root = loaded.get();
    ASSERT_NE(root, nullptr);
    const auto* array = root->Index().Find<CEl_FloatArray>("#big", eMatchId, eCatArray, eEl_float_array);
    ASSERT_NE(array, nullptr);
    EXPECT_TRUE(SameFloats(array->Values(), expected));
    EXPECT_TRUE(log.Contains(eLogWarning, QString("WARNING: Array \"big\" claims %1 values but holds only %2.")
                                              .arg(expected.size() + 3)
                                              .arg(expected.size())));
}

// Decimal commas: read as meant where the count tells them from separators,
// and said to be ambiguous where it cannot.
TEST(ColladaNumbers, DecimalCommasAreToldFromSeparators)
{
    struct SCase {
        const char* text;
        size_t expected;
        EDAEDecimalCommas result;
    };
    const SCase cases[] = {
        {"0,000000", 1, eDAEDecimalCommas},    // 3ds Max's <transparency>
        {"0,000000", 0, eDAEDecimalCommas},    // one word, count unknown
        {"1,5 -2,25 3", 3, eDAEDecimalCommas}, // mixed with plain numbers
        {"1,5e-3 2,0", 2, eDAEDecimalCommas},  // with exponents
        {"1,5 2,5", 4, eDAENoDecimalCommas},   // the count says separators
        {"1,5 2,5", 3, eDAEAmbiguousCommas},   // neither count fits
        {"1,5 2,5", 0, eDAEAmbiguousCommas},   // no count to go by
        {"1,2,3", 3, eDAENoDecimalCommas},     // a comma-separated list
        {"1, 2, 3", 3, eDAENoDecimalCommas},   // commas beside spaces
        {"0.5 1.5", 2, eDAENoDecimalCommas},   // ordinary numbers
        {"", 0, eDAENoDecimalCommas},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(DAEDecimalCommas(c.text, c.expected), c.result) << "'" << c.text << "' expecting " << c.expected;
    std::vector<float> values;
    DAEParseFloatList(DAEDecimalCommasToPoints("1,5 -2,25 3").c_str(), values);
    EXPECT_EQ(values, std::vector<float>({1.5f, -2.25f, 3.0f}));
    EXPECT_EQ(DAEDecimalCommas(nullptr, 1), eDAENoDecimalCommas);
}
