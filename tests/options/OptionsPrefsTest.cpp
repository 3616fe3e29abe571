// Options in the preference store: the keys and types under a prefix, and
// a record saved and loaded again.
#include "PrefsTest.h"
#include "common/TestSupport.h"
#include "options/Options.h"
#include "prefs/ZGXPreferences.h"

namespace {

// Every value away from its default, strings included.
COptionsData ChangedOptions()
{
    COptionsData o;
    for (int i = 0; i < opt::eBoolCount; ++i)
        o.SetBool(i, !o.GetBool(i));
    o.SetBool(opt::bUseCustomOptSettings, true);
    o.SetBool(opt::bSortVertices, false);
    o.SetFloat(opt::fTangentSpaceVtxSplit, -0.375f);
    o.SetExpFormat(eExpFormatHeader);
    o.SetCS(eCSDirectX);
    o.SetPrimType(ePrimTriangleStrip);
    o.SetTriSort(eTriSortNone);
    for (int i = 0; i < opt::eStringCount; ++i)
        o.SetString(i, StrFormat("C:/path %d/<&>\xC3\xA9", i));
    o.SetUInt(opt::uiStaticFrame, 4000000000u); // beyond a signed 32-bit number
    o.SetUInt(opt::uiBoneLimit, 30);
    o.SetUInt(opt::uiPadDataTo, 2);
    o.SetUInt(opt::uiTSUseUVW, 7);
    for (int a = 0; a < eVACount; ++a) {
        o.SetExport(a, !o.GetExport(a));
        o.SetType(a, (a % 17) + 1);
        o.SetEnable(a, 3);
    }
    return o;
}

class OptionsPrefsTest : public CPrefsTest {
protected:
    void Load(CZGXPreferences& prefs)
    {
        CZGXTString error;
        ASSERT_TRUE(prefs.Load(error)) << error;
    }
};

TEST_F(OptionsPrefsTest, CurrentOptionsLiveUnderTheirKeys)
{
    CZGXPreferences prefs("Meshwright");
    Load(prefs);
    const COptionsData defaults;
    ASSERT_TRUE(defaults.SaveToPreferences(prefs, "Profiles/[Current]/"));
    EXPECT_FALSE(prefs.IsDirty()) << "the store is saved";

    const std::pair<const char*, int> keys[] = {
        {"Profiles/[Current]//FlipTextureV", ePrefFalse},
        {"Profiles/[Current]//Indexed", ePrefTrue},
        {"Profiles/[Current]//fTangentSpaceVtxSplit", ePrefReal},
        {"Profiles/[Current]//ExportFormat", ePrefInteger},
        {"Profiles/[Current]//CS", ePrefInteger},
        {"Profiles/[Current]//TriangleSort", ePrefInteger},
        {"Profiles/[Current]//PrimitiveType", ePrefInteger},
        {"Profiles/[Current]//MergeSrc", ePrefString},
        {"Profiles/[Current]//BoneLimit", ePrefInteger},
        {"Profiles/[Current]//Position/Export", ePrefTrue},
        {"Profiles/[Current]//Position/DataType", ePrefInteger},
        {"Profiles/[Current]//Position/Enable", ePrefInteger},
        {"Profiles/[Current]//UVW7/Enable", ePrefInteger},
    };
    for (const auto& [key, type] : keys)
        EXPECT_EQ(prefs.TypeOf(key), type) << key;
    int32_t n = 0;
    EXPECT_TRUE(prefs.ReadInt("Profiles/[Current]//Position/Enable", n));
    EXPECT_EQ(n, 135);
    EXPECT_TRUE(prefs.ReadInt("Profiles/[Current]//BoneLimit", n));
    EXPECT_EQ(n, 9);

    // On disk: Profiles > [Current] > one entry per option, nothing else.
    const std::string file = ReadFileBytes(StoreFile("Meshwright"));
    EXPECT_NE(file.find("<key>Profiles</key>\n\t\t<dict>\n\t\t\t<key>[Current]</key>\n\t\t\t<dict>\n"
                        "\t\t\t\t<key>FlipTextureV</key>\n\t\t\t\t<false />"),
              std::string::npos)
        << file;
    EXPECT_NE(file.find("<key>fTangentSpaceVtxSplit</key>\n\t\t\t\t<real>0</real>"), std::string::npos);
    EXPECT_NE(file.find("<key>MergeSrc</key>\n\t\t\t\t<string></string>"), std::string::npos);
}

TEST_F(OptionsPrefsTest, SavedAndLoadedUnderAPrefixEqualsTheOriginal)
{
    const COptionsData original = ChangedOptions();
    {
        CZGXPreferences prefs("Meshwright");
        Load(prefs);
        ASSERT_TRUE(original.SaveToPreferences(prefs, "Profiles//Custom/0:Mobile/"));
        ASSERT_TRUE(COptionsData().SaveToPreferences(prefs, "Profiles/[Current]/"));
    }
    CZGXPreferences prefs("Meshwright");
    Load(prefs);
    COptionsData loaded;
    ASSERT_TRUE(loaded.LoadFromPreferences(prefs, "Profiles//Custom/0:Mobile/"));
    EXPECT_EQ(loaded.ToText(), original.ToText());
    EXPECT_TRUE(loaded == original);

    // The other prefix holds its own record.
    COptionsData current = ChangedOptions();
    current.LoadFromPreferences(prefs, "Profiles/[Current]/");
    EXPECT_TRUE(current == COptionsData());
}

TEST_F(OptionsPrefsTest, MissingOrMistypedKeysLeaveValuesUnchanged)
{
    CZGXPreferences prefs("Meshwright");
    Load(prefs);
    prefs.WriteString("P//BoneLimit", "not a number");
    prefs.WriteInt("P//FlipTextureV", 1);
    prefs.WriteInt("P//Colour/Enable", 255);
    const COptionsData changed = ChangedOptions();
    COptionsData options = changed;
    options.LoadFromPreferences(prefs, "P/");
    // Only the colour mask was read, and it is masked as any loaded record.
    EXPECT_EQ(options.GetEnable(eVAColour), 15);
    options.SetEnable(eVAColour, changed.GetEnable(eVAColour));
    EXPECT_TRUE(options == changed);
    EXPECT_EQ(options.GetUInt(opt::uiBoneLimit), 30u);
}

TEST_F(OptionsPrefsTest, LoadingAppliesTheAutomaticOptimisationRule)
{
    CZGXPreferences prefs("Meshwright");
    Load(prefs);
    prefs.WriteBool("P//UseCustomOptSettings", false);
    prefs.WriteBool("P//Indexed", false);
    prefs.WriteBool("P//SortVertices", true);
    prefs.WriteInt("P//PrimitiveType", ePrimTriangleStrip);
    prefs.WriteInt("P//TriangleSort", eTriSortNone);
    COptionsData options;
    options.LoadFromPreferences(prefs, "P/");
    EXPECT_FALSE(options.GetBool(opt::bSortVertices));
    EXPECT_EQ(options.GetTriSort(), eTriSortTriStrip);
}

TEST_F(OptionsPrefsTest, SavingIntoAStoreThatIsNotLoadedFails)
{
    CZGXPreferences prefs("Meshwright");
    EXPECT_FALSE(COptionsData().SaveToPreferences(prefs, "Profiles/[Current]/"));
}

} // namespace
