#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "TestSupport.h"
#include "options/Options.h"

TEST(CommandLine, HelpAndVersion)
{
    SCliResult help = RunCli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("convert INPUT.dae"));
    EXPECT_TRUE(help.out.contains("Exit status"));
    SCliResult version = RunCli({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith("meshwright-cli 2.12"));
}

TEST(CommandLine, UsageErrors)
{
    QTemporaryDir dir;
    const QString junkOptions = dir.path() + "/junk.txt";
    WriteFileBytes(junkOptions.toStdString(), "nothing=here\n");
    struct { QStringList args; const char* mentions; } cases[] = {
        {{}, "no command"},
        {{"frobnicate"}, "frobnicate"},
        {{"convert"}, "input"},
        {{"convert", "a.dae", "b.dae"}, "b.dae"},
        {{"convert", "a.dae", "--bogus"}, "--bogus"},
        {{"convert", "a.dae", "-o"}, "-o"},
        {{"convert", "a.dae", "--set", "bNoSuchOption=1"}, "bNoSuchOption=1"},
        {{"convert", "a.dae", "--set", "bMerge"}, "bMerge"},
        {{"convert", "a.dae", "--set", "bMerge="}, "bMerge="},
        {{"convert", "a.dae", "--options", junkOptions}, "no options recognised"},
        {{"convert", "a.dae", "--options", dir.path() + "/missing.cfg"}, "cannot read"},
        {{"options", "--set", "sVcOptCol.bogus=1"}, "sVcOptCol.bogus=1"},
    };
    for (const auto& c : cases) {
        SCliResult r = RunCli(c.args);
        EXPECT_EQ(r.exitCode, 64) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.mentions)) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("Usage:"));
    }
}

TEST(CommandLine, ConvertReportsInputProblemsWithTheirCodes)
{
    QTemporaryDir dir;
    SCliResult missing = RunCli({"convert", dir.path() + "/missing.dae"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("no file at")) << missing.err.toStdString();

    const QString xml = dir.path() + "/scene.dae.xml";
    WriteFileBytes(xml.toStdString(), "<COLLADA/>");
    SCliResult notCollada = RunCli({"convert", xml});
    EXPECT_EQ(notCollada.exitCode, 5);
    EXPECT_TRUE(notCollada.err.contains("not a Collada")) << notCollada.err.toStdString();

    const QString broken = dir.path() + "/broken.dae";
    WriteFileBytes(broken.toStdString(), "<COLLADA><unclosed>");
    SCliResult bad = RunCli({"convert", broken});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(bad.err.contains("error: ")) << bad.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.path() + "/broken.qef"));
}

TEST(CommandLine, OptionsPrintsTheText)
{
    SCliResult defaults = RunCli({"options"});
    EXPECT_EQ(defaults.exitCode, 0);
    EXPECT_EQ(defaults.out.toStdString(), COptionsData().ToText());

    // --set lines apply in order and accept legacy names.
    SCliResult changed = RunCli({"options", "--set", "exportGeom=0", "--set", "uiBoneLimit=12",
                                 "--set=uiBoneLimit=24", "--set", "sClPostArgs=a=b c"});
    EXPECT_EQ(changed.exitCode, 0) << changed.err.toStdString();
    EXPECT_TRUE(changed.out.contains("\nbExportGeometry=0\n"));
    EXPECT_TRUE(changed.out.contains("\nuiBoneLimit=24\n"));
    EXPECT_TRUE(changed.out.contains("\nsClPostArgs=a=b c\n"));

    // The printed text is a profile file that reads back the same.
    QTemporaryDir dir;
    const QString profile = dir.path() + "/profile.txt";
    WriteFileBytes(profile.toStdString(), changed.out.toStdString());
    SCliResult reread = RunCli({"options", "--from", profile});
    EXPECT_EQ(reread.exitCode, 0);
    EXPECT_EQ(reread.out, changed.out);
}
