#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include "TestSupport.h"
#include "convert/PostExport.h"
#include "options/Options.h"

namespace {

bool WaitForFile(const QString& path, int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (QFile::exists(path))
            return true;
        QThread::msleep(20);
    }
    return QFile::exists(path);
}

} // namespace

class PostExport : public ::testing::Test {
protected:
    COptionsData CommandOptions(bool switchOn)
    {
        COptionsData o;
        o.SetBool(opt::bUsePostExportCL, switchOn);
        o.SetString(opt::sClPostTarget, "touch");
        o.SetString(opt::sClPostArgs, "\"made by command\" second");
        o.SetString(opt::sClPostCWD, dir.path().toStdString());
        return o;
    }
    QTemporaryDir dir;
};

TEST_F(PostExport, CommandRunsInItsFolderWithShellSplitArguments)
{
    CLogCapture capture;
    RunPostExportActions(CommandOptions(true), "/tmp/out.qef");
    EXPECT_TRUE(WaitForFile(dir.path() + "/made by command", 5000));
    EXPECT_TRUE(WaitForFile(dir.path() + "/second", 5000));
    EXPECT_EQ(capture.Count(3), 0);
}

TEST_F(PostExport, CommandNeedsTheSwitch)
{
    // A command carried in by a profile or scene file must not run behind
    // the user's switch.
    CLogCapture capture;
    RunPostExportActions(CommandOptions(false), "/tmp/out.qef");
    QThread::msleep(300);
    EXPECT_FALSE(QFile::exists(dir.path() + "/second"));
    EXPECT_TRUE(capture.Messages().empty());
}

TEST_F(PostExport, EmptyCommandRunsNothing)
{
    CLogCapture capture;
    COptionsData o = CommandOptions(true);
    o.SetString(opt::sClPostTarget, "");
    RunPostExportActions(o, "/tmp/out.qef");
    EXPECT_TRUE(capture.Messages().empty());
}

TEST_F(PostExport, MissingCommandIsReported)
{
    CLogCapture capture;
    COptionsData o = CommandOptions(true);
    o.SetString(opt::sClPostTarget, (dir.path() + "/no-such-program").toStdString());
    RunPostExportActions(o, "/tmp/out.qef");
    EXPECT_TRUE(capture.Contains(3, "Error: Unable to perform post-export options."));
}

TEST_F(PostExport, Viewer)
{
    struct { const char* viewer; int format; int level; const char* text; } cases[] = {
        {"/bin/true", 0, 1, "Opening '/tmp/out.qef' in '/bin/true'."},
        {"/no/such/viewer", 0, 3, "Error: Failed to open '/tmp/out.qef' in '/no/such/viewer'."},
        {"/bin/true", 1, -1, nullptr}, // source output is not opened in the viewer
        {"/bin/true", 2, -1, nullptr},
        {"", 0, -1, nullptr},
    };
    for (const auto& c : cases) {
        CLogCapture capture;
        COptionsData o;
        o.SetBool(opt::bDisplayInVistrel, true);
        o.SetExpFormat(c.format);
        o.SetString(opt::sPathToVistrel, c.viewer);
        RunPostExportActions(o, "/tmp/out.qef");
        if (c.level < 0) {
            EXPECT_TRUE(capture.Messages().empty()) << c.viewer << " " << c.format;
        } else {
            ASSERT_EQ(capture.Messages().size(), 1u) << c.viewer;
            EXPECT_TRUE(capture.Contains(c.level, c.text)) << capture.Messages()[0].text.toStdString();
        }
    }
}
