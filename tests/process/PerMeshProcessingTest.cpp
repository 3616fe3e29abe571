// ProcessMesh: the fixed sequence of per-mesh steps and its messages.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "PerMeshTestUtil.h"
#include "base/ConversionLog.h"
#include "common/TestSupport.h"
#include "options/Options.h"
#include "process/ProcessMesh.h"
#include "scene/SceneCheck.h"

using namespace permesh;

namespace {

COptionsData PlainOptions()
{
    COptionsData o;
    o.SetBool(opt::bUseCustomOptSettings, true); // first: else the others follow bIndexed and ePrimType
    o.SetTriSort(eTriSortNone);
    o.SetBool(opt::bSortVertices, false);
    o.SetBool(opt::bIndexed, true);
    o.SetPrimType(ePrimTriangleList);
    return o;
}

std::vector<const SVertexChannel*> Attributes(const SSceneMesh& m)
{
    std::vector<const SVertexChannel*> out;
    for (const SVertexChannel* c : VertexChannels(m))
        if (c->IsPresent())
            out.push_back(c);
    return out;
}

void ExpectSeparateChannels(const SSceneMesh& m)
{
    EXPECT_FALSE(m.IsInterleaved());
    for (const SVertexChannel* c : Attributes(m)) {
        EXPECT_EQ(c->uiStride, ElementSize(*c));
        EXPECT_EQ(c->pData.size(), size_t(m.uiVertexCount) * c->uiStride);
    }
}

} // namespace

struct SPipelineCase {
    int triSort;
    bool sortVertices;
    int primType;
    bool indexed;
};

class ProcessMeshOptions : public ::testing::TestWithParam<SPipelineCase> {};

TEST_P(ProcessMeshOptions, KeepsEveryTriangleAndItsWinding)
{
    const SPipelineCase c = GetParam();
    COptionsData o = PlainOptions();
    o.SetTriSort(c.triSort);
    o.SetBool(opt::bSortVertices, c.sortVertices);
    o.SetPrimType(c.primType);
    o.SetBool(opt::bIndexed, c.indexed);
    std::mt19937 rng(c.triSort * 8 + c.primType * 4 + c.sortVertices * 2 + c.indexed);
    SSceneMesh m = GridMesh(9, 7, true);
    std::vector<uint32_t> faces = ReadIndices(m.sIndexData, IndexCount(m));
    ShuffleTriangles(faces, rng);
    WriteIndices32(m.sIndexData, faces);
    const auto before = TrianglesByContent(m, Attributes(m));

    ASSERT_TRUE(ProcessMesh(o, m));
    ExpectSeparateChannels(m);
    EXPECT_EQ(m.uiTriangleCount, 126u);
    EXPECT_EQ(m.uiBatchCount, 0u);
    EXPECT_EQ(m.puiStripTriangles.empty(), c.primType == ePrimTriangleList);
    if (c.indexed) {
        EXPECT_EQ(m.sIndexData.eType, eZGXTUInt);
        EXPECT_EQ(m.sIndexData.pData.size(), IndexCount(m) * 4);
        EXPECT_EQ(TrianglesByContent(m, Attributes(m)), before);
    } else {
        EXPECT_TRUE(m.sIndexData.pData.empty());
        EXPECT_EQ(m.uiVertexCount, uint32_t(IndexCount(m)));
        // Vertex i is index i: rebuild the index list to compare.
        SSceneMesh indexed = m;
        std::vector<uint32_t> identity(m.uiVertexCount);
        for (uint32_t i = 0; i < m.uiVertexCount; ++i)
            identity[i] = i;
        WriteIndices32(indexed.sIndexData, identity);
        EXPECT_EQ(TrianglesByContent(indexed, Attributes(indexed)), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Combinations, ProcessMeshOptions,
                         ::testing::Values(SPipelineCase{eTriSortNone, false, ePrimTriangleList, true},
                                           SPipelineCase{eTriSortGeometry, true, ePrimTriangleList, true},
                                           SPipelineCase{eTriSortD3DX, true, ePrimTriangleList, true},
                                           SPipelineCase{eTriSortTriStrip, true, ePrimTriangleStrip, true},
                                           SPipelineCase{eTriSortTriStrip, false, ePrimTriangleStrip, false},
                                           SPipelineCase{eTriSortGeometry, false, ePrimTriangleList, false},
                                           SPipelineCase{eTriSortD3DX, false, ePrimTriangleStrip, true}));

TEST(ProcessMeshSteps, TangentSpaceAddsFloatTangentsAndBinormals)
{
    COptionsData o = PlainOptions();
    o.SetBool(opt::bTangentSpace, true);
    o.SetFloat(opt::fTangentSpaceVtxSplit, 0.5f);
    SSceneMesh m = GridMesh(4, 3);
    ASSERT_TRUE(ProcessMesh(o, m));
    EXPECT_EQ(m.uiVertexCount, 20u);
    for (const SVertexChannel* c : {&m.sTangent, &m.sBinormal}) {
        EXPECT_EQ(c->eType, eZGXTFloat);
        EXPECT_EQ(c->uiComponentCount, 3u);
    }
    const std::vector<float> t = Floats(m.sTangent, m.uiVertexCount), b = Floats(m.sBinormal, m.uiVertexCount);
    for (uint32_t v = 0; v < m.uiVertexCount; ++v) {
        EXPECT_NEAR(t[v * 3], 1.0f, 1e-5f);
        EXPECT_NEAR(b[v * 3 + 1], 1.0f, 1e-5f);
    }
}

TEST(ProcessMeshSteps, TangentSpaceWithoutThatUVSetWarnsAndSkips)
{
    CLogCapture log;
    COptionsData o = PlainOptions();
    o.SetBool(opt::bTangentSpace, true);
    o.SetUInt(opt::uiTSUseUVW, 1);
    SSceneMesh m = GridMesh(2, 2);
    ASSERT_TRUE(ProcessMesh(o, m));
    EXPECT_TRUE(log.Contains(eLogWarning,
                             "Warning: Tangent-space generation skipped due to no UVW data in mapping channel 1."));
    EXPECT_FALSE(m.sTangent.IsPresent());
    EXPECT_FALSE(m.sBinormal.IsPresent());
}

TEST(ProcessMeshSteps, TangentSpaceNotAskedForWhenBothAttributesAreOff)
{
    COptionsData o = PlainOptions();
    o.SetBool(opt::bTangentSpace, true);
    o.SetExport(eVATangent, false);
    o.SetExport(eVABinormal, false);
    SSceneMesh m = GridMesh(2, 2);
    ASSERT_TRUE(ProcessMesh(o, m));
    EXPECT_FALSE(m.sTangent.IsPresent());
}

TEST(ProcessMeshSteps, TangentSpaceFailureIsLoggedAndTheMeshGoesOn)
{
    CLogCapture log;
    COptionsData o = PlainOptions();
    o.SetBool(opt::bTangentSpace, true);
    // A fan of 40 triangles round vertex 0.
    std::vector<float> p = {0, 0, 0}, n = {0, 0, 1}, uv = {0.5f, 0.5f, 0};
    std::vector<uint32_t> faces;
    for (uint32_t i = 0; i <= 40; ++i) {
        const float a = float(i) * 0.15f;
        p.insert(p.end(), {std::cos(a), std::sin(a), 0});
        n.insert(n.end(), {0, 0, 1});
        uv.insert(uv.end(), {std::cos(a), std::sin(a), 0});
        if (i > 0)
            faces.insert(faces.end(), {0, i, i + 1});
    }
    SSceneMesh m = MakeMesh(p, n, {uv}, faces);
    ASSERT_TRUE(ProcessMesh(o, m));
    EXPECT_TRUE(log.Contains(eLogError, "Tangent-space generation failed due to too many split vertices."));
    EXPECT_EQ(m.uiVertexCount, 42u);
    EXPECT_EQ(ReadIndices(m.sIndexData, IndexCount(m)), faces);
    for (float x : Floats(m.sTangent, m.uiVertexCount))
        EXPECT_EQ(x, 0.0f);
}

TEST(ProcessMeshSteps, DirectXReversesTheWindingBeforeSorting)
{
    for (int triSort : {eTriSortNone, eTriSortGeometry}) {
        COptionsData o = PlainOptions();
        o.SetCS(eCSDirectX);
        o.SetTriSort(triSort);
        SSceneMesh m = GridMesh(3, 3);
        const std::vector<uint32_t> faces = ReadIndices(m.sIndexData, IndexCount(m));
        std::vector<uint32_t> flipped;
        for (size_t i = 0; i < faces.size(); i += 3)
            flipped.insert(flipped.end(), {faces[i], faces[i + 2], faces[i + 1]});
        ASSERT_TRUE(ProcessMesh(o, m));
        const std::vector<uint32_t> out = ReadIndices(m.sIndexData, IndexCount(m));
        if (triSort == eTriSortNone) {
            EXPECT_EQ(out, flipped);
        }
        EXPECT_EQ(TriangleSet(out), TriangleSet(flipped));
    }
}

TEST(ProcessMeshSteps, NotIndexedListHasThreeVerticesPerTriangle)
{
    COptionsData o = PlainOptions();
    o.SetBool(opt::bIndexed, false);
    SSceneMesh m = GridMesh(2, 1);
    ASSERT_TRUE(ProcessMesh(o, m));
    EXPECT_EQ(m.uiVertexCount, 12u);
    EXPECT_TRUE(m.sIndexData.pData.empty());
    EXPECT_EQ(m.sIndexData.uiComponentCount, 0u);
    const std::vector<float> p = Floats(m.sPosition, 12);
    // The first triangle of the grid: vertices (0, 0), (1, 0), (0, 1).
    EXPECT_EQ(std::vector<float>(p.begin(), p.begin() + 9), std::vector<float>({0, 0, 0, 1, 0, 0, 0, 1, 0}));
}

TEST(ProcessMeshSteps, SkinnedMeshIsLimitedToFourBonesPerVertex)
{
    CLogCapture log;
    SSceneMesh m = GridMesh(1, 1);
    std::vector<float> weights(4 * 5, 0.2f);
    m.sBoneWeights = FloatChannel(weights, 5);
    m.sBoneIndex = FloatChannel(std::vector<float>(4 * 5, 0.0f), 5);
    m.sBoneIndex.eType = eZGXTInt;
    const SSceneMesh before = m;
    EXPECT_FALSE(ProcessMesh(PlainOptions(), m));
    EXPECT_TRUE(log.Contains(eLogError, "A maximum of four bones may be used per vertex."));
    EXPECT_FALSE(m.IsInterleaved());
    EXPECT_EQ(Floats(m.sBoneWeights, 4), Floats(before.sBoneWeights, 4));
}

namespace {

// A grid whose column x leans on bone 10 + x alone (two bone places, the
// second weighing nothing).
SSceneMesh SkinnedGrid()
{
    SSceneMesh m = GridMesh(3, 3);
    std::vector<float> weights;
    std::vector<int32_t> bones;
    for (uint32_t y = 0; y <= 3; ++y)
        for (uint32_t x = 0; x <= 3; ++x) {
            weights.insert(weights.end(), {1.0f, 0.0f});
            bones.insert(bones.end(), {int32_t(10 + x), 7});
        }
    m.sBoneWeights = FloatChannel(weights, 2);
    m.sBoneIndex.eType = eZGXTInt;
    m.sBoneIndex.uiComponentCount = 2;
    m.sBoneIndex.uiStride = 8;
    m.sBoneIndex.pData.resize(bones.size() * 4);
    std::memcpy(m.sBoneIndex.pData.data(), bones.data(), m.sBoneIndex.pData.size());
    return m;
}

} // namespace

TEST(ProcessMeshSteps, SkinnedMeshIsBatched)
{
    // Each cell spans two columns, so a palette of two bones makes one batch
    // per pair of neighbouring columns; the geometry sort keeps every
    // triangle in its batch.
    SSceneMesh m = SkinnedGrid();
    m.uiBatchCount = 5; // left over: replaced
    const auto before = TrianglesByContent(m, {&m.sPosition});
    COptionsData o = PlainOptions();
    o.SetTriSort(eTriSortGeometry);
    o.SetUInt(opt::uiBoneLimit, 2);
    ASSERT_TRUE(ProcessMesh(o, m));
    ExpectSeparateChannels(m);
    ASSERT_EQ(m.uiBatchCount, 3u);
    EXPECT_EQ(m.uiBatchCapacity, 2u);
    EXPECT_EQ(TrianglesByContent(m, {&m.sPosition}), before);
    const std::vector<uint32_t> faces = ReadIndices(m.sIndexData, IndexCount(m));
    const std::vector<float> positions = Floats(m.sPosition, m.uiVertexCount);
    for (uint32_t t = 0; t < m.uiTriangleCount; ++t) {
        uint32_t b = 0;
        while (b + 1 < m.uiBatchCount && m.puiBatchStartTriangle[b + 1] <= t)
            ++b;
        for (int c = 0; c < 3; ++c) {
            const uint32_t v = faces[3 * t + c];
            int32_t local[2];
            std::memcpy(local, &m.sBoneIndex.pData[size_t(v) * 8], 8);
            ASSERT_GE(local[0], 0);
            ASSERT_LT(uint32_t(local[0]), m.puiBatchBoneTotals[b]);
            EXPECT_EQ(m.puiBatchBoneList[b * 2 + uint32_t(local[0])], uint32_t(10 + positions[3 * v]));
            EXPECT_EQ(local[1], 0); // weighs nothing
        }
    }
    // The columns between two batches are copied once per batch.
    EXPECT_EQ(m.uiVertexCount, 16u + 8u);
}

TEST(ProcessMeshSteps, TooSmallAPaletteFailsTheMesh)
{
    CLogCapture log;
    SSceneMesh m = SkinnedGrid();
    COptionsData o = PlainOptions();
    o.SetUInt(opt::uiBoneLimit, 1);
    EXPECT_FALSE(ProcessMesh(o, m));
    EXPECT_TRUE(log.Contains(eLogError, "Bone batch generation failed."));
    EXPECT_EQ(m.uiVertexCount, 16u);
    EXPECT_EQ(m.uiBatchCount, 0u);
    ExpectSeparateChannels(m);

    // Without a palette the mesh goes through unbatched.
    SSceneMesh unbatched = SkinnedGrid();
    o.SetUInt(opt::uiBoneLimit, 0);
    ASSERT_TRUE(ProcessMesh(o, unbatched));
    EXPECT_EQ(unbatched.uiBatchCount, 0u);
    EXPECT_EQ(unbatched.uiVertexCount, 16u);
}

TEST(ProcessMeshSteps, BadIndicesFailWithAMessage)
{
    CLogCapture log;
    SSceneMesh m = GridMesh(1, 1);
    WriteIndices32(m.sIndexData, {0, 1, 2, 1, 3, 4});
    EXPECT_FALSE(ProcessMesh(PlainOptions(), m));
    EXPECT_TRUE(log.Contains(eLogError, "Mesh triangle index 4 is not below its vertex count 4."));

    SSceneMesh short_ = GridMesh(1, 1);
    short_.uiTriangleCount = 3;
    EXPECT_FALSE(ProcessMesh(PlainOptions(), short_));
    EXPECT_TRUE(log.Contains(eLogError, "Mesh index data holds fewer than the 3 triangles it should."));
}

TEST(ProcessMeshSteps, EmptyMeshPassesThrough)
{
    SSceneMesh m;
    EXPECT_TRUE(ProcessMesh(COptionsData(), m));
    EXPECT_EQ(m.uiVertexCount, 0u);
    EXPECT_EQ(m.uiTriangleCount, 0u);
}

TEST(ProcessMeshSteps, SixteenBitIndicesComeBackAsThirtyTwo)
{
    SSceneMesh m = GridMesh(2, 2);
    const std::vector<uint32_t> faces = ReadIndices(m.sIndexData, IndexCount(m));
    m.sIndexData.eType = eZGXTUShort;
    m.sIndexData.uiStride = 2;
    m.sIndexData.pData.clear();
    for (uint32_t i : faces)
        m.sIndexData.pData.insert(m.sIndexData.pData.end(), {uint8_t(i), uint8_t(i >> 8)});
    ASSERT_TRUE(ProcessMesh(PlainOptions(), m));
    EXPECT_EQ(m.sIndexData.eType, eZGXTUInt);
    EXPECT_EQ(ReadIndices(m.sIndexData, IndexCount(m)), faces);
}

TEST(ProcessMeshSteps, EverythingAtOnceKeepsTheMeshWritable)
{
    // Tangent space with splits (a mirrored UV seam down the middle), strip
    // order, vertex order and strips, in DirectX winding.
    COptionsData o = PlainOptions();
    o.SetBool(opt::bTangentSpace, true);
    o.SetFloat(opt::fTangentSpaceVtxSplit, 0.5f);
    o.SetTriSort(eTriSortTriStrip);
    o.SetBool(opt::bSortVertices, true);
    o.SetPrimType(ePrimTriangleStrip);
    o.SetCS(eCSDirectX);
    SSceneMesh m = GridMesh(8, 6);
    std::vector<float> uv = Floats(m.psTexCoord[0], m.uiVertexCount);
    for (uint32_t v = 0; v < m.uiVertexCount; ++v)
        uv[v * 3] = std::fabs(uv[v * 3] - 0.5f);
    m.psTexCoord[0] = FloatChannel(uv, 3);
    SSceneMesh flipped = m;
    FlipWinding(flipped, 0, 2, 1);
    const auto before = TrianglesByContent(flipped, {&flipped.sPosition, &flipped.psTexCoord[0]});

    ASSERT_TRUE(ProcessMesh(o, m));
    EXPECT_GT(m.uiVertexCount, 63u); // the seam split
    EXPECT_FALSE(m.puiStripTriangles.empty());
    EXPECT_EQ(TrianglesByContent(m, {&m.sPosition, &m.psTexCoord[0]}), before);
    CZGXTString why;
    EXPECT_TRUE(CheckMesh(m, &why)) << why;
    // The triangles on either side of the seam carry opposite tangents
    // along x (which way round depends on the winding).
    const std::vector<uint32_t> faces = TriangleList(m);
    const std::vector<float> t = Floats(m.sTangent, m.uiVertexCount), p = Floats(m.sPosition, m.uiVertexCount);
    auto centre = [&](size_t i) { return (p[faces[i] * 3] + p[faces[i + 1] * 3] + p[faces[i + 2] * 3]) / 3.0f; };
    const float first = t[faces[0] * 3];
    const float left = centre(0) < 4.0f ? first : -first;
    EXPECT_NEAR(std::fabs(left), 1.0f, 1e-4f);
    for (size_t i = 0; i < faces.size(); i += 3) {
        const float x = centre(i);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(t[faces[i + size_t(k)] * 3], x < 4.0f ? left : -left, 1e-4f);
    }
}

TEST(ProcessMeshes, SideBySideGiveWhatTheLoopInOrderGives)
{
    // Meshes enough for the side-by-side path; a tangent-space warning on
    // one of them; in the second case a mesh with a bad index stops the run.
    auto meshes = [] {
        std::mt19937 rng(77);
        std::vector<SSceneMesh> out;
        for (uint32_t size : {40u, 12u, 30u, 3u, 25u}) {
            SSceneMesh m = GridMesh(size, size);
            std::vector<uint32_t> faces = ReadIndices(m.sIndexData, IndexCount(m));
            ShuffleTriangles(faces, rng);
            WriteIndices32(m.sIndexData, faces);
            out.push_back(m);
        }
        out[1].psTexCoord.clear();
        return out;
    };
    struct SCase {
        const char* name;
        bool strips;
        size_t badMesh; // or none
    };
    const SCase cases[] = {
        {"defaults", false, ~size_t(0)},
        {"strips and tangent space", true, ~size_t(0)},
        {"bad index in mesh 2", true, 2},
    };
    for (const SCase& c : cases) {
        COptionsData o;
        o.SetBool(opt::bTangentSpace, true);
        if (c.strips)
            o.SetPrimType(ePrimTriangleStrip);
        std::vector<SSceneMesh> inOrder = meshes(), sideBySide = meshes();
        if (c.badMesh < inOrder.size()) {
            std::vector<uint32_t> f = ReadIndices(inOrder[c.badMesh].sIndexData, IndexCount(inOrder[c.badMesh]));
            f[7] = inOrder[c.badMesh].uiVertexCount;
            WriteIndices32(inOrder[c.badMesh].sIndexData, f);
            WriteIndices32(sideBySide[c.badMesh].sIndexData, f);
        }
        bool okInOrder = true;
        std::vector<CLogCapture::SMessage> logInOrder;
        {
            CLogCapture log;
            for (size_t i = 0; i < inOrder.size() && okInOrder; ++i) {
                ConversionLog(eLogInfo, "Processing mesh %i", int(i));
                okInOrder = ProcessMesh(o, inOrder[i]);
            }
            logInOrder = log.Messages();
        }
        CLogCapture log;
        EXPECT_EQ(ProcessMeshes(o, sideBySide), okInOrder) << c.name;
        EXPECT_EQ(okInOrder, c.badMesh >= inOrder.size()) << c.name;
        EXPECT_TRUE(log.Contains(eLogWarning,
                                 "Warning: Tangent-space generation skipped due to no UVW data in mapping channel 0."))
            << c.name;
        EXPECT_TRUE(log.Contains(eLogInfo, "Processing mesh 2")) << c.name;
        EXPECT_EQ(log.Contains(eLogInfo, "Processing mesh 3"), okInOrder) << c.name;
        ASSERT_EQ(log.Messages().size(), logInOrder.size()) << c.name;
        for (size_t i = 0; i < logInOrder.size(); ++i) {
            EXPECT_EQ(log.Messages()[i].level, logInOrder[i].level) << c.name;
            EXPECT_EQ(log.Messages()[i].text, logInOrder[i].text) << c.name;
        }
        for (size_t i = 0; i < inOrder.size() && i < c.badMesh; ++i) {
            const SSceneMesh &a = inOrder[i], &b = sideBySide[i];
            EXPECT_EQ(a.uiVertexCount, b.uiVertexCount) << c.name << ", mesh " << i;
            EXPECT_EQ(a.sIndexData.pData, b.sIndexData.pData) << c.name << ", mesh " << i;
            EXPECT_EQ(a.puiStripTriangles, b.puiStripTriangles) << c.name << ", mesh " << i;
            const auto ca = VertexChannels(a), cb = VertexChannels(b);
            ASSERT_EQ(ca.size(), cb.size());
            for (size_t k = 0; k < ca.size(); ++k)
                EXPECT_EQ(ca[k]->pData, cb[k]->pData) << c.name << ", mesh " << i << ", channel " << k;
        }
    }
}
