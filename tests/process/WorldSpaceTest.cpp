// Export in world space at the static frame.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "ProcessTestScenes.h"
#include "TestSupport.h"
#include "options/Options.h"
#include "process/SceneExporter.h"
#include "process/WorldSpace.h"
#include "scene/Scene.h"

namespace {

std::vector<float> Floats(const SVertexChannel& c)
{
    std::vector<float> out(c.pData.size() / 4);
    if (!out.empty())
        std::memcpy(out.data(), c.pData.data(), c.pData.size());
    return out;
}

COptions WorldOptions()
{
    COptions options;
    options.SetBool(opt::bExportModelSpace, false);
    return options;
}

void SetTranslation(SImportTransform& t, float x, float y, float z)
{
    t.translation = {x, y, z};
    t.matrix[12] = x;
    t.matrix[13] = y;
    t.matrix[14] = z;
}

bool HasNoTransform(const SSceneNode& n)
{
    return n.pfPositionKeys.empty() && n.pfRotationKeys.empty() && n.pfScaleKeys.empty() && n.pfMatrixKeys.empty() &&
           n.puiPositionKeyIdx.empty() && n.uiAnimMask == 0 && n.nParentIdx == -1;
}

} // namespace

TEST(WorldSpace, MeshVerticesTakeTheirNodesWorldMatrix)
{
    SImportScene in;
    in.userData = {9, 8};
    SImportNode& root = AddNode(in, "Root", eImportNone);
    SetTranslation(root.transform, 10, 0, 0);
    SImportNode& mesh = AddNode(in, "Mesh", eImportMesh, 0);
    mesh.transform.scale = {2, 1, 1};
    mesh.transform.matrix[0] = 2;
    AddTriangle(mesh, {{1, 0, 0}, {0.6f, 0.8f, 0}}, {{0, 1, 0}, {0.6f, 0.8f, 0}}, {{0, 0, 1}, {0.6f, 0.8f, 0}});

    CSceneExporter exporter;
    ASSERT_TRUE(exporter.Process(in, WorldOptions()));
    const SScene& s = *exporter.Scene();
    EXPECT_EQ(s.uiFrameCount, 0u);
    EXPECT_EQ(s.pUserData, std::vector<uint8_t>({9, 8}));
    ASSERT_EQ(s.uiMeshNodeCount, 1u);
    ASSERT_EQ(s.pNodes.size(), 2u);
    EXPECT_TRUE(HasNoTransform(s.pNodes[0]));
    EXPECT_EQ(s.pNodes[0].nContentIdx, 0);

    const std::vector<float> p = Floats(s.pMeshes[0].sPosition);
    const std::vector<float> expected = {12, 0, 0, 10, 1, 0, 10, 0, 1};
    ASSERT_EQ(p.size(), expected.size());
    for (size_t i = 0; i < p.size(); ++i)
        EXPECT_FLOAT_EQ(p[i], expected[i]) << i;
    // Normals follow the inverse transpose and stay unit length.
    const std::vector<float> n = Floats(s.pMeshes[0].sNormal);
    const float x = 0.3f, y = 0.8f, len = std::sqrt(x * x + y * y);
    EXPECT_NEAR(n[0], x / len, 1e-6f);
    EXPECT_NEAR(n[1], y / len, 1e-6f);
    EXPECT_NEAR(n[2], 0.0f, 1e-6f);

    // The other node keeps its world matrix as its one key.
    const SSceneNode& r = s.pNodes[1];
    EXPECT_EQ(r.nParentIdx, -1);
    EXPECT_EQ(r.uiAnimMask, 0u);
    EXPECT_TRUE(r.pfPositionKeys.empty());
    ASSERT_EQ(r.pfMatrixKeys.size(), 16u);
    EXPECT_EQ(r.pfMatrixKeys[12], 10.0f);
    EXPECT_EQ(s.sAnimCache.pmWorldFrame0.size(), 2u);
}

TEST(WorldSpace, InstancedMeshesAreDuplicated)
{
    SImportScene in;
    AddQuad(AddNode(in, "A", eImportMesh));
    SImportNode& b = AddNode(in, "B", eImportMesh);
    AddQuad(b);
    SetTranslation(b.transform, 0, 0, 5);
    CLogCapture log;
    CSceneExporter exporter;
    ASSERT_TRUE(exporter.Process(in, WorldOptions()));
    EXPECT_TRUE(log.Contains(1, "Instancing mesh"));
    const SScene& s = *exporter.Scene();
    ASSERT_EQ(s.pMeshes.size(), 2u);
    EXPECT_EQ(s.pNodes[1].nContentIdx, 1);
    EXPECT_EQ(Floats(s.pMeshes[0].sPosition)[2], 0.0f);
    EXPECT_EQ(Floats(s.pMeshes[1].sPosition)[2], 5.0f);
}

TEST(WorldSpace, StaticFrameOutsideTheFramesUsesFrameZero)
{
    struct SCase {
        uint32_t staticFrame;
        float x;
    };
    const SCase cases[] = {{0, 0}, {3, 3}, {4, 4}, {5, 0}, {100, 0}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.staticFrame);
        SImportScene in;
        in.lastFrame = 4;
        SImportNode& node = AddNode(in, "Mover", eImportMesh);
        AddTriangle(node, {{0, 0, 0}}, {{0, 1, 0}}, {{0, 0, 1}});
        AddMovingFrames(node, 5);
        COptions options = WorldOptions();
        options.SetUInt(opt::uiStaticFrame, c.staticFrame);
        CSceneExporter exporter;
        ASSERT_TRUE(exporter.Process(in, options));
        EXPECT_EQ(Floats(exporter.Scene()->pMeshes[0].sPosition)[0], c.x);
    }
}

TEST(WorldSpace, BatchedSkinUsesTheBonesSkinningMatrices)
{
    // Node 0 holds the mesh; node 1 is a bone that moves up by 5 at frame 1.
    SScene s;
    s.uiFrameCount = 2;
    s.uiMeshNodeCount = 1;
    s.pNodes.resize(2);
    s.pNodes[0].nContentIdx = 0;
    const SMatrix44 identity = MatrixIdentity();
    s.pNodes[0].pfMatrixKeys.assign(identity.begin(), identity.end());
    SSceneNode& bone = s.pNodes[1];
    bone.uiAnimMask = eAnimMatrix;
    bone.pfMatrixKeys.assign(identity.begin(), identity.end());
    bone.pfMatrixKeys.insert(bone.pfMatrixKeys.end(), identity.begin(), identity.end());
    bone.pfMatrixKeys[16 + 13] = 5.0f;

    SSceneMesh m;
    m.uiVertexCount = 3;
    m.uiTriangleCount = 1;
    m.sIndexData.eType = eZGXTUInt;
    m.sIndexData.uiComponentCount = 1;
    m.sIndexData.uiStride = 4;
    const uint32_t idx[3] = {0, 1, 2};
    m.sIndexData.pData.assign(reinterpret_cast<const uint8_t*>(idx), reinterpret_cast<const uint8_t*>(idx) + 12);
    auto channel = [](EZGXTDataType type, uint32_t n, const std::vector<float>& values) {
        SVertexChannel c;
        c.eType = type;
        c.uiComponentCount = n;
        c.uiStride = 4 * n;
        c.pData.resize(values.size() * 4);
        for (size_t i = 0; i < values.size(); ++i)
            WriteComponent(&c.pData[i * 4], type, values[i]);
        return c;
    };
    m.sPosition = channel(eZGXTFloat, 3, {0, 0, 0, 1, 0, 0, 0, 0, 1});
    // Slot 0 is the bone, slot 1 the mesh node itself (which does not move).
    m.sBoneIndex = channel(eZGXTInt, 2, {0, 0, 0, 1, 0, 0});
    m.sBoneWeights = channel(eZGXTFloat, 2, {1, 0, 0.5f, 0.5f, 0, 0});
    m.uiBatchCount = 1;
    m.uiBatchCapacity = 2;
    m.puiBatchBoneList = {1, 0};
    m.puiBatchBoneTotals = {2};
    m.puiBatchStartTriangle = {0};
    s.pMeshes.push_back(m);

    ASSERT_EQ(CreateAnimCache(s), 0);
    SelectFrame(s, 1.0f);
    SScene out;
    ConvertToWorldSpace(s, out);
    const SSceneMesh& w = out.pMeshes[0];
    const std::vector<float> p = Floats(w.sPosition);
    // Weight 1 moves fully, weight 0.5 half way, weight 0 stays with its node.
    const std::vector<float> expected = {0, 5, 0, 1, 2.5f, 0, 0, 0, 1};
    ASSERT_EQ(p.size(), expected.size());
    for (size_t i = 0; i < p.size(); ++i)
        EXPECT_FLOAT_EQ(p[i], expected[i]) << i;
    EXPECT_EQ(w.uiBatchCount, 0u);
    EXPECT_TRUE(w.puiBatchBoneList.empty());
    EXPECT_EQ(w.sBoneIndex.uiComponentCount, 0u);
    EXPECT_TRUE(w.sBoneIndex.pData.empty());
    EXPECT_EQ(w.sBoneWeights.eType, eZGXTFloat);
    EXPECT_EQ(w.sBoneWeights.uiStride, 0u);
}

TEST(WorldSpace, MirrorNodeAnimationNegatesTheListedFloats)
{
    SScene s;
    s.uiFrameCount = 2;
    s.pNodes.resize(1);
    SSceneNode& n = s.pNodes[0];
    n.uiAnimMask = eAnimPosition | eAnimMatrix;
    n.pfPositionKeys = {1, 2, 3, 4, 5, 6};
    n.pfRotationKeys = {0.1f, 0.2f, 0.3f, 0.9f}; // one static key
    n.pfScaleKeys = {2, 3, 4, 1, 0, 0, 0.5f};
    for (int i = 0; i < 32; ++i)
        n.pfMatrixKeys.push_back(float(i + 1));
    MirrorNodeAnimation(s);
    EXPECT_EQ(n.pfPositionKeys, std::vector<float>({1, 2, -3, 4, 5, -6}));
    EXPECT_EQ(n.pfRotationKeys, std::vector<float>({-0.1f, -0.2f, 0.3f, 0.9f}));
    EXPECT_EQ(n.pfScaleKeys, std::vector<float>({2, 3, 4, 1, 0, 0, 0.5f}));
    for (int i = 0; i < 32; ++i) {
        const int e = i % 16;
        const bool negated = e == 2 || e == 6 || e == 8 || e == 9 || e == 11 || e == 14;
        EXPECT_EQ(n.pfMatrixKeys[size_t(i)], negated ? -float(i + 1) : float(i + 1)) << i;
    }
}
