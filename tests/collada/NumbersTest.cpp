#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "collada/DAENumbers.h"
#include "collada/DAEObject.h"

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
    // at every length and alignment the word-wise counter meets.
    const char alphabet[] = " ,\t\n\r\v\f0123456789-.e\x80\xa0\xff\x8c\x89\x20";
    uint32_t seed = 12345;
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int length = round % 70;
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
