// Mapped files and buffers on huge pages: every byte as in the file, writes
// that never reach it, and the cases that must fall back to reading.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "base/MappedFile.h"
#include "common/SceneTestUtil.h"
#include "common/TestSupport.h"

namespace {

std::string PseudoRandomBytes(size_t size)
{
    std::string bytes(size, '\0');
    uint32_t x = 2463534242u;
    for (char& c : bytes) {
        x = x * 1664525u + 1013904223u;
        c = char(x >> 24);
    }
    return bytes;
}

} // namespace

TEST(MappedFile, EveryByteAndWritesStayPrivate)
{
    CTempDir dir;
    // One byte, less than a page, and 5 MB (pages given back below).
    for (size_t size : {size_t(1), size_t(1000), size_t(5) << 20}) {
        const std::string bytes = PseudoRandomBytes(size);
        const std::string path = dir.Path("input.bin");
        ASSERT_TRUE(WriteFileBytes(path, bytes));
        CMappedFile file;
        ASSERT_TRUE(file.Map(path.c_str())) << size;
        ASSERT_EQ(file.Size(), size);
        ASSERT_EQ(std::string(file.Data(), file.Size()), bytes) << size;
        // An in-place parser writes into the pages: the file stays as it was.
        for (size_t i = 0; i < size; i += 4096)
            file.Data()[i] = char(~bytes[i]);
        file.Data()[size - 1] = 0;
        EXPECT_EQ(ReadFileBytes(path), bytes) << size;
        // Pages given back read as the file again.
        ReleasePages(file.Data(), size);
        const size_t page = 4096;
        if (size >= 3 * page) {
            EXPECT_EQ(std::string(file.Data() + page, page), bytes.substr(page, page));
        }
        file.Unmap();
        EXPECT_EQ(file.Data(), nullptr);
        EXPECT_EQ(file.Size(), 0u);
    }
}

TEST(MappedFile, WhatCannotBeMappedIsLeftToReading)
{
    CTempDir dir;
    const std::string empty = dir.Path("empty.dae");
    ASSERT_TRUE(WriteFileBytes(empty, ""));
    const std::string cases[] = {
        dir.Dir(),               // a folder
        dir.Path("missing.dae"), // no such file
        empty,                   // nothing to map
        "/dev/null",             // not a regular file
    };
    for (const std::string& path : cases) {
        CMappedFile file;
        EXPECT_FALSE(file.Map(path.c_str())) << path;
        EXPECT_EQ(file.Data(), nullptr) << path;
        EXPECT_EQ(file.Size(), 0u) << path;
    }
    CMappedFile file;
    EXPECT_FALSE(file.Map(nullptr));
}

TEST(MappedFile, AFileShortenedWhileMappedReadsAsZerosAndIsReported)
{
    // Another program cuts the file (an exporter writing it again in place):
    // the pages past the cut are gone. Reading them must not stop the
    // program; they read as zeros and the mapping says it lost them.
    CTempDir dir;
    const size_t page = 4096, size = 64 * page;
    const std::string bytes = PseudoRandomBytes(size);
    const std::string path = dir.Path("rewritten.dae");
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    CMappedFile file, other;
    ASSERT_TRUE(file.Map(path.c_str()));
    ASSERT_TRUE(WriteFileBytes(dir.Path("other.dae"), bytes));
    ASSERT_TRUE(other.Map(dir.Path("other.dae").c_str()));
    file.Data()[10] = 'x'; // a private copy (the cut takes it too)
    EXPECT_FALSE(file.Lost());
    ASSERT_TRUE(WriteFileBytes(path, bytes.substr(0, 3 * page + 100)));
    size_t nonZero = 0;
    for (size_t i = 4 * page; i < size; ++i)
        nonZero += file.Data()[i] != 0;
    EXPECT_EQ(nonZero, 0u);
    EXPECT_TRUE(file.Lost());
    // Pages still in the file read as the file is now.
    EXPECT_EQ(std::string(file.Data() + page, page), bytes.substr(page, page));
    // Another mapping is not affected, and a new mapping of the cut file is whole.
    EXPECT_EQ(std::string(other.Data(), other.Size()), bytes);
    EXPECT_FALSE(other.Lost());
    ASSERT_TRUE(file.Map(path.c_str()));
    EXPECT_FALSE(file.Lost());
    EXPECT_EQ(file.Size(), 3 * page + 100);
}

TEST(MappedFile, HugePagesChangeNoValue)
{
    // Fresh storage is value-initialised as resize makes it; a vector that
    // holds elements keeps them and grows as resize grows it.
    std::vector<int32_t> fresh;
    ResizeOnHugePages(fresh, size_t(3) << 20);
    ASSERT_EQ(fresh.size(), size_t(3) << 20);
    EXPECT_EQ(std::count(fresh.begin(), fresh.end(), 0), std::ptrdiff_t(fresh.size()));
    std::vector<float> held = {1.5f, -2.0f};
    ResizeOnHugePages(held, size_t(1) << 20);
    EXPECT_EQ(held[0], 1.5f);
    EXPECT_EQ(held[1], -2.0f);
    EXPECT_EQ(held.back(), 0.0f);
    ResizeOnHugePages(held, 1);
    EXPECT_EQ(held, std::vector<float>{1.5f});
    // Ranges that hold no whole huge page, and none at all, are left alone.
    AdviseHugePages(held.data(), sizeof(float));
    AdviseHugePages(nullptr, size_t(8) << 20);
    ReleasePages(nullptr, size_t(8) << 20);
    EXPECT_EQ(held, std::vector<float>{1.5f});
}
