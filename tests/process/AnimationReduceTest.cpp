// Animation reduction and track indexing.
#include <gtest/gtest.h>

#include "ProcessTestScenes.h"
#include "TestSupport.h"
#include "options/Options.h"
#include "process/AnimationReduce.h"
#include "process/SceneBuild.h"
#include "process/SceneExporter.h"
#include "scene/Scene.h"

namespace {

// A node whose position keys are the given frames and whose other tracks
// repeat the rest value.
SWorkNode NodeWithPositions(const std::vector<std::array<float, 3>>& frames)
{
    SWorkNode w;
    w.node.pszName = "N";
    for (const auto& p : frames) {
        w.node.pfPositionKeys.insert(w.node.pfPositionKeys.end(), p.begin(), p.end());
        w.node.pfRotationKeys.insert(w.node.pfRotationKeys.end(), w.restRotation, w.restRotation + 4);
        w.node.pfScaleKeys.insert(w.node.pfScaleKeys.end(), w.restScale, w.restScale + 7);
    }
    return w;
}

} // namespace

TEST(AnimationReduce, StillTracksBecomeSingleRestKeys)
{
    SWorkNode w = NodeWithPositions({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
    w.restPosition[0] = 0;
    ReduceNodeAnimation(w, 3, COptions());
    EXPECT_EQ(w.node.uiAnimMask, 0u);
    EXPECT_EQ(w.node.pfPositionKeys, std::vector<float>({0, 0, 0}));
    EXPECT_EQ(w.node.pfRotationKeys, std::vector<float>({0, 0, 0, 1}));
    EXPECT_EQ(w.node.pfScaleKeys, std::vector<float>({1, 1, 1, 0, 0, 0, 0}));
    EXPECT_TRUE(w.node.pfMatrixKeys.empty());
    EXPECT_TRUE(w.node.puiPositionKeyIdx.empty());
}

TEST(AnimationReduce, MovingTrackIsKeptAndFlagged)
{
    SWorkNode w = NodeWithPositions({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
    ReduceNodeAnimation(w, 3, COptions());
    EXPECT_EQ(w.node.uiAnimMask, uint32_t(eAnimPosition));
    EXPECT_EQ(w.node.pfPositionKeys.size(), 9u);
    EXPECT_EQ(w.node.pfRotationKeys.size(), 4u);
}

TEST(AnimationReduce, SignedZeroCountsOnlyForBitPatternTracks)
{
    // Rotation compares values: -0 equals 0 and the track goes. Scale and
    // matrix compare bit patterns: -0 differs and the track stays.
    SWorkNode w;
    w.node.pszName = "Z";
    w.node.pfRotationKeys = {-0.0f, 0, 0, 1, 0, 0, 0, 1};
    w.node.pfScaleKeys = {1, 1, 1, -0.0f, 0, 0, 0, 1, 1, 1, 0, 0, 0, 0};
    ReduceNodeAnimation(w, 2, COptions());
    EXPECT_EQ(w.node.uiAnimMask, uint32_t(eAnimScale));
    EXPECT_EQ(w.node.pfRotationKeys.size(), 4u);
    EXPECT_EQ(w.node.pfScaleKeys.size(), 14u);

    COptions matrices;
    matrices.SetBool(opt::bExportMatrices, true);
    SWorkNode m;
    m.node.pfMatrixKeys.assign(m.restMatrix.begin(), m.restMatrix.end());
    m.node.pfMatrixKeys[12] = -0.0f;
    ReduceNodeAnimation(m, 1, matrices);
    EXPECT_EQ(m.node.uiAnimMask, uint32_t(eAnimMatrix));
    EXPECT_TRUE(m.node.pfPositionKeys.empty());
    EXPECT_TRUE(m.node.pfRotationKeys.empty());
    EXPECT_TRUE(m.node.pfScaleKeys.empty());
}

TEST(AnimationReduce, MatrixExportGivesEveryNodeAMatrix)
{
    COptions options;
    options.SetBool(opt::bExportMatrices, true);
    SWorkNode w;
    w.restMatrix[13] = 4.0f;
    ReduceNodeAnimation(w, 0, options);
    EXPECT_EQ(w.node.pfMatrixKeys, std::vector<float>(w.restMatrix.begin(), w.restMatrix.end()));
    EXPECT_TRUE(w.node.pfPositionKeys.empty());
    EXPECT_EQ(w.node.uiAnimMask, 0u);
}

TEST(AnimationReduce, IndexTrackExamples)
{
    struct SCase {
        const char* what;
        std::vector<float> track;
        uint32_t frames;
        bool indexed;
        std::vector<float> keys;
        std::vector<uint32_t> index;
    };
    const SCase cases[] = {
        {"four frames alternating between two positions",
         {1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5, 6},
         4,
         true,
         {1, 2, 3, 4, 5, 6},
         {0, 3, 0, 3}},
        {"two different frames do not pay (3 + 2 + 3 >= 6)", {1, 2, 3, 4, 5, 6}, 2, false, {1, 2, 3, 4, 5, 6}, {}},
        {"one frame never pays", {1, 2, 3}, 1, false, {1, 2, 3}, {}},
        {"-0 and +0 are one key", {0, 0, 0, -0.0f, 0, 0, 0, 0, 0, 1, 1, 1}, 4, true, {0, 0, 0, 1, 1, 1}, {0, 0, 0, 3}},
        {"all different", {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4}, 4, false, {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4}, {}},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<float> track = c.track;
        std::vector<uint32_t> index = {99};
        EXPECT_EQ(IndexTrack(index, track, c.frames, 3), c.indexed);
        EXPECT_EQ(track, c.keys);
        EXPECT_EQ(index, c.index);
    }
}

TEST(AnimationReduce, IndexingAppliesToKeptTracksOnly)
{
    COptions options;
    options.SetBool(opt::bIndexAnimations, true);
    SWorkNode w = NodeWithPositions({{1, 0, 0}, {2, 0, 0}, {1, 0, 0}, {2, 0, 0}, {1, 0, 0}, {2, 0, 0}});
    ReduceNodeAnimation(w, 6, options);
    EXPECT_EQ(w.node.uiAnimMask, uint32_t(eAnimPosition));
    EXPECT_EQ(w.node.pfPositionKeys, std::vector<float>({1, 0, 0, 2, 0, 0}));
    EXPECT_EQ(w.node.puiPositionKeyIdx, std::vector<uint32_t>({0, 3, 0, 3, 0, 3}));
    EXPECT_TRUE(w.node.puiRotationKeyIdx.empty());
    EXPECT_EQ(AnimArrayLength(w.node.uiAnimMask, 0, w.node.puiPositionKeyIdx, 6, 3), 6u);
}

TEST(AnimationReduce, StageMovesTheListsIntoTheScene)
{
    SImportScene in;
    in.lastFrame = 3;
    in.materials.resize(2);
    in.materials[0].textures[0] = "a.png";
    AddQuad(AddNode(in, "Mesh", eImportMesh));
    AddMovingFrames(in.nodes[0], 4);
    AddNode(in, "Lamp", eImportLight);
    AddNode(in, "Cam", eImportCamera);
    COptions options;
    options.SetBool(opt::bExportAnimations, true);
    SScene scene;
    SWorkScene work;
    BuildScene(in, options, scene, work);
    ResolveReferences(work);
    ReduceAnimation(scene, work, options);
    EXPECT_EQ(scene.pNodes.size(), 3u);
    EXPECT_EQ(scene.pMeshes.size(), 1u);
    EXPECT_EQ(scene.pLights.size(), 1u);
    EXPECT_EQ(scene.pCameras.size(), 1u);
    EXPECT_EQ(scene.pMaterials.size(), 2u);
    ASSERT_EQ(scene.pTextures.size(), 1u);
    EXPECT_EQ(scene.pTextures[0].pszName, "a.png");
    EXPECT_TRUE(work.nodes.empty());
    EXPECT_TRUE(work.meshes.empty());
    EXPECT_EQ(scene.pNodes[0].uiAnimMask, uint32_t(eAnimPosition));
    EXPECT_EQ(scene.pNodes[0].pfPositionKeys.size(), 12u);
    EXPECT_EQ(scene.pNodes[1].uiAnimMask, 0u);
}
