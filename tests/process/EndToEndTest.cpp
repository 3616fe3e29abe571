// Collada in, scene file out, through the command line.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstring>

#include "TestSupport.h"
#include "options/Options.h"
#include "scene/Scene.h"
#include "scene/SceneRead.h"
#include "scene/SceneWrite.h"

namespace {

struct SConverted {
    SCliResult run;
    SScene scene;
    int read = 1; // LoadSceneFile's result
};

SConverted Convert(const std::string& input, const QString& output, const QStringList& extra = {})
{
    SConverted c;
    QStringList args = {QStringLiteral("convert"), QString::fromStdString(input), QStringLiteral("-o"), output};
    args += extra;
    c.run = RunCli(args);
    if (output.endsWith(QStringLiteral(".qef")))
        c.read = LoadSceneFile(c.scene, output.toUtf8().constData());
    return c;
}

std::vector<float> Floats(const SVertexChannel& c)
{
    std::vector<float> out(c.pData.size() / 4);
    if (!out.empty())
        std::memcpy(out.data(), c.pData.data(), c.pData.size());
    return out;
}

} // namespace

TEST(EndToEnd, ExampleBecomesACompleteSceneFile)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("box.qef"));
    const SConverted c = Convert(ExamplePath("textured_box.dae"), out);
    ASSERT_EQ(c.run.exitCode, 0) << c.run.err.toStdString();
    ASSERT_EQ(c.read, 0);
    const SScene& s = c.scene;
    ASSERT_EQ(s.pMeshes.size(), 1u);
    EXPECT_EQ(s.pMeshes[0].uiTriangleCount, 12u);
    EXPECT_EQ(s.pMeshes[0].uiVertexCount, 24u); // a corner per face: normals differ
    EXPECT_EQ(s.pMeshes[0].sIndexData.eType, eZGXTUShort);
    ASSERT_EQ(s.pNodes.size(), 3u);
    EXPECT_EQ(s.uiMeshNodeCount, 1u);
    EXPECT_EQ(s.pNodes[0].pszName, "Box");
    EXPECT_EQ(s.pLights.size(), 1u);
    EXPECT_EQ(s.pCameras.size(), 1u);
    ASSERT_EQ(s.pMaterials.size(), 1u);
    EXPECT_EQ(s.pMaterials[0].pszName, "Crate");
    ASSERT_EQ(s.pTextures.size(), 1u);
    EXPECT_EQ(s.pTextures[0].pszName, "crate.png");
    EXPECT_TRUE(c.run.err.contains(QStringLiteral("successfully written")));

    const SCliResult inspect = RunCli({QStringLiteral("inspect"), out});
    EXPECT_EQ(inspect.exitCode, 0);
    EXPECT_TRUE(inspect.out.contains(QStringLiteral("Mesh 0: 24 vertices, 12 triangles")));
}

TEST(EndToEnd, ExampleBecomesSource)
{
    QTemporaryDir dir;
    for (const char* name : {"box.h", "box.cpp"}) {
        SCOPED_TRACE(name);
        const QString out = dir.filePath(QString::fromLatin1(name));
        const SConverted c = Convert(ExamplePath("textured_box.dae"), out);
        ASSERT_EQ(c.run.exitCode, 0) << c.run.err.toStdString();
        // The options travel inside the source and read back.
        COptions options;
        EXPECT_GT(options.LoadFromFile(out.toUtf8().constData()), 0);
        EXPECT_GT(QFileInfo(out).size(), 5000);
    }
}

TEST(EndToEnd, InstancedGeometryIsStoredOnce)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("quads.qef"));
    const SConverted model = Convert(TestDataPath("process/instanced_quads.dae"), out);
    ASSERT_EQ(model.run.exitCode, 0) << model.run.err.toStdString();
    ASSERT_EQ(model.read, 0);
    EXPECT_TRUE(model.run.err.contains(QStringLiteral("Instancing mesh")));
    EXPECT_EQ(model.scene.pMeshes.size(), 1u);
    ASSERT_EQ(model.scene.uiMeshNodeCount, 2u);
    EXPECT_EQ(model.scene.pNodes[1].nContentIdx, 0);

    // In world space every node gets its own, moved, copy.
    const SConverted world = Convert(TestDataPath("process/instanced_quads.dae"), out,
                                     {QStringLiteral("--set"), QStringLiteral("bExportModelSpace=0")});
    ASSERT_EQ(world.run.exitCode, 0) << world.run.err.toStdString();
    ASSERT_EQ(world.read, 0);
    ASSERT_EQ(world.scene.pMeshes.size(), 2u);
    EXPECT_EQ(Floats(world.scene.pMeshes[0].sPosition)[2], 0.0f);
    EXPECT_EQ(Floats(world.scene.pMeshes[1].sPosition)[2], -5.0f);
}

TEST(EndToEnd, MergeTakesTheEditedMaterialFromThePreviousOutput)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("quads.qef"));
    // The previous output, whose material was edited after export.
    SScene previous;
    previous.pTextures = {{"tiles.png"}};
    SSceneMaterial tiles;
    tiles.pszName = "Tiles";
    tiles.nDiffuseTexture = 0;
    tiles.uiMaterialFlags = 1;
    tiles.eSrcColourFactor = kGLSrcAlpha;
    tiles.pszEffectFileName = "tiles.qdl";
    tiles.pszEffectLabel = "Glossy";
    previous.pMaterials.push_back(tiles);
    ASSERT_EQ(WriteSceneFile(previous, out.toUtf8().constData(), "", ""), 0);

    const SConverted c = Convert(TestDataPath("process/instanced_quads.dae"), out,
                                 {QStringLiteral("--set"), QStringLiteral("bMerge=1")});
    ASSERT_EQ(c.run.exitCode, 0) << c.run.err.toStdString();
    ASSERT_EQ(c.read, 0);
    ASSERT_EQ(c.scene.pMaterials.size(), 1u);
    const SSceneMaterial& m = c.scene.pMaterials[0];
    EXPECT_EQ(m.pszEffectFileName, "tiles.qdl");
    EXPECT_EQ(m.pszEffectLabel, "Glossy");
    EXPECT_EQ(m.uiMaterialFlags, 1u);
    EXPECT_EQ(m.eSrcColourFactor, kGLSrcAlpha);
    ASSERT_EQ(c.scene.pTextures.size(), 1u);
    EXPECT_EQ(c.scene.pTextures[0].pszName, "tiles.png"); // only the extension differed
    ASSERT_EQ(c.scene.pMeshes.size(), 1u);                // the new geometry is written
}
