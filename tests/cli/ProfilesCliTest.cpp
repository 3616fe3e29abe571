// Saved profiles on the command line: "profiles" lists them, "--profile"
// starts from one, before --options and --set.
#include <QDir>
#include <QFile>

#include "PrefsTest.h"
#include "common/TestSupport.h"
#include "options/Options.h"
#include "prefs/ZGXPreferences.h"

namespace {

class ProfilesCliTest : public CPrefsTest {
protected:
    // Saves profiles as the window does: the list, then each profile's
    // options under its escaped list entry.
    void SaveProfiles(const std::vector<std::pair<CZGXTString, COptionsData>>& profiles)
    {
        CZGXPreferences prefs("Meshwright");
        CZGXTString error;
        ASSERT_TRUE(prefs.Load(error)) << error;
        std::vector<CZGXTString> list;
        for (size_t i = 0; i < profiles.size(); ++i) {
            const CZGXTString entry = StrFormat("%d:%s", int(i), profiles[i].first.c_str());
            list.push_back(entry);
            ASSERT_TRUE(profiles[i].second.SaveToPreferences(
                prefs, ("Profiles//Custom/" + CZGXPreferences::EscapeKey(entry) + "/").c_str()));
        }
        prefs.WriteStringArray("Profiles//Custom/List/", list);
        ASSERT_TRUE(prefs.Save());
    }
    static COptionsData Mobile()
    {
        COptionsData o;
        o.SetBool(opt::bExportSkin, true);
        o.SetUInt(opt::uiBoneLimit, 30);
        o.SetString(opt::sMergeSrc, "from the profile");
        return o;
    }
    static bool HasLine(const QString& text, const QString& line)
    {
        return text.split(QLatin1Char('\n')).contains(line);
    }
};

TEST_F(ProfilesCliTest, ListsSavedProfileNames)
{
    COptionsData plain;
    SaveProfiles({{"Mobile", Mobile()}, {"a/b", plain}, {"Desk", plain}, {"Mobile", plain}});
    const SCliResult r = RunCli({QStringLiteral("profiles")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    // A second profile of one name is told apart by its list entry.
    EXPECT_EQ(r.out, QStringLiteral("Mobile\na/b\nDesk\n3:Mobile\n"));

    // A name with "/" is one key below Custom, not two levels.
    CZGXPreferences prefs("Meshwright");
    CZGXTString error;
    ASSERT_TRUE(prefs.Load(error)) << error;
    EXPECT_EQ(prefs.TypeOf("Profiles/Custom/1:a%2Fb"), ePrefDict);
    EXPECT_FALSE(prefs.HasKey("Profiles/Custom/1:a"));
}

TEST_F(ProfilesCliTest, ProfileComesBeforeOptionsAndSet)
{
    SaveProfiles({{"Mobile", Mobile()}, {"a/b", COptionsData()}});
    const SCliResult r = RunCli({QStringLiteral("options"), QStringLiteral("--profile"), QStringLiteral("Mobile"),
                                 QStringLiteral("--set"), QStringLiteral("uiBoneLimit=12")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(HasLine(r.out, QStringLiteral("bExportSkin=1")));
    EXPECT_TRUE(HasLine(r.out, QStringLiteral("sMergeSrc=from the profile")));
    EXPECT_TRUE(HasLine(r.out, QStringLiteral("uiBoneLimit=12")));

    const QString file = TempPath(QStringLiteral("limit.cfg"));
    ASSERT_TRUE(WriteFileBytes(file.toStdString(), "uiBoneLimit=20\n"));
    const SCliResult f =
        RunCli({QStringLiteral("options"), QStringLiteral("--from"), file, QStringLiteral("--profile=Mobile")});
    ASSERT_EQ(f.exitCode, 0) << f.err.toStdString();
    EXPECT_TRUE(HasLine(f.out, QStringLiteral("uiBoneLimit=20")));
    EXPECT_TRUE(HasLine(f.out, QStringLiteral("bExportSkin=1")));

    // The name with a slash, and a list entry, pick their profiles.
    const SCliResult s = RunCli({QStringLiteral("options"), QStringLiteral("--profile"), QStringLiteral("a/b")});
    ASSERT_EQ(s.exitCode, 0) << s.err.toStdString();
    EXPECT_EQ(s.out.toStdString(), COptionsData().ToText());
    const SCliResult e = RunCli({QStringLiteral("options"), QStringLiteral("--profile"), QStringLiteral("0:Mobile")});
    ASSERT_EQ(e.exitCode, 0) << e.err.toStdString();
    EXPECT_EQ(e.out.toStdString(), Mobile().ToText());
}

TEST_F(ProfilesCliTest, ConvertTakesAProfileAndRejectsAnUnknownOne)
{
    SaveProfiles({{"Mobile", Mobile()}, {"Desk", COptionsData()}});
    const QString output = TempPath(QStringLiteral("out.qef"));
    const QString input = QString::fromStdString(ExamplePath("textured_box.dae"));

    const SCliResult unknown = RunCli({QStringLiteral("convert"), input, QStringLiteral("-o"), output,
                                       QStringLiteral("--profile"), QStringLiteral("Tablet")});
    EXPECT_EQ(unknown.exitCode, 64);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("unknown profile 'Tablet'; saved profiles: 'Mobile', 'Desk'")))
        << unknown.err.toStdString();

    const SCliResult missingName = RunCli({QStringLiteral("convert"), input, QStringLiteral("--profile")});
    EXPECT_EQ(missingName.exitCode, 64);

    const SCliResult known = RunCli({QStringLiteral("convert"), input, QStringLiteral("-o"), output,
                                     QStringLiteral("--profile"), QStringLiteral("Mobile")});
    EXPECT_NE(known.exitCode, 64) << known.err.toStdString();
    EXPECT_FALSE(known.err.contains(QStringLiteral("profile"))) << known.err.toStdString();
}

TEST_F(ProfilesCliTest, ProfilesWithoutOptionsAndStoresWithoutProfiles)
{
    // No store at all: no profiles, and none is created by asking.
    const SCliResult none = RunCli({QStringLiteral("profiles")});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(none.out, QString());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(StoreFile("Meshwright"))));
    const SCliResult unknown = RunCli({QStringLiteral("options"), QStringLiteral("--profile"), QStringLiteral("X")});
    EXPECT_EQ(unknown.exitCode, 64);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("no profiles are saved"))) << unknown.err.toStdString();

    // A listed profile whose options are gone is skipped with a warning.
    SaveProfiles({{"Mobile", Mobile()}, {"Gone", COptionsData()}});
    {
        CZGXPreferences prefs("Meshwright");
        CZGXTString error;
        ASSERT_TRUE(prefs.Load(error)) << error;
        ASSERT_EQ(prefs.RemoveKey("Profiles//Custom/1:Gone"), ePrefDone);
        ASSERT_TRUE(prefs.Save());
    }
    const SCliResult r = RunCli({QStringLiteral("profiles")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, QStringLiteral("Mobile\n"));
    EXPECT_TRUE(r.err.contains(QStringLiteral("profile 1:Gone has no stored options"))) << r.err.toStdString();

    // A damaged store is reported, not replaced.
    InstallFixture("two_keys.plist", "Meshwright");
    const SCliResult damaged = RunCli({QStringLiteral("profiles")});
    EXPECT_EQ(damaged.exitCode, 1);
    EXPECT_TRUE(damaged.err.contains(QStringLiteral("ERROR: Key missing value on line: 6")))
        << damaged.err.toStdString();
    EXPECT_EQ(ReadFileBytes(StoreFile("Meshwright")), ReadFileBytes(TestDataPath("prefs/two_keys.plist")));
}

TEST_F(ProfilesCliTest, NamesStoredBeforeEscapingAreStillFound)
{
    // An older store kept "a/b" as two levels below Custom.
    CZGXPreferences prefs("Meshwright");
    CZGXTString error;
    ASSERT_TRUE(prefs.Load(error)) << error;
    ASSERT_TRUE(Mobile().SaveToPreferences(prefs, "Profiles//Custom/0:a/b/"));
    prefs.WriteStringArray("Profiles//Custom/List/", {"0:a/b"});
    ASSERT_TRUE(prefs.Save());
    const SCliResult r = RunCli({QStringLiteral("options"), QStringLiteral("--profile"), QStringLiteral("a/b")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.toStdString(), Mobile().ToText());
}

} // namespace

// A conversion with a saved profile depends on the store that holds it.
TEST_F(ProfilesCliTest, DepfileNamesTheProfileStore)
{
    SaveProfiles({{"Mobile", Mobile()}});
    const QString output = TempPath(QStringLiteral("out.qef"));
    const QString depfile = TempPath(QStringLiteral("out.d"));
    const SCliResult r = RunCli({QStringLiteral("convert"), QString::fromStdString(ExamplePath("textured_box.dae")),
                                 QStringLiteral("-o"), output, QStringLiteral("--profile"), QStringLiteral("Mobile"),
                                 QStringLiteral("--depfile"), depfile});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_NE(ReadFileBytes(depfile.toStdString()).find(StoreFile("Meshwright")), std::string::npos)
        << ReadFileBytes(depfile.toStdString());
}
