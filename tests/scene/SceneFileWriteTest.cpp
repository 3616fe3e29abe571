#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <cstring>
#include <sys/resource.h>

#include "SceneTestUtil.h"
#include "common/TestSupport.h"
#include "options/Options.h"
#include "process/SceneExporter.h"
#include "scene/SceneWrite.h"

namespace {

// The scene group's leading blocks, in the order the format lists them.
CQefBytes& SceneHead(CQefBytes& b, const SScene& s)
{
    b.Begin(1001)
        .LeafF32s(2000, s.fBackgroundRGB, 3)
        .LeafF32s(2001, s.fAmbientRGB, 3)
        .LeafU32(2002, uint32_t(s.pCameras.size()))
        .LeafU32(2003, uint32_t(s.pLights.size()))
        .LeafU32(2004, uint32_t(s.pMeshes.size()))
        .LeafU32(2005, uint32_t(s.pNodes.size()))
        .LeafU32(2006, s.uiMeshNodeCount)
        .LeafU32(2007, uint32_t(s.pTextures.size()))
        .LeafU32(2008, uint32_t(s.pMaterials.size()))
        .LeafU32(2009, s.uiFrameCount);
    if (s.uiFrameCount)
        b.LeafU32(2017, s.uiFramesPerSecond);
    b.LeafU32(2016, s.uiFlags);
    if (!s.pUserData.empty())
        b.LeafBytes(2018, std::string(s.pUserData.begin(), s.pUserData.end()));
    return b;
}

std::string Written(const SScene& s, const char* options = nullptr, const char* history = nullptr)
{
    std::vector<uint8_t> out;
    EXPECT_EQ(WriteSceneFileToMemory(s, options, history, &out), 0);
    return std::string(out.begin(), out.end());
}

// Everything after the scene head, up to the scene's end header.
std::string Records(const SScene& s, const std::string& file)
{
    CQefBytes head;
    head.Version();
    SceneHead(head, s);
    EXPECT_EQ(file.compare(0, head.size(), head.str()), 0) << "scene head differs";
    return file.substr(head.size(), file.size() - head.size() - 8);
}

} // namespace

TEST(SceneFileWrite, EmptySceneByteForByte)
{
    const std::string version("\xE8\x03\x00\x00\x0B\x00\x00\x00"
                              "AB.QEF.2.0\0"
                              "\xE8\x03\x00\x80\x00\x00\x00\x00",
                              27);
    SScene s;
    CQefBytes expected;
    expected.Raw(version);
    SceneHead(expected, s).End(1001);
    EXPECT_EQ(Written(s), expected.str());
    // Empty and missing texts give no block; given ones are stored with their NUL.
    EXPECT_EQ(Written(s, "", ""), expected.str());
    CQefBytes withTexts;
    withTexts.Raw(version).LeafString(1002, "bIndexed=1\n").LeafString(1003, "Meshwright 2.12 | 3.0@2149614");
    SceneHead(withTexts, s).End(1001);
    EXPECT_EQ(Written(s, "bIndexed=1\n", "Meshwright 2.12 | 3.0@2149614"), withTexts.str());
}

TEST(SceneFileWrite, FramesPerSecondOnlyWithAnimation)
{
    SScene s;
    EXPECT_TRUE(FindBlocks(Written(s), 2017).empty());
    s.uiFrameCount = 10;
    s.uiFramesPerSecond = 24;
    const auto fps = FindBlocks(Written(s), 2017);
    ASSERT_EQ(fps.size(), 1u);
    EXPECT_EQ(GetU32(Written(s), fps[0].offset + 8), 24u);
}

TEST(SceneFileWrite, LightOfEachType)
{
    SScene s;
    const SScene full = MakeFullScene();
    s.pLights = full.pLights; // point, directional, spot
    CQefBytes expected;
    const SSceneLight& p = s.pLights[0];
    expected.Begin(2011)
        .LeafI32(7000, p.nTargetIdx)
        .LeafF32s(7001, p.fColour, 3)
        .LeafU32(7002, 0)
        .LeafF32s(7003, {p.fConstantAttenuation})
        .LeafF32s(7004, {p.fLinearAttenuation})
        .LeafF32s(7005, {p.fQuadraticAttenuation})
        .End(2011);
    const SSceneLight& d = s.pLights[1];
    expected.Begin(2011).LeafI32(7000, 8).LeafF32s(7001, d.fColour, 3).LeafU32(7002, 1).End(2011);
    const SSceneLight& sp = s.pLights[2];
    expected.Begin(2011)
        .LeafI32(7000, -1)
        .LeafF32s(7001, sp.fColour, 3)
        .LeafU32(7002, 2)
        .LeafF32s(7003, {1.0f})
        .LeafF32s(7004, {0.1f})
        .LeafF32s(7005, {0.01f})
        .LeafF32s(7006, {0.7f})
        .LeafF32s(7007, {2.0f})
        .End(2011);
    EXPECT_EQ(Records(s, Written(s)), expected.str());
}

TEST(SceneFileWrite, MaterialTextureAndCamera)
{
    const SScene full = MakeFullScene();
    SScene s;
    s.pMaterials = {full.pMaterials[0]};
    s.pTextures = {full.pTextures[0]};
    s.pCameras = {full.pCameras[0]};
    s.uiFrameCount = 3;
    s.uiFramesPerSecond = 25;
    CQefBytes expected;
    expected.Begin(2010)
        .LeafI32(8000, 9)
        .LeafF32s(8001, {0.8f})
        .LeafF32s(8002, {500.0f})
        .LeafF32s(8003, {0.5f})
        .LeafF32s(8004, {0.8f, 0.9f, 1.0f})
        .End(2010);
    const SSceneMaterial& m = s.pMaterials[0];
    expected.Begin(2015)
        .LeafU32(3026, 1)
        .LeafString(3000, "Glass")
        .LeafI32(3001, 0)  // diffuse
        .LeafI32(3009, -1) // ambient
        .LeafI32(3010, 1)  // specular
        .LeafI32(3011, 1)  // slot 3
        .LeafI32(3012, -1) // slot 4
        .LeafI32(3013, -1) // emissive
        .LeafI32(3014, -1) // slot 6
        .LeafI32(3015, -1) // slot 7
        .LeafI32(3016, 0)  // reflection
        .LeafI32(3017, -1) // slot 9
        .LeafF32s(3002, {0.5f})
        .LeafF32s(3003, m.fAmbient, 3)
        .LeafF32s(3004, m.fDiffuse, 3)
        .LeafF32s(3005, m.fSpecular, 3)
        .LeafF32s(3006, {0.2f})
        .LeafString(3007, "effects.qdl")
        .LeafString(3008, "GlassFX")
        .LeafU32(3018, 770)
        .LeafU32(3019, 770)
        .LeafU32(3020, 771)
        .LeafU32(3021, 771)
        .LeafU32(3022, 32774)
        .LeafU32(3023, 0x800A)
        .LeafF32s(3024, {0.1f, 0.2f, 0.3f, 0.4f})
        .LeafF32s(3025, {0, 0, 0, 1})
        .LeafBytes(3027, "\xAA\xBB")
        .End(2015);
    expected.Begin(2014).LeafString(4000, "diffuse.png").End(2014);
    EXPECT_EQ(Records(s, Written(s)), expected.str());
}

TEST(SceneFileWrite, MeshWithSeparateChannels)
{
    SScene s;
    SSceneMesh m;
    m.uiVertexCount = 2;
    m.uiTriangleCount = 1;
    m.puiStripTriangles = {1};
    m.sIndexData = IndexChannel(eZGXTUShort, {0, 1, 1});
    m.sNormal = ChannelOf(eZGXTShort, 3, 2, {1, -2, 3, 4, 5, -6});
    m.sTangent.eType = eZGXTFloat; // no data: blocks 9000 to 9002 only
    m.psTexCoord = {ChannelOf(eZGXTUByte, 2, 2, {7, 8, 9, 10})};
    s.pMeshes = {m};
    CQefBytes expected;
    expected.Begin(2012)
        .LeafU32(6000, 2)
        .LeafU32(6001, 1)
        .LeafU32(6002, 1)
        .LeafU32s(6004, {1})
        .LeafU32(6005, 1)
        .LeafU32(6018, 0)
        .LeafU32(6019, 0)
        .LeafF32s(6020, MatrixIdentity().data(), 16);
    expected.Begin(6003).LeafU32(9000, 3).LeafU32(9001, 1).LeafU32(9002, 2);
    expected.Begin(9003, 6).Raw(std::string("\x00\x00\x01\x00\x01\x00", 6)).End(9003).End(6003);
    expected.Begin(6006).LeafU32(9000, 0).LeafU32(9001, 0).LeafU32(9002, 0).End(6006);
    expected.Begin(6007).LeafU32(9000, 11).LeafU32(9001, 3).LeafU32(9002, 6);
    expected.Begin(9003, 12).Raw(std::string("\x01\x00\xFE\xFF\x03\x00\x04\x00\x05\x00\xFA\xFF", 12)).End(9003);
    expected.End(6007);
    expected.Begin(6008).LeafU32(9000, 1).LeafU32(9001, 0).LeafU32(9002, 0).End(6008);
    expected.Begin(6009).LeafU32(9000, 0).LeafU32(9001, 0).LeafU32(9002, 0).End(6009);
    expected.Begin(6010).LeafU32(9000, 10).LeafU32(9001, 2).LeafU32(9002, 2);
    expected.Begin(9003, 4).Raw("\x07\x08\x09\x0A").End(9003).End(6010);
    for (uint32_t tag : {6011u, 6012u, 6013u})
        expected.Begin(tag).LeafU32(9000, 0).LeafU32(9001, 0).LeafU32(9002, 0).End(tag);
    expected.End(2012);
    EXPECT_EQ(Records(s, Written(s)), expected.str());
}

TEST(SceneFileWrite, InterleavedBlockWithPadding)
{
    SScene s;
    SSceneMesh m;
    m.uiVertexCount = 2;
    m.sPosition = ChannelOf(eZGXTFloat, 3, 2, {1, 2, 3, 4, 5, 6});
    m.sNormal = ChannelOf(eZGXTFloat, 3, 2, {7, 8, 9, 10, 11, 12});
    InterleaveForTest(m, {{&m.sPosition, 0}, {&m.sNormal, 16}}, 32);
    // Whatever the gaps hold in memory, the file gets zeros there.
    for (size_t v = 0; v < 2; ++v)
        for (size_t i : {12u, 13u, 14u, 15u, 28u, 29u, 30u, 31u})
            m.pVertexBlock[v * 32 + i] = 0xEE;
    s.pMeshes = {m};
    const std::string file = Written(s);

    const auto block = FindBlocks(file, 6014);
    ASSERT_EQ(block.size(), 1u);
    EXPECT_EQ(block[0].length, 64u);
    CQefBytes vertices;
    for (int v = 0; v < 2; ++v) {
        const float p = float(v * 3);
        vertices.F32(p + 1).F32(p + 2).F32(p + 3).U32(0).F32(p + 7).F32(p + 8).F32(p + 9).U32(0);
    }
    EXPECT_EQ(file.substr(block[0].offset + 8, 64), vertices.str());
    // 6014 comes before the batch counts, and every channel carries a 4-byte offset.
    EXPECT_LT(block[0].offset, FindBlocks(file, 6018)[0].offset);
    const auto offsets = FindBlocks(file, 9003);
    ASSERT_EQ(offsets.size(), 7u); // position .. bone weights; the empty index list has no data
    for (const SBlockRef& b : offsets)
        EXPECT_EQ(b.length, 4u);
    EXPECT_EQ(GetU32(file, offsets[1].offset + 8), 16u); // the normal's offset
}

TEST(SceneFileWrite, NodeArraysUseTheirAnimationLengths)
{
    SScene s;
    s.uiFrameCount = 3;
    SSceneNode n;
    n.pszName = "N";
    n.pfPositionKeys = {1, 2, 3, 99, 99, 99}; // not animated: only the first key is written
    n.uiAnimMask = eAnimRotation | eAnimScale;
    n.puiRotationKeyIdx = {0, 4, 4};
    n.pfRotationKeys = {0, 0, 0, 1, 0, 1, 0, 0};
    n.pfScaleKeys.assign(21, 1.0f);
    s.pNodes = {n};
    CQefBytes expected;
    expected.Begin(2013)
        .LeafI32(5000, -1)
        .LeafString(5001, "N")
        .LeafI32(5002, -1)
        .LeafI32(5003, -1)
        .LeafU32(5012, 6)
        .LeafF32s(5007, {1, 2, 3})
        .LeafU32s(5014, {0, 4, 4})
        .LeafF32s(5008, {0, 0, 0, 1, 0, 1, 0, 0});
    expected.Begin(5009, 84);
    for (int i = 0; i < 21; ++i)
        expected.F32(1.0f);
    expected.End(5009).End(2013);
    s.uiFramesPerSecond = 30;
    EXPECT_EQ(Records(s, Written(s)), expected.str());
}

TEST(SceneFileWrite, RefusesAnInconsistentScene)
{
    struct SCase {
        const char* what;
        void (*breakIt)(SScene&);
    } cases[] = {
        {"channel data too short", [](SScene& s) { s.pMeshes[0].sPosition.pData.resize(8); }},
        {"index beyond the vertices", [](SScene& s) { s.pMeshes[0].sIndexData.pData[0] = 9; }},
        {"overlapping interleaved channels", [](SScene& s) { s.pMeshes[2].sNormal.uiOffset = 8; }},
        {"key array shorter than its frames", [](SScene& s) { s.pNodes[1].pfRotationKeys.resize(8); }},
        {"mesh nodes beyond the nodes", [](SScene& s) { s.uiMeshNodeCount = 99; }},
        {"strips that do not add up", [](SScene& s) { s.pMeshes[1].puiStripTriangles[0] = 5; }},
    };
    CTempDir dir;
    const std::string path = dir.Path("keep.qef");
    ASSERT_TRUE(WriteFileBytes(path, "previous"));
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.what);
        SScene s = MakeFullScene();
        c.breakIt(s);
        CLogCapture log;
        EXPECT_EQ(WriteSceneFile(s, path.c_str(), nullptr, nullptr), 1);
        ASSERT_FALSE(log.Messages().empty());
        EXPECT_TRUE(log.Messages()[0].text.startsWith(QStringLiteral("The scene cannot be written: ")))
            << log.Messages()[0].text.toStdString();
        EXPECT_EQ(ReadFileBytes(path), "previous");
    }
}

TEST(SceneFileWrite, FailedWriteKeepsThePreviousFile)
{
    CTempDir dir;
    const std::string path = dir.Path("scene.qef");
    ASSERT_TRUE(WriteFileBytes(path, "previous contents"));
    SScene s;
    SSceneMesh m;
    m.uiVertexCount = 4096;
    m.sPosition = ChannelOf(eZGXTFloat, 3, 4096, std::vector<float>(3 * 4096, 1.0f));
    s.pMeshes = {m};

    // Files may not grow beyond 8 KB while this runs: the write fails midway.
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 8192;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    CLogCapture log;
    const int result = WriteSceneFile(s, path.c_str(), "a=1\n", "history");
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(result, 1);
    EXPECT_EQ(log.Count(3), 1);
    EXPECT_EQ(ReadFileBytes(path), "previous contents");
    EXPECT_EQ(QDir(QString::fromStdString(dir.Dir())).entryList(QDir::Files), QStringList{"scene.qef"});
    // The same scene writes once the limit is gone.
    EXPECT_EQ(WriteSceneFile(s, path.c_str(), "a=1\n", "history"), 0);
    EXPECT_GT(ReadFileBytes(path).size(), 4096u * 12);
}

TEST(SceneFileWrite, ExporterWriteDispatchesByFormat)
{
    CTempDir dir;
    CSceneExporter exporter;
    COptions options;
    {
        CLogCapture log; // no scene yet
        EXPECT_FALSE(exporter.Write(dir.Path("none.qef").c_str(), options, "history"));
        EXPECT_TRUE(log.Contains(3, QStringLiteral("Failed to write output file")));
    }
    exporter.SetScene(std::make_unique<SScene>(MakeFullScene()));
    {
        CLogCapture log;
        const std::string path = dir.Path("out.qef");
        EXPECT_TRUE(exporter.Write(path.c_str(), options, "Meshwright 2.12 | 3.0@2149614"));
        ASSERT_EQ(log.Messages().size(), 2u);
        EXPECT_EQ(log.Messages()[0].percent, 95);
        EXPECT_EQ(log.Messages()[0].text, QStringLiteral("Saving"));
        EXPECT_EQ(log.Messages()[1].percent, 100);
        EXPECT_EQ(log.Messages()[1].text, QStringLiteral("Complete"));
        const std::string file = ReadFileBytes(path);
        EXPECT_EQ(file.substr(0, 4), std::string("\xE8\x03\x00\x00", 4));
        // The options text travels in the file.
        const auto options1002 = FindBlocks(file, 1002);
        ASSERT_EQ(options1002.size(), 1u);
        EXPECT_EQ(file.substr(options1002[0].offset + 8, options1002[0].length - 1), options.ToText());
    }
    {
        options.SetExpFormat(eExpFormatSource);
        const std::string path = dir.Path("out.cpp");
        EXPECT_TRUE(exporter.Write(path.c_str(), options, "history"));
        EXPECT_NE(ReadFileBytes(path).find("RegisterFile_out_qef"), std::string::npos);
    }
    {
        CLogCapture log;
        options.SetExpFormat(7);
        EXPECT_FALSE(exporter.Write(dir.Path("odd.qef").c_str(), options, "history"));
        EXPECT_TRUE(log.Contains(3, QStringLiteral("Failed to write output file")));
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(dir.Path("odd.qef"))));
    }
}
