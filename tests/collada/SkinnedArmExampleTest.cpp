// The skinned and animated example imports completely.
#include <gtest/gtest.h>

#include "process/SceneExporter.h"
#include "ColladaTestUtil.h"

TEST(ColladaExample, SkinnedArm)
{
    auto run = ImportPath(ExamplePath("skinned_arm.dae"), [](COptions& o) {
        o.SetBool(opt::bExportSkin, true);
        o.SetBool(opt::bExportAnimations, true);
    });
    ASSERT_EQ(run->result, 0);
    EXPECT_EQ(run->log->Count(eLogWarning), 0);
    EXPECT_EQ(run->log->Count(eLogError), 0);
    EXPECT_TRUE(ExportOptions(run->options, run->scene).GetBool(opt::bExportAnimations));

    // Two seconds of animation: frames 0 .. 60.
    EXPECT_EQ(run->scene.lastFrame, 60u);
    EXPECT_EQ(run->scene.frameRate, 30u);
    const SImportNode* shoulder = run->Node("Shoulder");
    const SImportNode* elbow = run->Node("Elbow");
    const SImportNode* wrist = run->Node("Wrist");
    ASSERT_TRUE(shoulder && elbow && wrist);
    EXPECT_EQ(elbow->content, uint32_t(eImportBone));
    EXPECT_EQ(elbow->parent, shoulder->index);
    EXPECT_EQ(shoulder->frames.size(), 61u);
    EXPECT_EQ(elbow->frames.size(), 61u);
    EXPECT_TRUE(wrist->frames.empty());
    // Halfway the elbow is bent by 90 degrees about z, as it is throughout
    // the hold.
    EXPECT_NEAR(std::fabs(elbow->frames[30].rotation[2]), std::sin(0.25 * M_PI), 1e-5);
    EXPECT_EQ(elbow->frames[20].rotation, elbow->frames[40].rotation);
    EXPECT_NEAR(elbow->frames[30].translation[0], 2.0f, 1e-6);

    const SImportNode* arm = run->Node("Arm");
    ASSERT_NE(arm, nullptr);
    EXPECT_EQ(arm->content, uint32_t(eImportMesh));
    EXPECT_EQ(arm->triangles.size(), 36u);
    ASSERT_EQ(arm->skins.size(), 1u);
    ASSERT_EQ(arm->skins[0].influences.size(), arm->positions.size());
    // The bind pose matches the rest pose, so the mesh stays where it was
    // modelled: every x is one of the ring positions.
    for (const SVec3& p : arm->positions) {
        EXPECT_NEAR(p[0], std::round(p[0]), 1e-5);
        EXPECT_NEAR(std::fabs(p[1]), 0.5f, 1e-5);
    }
    for (size_t c = 0; c < arm->positions.size(); ++c) {
        const auto& list = arm->skins[0].influences[c];
        ASSERT_FALSE(list.empty());
        float sum = 0;
        for (const SImportInfluence& i : list)
            sum += i.weight;
        EXPECT_NEAR(sum, 1.0f, 1e-5);
        // Ring 4 (x = 4) leans on elbow and wrist.
        if (arm->positions[c][0] == 4.0f) {
            ASSERT_EQ(list.size(), 2u);
            EXPECT_EQ(list[0].bone, elbow->index);
            EXPECT_EQ(list[1].bone, wrist->index);
        }
    }
}
