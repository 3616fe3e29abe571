// Reading an input file whole: big files come in pieces on every core and
// must arrive byte for byte; small ones and failures as before.
#include <gtest/gtest.h>

#include <QFile>

#include "common/SceneTestUtil.h"
#include "common/TestSupport.h"
#include "scene/ReadAll.h"

TEST(ReadAll, EveryByteOfSmallAndBigFiles)
{
    CTempDir dir;
    // 0 bytes, a small file, and 40 MB (read in three pieces, the last
    // short) with no two pieces alike.
    for (size_t size : {size_t(0), size_t(1000), size_t(40) << 20}) {
        std::string bytes(size, '\0');
        uint32_t x = 12345;
        for (char& c : bytes) {
            x = x * 1664525u + 1013904223u;
            c = char(x >> 24);
        }
        const std::string path = dir.Path("input.bin");
        ASSERT_TRUE(WriteFileBytes(path, bytes));
        QByteArray read;
        QString why;
        ASSERT_TRUE(ReadAll(QString::fromStdString(path), &read, &why)) << size << ": " << why.toStdString();
        ASSERT_EQ(size_t(read.size()), size);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), read.constData())) << size;
    }
}

TEST(ReadAll, FoldersAndMissingFilesSayWhy)
{
    CTempDir dir;
    QByteArray read("left over");
    QString why;
    EXPECT_FALSE(ReadAll(QString::fromStdString(dir.Dir()), &read, &why));
    EXPECT_EQ(why, QStringLiteral("it is a folder"));
    EXPECT_TRUE(read.isEmpty());
    EXPECT_FALSE(ReadAll(QString::fromStdString(dir.Path("missing.dae")), &read, &why));
    EXPECT_FALSE(why.isEmpty());
}
