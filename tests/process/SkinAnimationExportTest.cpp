// Exports of skinned and animated Collada files through the whole
// conversion, read back from the written file.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cmath>
#include <cstring>
#include <functional>
#include <set>

#include "TestSupport.h"
#include "convert/ConversionRunner.h"
#include "options/Options.h"
#include "scene/Scene.h"
#include "scene/SceneRead.h"

namespace {

struct SExport {
    int result = -1;
    SScene scene;
    QStringList errors;
};

std::unique_ptr<SExport> Export(const std::string& input, const std::function<void(COptions&)>& setup)
{
    auto r = std::make_unique<SExport>();
    QTemporaryDir dir;
    COptions options;
    setup(options);
    const std::string out = dir.filePath("out.qef").toStdString();
    options.SetOutputPath(out);
    r->result = RunConversion(options, QString::fromStdString(input), [&](const SConversionMessage& m) {
        if (m.kind == SConversionMessage::eError)
            r->errors << m.text;
    });
    if (r->result == 0) {
        CZGXTString error;
        EXPECT_EQ(LoadSceneFile(r->scene, out.c_str(), &error), 0) << error;
    }
    return r;
}

int32_t NodeIndex(const SScene& scene, const char* name)
{
    for (size_t i = 0; i < scene.pNodes.size(); ++i)
        if (scene.pNodes[i].pszName == name)
            return int32_t(i);
    return -1;
}

std::vector<float> Positions(const SSceneMesh& mesh)
{
    std::vector<float> out;
    const SVertexChannel& c = mesh.sPosition;
    for (uint32_t v = 0; v < mesh.uiVertexCount; ++v) {
        float value[4];
        const uint8_t* at = mesh.IsInterleaved() ? mesh.pVertexBlock.data() + size_t(v) * c.uiStride + c.uiOffset
                                                 : c.pData.data() + size_t(v) * c.uiStride;
        ReadVertex(value, at, c.eType, 3);
        out.insert(out.end(), value, value + 3);
    }
    return out;
}

void SkinAndAnimation(COptions& o)
{
    o.SetBool(opt::bExportSkin, true);
    o.SetBool(opt::bExportAnimations, true);
}

} // namespace

TEST(SkinAnimationExport, FramesTracksAndBones)
{
    auto r = Export(ExamplePath("skinned_arm.dae"), [](COptions& o) {
        SkinAndAnimation(o);
        o.SetBool(opt::bIndexAnimations, true);
        o.SetUInt(opt::uiBoneLimit, 3);
        o.SetType(eVABoneIndices, eZGXTUShort);
        o.SetType(eVABoneWeights, eZGXTUShortNorm);
    });
    ASSERT_EQ(r->result, 0) << r->errors.join("\n").toStdString();
    const SScene& s = r->scene;
    EXPECT_EQ(s.uiFrameCount, 61u);
    EXPECT_EQ(s.uiFramesPerSecond, 30u);

    const int32_t shoulder = NodeIndex(s, "Shoulder"), elbow = NodeIndex(s, "Elbow"), wrist = NodeIndex(s, "Wrist");
    ASSERT_TRUE(shoulder >= 0 && elbow >= 0 && wrist >= 0);
    // The elbow holds its bend for a second: its rotation track repeats keys
    // and is indexed; its position and scale never change and keep one key.
    const SSceneNode& e = s.pNodes[size_t(elbow)];
    EXPECT_EQ(e.uiAnimMask, uint32_t(eAnimRotation));
    ASSERT_EQ(e.puiRotationKeyIdx.size(), 61u);
    EXPECT_LT(e.pfRotationKeys.size(), 61u * 4);
    EXPECT_EQ(e.puiRotationKeyIdx[20], e.puiRotationKeyIdx[40]);
    EXPECT_EQ(e.pfPositionKeys.size(), 3u);
    EXPECT_EQ(e.pfScaleKeys.size(), 7u);
    // The shoulder turns further every frame: nothing to share.
    const SSceneNode& sh = s.pNodes[size_t(shoulder)];
    EXPECT_EQ(sh.uiAnimMask, uint32_t(eAnimRotation));
    EXPECT_TRUE(sh.puiRotationKeyIdx.empty());
    EXPECT_EQ(sh.pfRotationKeys.size(), 61u * 4);
    EXPECT_EQ(sh.pfScaleKeys.size(), 7u);
    EXPECT_EQ(s.pNodes[size_t(wrist)].uiAnimMask, 0u);

    ASSERT_EQ(s.pMeshes.size(), 1u);
    const SSceneMesh& mesh = s.pMeshes[0];
    EXPECT_EQ(mesh.sBoneIndex.eType, eZGXTUShort);
    EXPECT_EQ(mesh.sBoneWeights.eType, eZGXTUShortNorm);
    EXPECT_EQ(mesh.sBoneIndex.uiComponentCount, 2u);
    EXPECT_EQ(mesh.uiBatchCapacity, 3u);
    ASSERT_GE(mesh.uiBatchCount, 1u);
    const std::set<uint32_t> joints = {uint32_t(shoulder), uint32_t(elbow), uint32_t(wrist)};
    for (uint32_t b = 0; b < mesh.uiBatchCount; ++b) {
        EXPECT_LE(mesh.puiBatchBoneTotals[b], 3u);
        for (uint32_t k = 0; k < mesh.puiBatchBoneTotals[b]; ++k)
            EXPECT_TRUE(joints.count(mesh.puiBatchBoneList[b * mesh.uiBatchCapacity + k]));
    }
}

TEST(SkinAnimationExport, TooSmallAPaletteFails)
{
    // Triangles at the elbow lean on three joints.
    auto r = Export(ExamplePath("skinned_arm.dae"), [](COptions& o) {
        SkinAndAnimation(o);
        o.SetUInt(opt::uiBoneLimit, 2);
    });
    EXPECT_EQ(r->result, 2);
    EXPECT_TRUE(r->errors.contains("Bone batch generation failed."));
}

TEST(SkinAnimationExport, WorldSpaceAtFrameZeroIsTheBindPose)
{
    auto model = Export(ExamplePath("skinned_arm.dae"), [](COptions& o) { SkinAndAnimation(o); });
    auto world = Export(ExamplePath("skinned_arm.dae"), [](COptions& o) {
        SkinAndAnimation(o);
        o.SetBool(opt::bExportModelSpace, false);
        o.SetUInt(opt::uiStaticFrame, 0);
    });
    ASSERT_EQ(model->result, 0);
    ASSERT_EQ(world->result, 0);
    ASSERT_EQ(world->scene.pMeshes.size(), 1u);
    EXPECT_EQ(world->scene.uiFrameCount, 0u);
    EXPECT_EQ(world->scene.pMeshes[0].uiBatchCount, 0u);
    // The same positions, vertex for vertex, as the model-space mesh (whose
    // node sits at the origin).
    const std::vector<float> a = Positions(model->scene.pMeshes[0]);
    const std::vector<float> b = Positions(world->scene.pMeshes[0]);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i)
        EXPECT_NEAR(a[i], b[i], 1e-5) << i;

    // Halfway through, the forearm has turned about the elbow: its far end
    // keeps its distance from the elbow and has left x = 4.
    auto bent = Export(ExamplePath("skinned_arm.dae"), [](COptions& o) {
        SkinAndAnimation(o);
        o.SetBool(opt::bExportModelSpace, false);
        o.SetUInt(opt::uiStaticFrame, 30);
    });
    ASSERT_EQ(bent->result, 0);
    const int32_t elbow = NodeIndex(bent->scene, "Elbow");
    ASSERT_GE(elbow, 0);
    const std::vector<float>& m = bent->scene.pNodes[size_t(elbow)].pfMatrixKeys;
    ASSERT_EQ(m.size(), 16u);
    const std::vector<float> p = Positions(bent->scene.pMeshes[0]);
    int farEnd = 0;
    for (size_t i = 0; i < a.size(); i += 3) {
        if (a[i] != 4.0f)
            continue;
        ++farEnd;
        const float d = std::sqrt((p[i] - m[12]) * (p[i] - m[12]) + (p[i + 1] - m[13]) * (p[i + 1] - m[13]) +
                                  (p[i + 2] - m[14]) * (p[i + 2] - m[14]));
        EXPECT_NEAR(d, std::sqrt(4.5f), 1e-4);
        EXPECT_GT(std::fabs(p[i] - 4.0f), 0.5f);
    }
    EXPECT_GT(farEnd, 0);
}
