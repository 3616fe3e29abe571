#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <functional>

#include <sys/resource.h>
#include <unistd.h>

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
    struct {
        QStringList args;
        const char* mentions;
    } cases[] = {
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
    SCliResult changed = RunCli({"options", "--set", "exportGeom=0", "--set", "uiBoneLimit=12", "--set=uiBoneLimit=24",
                                 "--set", "sClPostArgs=a=b c"});
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

namespace {

// In the child: files may not grow past 4 KiB (a disk that fills up), and a
// write past that fails instead of ending the program.
void SmallDisk()
{
    const rlimit limit = {4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    signal(SIGXFSZ, SIG_IGN);
}

} // namespace

TEST(CommandLine, OutputProblemsAndThePostExportRule)
{
    QTemporaryDir dir;
    const QString input = QString::fromStdString(ExamplePath("textured_box.dae"));
    ASSERT_TRUE(QDir(dir.path()).mkpath("folder.qef"));
    // A folder no one may write to: root may write anywhere on disk, but not
    // create files in /proc.
    ASSERT_TRUE(QDir(dir.path()).mkpath("readonly"));
    ASSERT_TRUE(QFile::setPermissions(dir.path() + "/readonly", QFile::ReadOwner | QFile::ExeOwner));
    const QString readOnly = geteuid() == 0 ? QStringLiteral("/proc") : dir.path() + "/readonly";
    // An options file from someone else that names a command; it fails to
    // start at once and says so, which shows whether a start was tried.
    const QString named = dir.path() + "/named.txt";
    WriteFileBytes(named.toStdString(),
                   "bUsePostExportCL=1\nsClPostTarget=" + dir.path().toStdString() + "/no-such-program\n");
    const char* kNoStart = "Unable to perform post-export options.";
    // A node that is not a file (as a device would be): writing beside it and
    // renaming over it would replace the node itself.
    const QString pipe = dir.path() + "/pipe.qef";
    ASSERT_EQ(mkfifo(pipe.toLocal8Bit().constData(), 0600), 0);

    struct {
        const char* what;
        QStringList args;
        std::function<void()> inChild;
        int exitCode;
        const char* mentions; // in the error output
        const char* absent;   // not in the error output
        const char* noFile;   // a file the run must not leave
    } cases[] = {
        {"missing output folder",
         {"-o", dir.path() + "/missing/out.qef"},
         {},
         3,
         "No such file or directory",
         nullptr,
         "missing/out.qef"},
        {"output is a folder", {"-o", dir.path() + "/folder.qef"}, {}, 3, "Cannot create", nullptr, nullptr},
        {"read-only folder", {"-o", readOnly + "/out.qef"}, {}, 3, "Cannot create", nullptr, nullptr},
        {"full disk, scene file",
         {"-o", dir.path() + "/full.qef"},
         SmallDisk,
         3,
         "File too large",
         nullptr,
         "full.qef"},
        {"full disk, header",
         {"-o", dir.path() + "/full.h"},
         SmallDisk,
         3,
         "File too large",
         "Unknown error",
         "full.h"},
        {"full disk, source",
         {"-o", dir.path() + "/full.cpp"},
         SmallDisk,
         3,
         "File too large",
         "Unknown error",
         "full.cpp"},
        {"output is a pipe", {"-o", pipe}, {}, 3, "is not a regular file", nullptr, nullptr},
        {"named command without --post-export",
         {"-o", dir.path() + "/a.qef", "--options", named},
         {},
         0,
         nullptr,
         kNoStart,
         nullptr},
        {"named command with --post-export",
         {"-o", dir.path() + "/b.qef", "--options", named, "--post-export"},
         {},
         0,
         kNoStart,
         nullptr,
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const SCliResult r = RunCli(QStringList{"convert", input} + c.args, QString(), c.inChild);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.toStdString();
        if (c.mentions) {
            EXPECT_TRUE(r.err.contains(c.mentions)) << r.err.toStdString();
        }
        if (c.absent) {
            EXPECT_FALSE(r.err.contains(c.absent)) << r.err.toStdString();
        }
        if (c.noFile) {
            EXPECT_FALSE(QFile::exists(dir.path() + "/" + c.noFile));
        }
    }
    struct stat st;
    ASSERT_EQ(stat(pipe.toLocal8Bit().constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the pipe was replaced";
    QFile::setPermissions(dir.path() + "/readonly", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}
