#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <functional>

#include "TestSupport.h"
#include "options/Options.h"

TEST(OptionsText, DefaultTextLayout)
{
    COptionsData o;
    const CZGXTString text = o.ToText();
    EXPECT_EQ(text.rfind("bFlipTextureV=0\nbIndexed=1\nbInterleaved=1\n", 0), 0u);
    EXPECT_NE(text.find("\nfTangentSpaceVtxSplit=0.00\neExpFormat=0\ncS=2\neTriSort=1\nePrimType=0\nsClPostTarget=\n"),
              CZGXTString::npos);
    EXPECT_NE(text.find("\nuiStaticFrame=0\nuiBoneLimit=9\nuiPadDataTo=4\nuiTSUseUVW=0\n"
                        "sVcOptPos.bExport=1\nsVcOptPos.eType=1\nsVcOptPos.nEnable=135\n"),
              CZGXTString::npos);
    const char* last = "psVcOptUVW[7].nEnable=131\n";
    EXPECT_EQ(text.compare(text.size() - strlen(last), CZGXTString::npos, last), 0);
    EXPECT_EQ(text.find('\r'), CZGXTString::npos);
    size_t lines = 0;
    for (char c : text)
        lines += (c == '\n');
    EXPECT_EQ(lines, 82u);
}

TEST(OptionsText, RoundTripCounts)
{
    COptionsData defaults;
    COptionsData fromDefault;
    EXPECT_EQ(fromDefault.FromText(defaults.ToText()), 76) << "empty strings are skipped";
    EXPECT_TRUE(fromDefault == defaults);

    COptionsData full;
    for (int i = 0; i < opt::eStringCount; ++i)
        full.SetString(i, "value " + std::to_string(i));
    full.SetBool(opt::bTangentSpace, true);
    full.SetFloat(opt::fTangentSpaceVtxSplit, -0.256f);
    full.SetUInt(opt::uiStaticFrame, 4294967295u);
    full.SetType(eVAUVW2, 7);
    full.SetExport(eVAUVW2, true);
    full.SetCS(eCSDirectX);
    COptionsData read;
    EXPECT_EQ(read.FromText(full.ToText()), 82);
    EXPECT_FLOAT_EQ(read.GetFloat(opt::fTangentSpaceVtxSplit), -0.26f) << "two decimals survive";
    read.SetFloat(opt::fTangentSpaceVtxSplit, full.GetFloat(opt::fTangentSpaceVtxSplit));
    EXPECT_TRUE(read == full);
    EXPECT_EQ(read.GetUInt(opt::uiStaticFrame), 4294967295u);
}

TEST(OptionsText, EmptyStringLineKeepsAnExistingString)
{
    COptionsData o;
    o.SetString(opt::sMergeSrc, "keep.qef");
    EXPECT_EQ(o.FromText("sMergeSrc=\n"), 0);
    EXPECT_EQ(o.GetString(opt::sMergeSrc), "keep.qef");
}

struct SFromTextCase {
    const char* name;
    const char* text;
    int count;
    std::function<void(const COptionsData&)> check;
};

void PrintTo(const SFromTextCase& c, std::ostream* os)
{
    *os << c.name;
}

class FromTextCases : public ::testing::TestWithParam<SFromTextCase> {};

TEST_P(FromTextCases, Reads)
{
    const SFromTextCase& c = GetParam();
    COptionsData o;
    EXPECT_EQ(o.FromText(c.text), c.count);
    c.check(o);
}

INSTANTIATE_TEST_SUITE_P(
    Options, FromTextCases,
    ::testing::Values(SFromTextCase{"LegacyNameClearsGeometry", "exportGeom=0", 1,
                                    [](const COptionsData& o) {
                                        EXPECT_FALSE(o.GetBool(opt::bExportGeometry));
                                        EXPECT_FALSE(o.GetBool(opt::bUseCustomOptSettings));
                                    }},
                      SFromTextCase{"OldTextKeepsItsSortingChoices", "bIndexed=0\nbSortVertices=1\n", 2,
                                    [](const COptionsData& o) {
                                        EXPECT_TRUE(o.GetBool(opt::bUseCustomOptSettings));
                                        EXPECT_FALSE(o.GetBool(opt::bIndexed));
                                        EXPECT_TRUE(o.GetBool(opt::bSortVertices));
                                    }},
                      SFromTextCase{"CustomLineAppliesTheRule",
                                    "bIndexed=0\nbSortVertices=1\nbUseCustomOptSettings=0\n", 3,
                                    [](const COptionsData& o) {
                                        EXPECT_FALSE(o.GetBool(opt::bUseCustomOptSettings));
                                        EXPECT_FALSE(o.GetBool(opt::bSortVertices));
                                    }},
                      SFromTextCase{"ColourMaskIsApplied", "sVcOptCol.nEnable=255", 1,
                                    [](const COptionsData& o) { EXPECT_EQ(o.GetEnable(eVAColour), 15); }},
                      SFromTextCase{"AttributeFieldMissingOrUnknown", "sVcOptCol.=1\nsVcOptCol.bExpor=1\nsVcOptCol=1\n",
                                    0, [](const COptionsData& o) { EXPECT_FALSE(o.GetExport(eVAColour)); }},
                      SFromTextCase{"CaseMattersAndBlanksBelongToTheKey", "bflipTextureV=1\nbFlipTextureV =1\n", 0,
                                    [](const COptionsData& o) { EXPECT_FALSE(o.GetBool(opt::bFlipTextureV)); }},
                      SFromTextCase{"LegacyAttributeKeys", "exportNormals=0\nexportVertexColor=1\n", 2,
                                    [](const COptionsData& o) {
                                        EXPECT_FALSE(o.GetExport(eVANormal));
                                        EXPECT_TRUE(o.GetExport(eVAColour));
                                    }},
                      SFromTextCase{"DecimalConversionLikeC",
                                    "uiBoneLimit=  +32abc\ncS=x\nfTangentSpaceVtxSplit=-0.5e0z\n", 3,
                                    [](const COptionsData& o) {
                                        EXPECT_EQ(o.GetUInt(opt::uiBoneLimit), 32u);
                                        EXPECT_EQ(o.GetCS(), 0);
                                        EXPECT_FLOAT_EQ(o.GetFloat(opt::fTangentSpaceVtxSplit), -0.5f);
                                    }},
                      SFromTextCase{"CarriageReturnStaysInAString", "sClPostArgs=a b\r\nbMerge=1\r\n", 2,
                                    [](const COptionsData& o) {
                                        EXPECT_EQ(o.GetString(opt::sClPostArgs), "a b\r");
                                        EXPECT_TRUE(o.GetBool(opt::bMerge));
                                    }},
                      SFromTextCase{"StripsSwitchTheTriangleSort", "ePrimType=1", 1,
                                    [](const COptionsData& o) { EXPECT_EQ(o.GetTriSort(), eTriSortTriStrip); }},
                      SFromTextCase{"HugeNumbersDoNotOverflow",
                                    "uiStaticFrame=99999999999999999999999\neExpFormat=-99999999999999999\n", 2,
                                    [](const COptionsData& o) {
                                        EXPECT_EQ(o.GetUInt(opt::uiStaticFrame), 0xFFFFFFFFu);
                                        EXPECT_NE(o.GetExpFormat(), 0);
                                    }},
                      SFromTextCase{"NoEqualsOrEmptyKeyIgnored", "bMerge\n=1\n\n\n", 0,
                                    [](const COptionsData& o) { EXPECT_FALSE(o.GetBool(opt::bMerge)); }},
                      SFromTextCase{"EmptyText", "", 0, [](const COptionsData&) {}}),
    [](const ::testing::TestParamInfo<SFromTextCase>& test) { return std::string(test.param.name); });

class OptionsFiles : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& bytes)
    {
        const std::string path = dir.path().toStdString() + "/" + name;
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        return path;
    }
    QTemporaryDir dir;
};

TEST_F(OptionsFiles, HeaderMarkerBlock)
{
    const std::string block = "\tExpOpt{\n"
                              "bFlipTextureV=1\n"
                              "uiBoneLimit=20\n"
                              "\t}ExpOpt\n";
    COptionsData a;
    EXPECT_EQ(a.LoadFromFile(Write("scene.h", "/*\n" + block + "*/\nconst int x = 0;\nbMerge=1\n").c_str()), 2);
    EXPECT_TRUE(a.GetBool(opt::bFlipTextureV));
    EXPECT_FALSE(a.GetBool(opt::bMerge)) << "lines outside the block are not options";
    EXPECT_EQ(a.GetUInt(opt::uiBoneLimit), 20u);

    COptionsData crlf;
    EXPECT_EQ(crlf.LoadFromFile(Write("crlf.H", "\tExpOpt{\r\nbFlipTextureV=1\r\n\t}ExpOpt\r\n").c_str()), 1);
    EXPECT_TRUE(crlf.GetBool(opt::bFlipTextureV));

    COptionsData noStart, noEnd;
    EXPECT_EQ(noStart.LoadFromFile(Write("nostart.h", "bFlipTextureV=1\n\t}ExpOpt\n").c_str()), 0);
    EXPECT_EQ(noEnd.LoadFromFile(Write("noend.h", "\tExpOpt{\nbFlipTextureV=1\n").c_str()), 0);
    EXPECT_FALSE(noEnd.GetBool(opt::bFlipTextureV));
}

TEST_F(OptionsFiles, ProfileTextAndOtherExtensions)
{
    COptionsData saved;
    saved.SetBool(opt::bTangentSpace, true);
    saved.SetString(opt::sPathToVistrel, "/opt/viewer");
    const std::string path = dir.path().toStdString() + "/profile.cfg";
    ASSERT_TRUE(saved.SaveToFile(path.c_str()));
    COptionsData loaded;
    EXPECT_EQ(loaded.LoadFromFile(path.c_str()), 77);
    EXPECT_TRUE(loaded == saved);

    COptionsData o;
    EXPECT_EQ(o.LoadFromFile(Write("noext", "bMerge=1\n").c_str()), 0);
    EXPECT_EQ(o.LoadFromFile(Write("store.plist", "bMerge=1\n").c_str()), 0);
    EXPECT_EQ(o.LoadFromFile(Write("empty.txt", "").c_str()), 0);
    EXPECT_EQ(o.LoadFromFile((dir.path() + "/missing.txt").toUtf8().constData()), 0);
    EXPECT_EQ(o.LoadFromFile(nullptr), 0);
    EXPECT_EQ(o.LoadFromFile(Write("junk.qef", "not a scene file").c_str()), 0);

    // Only the first 10239 bytes of a plain file are read.
    std::string big(10235, '\n');
    big += "bMerge=1\n";
    EXPECT_EQ(o.LoadFromFile(Write("long.txt", big).c_str()), 0);
    EXPECT_FALSE(o.GetBool(opt::bMerge));
}

TEST_F(OptionsFiles, SaveFailsCleanly)
{
    COptionsData o;
    EXPECT_FALSE(o.SaveToFile(nullptr));
    EXPECT_FALSE(o.SaveToFile((dir.path() + "/no/such/folder/p.txt").toUtf8().constData()));
}
