#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include "SceneTestUtil.h"
#include "common/TestSupport.h"
#include "options/Options.h"
#include "scene/SceneSource.h"
#include "scene/SceneWrite.h"

namespace {

std::string Text(const std::string& bytes, const char* path = "scene.cpp", uint32_t mode = 0)
{
    return SceneSourceText(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), path, "a=1\n", "H", mode);
}

// The word lines between the array's opening brace and its closing "};".
std::vector<std::string> WordLines(const std::string& text)
{
    const size_t begin = text.find("[] = {") + 6;
    const size_t end = text.find("\n};\n", begin);
    std::vector<std::string> lines;
    size_t at = begin;
    while (at < end) {
        EXPECT_EQ(text[at], '\n');
        const size_t next = std::min(text.find('\n', at + 1), end);
        lines.push_back(text.substr(at + 1, next - at - 1));
        at = next;
    }
    return lines;
}

} // namespace

TEST(SceneSource, NamesFromTheOutputPath)
{
    struct SCase {
        const char* path;
        const char* file;
        const char* embedded;
        const char* identifier;
    } cases[] = {
        {"C:\\out\\My Scene.cpp", "My Scene.cpp", "My Scene.qef", "_My_Scene_qef"},
        {"/home/u/scene.h", "scene.h", "scene.qef", "_scene_qef"},
        {"dir.v2/level-1.cpp", "level-1.cpp", "level-1.qef", "_level_1_qef"},
        {"a.b.c.cpp", "a.b.c.cpp", "a.b.c.qef", "_a_b_c_qef"},
        {"noext", "noext", "noext.qef", "_noext_qef"},
    };
    for (const SCase& c : cases) {
        const SSceneSourceNames n = SceneSourceNames(c.path);
        EXPECT_EQ(n.fileName, c.file) << c.path;
        EXPECT_EQ(n.embeddedName, c.embedded) << c.path;
        EXPECT_EQ(n.identifier, c.identifier) << c.path;
    }
    const std::string text = Text("12345", "C:\\out\\My Scene.cpp");
    EXPECT_NE(text.find("\nA32BIT _My_Scene_qef[] = {\n"), std::string::npos);
    EXPECT_NE(text.find("static CZGXTMemoryFileSystem RegisterFile_My_Scene_qef(\"My Scene.qef\", _My_Scene_qef, 5);"),
              std::string::npos);
}

TEST(SceneSource, WholeTextOfAFiveByteFile)
{
    const std::string expected =
        "/*\n\tExpOpt{\na=1\n\t}ExpOpt\n\n\tHistory{\nH\n\t}History\n*/\n"
        "// This file was created by Bytecask 1.1\n"
        "// Little endian mode\n"
        "// DO NOT EDIT\n\n"
        "#include \"../ZGXTMemoryFileSystem.h\"\n\n"
        "// using 32 bit to guarantee alignment.\n#ifndef A32BIT\n #define A32BIT static const unsigned int\n#endif\n\n"
        "// ******** Start: scene.qef ********\n\n"
        "// File data\n"
        "A32BIT _scene_qef[] = {\n0x4030201,0x5,\n};\n\n"
        "// Register scene.qef in memory file system at application startup time\n"
        "static CZGXTMemoryFileSystem RegisterFile_scene_qef(\"scene.qef\", _scene_qef, 5);\n\n"
        "// ******** End: scene.qef ********\n\n";
    EXPECT_EQ(Text("\x01\x02\x03\x04\x05", "/out/scene.cpp"), expected);
}

TEST(SceneSource, WordLayout)
{
    EXPECT_EQ(WordLines(Text("")), std::vector<std::string>{"0x0,"}); // an empty file still gives one word
    EXPECT_EQ(WordLines(Text(std::string("\0\0\0\0", 4), "s.cpp", eSourceExtraWord)),
              std::vector<std::string>{"0x0,0x0,"});
    EXPECT_EQ(WordLines(Text("\x01\x02\x03\x04", "s.cpp", eSourceBigEndian)), std::vector<std::string>{"0x1020304,"});

    const std::string full(256, '\x11');
    std::vector<std::string> lines = WordLines(Text(full));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(std::count(lines[0].begin(), lines[0].end(), ','), 64);
    lines = WordLines(Text(full + "\xAB\0\0\0"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "0xab,");
}

TEST(SceneSource, HeaderFormatHasNoRegistration)
{
    const std::string text = Text("abcdefgh", "/x/scene.h", eSourceNoRegistration);
    EXPECT_EQ(text.find("#include"), std::string::npos);
    EXPECT_EQ(text.find("Register"), std::string::npos);
    const std::string tail = "\n};\n\nstatic int _scene_qef_size = 8;\n\n// ******** End: scene.qef ********\n\n";
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST(SceneSource, UnsafeTextCannotBreakTheSource)
{
    // An option value holding "*/" would close the comment; a file name with a
    // quote or a line break would end the string or the comment line.
    const std::string text = SceneSourceText(reinterpret_cast<const uint8_t*>("x"), 1, "/x/a\"b\nc.cpp",
                                             "sClPostArgs=-o */tmp\n", "H */", 0);
    EXPECT_EQ(text.find("*/tmp"), std::string::npos);
    EXPECT_NE(text.find("sClPostArgs=-o * /tmp\n"), std::string::npos);
    EXPECT_EQ(text.find("*/"), text.find("\n*/\n") + 1); // the one real end of the comment
    EXPECT_NE(text.find("(\"a\\\"b\\012c.qef\", _a_b_c_qef, 1);"), std::string::npos);
    EXPECT_NE(text.find("// ******** Start: a\"b?c.qef ********\n"), std::string::npos);
}

TEST(SceneSource, WrittenFileStartsWithTheVersionTagAndCarriesTheOptions)
{
    CTempDir dir;
    COptions options;
    options.SetExpFormat(eExpFormatHeader);
    options.SetUInt(opt::uiBoneLimit, 12);
    const std::string path = dir.Path("scene.h");
    ASSERT_EQ(WriteSceneSource(path.c_str(), options, "history", MakeFullScene()), 0);
    const std::string text = ReadFileBytes(path);
    EXPECT_NE(text.find("A32BIT _scene_qef[] = {\n0x3e8,0xb,"), std::string::npos);
    // The options read back from the generated header.
    COptions read;
    EXPECT_GT(read.LoadFromFile(path.c_str()), 70);
    EXPECT_EQ(read.GetUInt(opt::uiBoneLimit), 12u);

    // A scene that cannot be written leaves the previous file alone.
    SScene broken = MakeFullScene();
    broken.pMeshes[0].sPosition.pData.clear();
    EXPECT_NE(WriteSceneSource(path.c_str(), options, "history", broken), 0);
    EXPECT_EQ(ReadFileBytes(path), text);
}

// The generated .cpp, compiled against a registry header like the embedding
// application's, gives back the exact bytes of the scene file.
TEST(SceneSource, GeneratedSourceCompilesAndReproducesTheFile)
{
    const QString compiler = QStandardPaths::findExecutable(QStringLiteral("c++"));
    if (compiler.isEmpty())
        GTEST_SKIP() << "no system C++ compiler (c++) on the PATH";
    CTempDir dir;
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(dir.Path("src"))));
    ASSERT_TRUE(WriteFileBytes(dir.Path("ZGXTMemoryFileSystem.h"), R"(#pragma once
#include <string>
#include <vector>
struct SMemFile { std::string name; const unsigned int* words; unsigned int size; };
inline std::vector<SMemFile>& MemFiles() { static std::vector<SMemFile> files; return files; }
class CZGXTMemoryFileSystem {
public:
    CZGXTMemoryFileSystem(const char* name, const unsigned int* words, unsigned int size)
    {
        MemFiles().push_back({name, words, size});
    }
};
)"));
    ASSERT_TRUE(WriteFileBytes(dir.Path("src/main.cpp"), R"(#include "../ZGXTMemoryFileSystem.h"
#include "header.h"
#include <cstdio>
static void Dump(const char* path, const unsigned int* words, unsigned int size)
{
    std::FILE* f = std::fopen(path, "wb");
    for (unsigned int i = 0; i < size; ++i)
        std::fputc(int((words[i / 4] >> (8 * (i % 4))) & 0xFFu), f);
    std::fclose(f);
}
int main(int argc, char** argv)
{
    if (argc != 3 || MemFiles().size() != 1)
        return 2;
    std::printf("%s\n", MemFiles()[0].name.c_str());
    Dump(argv[1], MemFiles()[0].words, MemFiles()[0].size);
    Dump(argv[2], _header_qef, (unsigned int)_header_qef_size);
    return 0;
}
)"));

    const SScene scene = MakeFullScene();
    COptions options;
    options.SetExpFormat(eExpFormatSource);
    ASSERT_EQ(WriteSceneSource(dir.Path("src/scene.cpp").c_str(), options, "history", scene), 0);
    options.SetExpFormat(eExpFormatHeader);
    ASSERT_EQ(WriteSceneSource(dir.Path("src/header.h").c_str(), options, "history", scene), 0);

    QProcess cc;
    cc.setProcessChannelMode(QProcess::MergedChannels);
    cc.start(compiler,
             {QStringLiteral("-std=c++17"), QStringLiteral("-o"), QString::fromStdString(dir.Path("dump")),
              QString::fromStdString(dir.Path("src/main.cpp")), QString::fromStdString(dir.Path("src/scene.cpp"))});
    ASSERT_TRUE(cc.waitForFinished(120000));
    ASSERT_EQ(cc.exitCode(), 0) << cc.readAll().toStdString();

    QProcess run;
    run.start(QString::fromStdString(dir.Path("dump")),
              {QString::fromStdString(dir.Path("from-cpp.qef")), QString::fromStdString(dir.Path("from-h.qef"))});
    ASSERT_TRUE(run.waitForFinished(30000));
    ASSERT_EQ(run.exitCode(), 0);
    EXPECT_EQ(run.readAllStandardOutput().toStdString(), "scene.qef\n");

    std::vector<uint8_t> cppBytes, hBytes;
    options.SetExpFormat(eExpFormatSource);
    ASSERT_EQ(WriteSceneFileToMemory(scene, options.ToText().c_str(), "history", &cppBytes), 0);
    options.SetExpFormat(eExpFormatHeader);
    ASSERT_EQ(WriteSceneFileToMemory(scene, options.ToText().c_str(), "history", &hBytes), 0);
    EXPECT_EQ(ReadFileBytes(dir.Path("from-cpp.qef")), std::string(cppBytes.begin(), cppBytes.end()));
    EXPECT_EQ(ReadFileBytes(dir.Path("from-h.qef")), std::string(hBytes.begin(), hBytes.end()));
}
