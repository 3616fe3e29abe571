#include <gtest/gtest.h>

#include "options/Options.h"

TEST(OptionsRecord, FreshRecordHoldsTheDefaults)
{
    COptionsData o;
    const bool expectedBools[opt::eBoolCount] = {0, 1, 1, 1, 0, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0};
    for (int i = 0; i < opt::eBoolCount; ++i)
        EXPECT_EQ(o.GetBool(i), expectedBools[i]) << o.BoolSlot(i).pszName;
    EXPECT_EQ(o.GetFloat(opt::fTangentSpaceVtxSplit), 0.0f);
    EXPECT_EQ(o.GetExpFormat(), 0);
    EXPECT_EQ(o.GetCS(), 2);
    EXPECT_EQ(o.GetTriSort(), 1);
    EXPECT_EQ(o.GetPrimType(), 0);
    for (int i = 0; i < opt::eStringCount; ++i)
        EXPECT_TRUE(o.GetString(i).empty());
    EXPECT_EQ(o.GetUInt(opt::uiStaticFrame), 0u);
    EXPECT_EQ(o.GetUInt(opt::uiBoneLimit), 9u);
    EXPECT_EQ(o.GetUInt(opt::uiPadDataTo), 4u);
    EXPECT_EQ(o.GetUInt(opt::uiTSUseUVW), 0u);

    struct {
        int a;
        bool exp;
        int type;
        int enable;
        const char* name;
        const char* key;
    } vtx[] = {
        {eVAPosition, 1, 1, 135, "sVcOptPos", "/Position"},
        {eVANormal, 1, 1, 135, "sVcOptNor", "/Normal"},
        {eVATangent, 1, 1, 135, "sVcOptTan", "/Tangent"},
        {eVABinormal, 1, 1, 135, "sVcOptBin", "/Binormal"},
        {eVAColour, 0, 5, 15, "sVcOptCol", "/Colour"},
        {eVABoneIndices, 1, 10, 15, "sVcOptBoneInd", "/BoneIndices"},
        {eVABoneWeights, 1, 1, 15, "sVcOptBoneWt", "/BoneWeights"},
        {eVAUVW0, 1, 1, 131, "psVcOptUVW[0]", "/UVW0"},
        {eVAUVW7, 0, 1, 131, "psVcOptUVW[7]", "/UVW7"},
    };
    for (const auto& v : vtx) {
        EXPECT_EQ(o.GetExport(v.a), v.exp) << v.name;
        EXPECT_EQ(o.GetType(v.a), v.type) << v.name;
        EXPECT_EQ(o.GetEnable(v.a), v.enable) << v.name;
        EXPECT_STREQ(o.VertexName(v.a).pszName, v.name);
        EXPECT_STREQ(o.VertexName(v.a).pszKey, v.key);
    }
    EXPECT_STREQ(o.BoolSlot(opt::bSortVertices).pszLegacyName, "bSortVtx");
    EXPECT_STREQ(o.BoolSlot(opt::bExportModelSpace).pszKey, "/ExportModelSpace");
    EXPECT_STREQ(o.UIntSlot(opt::uiBoneLimit).pszLegacyName, "dwBoneLimit");
    EXPECT_STREQ(o.StringSlot(opt::sMergeSrc).pszLegacyName, "m_sMergeSrc");
    EXPECT_STREQ(o.TriSortSlot().pszKey, "/TriangleSort");
}

TEST(OptionsRecord, AutomaticOptimisationRule)
{
    COptionsData o;
    o.SetPrimType(ePrimTriangleStrip);
    EXPECT_EQ(o.GetTriSort(), eTriSortTriStrip);
    o.SetPrimType(ePrimTriangleList);
    EXPECT_EQ(o.GetTriSort(), eTriSortGeometry);

    o.SetBool(opt::bIndexed, false);
    EXPECT_FALSE(o.GetBool(opt::bSortVertices)) << "bSortVertices follows bIndexed";

    // With custom settings on, the user's choices stay.
    o.SetBool(opt::bUseCustomOptSettings, true);
    o.SetTriSort(eTriSortNone);
    o.SetBool(opt::bSortVertices, true);
    o.SetPrimType(ePrimTriangleStrip);
    o.SetBool(opt::bIndexed, true);
    EXPECT_EQ(o.GetTriSort(), eTriSortNone);
    EXPECT_TRUE(o.GetBool(opt::bSortVertices));

    // Switching custom settings off re-derives both at once.
    o.SetBool(opt::bIndexed, false);
    o.SetBool(opt::bUseCustomOptSettings, false);
    EXPECT_EQ(o.GetTriSort(), eTriSortTriStrip);
    EXPECT_FALSE(o.GetBool(opt::bSortVertices));
}

TEST(OptionsRecord, CopyMasksVertexFormats)
{
    COptionsData o;
    o.SetEnable(eVAColour, 255);
    o.SetEnable(eVAPosition, 255);
    EXPECT_EQ(o.GetEnable(eVAColour), 255) << "setters store unchanged";
    COptionsData copy(o);
    EXPECT_EQ(copy.GetEnable(eVAColour), 15);
    EXPECT_EQ(copy.GetEnable(eVAPosition), 143);
    COptionsData assigned;
    assigned = o;
    EXPECT_EQ(assigned.GetEnable(eVABoneWeights), 15);
    EXPECT_EQ(assigned.GetEnable(eVAColour), 15);
}

TEST(OptionsRecord, EqualityIgnoresOutputPathAndSeesEveryValue)
{
    COptions a, b;
    a.SetOutputPath("/tmp/a.qef");
    b.SetOutputPath("/tmp/b.qef");
    EXPECT_TRUE(a == b);

    b.SetString(opt::sScriptFile, "Script.lua");
    EXPECT_TRUE(a != b);
    b = a;
    EXPECT_EQ(b.OutputPath(), "/tmp/a.qef");
    EXPECT_TRUE(a == b);
    b.SetFloat(opt::fTangentSpaceVtxSplit, 0.001f);
    EXPECT_FALSE(a == b);
    b = a;
    b.SetType(eVAUVW3, 3);
    EXPECT_FALSE(a == b);

    // Assigning to the base part copies only the options.
    COptionsData base;
    base = a;
    EXPECT_TRUE(base == a);
}

TEST(OptionsRecord, ResetClearsOutputPath)
{
    COptions o;
    o.SetOutputPath("x.qef");
    o.SetBool(opt::bMerge, true);
    o.ResetToDefaults();
    EXPECT_TRUE(o.OutputPath().empty());
    EXPECT_TRUE(o == COptions());
}
