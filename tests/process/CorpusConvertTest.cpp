// Every Collada file of the corpus converts, with the default options and with
// a demanding set, into a scene file that reads back with all its triangles.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstring>
#include <functional>

#include "TestSupport.h"
#include "collada/Collada2QEF.h"
#include "scene/ImportScene.h"
#include "options/Options.h"
#include "process/SceneExporter.h"
#include "scene/Scene.h"
#include "scene/SceneFromQef.h"
#include "scene/SceneWrite.h"

namespace {

// Triangles the processing keeps: those whose three corners have distinct
// positions that exist (counted here from the rule, not by the driver).
uint64_t DrawableTriangles(const SImportScene& scene, const COptionsData& options)
{
    if (!options.GetBool(opt::bExportGeometry))
        return 0;
    uint64_t total = 0;
    for (const SImportNode& n : scene.nodes) {
        if (n.content != eImportMesh && !(n.content == eImportBone && options.GetBool(opt::bExportBoneGeometry)))
            continue;
        for (const SImportTriangle& t : n.triangles) {
            bool ok = true;
            for (int c = 0; c < 3 && ok; ++c)
                ok = t.position[c] >= 0 && size_t(t.position[c]) < n.positions.size();
            if (!ok)
                continue;
            for (int a = 0; a < 3 && ok; ++a) {
                const int b = (a + 1) % 3;
                ok = t.position[a] != t.position[b] &&
                     n.positions[size_t(t.position[a])] != n.positions[size_t(t.position[b])];
            }
            total += ok;
        }
    }
    return total;
}

void DemandingOptions(COptions& o)
{
    o.SetPrimType(ePrimTriangleStrip);
    o.SetBool(opt::bTangentSpace, true);
    o.SetBool(opt::bExportMappingChannels, true);
    o.SetCS(eCSDirectX);
    o.SetBool(opt::bExportModelSpace, false);
    o.SetBool(opt::bExportAnimations, true);
    o.SetBool(opt::bInterleaved, false);
    o.SetBool(opt::bExportMatrices, true);
    o.SetBool(opt::bUnpackMatrix, true);
    o.SetType(eVAPosition, eZGXTShort);
    o.SetType(eVANormal, eZGXTDec3N);
    o.SetType(eVATangent, eZGXTShortNorm);
    o.SetType(eVABinormal, eZGXTByteNorm);
    o.SetExport(eVAColour, true);
    o.SetType(eVAColour, eZGXTRGBA);
    o.SetType(eVAUVW0, eZGXTUShortNorm);
}

// Skin and animation kept: bone batches within a palette of 9, indexed
// tracks, bone data in small types; once in model space, once in world
// space through the skinning matrices.
void SkinnedOptions(COptions& o)
{
    o.SetBool(opt::bExportSkin, true);
    o.SetBool(opt::bExportAnimations, true);
    o.SetBool(opt::bIndexAnimations, true);
    o.SetUInt(opt::uiBoneLimit, 9);
    o.SetType(eVABoneIndices, eZGXTUByte);
    o.SetType(eVABoneWeights, eZGXTUShortNorm);
}

void SkinnedWorldOptions(COptions& o)
{
    SkinnedOptions(o);
    o.SetBool(opt::bExportModelSpace, false);
    o.SetUInt(opt::uiStaticFrame, 1);
}

// Value k of vertex v of a channel, interleaved or not.
float ChannelValue(const SSceneMesh& mesh, const SVertexChannel& c, uint32_t v, uint32_t k)
{
    const size_t at = size_t(v) * c.uiStride + (mesh.IsInterleaved() ? c.uiOffset : 0) + k * ComponentSize(c.eType);
    const std::vector<uint8_t>& bytes = mesh.IsInterleaved() ? mesh.pVertexBlock : c.pData;
    EXPECT_LE(at + ComponentSize(c.eType), bytes.size());
    return at + ComponentSize(c.eType) <= bytes.size() ? ReadComponent(&bytes[at], c.eType) : 0.0f;
}

// Every batch within the palette, batches in triangle order, every bone
// index of a weighted place local to its triangle's batch.
void ExpectBatches(const SSceneMesh& mesh, uint32_t limit)
{
    if (mesh.uiBatchCount == 0)
        return;
    ASSERT_EQ(mesh.uiBatchCapacity, limit);
    ASSERT_EQ(mesh.puiBatchBoneTotals.size(), mesh.uiBatchCount);
    ASSERT_EQ(mesh.puiBatchStartTriangle.size(), mesh.uiBatchCount);
    ASSERT_EQ(mesh.puiBatchBoneList.size(), size_t(mesh.uiBatchCount) * limit);
    EXPECT_EQ(mesh.puiBatchStartTriangle[0], 0u);
    for (uint32_t b = 0; b < mesh.uiBatchCount; ++b) {
        ASSERT_LE(mesh.puiBatchBoneTotals[b], limit);
        if (b) {
            ASSERT_LE(mesh.puiBatchStartTriangle[b - 1], mesh.puiBatchStartTriangle[b]);
        }
    }
    if (!mesh.puiStripTriangles.empty() || mesh.sIndexData.pData.empty())
        return; // the index walk below reads plain triangle lists
    const SVertexChannel& ind = mesh.sIndexData;
    const uint32_t size = ComponentSize(ind.eType);
    uint32_t b = 0;
    for (uint32_t t = 0; t < mesh.uiTriangleCount; ++t) {
        while (b + 1 < mesh.uiBatchCount && mesh.puiBatchStartTriangle[b + 1] <= t)
            ++b;
        for (uint32_t c = 0; c < 3; ++c) {
            const uint32_t v = ReadIndex(&ind.pData[(size_t(t) * 3 + c) * size], ind.eType);
            for (uint32_t k = 0; k < mesh.sBoneIndex.uiComponentCount; ++k)
                if (ChannelValue(mesh, mesh.sBoneWeights, v, k) != 0.0f) {
                    ASSERT_LT(ChannelValue(mesh, mesh.sBoneIndex, v, k), float(mesh.puiBatchBoneTotals[b]));
                }
        }
    }
}

// Converts every corpus file with the options setup makes and checks what
// the reader sees.
// One shard of the corpus: ctest runs the shards side by side.
constexpr int kShards = 4;

void ConvertCorpus(const char* name, const std::function<void(COptions&)>& setup, int shard)
{
    MW_REQUIRE_CORPUS();
    const QStringList files = CorpusFiles(QStringLiteral(".dae"), shard, kShards);
    QTemporaryDir dir;
    const std::string out = dir.filePath(QStringLiteral("out.qef")).toStdString();
    ASSERT_FALSE(files.isEmpty()) << "no .dae files under " << CorpusDir().toStdString();

    QElapsedTimer timer;
    timer.start();
    int converted = 0, batched = 0, paletteTooSmall = 0;
    uint64_t triangles = 0;
    for (const QString& file : files) {
        const std::string path = file.toStdString();
        SCOPED_TRACE(std::string(name) + " options: " + path);
        COptions options;
        setup(options);
        SImportScene scene;
        CCollada2QEF importer;
        SImportSettings settings;
        settings.outputFolder = dir.path().toStdString();
        // Documents the importer refuses are its own tests' business.
        if (importer.Import(path.c_str(), &scene, &options, settings) != 0)
            continue;
        const uint64_t expected = DrawableTriangles(scene, options);

        CSceneExporter exporter;
        exporter.SetOutputPath(out);
        CLogCapture log;
        if (!exporter.Process(scene, options)) {
            // Only a triangle on more bones than the palette may stop it.
            ASSERT_TRUE(options.GetBool(opt::bExportSkin) && log.Contains(3, "Bone batch generation failed."));
            ++paletteTooSmall;
            continue;
        }
        std::vector<uint8_t> bytes;
        ASSERT_EQ(WriteSceneFileToMemory(*exporter.Scene(), options.ToText().c_str(), "corpus", &bytes), 0);
        SScene back;
        CZGXTString why;
        // The written bytes, read back without a trip through the disk (a
        // durable file write per conversion would make the corpus run slow).
        ASSERT_TRUE(LoadSceneFromBytes(bytes.data(), bytes.size(), &back, nullptr, nullptr, &why)) << why;

        if (options.GetBool(opt::bExportAnimations) && scene.lastFrame != 0 &&
            options.GetBool(opt::bExportModelSpace)) {
            EXPECT_EQ(back.uiFramesPerSecond, 30u);
            EXPECT_LE(back.uiFrameCount, scene.lastFrame + 1);
        }
        for (size_t m = 0; m < back.pMeshes.size(); ++m) {
            const SSceneMesh& mesh = back.pMeshes[m];
            ExpectBatches(mesh, options.GetUInt(opt::uiBoneLimit));
            if (!options.GetBool(opt::bExportModelSpace)) {
                EXPECT_EQ(mesh.uiBatchCount, 0u) << "world space bakes the skin in";
            }
            batched += mesh.uiBatchCount != 0;
            const SVertexChannel& ind = mesh.sIndexData;
            if (!ind.IsPresent())
                continue; // not indexed: the corners are the vertices
            const uint32_t size = ComponentSize(ind.eType);
            ASSERT_EQ(uint64_t(ind.pData.size()), IndexCount(mesh) * size) << "mesh " << m;
            for (size_t i = 0; i + size <= ind.pData.size(); i += size)
                ASSERT_LT(ReadIndex(&ind.pData[i], ind.eType), mesh.uiVertexCount) << "mesh " << m;
        }
        uint64_t written = 0;
        for (uint32_t n = 0; n < back.uiMeshNodeCount; ++n) {
            const int32_t content = back.pNodes[n].nContentIdx;
            ASSERT_TRUE(content >= 0 && size_t(content) < back.pMeshes.size());
            written += back.pMeshes[size_t(content)].uiTriangleCount;
        }
        EXPECT_EQ(written, expected);
        triangles += written;
        ++converted;
    }
    EXPECT_GT(converted, 0);
    ::testing::Test::RecordProperty("files", int(files.size()));
    ::testing::Test::RecordProperty("converted", converted);
    ::testing::Test::RecordProperty("batched_meshes", batched);
    ::testing::Test::RecordProperty("palette_too_small", paletteTooSmall);
    ::testing::Test::RecordProperty("triangles", std::to_string(triangles));
    ::testing::Test::RecordProperty("milliseconds", int(timer.elapsed()));
}

} // namespace

class CorpusConvert : public ::testing::TestWithParam<int> {};

TEST_P(CorpusConvert, DefaultOptions)
{
    ConvertCorpus(
        "default", [](COptions&) {}, GetParam());
}

// Strips, tangent space, DirectX, world space, 16-bit and packed types,
// separate channels, matrices.
TEST_P(CorpusConvert, DemandingOptions)
{
    ConvertCorpus("demanding", DemandingOptions, GetParam());
}

// Skin and animation exported in model space (batches) and in world space.
TEST_P(CorpusConvert, SkinnedOptions)
{
    ConvertCorpus("skinned", SkinnedOptions, GetParam());
}

TEST_P(CorpusConvert, SkinnedWorldOptions)
{
    ConvertCorpus("skinned_world", SkinnedWorldOptions, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Shard, CorpusConvert, ::testing::Range(0, kShards));
