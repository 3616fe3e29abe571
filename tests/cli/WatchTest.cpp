// meshwright-cli watch: converts at start, again when an input is saved the
// way editors save (a new file renamed over the old), and ends cleanly on
// SIGTERM.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>

#include "TestSupport.h"

namespace {

// Reads the watcher's log until it holds count lines containing text, or ten
// seconds have passed.
bool WaitForLines(QProcess& watcher, QString& log, const QString& text, int count)
{
    QDeadlineTimer deadline(10000);
    while (log.count(text) < count && !deadline.hasExpired()) {
        watcher.waitForReadyRead(100);
        log += QString::fromUtf8(watcher.readAllStandardError());
    }
    return log.count(text) >= count;
}

// Saves bytes to path as editors do: into a new file, then renamed over it.
bool SaveByRename(const QString& path, const std::string& bytes)
{
    const QString temporary = path + ".new";
    return WriteFileBytes(temporary.toStdString(), bytes) &&
           std::rename(temporary.toUtf8().constData(), path.toUtf8().constData()) == 0;
}

} // namespace

TEST(Watch, ReconvertsOnSaveByRenameAndStopsOnSignal)
{
    QTemporaryDir dir;
    const QString scene = dir.path() + "/scene.dae";
    const QString other = dir.path() + "/other.dae";
    const std::string source = ReadFileBytes(TestDataPath("collada/materials.dae"));
    ASSERT_TRUE(WriteFileBytes(scene.toStdString(), source));
    ASSERT_TRUE(WriteFileBytes(other.toStdString(), source));

    QProcess watcher;
    watcher.setWorkingDirectory(dir.path());
    watcher.start(QStringLiteral(MW_CLI_PATH), {"watch", "scene.dae", "other.dae", "-d", "out"});
    QString log;
    ASSERT_TRUE(WaitForLines(watcher, log, "watching 2 scenes", 1)) << log.toStdString();
    EXPECT_EQ(log.count("converted 'scene.dae' to 'out/scene.qef'"), 1) << log.toStdString();
    EXPECT_EQ(log.count("converted 'other.dae'"), 1) << log.toStdString();
    const std::string first = ReadFileBytes((dir.path() + "/out/scene.qef").toStdString());
    ASSERT_FALSE(first.empty());

    // Save by rename: a new file written beside the scene, then renamed over
    // it. The scene gets another material name, so the output changes.
    std::string changed = source;
    const size_t at = changed.find("name=\"Quarter\"");
    ASSERT_NE(at, std::string::npos);
    changed.insert(at + 6, "Edited");
    ASSERT_TRUE(SaveByRename(scene, changed));
    ASSERT_TRUE(WaitForLines(watcher, log, "converted 'scene.dae'", 2)) << log.toStdString();
    EXPECT_NE(ReadFileBytes((dir.path() + "/out/scene.qef").toStdString()), first);
    EXPECT_EQ(log.count("converted 'other.dae'"), 1) << "only the changed scene: " << log.toStdString();

    // A second save is seen too (the watch survives the rename).
    changed.insert(at + 6, "Again");
    ASSERT_TRUE(SaveByRename(scene, changed));
    ASSERT_TRUE(WaitForLines(watcher, log, "converted 'scene.dae'", 3)) << log.toStdString();

    ::kill(pid_t(watcher.processId()), SIGTERM);
    ASSERT_TRUE(watcher.waitForFinished(10000));
    log += QString::fromUtf8(watcher.readAllStandardError());
    EXPECT_EQ(watcher.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watcher.exitCode(), 0);
    EXPECT_TRUE(log.contains("stopped")) << log.toStdString();
}

// A file the conversion read besides its input (a glTF buffer) is watched
// too, and so is the options file, which converts every scene again.
TEST(Watch, BuffersAndTheOptionsFileAreWatched)
{
    QTemporaryDir dir;
    const QString scenes = QString::fromStdString(ExamplePath("cmake/scenes/"));
    ASSERT_TRUE(QFile::copy(scenes + "triangle.gltf", dir.path() + "/triangle.gltf"));
    ASSERT_TRUE(QFile::copy(scenes + "triangle.bin", dir.path() + "/triangle.bin"));
    ASSERT_TRUE(WriteFileBytes((dir.path() + "/scene.dae").toStdString(),
                               ReadFileBytes(TestDataPath("collada/materials.dae"))));
    ASSERT_TRUE(WriteFileBytes((dir.path() + "/opts.cfg").toStdString(), "bExportSkin=1\n"));

    QProcess watcher;
    watcher.setWorkingDirectory(dir.path());
    watcher.start(QStringLiteral(MW_CLI_PATH),
                  {"watch", "triangle.gltf", "scene.dae", "-d", "out", "--options", "opts.cfg"});
    QString log;
    ASSERT_TRUE(WaitForLines(watcher, log, "watching 2 scenes", 1)) << log.toStdString();

    const QString buffer = dir.path() + "/triangle.bin";
    ASSERT_TRUE(SaveByRename(buffer, ReadFileBytes(buffer.toStdString())));
    ASSERT_TRUE(WaitForLines(watcher, log, "converted 'triangle.gltf'", 2)) << log.toStdString();
    EXPECT_EQ(log.count("converted 'scene.dae'"), 1) << log.toStdString();

    ASSERT_TRUE(WriteFileBytes((dir.path() + "/opts.cfg").toStdString(), "bExportSkin=0\n"));
    ASSERT_TRUE(WaitForLines(watcher, log, "converted 'scene.dae'", 2)) << log.toStdString();
    ASSERT_TRUE(WaitForLines(watcher, log, "converted 'triangle.gltf'", 3)) << log.toStdString();

    ::kill(pid_t(watcher.processId()), SIGINT);
    ASSERT_TRUE(watcher.waitForFinished(10000));
    EXPECT_EQ(watcher.exitCode(), 0);
}

// A scene file that appears in a watched folder is converted as well.
TEST(Watch, NewSceneInAWatchedFolder)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/art");
    const std::string source = ReadFileBytes(TestDataPath("collada/materials.dae"));
    ASSERT_TRUE(WriteFileBytes((dir.path() + "/art/first.dae").toStdString(), source));

    QProcess watcher;
    watcher.setWorkingDirectory(dir.path());
    watcher.start(QStringLiteral(MW_CLI_PATH), {"watch", "art", "-d", "out"});
    QString log;
    ASSERT_TRUE(WaitForLines(watcher, log, "watching 1 scenes", 1)) << log.toStdString();
    ASSERT_TRUE(SaveByRename(dir.path() + "/art/second.dae", source));
    ASSERT_TRUE(WaitForLines(watcher, log, "to 'out/second.qef'", 1)) << log.toStdString();
    EXPECT_EQ(log.count("converted 'art/first.dae'"), 1) << log.toStdString();

    ::kill(pid_t(watcher.processId()), SIGTERM);
    ASSERT_TRUE(watcher.waitForFinished(10000));
    EXPECT_EQ(watcher.exitCode(), 0);
}
