#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include "TestSupport.h"
#include "convert/PostExport.h"
#include "options/Options.h"
#include "process/SceneExporter.h"
#include "scene/Scene.h"

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
    // the user's switch. A program that does not exist fails to start at
    // once and says so, so the silence with the switch off shows that no
    // start was tried; the viewer, opened after the command, shows the
    // actions ran past it.
    for (const bool switchOn : {true, false}) {
        CLogCapture capture;
        COptionsData o = CommandOptions(switchOn);
        o.SetString(opt::sClPostTarget, (dir.path() + "/no-such-program").toStdString());
        o.SetBool(opt::bDisplayInVistrel, true);
        o.SetString(opt::sPathToVistrel, "/bin/true");
        RunPostExportActions(o, "/tmp/out.qef");
        EXPECT_EQ(capture.Contains(3, "Error: Unable to perform post-export options."), switchOn) << switchOn;
        EXPECT_EQ(capture.Messages().size(), switchOn ? 2u : 1u) << switchOn;
        EXPECT_TRUE(capture.Contains(1, "Opening '/tmp/out.qef' in '/bin/true'.")) << switchOn;
    }
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
    struct {
        const char* viewer;
        int format;
        int level;
        const char* text;
    } cases[] = {
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

// The writer never starts anything; the run calls the actions after it.
TEST(PostExportRun, ActionsRunOnlyAfterTheWriteWhenAsked)
{
    QTemporaryDir dir;
    CSceneExporter exporter;
    exporter.SetScene(std::make_unique<SScene>());
    COptions options;
    options.SetBool(opt::bUsePostExportCL, true);
    options.SetString(opt::sClPostTarget, (dir.path() + "/no-such-program").toStdString());
    const std::string path = (dir.path() + "/out.qef").toStdString();
    {
        CLogCapture log;
        EXPECT_TRUE(exporter.Write(path.c_str(), options, "history"));
        EXPECT_EQ(log.Count(3), 0);
    }
    {
        CLogCapture log;
        EXPECT_TRUE(exporter.Write(path.c_str(), options, "history"));
        RunPostExportActions(options, path.c_str());
        EXPECT_TRUE(log.Contains(3, QStringLiteral("Error: Unable to perform post-export options.")));
    }
}
