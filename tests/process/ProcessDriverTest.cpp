// The processing driver: stages and messages, frames, node order and
// references, mesh building (welding, degenerates, UV flip, colours, skin),
// instancing and sub-meshes, DirectX mirroring of node keys.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "ProcessTestScenes.h"
#include "TestSupport.h"
#include "scene/ImportScene.h"
#include "options/Options.h"
#include "process/SceneBuild.h"
#include "process/SceneExporter.h"
#include "scene/Scene.h"
#include "scene/SceneRead.h"

namespace {

struct SBuilt {
    SScene scene;
    SWorkScene work;
};

// Stages 1 and 2 only, so the meshes are seen before any type conversion.
void Build(const SImportScene& in, const COptionsData& options, SBuilt& out)
{
    BuildScene(in, options, out.scene, out.work);
    ResolveReferences(out.work);
}

std::vector<float> Floats(const SVertexChannel& c)
{
    std::vector<float> out(c.pData.size() / 4);
    if (!out.empty())
        std::memcpy(out.data(), c.pData.data(), c.pData.size());
    return out;
}

std::vector<int32_t> Ints(const SVertexChannel& c)
{
    std::vector<int32_t> out(c.pData.size() / 4);
    if (!out.empty())
        std::memcpy(out.data(), c.pData.data(), c.pData.size());
    return out;
}

std::vector<uint32_t> Indices(const SSceneMesh& mesh)
{
    std::vector<uint32_t> out;
    const uint32_t size = ComponentSize(mesh.sIndexData.eType);
    for (size_t i = 0; size && i + size <= mesh.sIndexData.pData.size(); i += size)
        out.push_back(ReadIndex(&mesh.sIndexData.pData[i], mesh.sIndexData.eType));
    return out;
}

int CountText(const CLogCapture& log, int level, const char* text)
{
    int n = 0;
    for (const CLogCapture::SMessage& m : log.Messages())
        n += m.level == level && m.text == QString::fromUtf8(text);
    return n;
}

} // namespace

TEST(ProcessDriver, EmptySceneRunsAllStages)
{
    CLogCapture log;
    CSceneExporter exporter;
    const COptions options;
    ASSERT_TRUE(exporter.Process(SImportScene(), options));
    EXPECT_EQ(CountText(log, 1, "Complete"), 4);

    std::vector<std::pair<int, QString>> stages;
    for (const CLogCapture::SMessage& m : log.Messages())
        if (m.level == 5)
            stages.emplace_back(m.percent, m.text);
    const std::vector<std::pair<int, QString>> expected = {
        {0, "Export stage 1"}, {40, "Export stage 2"}, {50, "Export stage 3"}, {75, "Final export stage"}};
    EXPECT_EQ(stages, expected);

    const SScene& scene = *exporter.Scene();
    EXPECT_TRUE(scene.pNodes.empty());
    EXPECT_TRUE(scene.pMeshes.empty());
    EXPECT_EQ(scene.uiFrameCount, 0u);
    EXPECT_EQ(scene.uiFramesPerSecond, 30u);

    // An empty scene is still a file that reads back.
    const std::string path = TempPath("empty.qef");
    ASSERT_TRUE(exporter.Write(path.c_str(), options, "test"));
    SScene back;
    ASSERT_EQ(LoadSceneFile(back, path.c_str()), 0);
    EXPECT_EQ(back, scene);
}

TEST(ProcessDriver, ProgressNamesEachNodeAndMeshesAreProcessedInOrder)
{
    SImportScene in;
    AddQuad(AddNode(in, "A", eImportMesh), 0.0f);
    AddQuad(AddNode(in, "B", eImportMesh), 1.0f);
    AddNode(in, "C", eImportNone);
    AddNode(in, "D", eImportNone);
    CLogCapture log;
    CSceneExporter exporter;
    ASSERT_TRUE(exporter.Process(in, COptions()));

    std::vector<std::pair<int, QString>> nodes;
    for (const CLogCapture::SMessage& m : log.Messages())
        if (m.level == 5 && m.text.size() == 1)
            nodes.emplace_back(m.percent, m.text);
    // 40 / 4 import nodes times the scene nodes made before each.
    const std::vector<std::pair<int, QString>> expected = {{0, "A"}, {10, "B"}, {20, "C"}, {30, "D"}};
    EXPECT_EQ(nodes, expected);
    EXPECT_EQ(CountText(log, 1, "Processing mesh 0"), 1);
    EXPECT_EQ(CountText(log, 1, "Processing mesh 1"), 1);
    EXPECT_EQ(CountText(log, 1, "Complete"), 4);
}

TEST(ProcessDriver, FrameCountAndRate)
{
    struct SCase {
        const char* what;
        bool animations, modelSpace;
        uint32_t first, last, rate;
        std::vector<uint32_t> nodeFrames;
        uint32_t count, fps;
    };
    const SCase cases[] = {
        {"animations off in model space", false, true, 0, 9, 24, {10}, 0, 30},
        {"animations on: fewest node samples", true, true, 0, 9, 24, {10, 6, 0}, 6, 24},
        {"world space takes frames even without animations", false, false, 0, 9, 30, {10}, 10, 30},
        {"no animated node: the import range", true, true, 0, 0, 30, {0}, 1, 30},
        {"more samples than the range", true, true, 2, 5, 30, {10}, 4, 30},
        {"range ending before it starts", true, true, 5, 2, 30, {3}, 0, 30},
        {"rate 0 falls back to 30", true, true, 0, 3, 0, {4}, 4, 30},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.what);
        SImportScene in;
        in.firstFrame = c.first;
        in.lastFrame = c.last;
        in.frameRate = c.rate;
        for (uint32_t frames : c.nodeFrames)
            AddMovingFrames(AddNode(in, "N", eImportNone), frames);
        COptions options;
        options.SetBool(opt::bExportAnimations, c.animations);
        options.SetBool(opt::bExportModelSpace, c.modelSpace);
        uint32_t count = 99, fps = 99;
        ChooseFrames(in, options, &count, &fps);
        EXPECT_EQ(count, c.count);
        EXPECT_EQ(fps, c.fps);
    }
}

TEST(ProcessDriver, NodeOrderAndResolvedReferences)
{
    SImportScene in;
    AddNode(in, "Root", eImportNone);                        // 0
    SImportNode& cam = AddNode(in, "Cam", eImportCamera, 0); // 1
    cam.camera.target = 3;
    cam.camera.fov = 0.5f;
    SImportNode& light = AddNode(in, "Lamp", eImportLight, 0); // 2
    light.light.target = 0;
    light.light.type = eImportLightSpot;
    AddQuad(AddNode(in, "Mesh", eImportMesh, 0)); // 3
    AddNode(in, "Bone", eImportBone, 3);          // 4
    AddNode(in, "Hollow", eImportMesh, 0);        // 5: no triangles
    AddNode(in, "Child", eImportNone, 5);         // 6
    AddNode(in, "Stray", eImportNone, 99);        // 7: parent unknown

    CSceneExporter exporter;
    ASSERT_TRUE(exporter.Process(in, COptions()));
    const SScene& s = *exporter.Scene();
    std::vector<std::string> names;
    for (const SSceneNode& n : s.pNodes)
        names.push_back(n.pszName);
    const std::vector<std::string> order = {"Mesh", "Lamp", "Cam", "Root", "Bone", "Hollow", "Child", "Stray"};
    ASSERT_EQ(names, order);
    EXPECT_EQ(s.uiMeshNodeCount, 1u);
    ASSERT_EQ(s.pMeshes.size(), 1u);
    EXPECT_EQ(s.pNodes[0].nContentIdx, 0);
    EXPECT_EQ(s.pNodes[1].nContentIdx, 0);
    EXPECT_EQ(s.pNodes[2].nContentIdx, 0);

    const std::vector<int32_t> parents = {3, 3, 3, -1, 0, 3, 5, -1};
    for (size_t i = 0; i < parents.size(); ++i)
        EXPECT_EQ(s.pNodes[i].nParentIdx, parents[i]) << names[i];
    ASSERT_EQ(s.pCameras.size(), 1u);
    EXPECT_EQ(s.pCameras[0].nTargetIdx, 0); // the mesh node
    EXPECT_FLOAT_EQ(s.pCameras[0].fFieldOfView, 0.5f);
    ASSERT_EQ(s.pLights.size(), 1u);
    EXPECT_EQ(s.pLights[0].nTargetIdx, 3); // Root
    EXPECT_EQ(s.pLights[0].eType, uint32_t(eLightSpot));

    // Every node carries its static transform as single keys.
    for (const SSceneNode& n : s.pNodes) {
        EXPECT_EQ(n.pfPositionKeys.size(), 3u);
        EXPECT_EQ(n.pfRotationKeys.size(), 4u);
        EXPECT_EQ(n.pfScaleKeys.size(), 7u);
        EXPECT_TRUE(n.pfMatrixKeys.empty());
    }
}

TEST(ProcessDriver, GeometryOffKeepsMeshNodesAsPlainNodes)
{
    SImportScene in;
    AddNode(in, "Root", eImportNone);
    AddQuad(AddNode(in, "Mesh", eImportMesh, 0));
    AddNode(in, "Child", eImportNone, 1);
    COptions options;
    options.SetBool(opt::bExportGeometry, false);
    SBuilt b;
    Build(in, options, b);
    EXPECT_EQ(b.scene.uiMeshNodeCount, 0u);
    EXPECT_TRUE(b.work.meshes.empty());
    ASSERT_EQ(b.work.nodes.size(), 3u);
    EXPECT_EQ(b.work.nodes[2].node.pszName, "Child");
    EXPECT_EQ(b.work.nodes[2].node.nParentIdx, 1);
}

TEST(ProcessDriver, WeldingDropsDegeneratesAndSharesEqualCorners)
{
    SImportScene in;
    SImportNode& node = AddNode(in, "Mesh", eImportMesh);
    AddQuad(node); // six corners, four distinct
    // Two equal position indices, then two corners at the same place.
    AddTriangle(node, {{5, 5, 5}}, {{6, 5, 5}}, {{5, 6, 5}});
    node.triangles.back().position[2] = node.triangles.back().position[0];
    AddTriangle(node, {{7, 7, 7}}, {{7, 7, 7}}, {{8, 7, 7}});
    // A corner at -0 welds with one at +0; another normal makes a new vertex.
    AddTriangle(node, {{-0.0f, 0, 0}}, {{1, 1, 0}}, {{0, 1, 0}, {0, 1, 0}});

    SBuilt b;
    Build(in, COptions(), b);
    ASSERT_EQ(b.work.meshes.size(), 1u);
    const SSceneMesh& m = b.work.meshes[0].mesh;
    EXPECT_EQ(m.uiTriangleCount, 3u);
    EXPECT_EQ(m.uiVertexCount, 5u);
    const std::vector<uint32_t> expected = {0, 1, 2, 0, 2, 3, 0, 2, 4};
    EXPECT_EQ(Indices(m), expected);
    EXPECT_EQ(m.sIndexData.eType, eZGXTUInt);
    EXPECT_EQ(m.sPosition.eType, eZGXTFloat);
    EXPECT_EQ(m.sPosition.uiComponentCount, 3u);
    EXPECT_EQ(m.sNormal.uiComponentCount, 3u);
    EXPECT_EQ(m.sTangent.uiComponentCount, 0u);
    EXPECT_EQ(m.sBinormal.uiComponentCount, 0u);
    EXPECT_EQ(m.TexCoordSets(), 0u); // mapping channels are off by default
    EXPECT_EQ(m.sColour.uiComponentCount, 0u);
    EXPECT_EQ(m.sBoneIndex.uiComponentCount, 0u);
    const std::vector<float> normals = Floats(m.sNormal);
    EXPECT_EQ(normals[4 * 3 + 1], 1.0f); // the last vertex has the other normal
}

TEST(ProcessDriver, NormalsOffWeldByPositionAlone)
{
    SImportScene in;
    SImportNode& node = AddNode(in, "Mesh", eImportMesh);
    AddTriangle(node, {{0, 0, 0}, {0, 0, 1}}, {{1, 0, 0}}, {{0, 1, 0}});
    AddTriangle(node, {{0, 0, 0}, {1, 0, 0}}, {{0, 1, 0}}, {{-1, 0, 0}});
    COptions options;
    options.SetExport(eVANormal, false);
    SBuilt b;
    Build(in, options, b);
    const SSceneMesh& m = b.work.meshes[0].mesh;
    EXPECT_EQ(m.uiVertexCount, 4u);
    EXPECT_EQ(m.sNormal.uiComponentCount, 0u);
    EXPECT_TRUE(m.sNormal.pData.empty());
}

TEST(ProcessDriver, TextureCoordinateFlip)
{
    struct SCase {
        int32_t cs;
        bool flip;
        float v;
    };
    const SCase cases[] = {
        {eCSOpenGL, false, 0.25f}, {eCSOpenGL, true, 0.75f}, {eCSDirectX, false, 0.75f}, {eCSDirectX, true, 0.25f}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "cS " << c.cs << " flip " << c.flip);
        SImportScene in;
        AddTriangle(AddNode(in, "Mesh", eImportMesh), {{0, 0, 0}, {0, 0, 1}, {0.5f, 0.25f, 0.125f}}, {{1, 0, 0}},
                    {{0, 1, 0}});
        COptions options;
        options.SetBool(opt::bExportMappingChannels, true);
        options.SetCS(c.cs);
        options.SetBool(opt::bFlipTextureV, c.flip);
        SBuilt b;
        Build(in, options, b);
        const SSceneMesh& m = b.work.meshes[0].mesh;
        ASSERT_EQ(m.TexCoordSets(), 1u);
        EXPECT_EQ(m.psTexCoord[0].uiComponentCount, 3u);
        const std::vector<float> uv = Floats(m.psTexCoord[0]);
        EXPECT_EQ(uv[0], 0.5f);
        EXPECT_EQ(uv[1], c.v);
        EXPECT_EQ(uv[2], 0.125f);
    }
}

TEST(ProcessDriver, ColoursArePackedAsTheirChannelType)
{
    SImportScene in;
    SImportNode& node = AddNode(in, "Mesh", eImportMesh);
    node.colours = {{1.0f, 0.0f, 0.0f, 0.5f}, {0.2f, 2.0f, -1.0f, 1.0f}};
    AddTriangle(node, {{0, 0, 0}}, {{1, 0, 0}}, {{0, 1, 0}});
    // The first corner has no colour; the others use the two colours.
    node.triangles[0].colour[1] = 0;
    node.triangles[0].colour[2] = 1;
    COptions options;
    options.SetExport(eVAColour, true);
    SBuilt b;
    Build(in, options, b);
    const SSceneMesh& m = b.work.meshes[0].mesh;
    ASSERT_EQ(m.sColour.eType, eZGXTARGB);
    ASSERT_EQ(m.sColour.uiComponentCount, 1u);
    ASSERT_EQ(m.sColour.pData.size(), 12u);
    const std::vector<int32_t> packed = Ints(m.sColour);
    EXPECT_EQ(uint32_t(packed[0]), 0xFFFFFFFFu); // no colour of its own: white
    EXPECT_EQ(uint32_t(packed[1]), 0x7FFF0000u);
    EXPECT_EQ(uint32_t(packed[2]), 0xFF33FF00u);
    // Read back through the channel's own type: red stays red.
    float rgba[4];
    ReadVertex(rgba, &m.sColour.pData[4], m.sColour.eType, 1);
    EXPECT_FLOAT_EQ(rgba[0], 1.0f);
    EXPECT_FLOAT_EQ(rgba[1], 0.0f);
    EXPECT_FLOAT_EQ(rgba[2], 0.0f);
    EXPECT_NEAR(rgba[3], 0.5f, 0.01f);

    options.SetExport(eVAColour, false);
    SBuilt off;
    Build(in, options, off);
    EXPECT_EQ(off.work.meshes[0].mesh.sColour.uiComponentCount, 0u);
}

TEST(ProcessDriver, EqualMeshesAreInstanced)
{
    SImportScene in;
    AddQuad(AddNode(in, "A", eImportMesh));
    SImportNode& b = AddNode(in, "B", eImportMesh);
    AddQuad(b);
    b.transform.translation = {5, 0, 0};
    SImportNode& near = AddNode(in, "Near", eImportMesh);
    AddQuad(near);
    for (SVec3& p : near.positions)
        p[0] += 0.00005f; // within the tolerance
    AddQuad(AddNode(in, "Far", eImportMesh), 0.001f);
    AddQuad(AddNode(in, "OtherMaterial", eImportMesh), 0.0f, 0);
    SImportNode& uv = AddNode(in, "OtherUV", eImportMesh);
    AddQuad(uv);
    uv.uvSets[0].values[0][0] = 0.5f;

    SImportScene withMaterial = in;
    withMaterial.materials.resize(1);
    COptions options;
    options.SetBool(opt::bExportMappingChannels, true);
    CLogCapture log;
    SBuilt built;
    Build(withMaterial, options, built);
    ASSERT_EQ(built.work.nodes.size(), 6u);
    const std::vector<int32_t> content = {0, 0, 0, 1, 2, 3};
    for (size_t i = 0; i < content.size(); ++i)
        EXPECT_EQ(built.work.nodes[i].node.nContentIdx, content[i]) << built.work.nodes[i].node.pszName;
    EXPECT_EQ(built.work.meshes.size(), 4u);
    EXPECT_EQ(CountText(log, 1, "Instancing mesh"), 2);
    EXPECT_EQ(built.work.nodes[4].node.nMaterialIdx, 0);
}

TEST(ProcessDriver, InstancesTheLatestOfTheMeshesItMatches)
{
    // Quads moved along x. "Between" lies within the tolerance of both "A"
    // and "B" (which are too far apart to be one mesh): it takes the later,
    // "B". "Edge" and "Across" match "B" too, "Across" although its first
    // position falls in the next cell of the lookup.
    const std::vector<std::pair<const char*, float>> quads = {
        {"A", 0.0f}, {"B", 0.00015f}, {"Between", 0.00008f}, {"Edge", 0.00019f}, {"Across", 0.00021f}, {"Far", 1.0f}};
    SImportScene in;
    for (const auto& q : quads) {
        SImportNode& node = AddNode(in, q.first, eImportMesh);
        AddQuad(node);
        for (SVec3& p : node.positions)
            p[0] += q.second;
    }
    const COptions options;
    SBuilt built;
    Build(in, options, built);
    ASSERT_EQ(built.work.nodes.size(), quads.size());
    const std::vector<int32_t> content = {0, 1, 1, 1, 1, 2};
    for (size_t i = 0; i < content.size(); ++i)
        EXPECT_EQ(built.work.nodes[i].node.nContentIdx, content[i]) << built.work.nodes[i].node.pszName;
}

TEST(ProcessDriver, MultipleMaterialsSplitIntoNamedSubmeshes)
{
    SImportScene in;
    in.materials.resize(3);
    for (SMaterial& m : in.materials)
        m.opacity = 1; // opaque: a fully transparent one has a warning of its own
    SImportNode& node = AddNode(in, "Box", eImportMesh);
    AddQuad(node, 0.0f, 2);
    AddQuad(node, 1.0f, 0);
    AddQuad(node, 2.0f, 1);
    AddQuad(node, 3.0f, 2);
    AddNode(in, "Lid", eImportNone, 0);

    CLogCapture log;
    CSceneExporter exporter;
    ASSERT_TRUE(exporter.Process(in, COptions()));
    const SScene& s = *exporter.Scene();
    ASSERT_EQ(s.uiMeshNodeCount, 3u);
    const char* names[] = {"Box-submesh0", "Box-submesh1", "Box-submesh2"};
    const int32_t materials[] = {2, 0, 1};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(s.pNodes[size_t(i)].pszName, names[i]);
        EXPECT_EQ(s.pNodes[size_t(i)].nMaterialIdx, materials[i]);
        EXPECT_EQ(s.pNodes[size_t(i)].nContentIdx, i);
    }
    EXPECT_EQ(s.pMeshes[0].uiTriangleCount, 4u);
    EXPECT_EQ(s.pMeshes[1].uiTriangleCount, 2u);
    EXPECT_EQ(s.pNodes[3].pszName, "Lid");
    EXPECT_EQ(s.pNodes[3].nParentIdx, 0); // the first node made from Box
    EXPECT_EQ(CountText(log, 2, "Warning: 'Box' has been split up into 3 meshes as it uses multiple materials."), 1);
    EXPECT_EQ(log.Count(2), 1);
}

TEST(ProcessDriver, MaterialIndicesWithoutMaterialsAreNone)
{
    SImportScene in;
    in.materials.resize(1);
    AddQuad(AddNode(in, "A", eImportMesh), 0.0f, 0);
    AddQuad(AddNode(in, "B", eImportMesh), 1.0f, 7); // names no material
    COptions options;
    SBuilt b;
    Build(in, options, b);
    EXPECT_EQ(b.work.nodes[0].node.nMaterialIdx, 0);
    EXPECT_EQ(b.work.nodes[1].node.nMaterialIdx, -1);
    options.SetBool(opt::bExportMaterials, false);
    SBuilt off;
    Build(in, options, off);
    EXPECT_TRUE(off.work.materials.empty());
    EXPECT_EQ(off.work.nodes[0].node.nMaterialIdx, -1);
}

namespace {

// Import nodes: 0 Bone1, 1 Bone2 (child of 0), 2 Skinned mesh, 3 Root; the
// scene puts the mesh first, so every bone index moves by one.
SImportScene SkinnedScene()
{
    SImportScene in;
    AddNode(in, "Bone1", eImportBone);
    AddNode(in, "Bone2", eImportBone, 0);
    AddQuad(AddNode(in, "Skinned", eImportMesh));
    AddNode(in, "Root", eImportNone);
    SImportNode& mesh = in.nodes[2];
    SImportSkin skin;
    for (const SVec3& p : mesh.positions) {
        if (p[0] < 0.5f)
            skin.influences.push_back({{0, 1.0f}});
        else
            skin.influences.push_back({{1, 0.75f}, {0, 0.25f}});
    }
    mesh.skins.push_back(skin);
    return in;
}

} // namespace

TEST(ProcessDriver, SkinBonesBecomeSceneNodeIndices)
{
    COptions options;
    options.SetBool(opt::bExportSkin, true);
    SBuilt b;
    Build(SkinnedScene(), options, b);
    ASSERT_EQ(b.work.nodes[0].node.pszName, "Skinned");
    const SSceneMesh& m = b.work.meshes[0].mesh;
    ASSERT_EQ(m.sBoneIndex.eType, eZGXTInt);
    ASSERT_EQ(m.sBoneIndex.uiComponentCount, 2u);
    ASSERT_EQ(m.sBoneWeights.eType, eZGXTFloat);
    ASSERT_EQ(m.sBoneWeights.uiComponentCount, 2u);
    const std::vector<int32_t> bones = Ints(m.sBoneIndex);
    const std::vector<float> weights = Floats(m.sBoneWeights);
    const std::vector<float> pos = Floats(m.sPosition);
    ASSERT_EQ(m.uiVertexCount, 4u);
    for (uint32_t v = 0; v < 4; ++v) {
        SCOPED_TRACE(v);
        if (pos[v * 3] < 0.5f) {
            // The padding slot keeps 0: it is no influence and is not resolved.
            EXPECT_EQ(bones[v * 2], 1);
            EXPECT_EQ(bones[v * 2 + 1], 0);
            EXPECT_EQ(weights[v * 2], 1.0f);
            EXPECT_EQ(weights[v * 2 + 1], 0.0f);
        } else {
            EXPECT_EQ(bones[v * 2], 2);
            EXPECT_EQ(bones[v * 2 + 1], 1);
            EXPECT_EQ(weights[v * 2], 0.75f);
            EXPECT_EQ(weights[v * 2 + 1], 0.25f);
        }
    }
}

TEST(ProcessDriver, PartialSkinIsIgnoredWithWarning)
{
    SImportScene in = SkinnedScene();
    in.nodes[2].skins[0].influences.ClearList(4);
    COptions options;
    options.SetBool(opt::bExportSkin, true);
    CLogCapture log;
    SBuilt b;
    Build(in, options, b);
    EXPECT_EQ(CountText(log, 2, "Warning: Ignoring skinning information as some/all vertices do not have data."), 1);
    EXPECT_EQ(b.work.meshes[0].mesh.sBoneIndex.uiComponentCount, 0u);
    EXPECT_EQ(b.work.meshes[0].mesh.sBoneWeights.uiComponentCount, 0u);

    // Skin export off: no bones and no warning.
    CLogCapture quiet;
    SBuilt off;
    Build(SkinnedScene(), COptions(), off);
    EXPECT_EQ(off.work.meshes[0].mesh.sBoneIndex.uiComponentCount, 0u);
    EXPECT_EQ(quiet.Count(2), 0);
}

TEST(ProcessDriver, CameraFieldOfViewKeysKeptOnlyWhenAnimated)
{
    struct SCase {
        std::vector<float> fov;
        size_t keys;
    };
    const SCase cases[] = {
        {{0.5f, 0.5f, 0.5f}, 0}, {{0.5f, 0.6f, 0.5f}, 3}, {{0.5f, 0.6f}, 0}, {{0.5f, 0.6f, 0.7f, 0.8f}, 3}};
    for (const SCase& c : cases) {
        SImportScene in;
        in.lastFrame = 2;
        SImportNode& cam = AddNode(in, "Cam", eImportCamera);
        cam.camera.fov = 0.5f;
        cam.frameFov = c.fov;
        COptions options;
        options.SetBool(opt::bExportAnimations, true);
        SBuilt b;
        Build(in, options, b);
        ASSERT_EQ(b.work.cameras.size(), 1u);
        EXPECT_EQ(b.work.cameras[0].pfFieldOfViewKeys.size(), c.keys);
    }
}

namespace {

const float kMirror[16] = {1, 1, -1, 1, 1, 1, -1, 1, -1, -1, 1, -1, 1, 1, -1, 1};

// A node spinning about z and moving along z over three frames.
SImportScene SpinningScene()
{
    SImportScene in;
    in.lastFrame = 2;
    SImportNode& node = AddNode(in, "Spin", eImportNone);
    for (int f = 0; f < 3; ++f) {
        SImportTransform t;
        const float half = 0.3f * float(f + 1);
        t.rotation = {0.2f * std::sin(half), 0.0f, std::cos(half) * 0.9f, 0.0f};
        float len = 0;
        for (float v : t.rotation)
            len += v * v;
        t.rotation[3] = std::sqrt(1.0f - len);
        t.translation = {1.0f, 2.0f, 3.0f + float(f)};
        SMatrix44 translate = MatrixIdentity();
        translate[12] = t.translation[0];
        translate[13] = t.translation[1];
        translate[14] = t.translation[2];
        t.matrix = MatrixMultiply(QuaternionMatrix(t.rotation.data()), translate);
        node.frames.push_back(t);
    }
    return in;
}

std::vector<SMatrix44> WorldPerFrame(SScene& s)
{
    std::vector<SMatrix44> out;
    for (uint32_t f = 0; f < s.uiFrameCount; ++f) {
        SelectFrame(s, float(f));
        out.push_back(ComputeWorldMatrix(s, 0));
    }
    return out;
}

} // namespace

TEST(ProcessDriver, DirectXMirrorsNodeKeysAlongZ)
{
    for (bool matrices : {false, true}) {
        SCOPED_TRACE(matrices ? "matrix keys" : "position, rotation and scale keys");
        COptions options;
        options.SetBool(opt::bExportAnimations, true);
        options.SetBool(opt::bExportMatrices, matrices);
        CSceneExporter gl, dx;
        ASSERT_TRUE(gl.Process(SpinningScene(), options));
        options.SetCS(eCSDirectX);
        ASSERT_TRUE(dx.Process(SpinningScene(), options));
        SScene& a = *gl.Scene();
        SScene& b = *dx.Scene();
        ASSERT_EQ(b.uiFrameCount, 3u);
        const SSceneNode& na = a.pNodes[0];
        const SSceneNode& nb = b.pNodes[0];
        if (matrices) {
            ASSERT_EQ(nb.pfMatrixKeys.size(), 48u);
            for (size_t i = 0; i < 48; ++i)
                EXPECT_EQ(nb.pfMatrixKeys[i], na.pfMatrixKeys[i] * kMirror[i % 16]) << i;
        } else {
            ASSERT_EQ(nb.pfPositionKeys.size(), 9u);
            for (size_t i = 0; i < 9; ++i)
                EXPECT_EQ(nb.pfPositionKeys[i], i % 3 == 2 ? -na.pfPositionKeys[i] : na.pfPositionKeys[i]);
            EXPECT_EQ(nb.pfScaleKeys, na.pfScaleKeys);
        }
        // Whatever the key form, the mirrored node moves as the mirror image:
        // world' = S x world x S with S = diag(1, 1, -1, 1).
        const std::vector<SMatrix44> wa = WorldPerFrame(a);
        const std::vector<SMatrix44> wb = WorldPerFrame(b);
        for (size_t f = 0; f < 3; ++f)
            for (size_t i = 0; i < 16; ++i)
                EXPECT_NEAR(wb[f][i], wa[f][i] * kMirror[i], 1e-5f) << "frame " << f << " element " << i;
    }
}

TEST(ProcessDriver, OpenGLLeavesNodeKeysAlone)
{
    COptions options;
    options.SetBool(opt::bExportAnimations, true);
    CSceneExporter exporter;
    const SImportScene in = SpinningScene();
    ASSERT_TRUE(exporter.Process(in, options));
    const SSceneNode& n = exporter.Scene()->pNodes[0];
    ASSERT_EQ(n.pfRotationKeys.size(), 12u);
    for (size_t f = 0; f < 3; ++f)
        for (size_t i = 0; i < 4; ++i)
            EXPECT_EQ(n.pfRotationKeys[f * 4 + i], in.nodes[0].frames[f].rotation[i]);
}

TEST(ProcessDriver, WrittenSceneReadsBack)
{
    SImportScene in;
    in.materials.resize(1);
    in.materials[0].name = "Wood";
    in.materials[0].textures[0] = "wood.png";
    in.materials[0].opacity = 1.0f;
    SImportNode& root = AddNode(in, "Root", eImportNone);
    root.userData = {1, 2, 3};
    AddQuad(AddNode(in, "Quad", eImportMesh, 0), 0.0f, 0);
    AddNode(in, "Lamp", eImportLight, 0).light.type = eImportLightSpot; // point lights store no falloff
    AddNode(in, "Cam", eImportCamera, 0).camera.target = 1;
    COptions options;
    options.SetBool(opt::bExportMappingChannels, true);
    CSceneExporter exporter;
    ASSERT_TRUE(exporter.Process(in, options));
    const std::string path = TempPath("readback.qef");
    ASSERT_TRUE(exporter.Write(path.c_str(), options, "test"));
    SScene back;
    ASSERT_EQ(LoadSceneFile(back, path.c_str()), 0);
    const SScene& s = *exporter.Scene();
    EXPECT_EQ(back.pNodes, s.pNodes);
    EXPECT_EQ(back.pMeshes, s.pMeshes);
    EXPECT_EQ(back, s);
    ASSERT_EQ(back.pMeshes.size(), 1u);
    EXPECT_EQ(back.pMeshes[0].sIndexData.eType, eZGXTUShort);
    EXPECT_EQ(back.pMeshes[0].psTexCoord.size(), 1u);
    EXPECT_EQ(back.pMeshes[0].psTexCoord[0].uiComponentCount, 2u);
    ASSERT_EQ(back.pTextures.size(), 1u);
    EXPECT_EQ(back.pTextures[0].pszName, "wood.png");
    EXPECT_EQ(back.pNodes[3].pUserData, std::vector<uint8_t>({1, 2, 3}));
    EXPECT_EQ(back.pNodes[0].nMaterialIdx, 0);
}

namespace {

struct SFace {
    SVec3 p[3];
    SVec3 n; // the first corner's normal
};

// The triangles of a processed mesh with their corner positions.
std::vector<SFace> Faces(const SSceneMesh& mesh)
{
    const std::vector<float> pos = ChannelValues(mesh, mesh.sPosition);
    const std::vector<float> nor = ChannelValues(mesh, mesh.sNormal);
    const std::vector<uint32_t> idx = Indices(mesh);
    std::vector<SFace> out;
    for (size_t t = 0; t + 2 < idx.size(); t += 3) {
        SFace f;
        for (int c = 0; c < 3; ++c)
            for (int a = 0; a < 3; ++a)
                f.p[c][size_t(a)] = pos[idx[t + size_t(c)] * 3 + size_t(a)];
        for (int a = 0; a < 3; ++a)
            f.n[size_t(a)] = nor[idx[t] * 3 + size_t(a)];
        out.push_back(f);
    }
    return out;
}

} // namespace

TEST(ProcessDriver, DirectXMirrorsVerticesAndKeepsTrianglesFacingOut)
{
    // A tilted quad whose normal agrees with its winding.
    SImportScene in;
    SImportNode& node = AddNode(in, "Tilted", eImportMesh);
    const SVec3 n{0, -0.6f, 0.8f};
    const STestCorner c0{{0, 0, 0}, n}, c1{{1, 0, 0}, n}, c2{{1, 0.8f, 0.6f}, n}, c3{{0, 0.8f, 0.6f}, n};
    AddTriangle(node, c0, c1, c2);
    AddTriangle(node, c0, c2, c3);
    for (int32_t cs : {eCSOpenGL, eCSDirectX}) {
        SCOPED_TRACE(cs == eCSDirectX ? "DirectX" : "OpenGL");
        COptions options;
        options.SetCS(cs);
        CSceneExporter exporter;
        ASSERT_TRUE(exporter.Process(in, options));
        const std::vector<SFace> faces = Faces(exporter.Scene()->pMeshes[0]);
        ASSERT_EQ(faces.size(), 2u);
        const float sign = cs == eCSDirectX ? -1.0f : 1.0f;
        for (const SFace& f : faces) {
            EXPECT_FLOAT_EQ(f.n[2], sign * 0.8f);
            for (const SVec3& p : f.p)
                EXPECT_TRUE(p[2] == 0.0f || p[2] == sign * 0.6f);
            // (b - a) x (c - a) points where the normal does: the winding was
            // turned together with the mirror.
            const float u[3] = {f.p[1][0] - f.p[0][0], f.p[1][1] - f.p[0][1], f.p[1][2] - f.p[0][2]};
            const float v[3] = {f.p[2][0] - f.p[0][0], f.p[2][1] - f.p[0][1], f.p[2][2] - f.p[0][2]};
            const float cross[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
            EXPECT_GT(cross[0] * f.n[0] + cross[1] * f.n[1] + cross[2] * f.n[2], 0.0f);
        }
    }
}

TEST(ProcessDriver, FirstFailingMeshEndsProcessing)
{
    SImportScene in;
    SImportNode& node = AddNode(in, "FiveBones", eImportMesh);
    AddQuad(node);
    SImportSkin skin;
    skin.influences.assign(node.positions.size(), {{0, 0.2f}, {0, 0.2f}, {0, 0.2f}, {0, 0.2f}, {0, 0.2f}});
    node.skins.push_back(skin);
    AddQuad(AddNode(in, "Plain", eImportMesh), 1.0f);
    COptions options;
    options.SetBool(opt::bExportSkin, true);
    CLogCapture log;
    CSceneExporter exporter;
    EXPECT_FALSE(exporter.Process(in, options));
    EXPECT_EQ(CountText(log, 3, "A maximum of four bones may be used per vertex."), 1);
    EXPECT_EQ(CountText(log, 1, "Processing mesh 0"), 1);
    EXPECT_EQ(CountText(log, 1, "Processing mesh 1"), 0);
    EXPECT_EQ(CountText(log, 1, "Complete"), 3);
}

// A scene handed over to the exporter is processed exactly as one it only
// reads, and its meshes' data is gone afterwards (a node split by material
// included, whose data serves every sub-mesh before it goes); names and
// frames stay.
TEST(ProcessDriver, HandedOverSceneGivesTheSameSceneAndFreesItsMeshData)
{
    SImportScene in = SkinnedScene();
    in.materials.resize(2);
    for (SMaterial& m : in.materials)
        m.opacity = 1;
    SImportNode& box = AddNode(in, "Box", eImportMesh, 3);
    AddQuad(box, 0.0f, 1);
    AddQuad(box, 1.0f, 0);
    AddQuad(box, 2.0f, 1);
    COptions options;
    options.SetBool(opt::bExportSkin, true);

    CSceneExporter kept;
    ASSERT_TRUE(kept.Process(in, options));
    SImportScene given = in;
    CSceneExporter handed;
    ASSERT_TRUE(handed.Process(std::move(given), options));
    EXPECT_EQ(*handed.Scene(), *kept.Scene());
    ASSERT_EQ(kept.Scene()->uiMeshNodeCount, 3u); // Skinned, Box-submesh0, Box-submesh1

    ASSERT_EQ(given.nodes.size(), in.nodes.size());
    for (size_t i = 0; i < given.nodes.size(); ++i) {
        const SImportNode& n = given.nodes[i];
        EXPECT_EQ(n.name, in.nodes[i].name);
        EXPECT_EQ(n.frames.size(), in.nodes[i].frames.size());
        if (in.nodes[i].content != eImportMesh)
            continue;
        EXPECT_TRUE(n.positions.empty() && n.normals.empty() && n.triangles.empty() && n.uvSets.empty() &&
                    n.skins.empty())
            << n.name;
    }
}
