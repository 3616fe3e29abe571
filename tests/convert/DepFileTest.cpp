#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "TestSupport.h"
#include "convert/DepFile.h"

// Escapes as GNU make and Ninja read them; the command-line tests check the
// files through make itself.
TEST(DepFile, EscapesPathsAsMakeReadsThem)
{
    struct {
        const char* path;
        const char* written;
    } cases[] = {
        {"/plain/path.dae", "/plain/path.dae"},
        {"/with space/a b.dae", "/with\\ space/a\\ b.dae"},
        {"/hash#/x.dae", "/hash\\#/x.dae"},
        {"/dollar$/x.dae", "/dollar$$/x.dae"},
        {"/back\\ space.dae", "/back\\\\\\ space.dae"}, // the backslash before a space doubled
        {"/back\\slash.dae", "/back\\slash.dae"},
    };
    for (const auto& c : cases) {
        QString error;
        const QByteArray text = DepFileText({{{"/out.qef"}, {QString::fromUtf8(c.path)}}}, &error);
        EXPECT_TRUE(error.isEmpty());
        EXPECT_EQ(text.toStdString(), std::string("/out.qef: \\\n  ") + c.written + "\n") << c.path;
    }
    QString error;
    EXPECT_TRUE(DepFileText({{{"/out.qef"}, {"/bad\nname.dae"}}}, &error).isEmpty());
    EXPECT_TRUE(error.contains("line break")) << error.toStdString();
}

TEST(DepFile, RelativeInsideTheCurrentFolderAndWrittenWhole)
{
    QTemporaryDir dir;
    const QString old = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    QString error;
    const std::vector<SDepRule> rules = {
        {{dir.path() + "/out/a.qef", dir.path() + "/out/a.qdl"}, {dir.path() + "/in/./a.dae", "/elsewhere/opt.cfg"}},
        {{"b.qef"}, {"in/b.gltf", "in/b.bin"}}};
    EXPECT_TRUE(WriteDepFile("deps.d", rules, &error)) << error.toStdString();
    EXPECT_EQ(ReadFileBytes("deps.d"), "out/a.qef out/a.qdl: \\\n  in/a.dae \\\n  /elsewhere/opt.cfg\n"
                                       "b.qef: \\\n  in/b.gltf \\\n  in/b.bin\n");
    // A folder in the way: the old file stays, the reason is given.
    QDir().mkdir("taken.d");
    EXPECT_FALSE(WriteDepFile("taken.d", rules, &error));
    EXPECT_TRUE(error.contains("taken.d")) << error.toStdString();
    QDir::setCurrent(old);
}
