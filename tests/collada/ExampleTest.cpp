// The hand-written example scene imports completely.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "ColladaTestUtil.h"

TEST(ColladaExample, TexturedBox)
{
    QTemporaryDir out;
    auto run = ImportPath(
        ExamplePath("textured_box.dae"), [](COptions& o) { o.SetBool(opt::bExportMappingChannels, true); },
        out.path().toStdString());
    ASSERT_EQ(run->result, 0);
    EXPECT_EQ(run->log->Count(eLogWarning), 0);
    EXPECT_EQ(run->log->Count(eLogError), 0);

    ASSERT_EQ(run->scene.materials.size(), 1u);
    const SMaterial& crate = run->scene.materials[0];
    EXPECT_EQ(crate.name, "Crate");
    EXPECT_EQ(crate.textures[SMaterial::eTexDiffuse], "crate.png");
    EXPECT_EQ(crate.ambient, (SVec3{0.2f, 0.2f, 0.2f}));
    EXPECT_FLOAT_EQ(crate.shininess, 0.32f);
    EXPECT_FLOAT_EQ(crate.opacity, 1.0f);

    ASSERT_EQ(run->scene.nodes.size(), 3u);
    const SImportNode* box = run->Node("Box");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->content, uint32_t(eImportMesh));
    EXPECT_EQ(box->triangles.size(), 12u);
    EXPECT_EQ(box->normals.size(), 36u);
    ASSERT_EQ(box->uvSets.size(), 1u);
    EXPECT_EQ(box->uvSets[0].values.size(), 36u);
    for (const SImportTriangle& t : box->triangles)
        EXPECT_EQ(t.material, 0);
    EXPECT_FLOAT_EQ(box->transform.translation[1], 1.0f);

    const SImportNode* camera = run->Node("Camera");
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(camera->content, uint32_t(eImportCamera));
    EXPECT_EQ(camera->transform.translation, (SVec3{6, 4, 8}));
    EXPECT_FLOAT_EQ(camera->camera.fov, 45 * 0.01745329238474369f);

    const SImportNode* lamp = run->Node("Lamp");
    ASSERT_NE(lamp, nullptr);
    EXPECT_EQ(lamp->content, uint32_t(eImportLight));
    EXPECT_EQ(lamp->light.type, uint32_t(eImportLightPoint));
    EXPECT_FLOAT_EQ(lamp->light.quadraticAttenuation, 0.01f);
    EXPECT_EQ(lamp->transform.translation, (SVec3{4, 6, 2}));
}
