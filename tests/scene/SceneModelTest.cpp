#include <gtest/gtest.h>

#include <cmath>

#include "SceneTestUtil.h"
#include "scene/Scene.h"

namespace {

void ExpectMatrixNear(const SMatrix44& a, const SMatrix44& b, float eps = 1e-5f)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a[size_t(i)], b[size_t(i)], eps) << "element " << i;
}

SMatrix44 Translation(float x, float y, float z)
{
    SMatrix44 m = MatrixIdentity();
    m[12] = x;
    m[13] = y;
    m[14] = z;
    return m;
}

SScene SceneWithNodes(size_t n, uint32_t frames)
{
    SScene s;
    s.uiFrameCount = frames;
    s.pNodes.resize(n);
    return s;
}

} // namespace

TEST(SceneModel, SelectFrameSplitsFrameAndBlend)
{
    SScene s = SceneWithNodes(1, 10);
    SelectFrame(s, 2.75f);
    EXPECT_EQ(s.sAnimCache.uiFrame, 2u);
    EXPECT_FLOAT_EQ(s.sAnimCache.fBlend, 0.75f);
    EXPECT_FLOAT_EQ(s.sAnimCache.fFrame, 2.75f);

    SScene still = SceneWithNodes(1, 0);
    SelectFrame(still, 2.75f);
    EXPECT_EQ(still.sAnimCache.uiFrame, 0u);
    EXPECT_EQ(still.sAnimCache.fBlend, 0.0f);
    EXPECT_FLOAT_EQ(still.sAnimCache.fFrame, 2.75f);

    // Negative frames do not wrap into huge frame numbers.
    SelectFrame(s, -1.5f);
    EXPECT_EQ(s.sAnimCache.uiFrame, 0u);
}

TEST(SceneModel, IndexCountOfListsAndStrips)
{
    SSceneMesh list;
    list.uiTriangleCount = 10;
    EXPECT_EQ(IndexCount(list), 30u);
    SSceneMesh strips;
    strips.uiTriangleCount = 10;
    strips.puiStripTriangles = {6, 4};
    EXPECT_EQ(IndexCount(strips), 14u);
    list.uiTriangleCount = 0xFFFFFFFFu; // no 32-bit wrap
    EXPECT_EQ(IndexCount(list), 3ull * 0xFFFFFFFFull);
}

TEST(SceneModel, AnimArrayLengthByFlagAndIndexArray)
{
    struct SCase {
        uint32_t mask, bit;
        std::vector<uint32_t> idx;
        uint32_t frames, k;
        uint64_t expected;
    } cases[] = {
        {0, 0, {}, 30, 3, 3},                     // static: one key
        {eAnimRotation, 1, {}, 30, 4, 120},       // one key per frame
        {eAnimScale, 2, {0, 7, 14, 7}, 4, 7, 21}, // largest index + k
        {eAnimMatrix, 3, {0, 16, 99}, 2, 16, 32}, // entries past the frame count are not part of it
        {eAnimPosition, 0, {0xFFFFFFFFu}, 1, 3, 0x100000002ull},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(AnimArrayLength(c.mask, c.bit, c.idx, c.frames, c.k), c.expected) << "bit " << c.bit;
}

TEST(SceneModel, NodeWithoutArraysIsIdentityAndMatrixArrayWins)
{
    SScene s = SceneWithNodes(2, 0);
    EXPECT_EQ(ComputeWorldMatrix(s, 0), MatrixIdentity());
    // Position, rotation and scale are ignored once a matrix array exists.
    s.pNodes[1].pfPositionKeys = {5, 5, 5};
    s.pNodes[1].pfScaleKeys = {2, 2, 2, 0, 0, 0, 0};
    s.pNodes[1].pfMatrixKeys.assign(16, 0.0f);
    const SMatrix44 m = Translation(1, 2, 3);
    std::copy(m.begin(), m.end(), s.pNodes[1].pfMatrixKeys.begin());
    EXPECT_EQ(ComputeWorldMatrix(s, 1), m);
    // Out-of-range nodes evaluate to the identity.
    EXPECT_EQ(ComputeWorldMatrix(s, 7), MatrixIdentity());
}

TEST(SceneModel, StaticScaleRotationTranslationProduct)
{
    SScene s = SceneWithNodes(1, 0);
    SSceneNode& n = s.pNodes[0];
    n.pfScaleKeys = {2, 2, 2, 0, 0, 0, 0};
    n.pfRotationKeys = {0, 0, std::sqrt(0.5f), std::sqrt(0.5f)}; // 90 degrees about z
    n.pfPositionKeys = {10, 0, 0};
    // Scaling x Rotation x Translation, the quaternion matrix taken row by row.
    const SMatrix44 expected = {0, -2, 0, 0, 2, 0, 0, 0, 0, 0, 2, 0, 10, 0, 0, 1};
    ExpectMatrixNear(ComputeWorldMatrix(s, 0), expected);
}

TEST(SceneModel, InterpolatesPositionAndRotationKeys)
{
    SScene s = SceneWithNodes(1, 3);
    SSceneNode& n = s.pNodes[0];
    n.uiAnimMask = eAnimPosition | eAnimRotation;
    n.pfPositionKeys = {0, 0, 0, 10, 0, 0, 20, 0, 0};
    const float h = std::sqrt(0.5f);
    n.pfRotationKeys = {0, 0, 0, 1, 0, 0, h, h, 0, 0, 1, 0};
    SelectFrame(s, 0.5f);
    EXPECT_NEAR(EvalTranslationMatrix(s, 0)[12], 5.0f, 1e-6f);
    // Halfway between 0 and 90 degrees about z: 45 degrees.
    const SMatrix44 r = EvalRotationMatrix(s, 0);
    EXPECT_NEAR(r[0], std::cos(0.785398f), 1e-5f);
    EXPECT_NEAR(r[4], std::sin(0.785398f), 1e-5f);
    // At the last frame key B is key A.
    SelectFrame(s, 2.5f);
    EXPECT_NEAR(EvalTranslationMatrix(s, 0)[12], 20.0f, 1e-6f);
    // Frames beyond the animation hold the last key instead of reading past it.
    SelectFrame(s, 40.0f);
    EXPECT_NEAR(EvalTranslationMatrix(s, 0)[12], 20.0f, 1e-6f);
}

TEST(SceneModel, IndexArrayPointingAtKeyZeroGivesOneKeyEveryFrame)
{
    SScene s = SceneWithNodes(1, 4);
    SSceneNode& n = s.pNodes[0];
    n.uiAnimMask = eAnimPosition | eAnimMatrix;
    n.puiPositionKeyIdx = {0, 0, 0, 0};
    n.pfPositionKeys = {7, 8, 9};
    for (float f : {0.0f, 1.5f, 3.0f}) {
        SelectFrame(s, f);
        const SMatrix44 t = EvalTranslationMatrix(s, 0);
        EXPECT_EQ(t[12], 7.0f);
        EXPECT_EQ(t[14], 9.0f);
    }
    // Matrix keys are taken at the whole frame through the index array.
    n.puiMatrixKeyIdx = {0, 16, 16, 0};
    n.pfMatrixKeys.assign(32, 0.0f);
    const SMatrix44 a = Translation(1, 0, 0), b = Translation(2, 0, 0);
    std::copy(a.begin(), a.end(), n.pfMatrixKeys.begin());
    std::copy(b.begin(), b.end(), n.pfMatrixKeys.begin() + 16);
    SelectFrame(s, 1.9f);
    EXPECT_EQ(EvalMatrixKey(s, 0), b);
    SelectFrame(s, 3.0f);
    EXPECT_EQ(EvalMatrixKey(s, 0), a);
}

TEST(SceneModel, SlerpRules)
{
    const float a[4] = {0, 0, 0, 1};
    const float b[4] = {0, 0, 0.6f, -0.8f}; // negative dot: b is negated first
    float out[4];
    QuaternionSlerp(out, a, b, 1.5f);
    EXPECT_EQ(out[3], 1.0f); // t outside 0..1 gives the identity
    QuaternionSlerp(out, a, a, 0.3f);
    EXPECT_EQ(out[3], 1.0f); // theta 0 leaves a unchanged
    QuaternionSlerp(out, a, b, 1.0f);
    EXPECT_NEAR(out[2], -0.6f, 1e-6f);
    EXPECT_NEAR(out[3], 0.8f, 1e-6f);
}

TEST(SceneModel, WorldMatrixFollowsParentsAndSurvivesCycles)
{
    SScene s = SceneWithNodes(3, 0);
    s.pNodes[0].pfPositionKeys = {1, 0, 0};
    s.pNodes[1].pfPositionKeys = {0, 2, 0};
    s.pNodes[1].nParentIdx = 0;
    s.pNodes[2].pfScaleKeys = {3, 3, 3, 0, 0, 0, 0};
    s.pNodes[2].nParentIdx = 1;
    // M(2) = local(2) x local(1) x local(0).
    const SMatrix44 scale3 = {3, 0, 0, 0, 0, 3, 0, 0, 0, 0, 3, 0, 0, 0, 0, 1};
    const SMatrix44 expected = MatrixMultiply(scale3, MatrixMultiply(Translation(0, 2, 0), Translation(1, 0, 0)));
    EXPECT_EQ(ComputeWorldMatrix(s, 2), expected);
    ASSERT_EQ(CreateAnimCache(s), 0);
    EXPECT_EQ(s.sAnimCache.pmWorldFrame0[2], expected);

    // A parent out of range counts as none; a cycle ends where it closes.
    s.pNodes[0].nParentIdx = 2;
    s.pNodes[1].nParentIdx = 77;
    EXPECT_EQ(ComputeWorldMatrix(s, 1), Translation(0, 2, 0));
    const SMatrix44 cyc = ComputeWorldMatrix(s, 2);
    ASSERT_EQ(CreateAnimCache(s), 0);
    EXPECT_EQ(s.sAnimCache.pmWorldFrame0[2], cyc);
}

TEST(SceneModel, LongParentChainsAndCyclesStayLinear)
{
    // A quadratic walk over 200000 nodes would not finish in a test's time.
    const size_t n = 200000;
    SScene s = SceneWithNodes(n, 0);
    for (size_t i = 0; i < n; ++i) {
        s.pNodes[i].nParentIdx = int32_t((i + 1) % n); // one big cycle
        s.pNodes[i].pfPositionKeys = {0, 0, 1e-6f};
    }
    ASSERT_EQ(CreateAnimCache(s), 0);
    EXPECT_TRUE(std::isfinite(s.sAnimCache.pmWorldFrame0[0][14]));
}

TEST(SceneModel, WorldMatrixAtUsesTheCache)
{
    SScene s = SceneWithNodes(1, 2);
    s.pNodes[0].uiAnimMask = eAnimPosition;
    s.pNodes[0].pfPositionKeys = {0, 0, 0, 4, 0, 0};
    ASSERT_EQ(CreateAnimCache(s), 0);
    EXPECT_EQ(WorldMatrixAt(s, 0), MatrixIdentity());
    SelectFrame(s, 0.5f);
    EXPECT_EQ(WorldMatrixAt(s, 0)[12], 2.0f);
    EXPECT_EQ(s.sAnimCache.pfCachedFrame[0], 0.5f);
    // A cached entry is returned as stored until the frame changes.
    s.sAnimCache.pmWorldCurrent[0][13] = 99.0f;
    EXPECT_EQ(WorldMatrixAt(s, 0)[13], 99.0f);
    SelectFrame(s, 1.0f);
    EXPECT_EQ(WorldMatrixAt(s, 0)[13], 0.0f);
}

TEST(SceneModel, BoneSkinMatrixIsBindInverseTimesCurrent)
{
    SScene s = SceneWithNodes(2, 2);
    s.pNodes[0].pfPositionKeys = {0, 0, 5}; // mesh node
    s.pNodes[1].uiAnimMask = eAnimPosition;
    s.pNodes[1].pfPositionKeys = {1, 0, 0, 3, 0, 0}; // bone moves by 2 in x
    ASSERT_EQ(CreateAnimCache(s), 0);
    SelectFrame(s, 1.0f);
    const SMatrix44 m = BoneSkinMatrix(s, 0, 1);
    ExpectMatrixNear(m, Translation(2, 0, 5));
    EXPECT_EQ(s.sAnimCache.fFrame, 1.0f); // the frame is restored

    // A singular bone at frame 0 has no inverse: the bind part is left out.
    s.pNodes[1].pfScaleKeys = {0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(CreateAnimCache(s), 0);
    SelectFrame(s, 1.0f);
    const SMatrix44 singular = BoneSkinMatrix(s, 0, 1);
    for (float v : singular)
        EXPECT_TRUE(std::isfinite(v));
}

TEST(SceneModel, DestroyEmptiesTheScene)
{
    SScene s = MakeFullScene();
    ASSERT_EQ(CreateAnimCache(s), 0);
    Destroy(s);
    EXPECT_EQ(s, SScene());
    EXPECT_TRUE(s.pMeshes.empty());
    EXPECT_TRUE(s.sAnimCache.pmWorldFrame0.empty());
    Destroy(s); // safe on an empty scene
    EXPECT_EQ(s, SScene());
}

TEST(SceneModel, EqualityComparesEveryFieldBitwise)
{
    const SScene a = MakeFullScene();
    SScene b = a;
    EXPECT_EQ(a, b);
    b.pMeshes[2].pVertexBlock[39] = 1; // a gap byte of the interleaved block
    EXPECT_NE(a, b);
    b = a;
    b.pMaterials[0].nTextureSlot9 = 0;
    EXPECT_NE(a, b);
    b = a;
    b.pNodes[1].puiPositionKeyIdx[2] = 3;
    EXPECT_NE(a, b);
    b = a;
    b.sAnimCache.fFrame = 3.0f; // the cache is not part of the scene's value
    EXPECT_EQ(a, b);
}
