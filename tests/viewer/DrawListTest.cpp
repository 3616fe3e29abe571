// The viewer's stages without OpenGL: decoding every vertex layout the
// converter writes, node evaluation and skinning, the node table of hostile
// scenes, damaged files, the camera and the counts of the status line.
#include <gtest/gtest.h>
#include <meshoptimizer.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cmath>
#include <set>

#include "SceneTestUtil.h"
#include "ViewerTestUtil.h"
#include "scene/MeshTriangles.h"
#include "scene/Scene.h"
#include "scene/SceneWrite.h"
#include "scene/Viewpoint.h"
#include "viewer/DrawList.h"
#include "viewer/SceneRenderer.h"
#include "viewer/ViewCamera.h"

#include "convert/ConversionRunner.h"

namespace {

using STriangle = std::array<int, 9>; // three corners, positions in 1/20 units

// The triangles of a list in world space, each starting at its smallest
// corner so the winding is kept but not the starting corner.
std::set<STriangle> WorldTriangles(const SDrawList& list, const SDrawFrame& frame)
{
    std::set<STriangle> out;
    for (size_t i = 0; i < list.pItems.size(); ++i) {
        const SDrawMesh& mesh = list.pMeshes[list.pItems[i].uiMesh];
        for (size_t t = 0; t < mesh.puiIndices.size(); t += 3) {
            std::array<std::array<int, 3>, 3> c;
            for (int k = 0; k < 3; ++k) {
                float p[3];
                TransformPoint(frame.pmWorld[list.pItems[i].uiNode], &mesh.pfPositions[mesh.puiIndices[t + k] * 3], p);
                for (int a = 0; a < 3; ++a)
                    c[k][a] = int(std::lround(p[a] * 20));
            }
            const int first = int(std::min_element(c.begin(), c.end()) - c.begin());
            STriangle tri;
            for (int k = 0; k < 3; ++k)
                for (int a = 0; a < 3; ++a)
                    tri[k * 3 + a] = c[(first + k) % 3][a];
            out.insert(tri);
        }
    }
    return out;
}

struct SLoaded {
    SScene scene;
    SDrawList list;
    SDrawFrame frame;
    std::string error;
    bool ok = false;
    ~SLoaded() { Destroy(scene); }
};

std::unique_ptr<SLoaded> Load(const std::string& path)
{
    auto out = std::make_unique<SLoaded>();
    out->ok = LoadDrawList(path, out->scene, out->list, &out->error);
    if (out->ok)
        EvaluateFrame(out->scene, out->list, 0, out->frame);
    return out;
}

struct SLayoutCase {
    const char* name;
    std::function<void(COptions&)> setup;
    float tolerance; // of positions
};

void ExportColourAndUV(COptions& o, int colourType)
{
    o.SetExport(eVAColour, true);
    o.SetType(eVAColour, colourType);
    o.SetEnable(eVAColour, 15);
    o.SetBool(opt::bExportMappingChannels, true);
    o.SetExport(eVAUVW0, true);
    o.SetEnable(eVAUVW0, 3);
}

const SLayoutCase kLayouts[] = {
    {"float interleaved indexed list", [](COptions&) {}, 0.001f},
    {"separate channels", [](COptions& o) { o.SetBool(opt::bInterleaved, false); }, 0.001f},
    {"not indexed", [](COptions& o) { o.SetBool(opt::bIndexed, false); }, 0.001f},
    {"strips", [](COptions& o) { o.SetPrimType(ePrimTriangleStrip); }, 0.001f},
    {"strips not indexed, separate",
     [](COptions& o) {
         o.SetPrimType(ePrimTriangleStrip);
         o.SetBool(opt::bIndexed, false);
         o.SetBool(opt::bInterleaved, false);
     },
     0.001f},
    {"short positions with unpack matrix",
     [](COptions& o) {
         o.SetType(eVAPosition, eZGXTShort);
         o.SetBool(opt::bUnpackMatrix, true);
     },
     0.001f},
    {"unsigned byte positions with unpack matrix",
     [](COptions& o) {
         o.SetType(eVAPosition, eZGXTUByte);
         o.SetBool(opt::bUnpackMatrix, true);
     },
     0.01f},
    {"fixed 16.16 positions", [](COptions& o) { o.SetType(eVAPosition, eZGXTFixed16); }, 0.001f},
    {"DEC3N normals", [](COptions& o) { o.SetType(eVANormal, eZGXTDec3N); }, 0.001f},
    {"byte normalised normals", [](COptions& o) { o.SetType(eVANormal, eZGXTByteNorm); }, 0.001f},
    {"RGBA colours, UV", [](COptions& o) { ExportColourAndUV(o, eZGXTRGBA); }, 0.001f},
    {"ARGB colours, separate",
     [](COptions& o) {
         ExportColourAndUV(o, eZGXTARGB);
         o.SetBool(opt::bInterleaved, false);
     },
     0.001f},
    {"D3DCOLOR colours", [](COptions& o) { ExportColourAndUV(o, eZGXTD3DColour); }, 0.001f},
    {"float colours, short-normalised UV",
     [](COptions& o) {
         ExportColourAndUV(o, eZGXTFloat);
         o.SetType(eVAUVW0, eZGXTUShortNorm);
     },
     0.001f},
};

void PrintTo(const SLayoutCase& c, std::ostream* os)
{
    *os << c.name;
}

class LayoutTest : public ::testing::TestWithParam<SLayoutCase> {};

// Whatever the layout, the viewer sees the same red unit cube: the same
// wound triangles, unit normals facing out of their faces, red colours.
TEST_P(LayoutTest, EveryLayoutDecodesToTheSameCube)
{
    const SLayoutCase& c = GetParam();
    QTemporaryDir dir;
    const std::string reference = ConvertToQef(ViewerFixture("red_cube.dae"), dir, "reference.qef");
    const std::string path = ConvertToQef(ViewerFixture("red_cube.dae"), dir, "case.qef", c.setup);
    ASSERT_FALSE(path.empty()) << c.name;
    auto ref = Load(reference);
    auto got = Load(path);
    ASSERT_TRUE(got->ok) << c.name << ": " << got->error;
    ASSERT_EQ(got->list.pItems.size(), 1u);
    const SDrawMesh& mesh = got->list.pMeshes[got->list.pItems[0].uiMesh];
    EXPECT_EQ(mesh.TriangleCount(), 12u) << c.name;
    for (float v : mesh.pfPositions)
        EXPECT_NEAR(std::fabs(v), 0.5f, c.tolerance) << c.name;
    EXPECT_EQ(WorldTriangles(got->list, got->frame), WorldTriangles(ref->list, ref->frame)) << c.name;

    ASSERT_EQ(mesh.pfNormals.size(), size_t(mesh.uiVertexCount) * 3) << c.name;
    for (size_t t = 0; t < mesh.puiIndices.size(); t += 3) {
        // The face's normal by its winding, which must point out of the cube.
        const float* p0 = &mesh.pfPositions[mesh.puiIndices[t] * 3];
        const float* p1 = &mesh.pfPositions[mesh.puiIndices[t + 1] * 3];
        const float* p2 = &mesh.pfPositions[mesh.puiIndices[t + 2] * 3];
        const float e1[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
        const float e2[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
        float face[3];
        Cross3(face, e1, e2);
        const float length = std::sqrt(Dot3(face, face));
        ASSERT_GT(length, 0.1f) << c.name;
        const float mid[3] = {(p0[0] + p1[0] + p2[0]) / 3, (p0[1] + p1[1] + p2[1]) / 3, (p0[2] + p1[2] + p2[2]) / 3};
        EXPECT_GT(Dot3(face, mid), 0.0f) << c.name << ": triangle " << t / 3 << " is wound inwards";
        for (int k = 0; k < 3; ++k) {
            const float* n = &mesh.pfNormals[mesh.puiIndices[t + k] * 3];
            EXPECT_NEAR(Dot3(n, n), 1.0f, 1e-3f) << c.name;
            EXPECT_GT(Dot3(n, face) / length, 0.99f) << c.name;
        }
    }
    const std::string name = c.name;
    if (name.find("unpack") != std::string::npos) {
        EXPECT_NE(got->scene.pMeshes[0].fUnpackMatrix, MatrixIdentity()) << c.name;
    }
    ASSERT_EQ(mesh.pfColours.empty(), name.find("colours") == std::string::npos) << c.name;
    if (!mesh.pfColours.empty()) {
        for (size_t v = 0; v < mesh.uiVertexCount; ++v) {
            EXPECT_NEAR(mesh.pfColours[v * 4 + 0], 1.0f, 0.01f) << c.name;
            EXPECT_NEAR(mesh.pfColours[v * 4 + 1], 0.0f, 0.01f) << c.name;
            EXPECT_NEAR(mesh.pfColours[v * 4 + 3], 1.0f, 0.01f) << c.name;
        }
        ASSERT_EQ(mesh.pfTexCoords.size(), size_t(mesh.uiVertexCount) * 2) << c.name;
        for (float uv : mesh.pfTexCoords)
            EXPECT_TRUE(std::fabs(uv) < 1e-3f || std::fabs(uv - 1) < 1e-3f) << c.name << " uv " << uv;
    }
    EXPECT_NEAR(mesh.fAcmr, ListAcmr(TriangleList(got->scene.pMeshes[0]), mesh.uiVertexCount), 1e-6f);
}

INSTANTIATE_TEST_SUITE_P(Viewer, LayoutTest, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<SLayoutCase>& param) {
                             std::string name = param.param.name;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

// The arm bends: skinned through a batch palette ([2 1 3], not the node
// order) it lands exactly where the unbatched export puts it, stands in its
// bind pose at frame 0, and at frame 30 the forearm has moved while the
// shoulder has not.
TEST(ViewerSkinning, PalettesResolveAndTheArmBends)
{
    QTemporaryDir dir;
    auto batched = Load(ConvertToQef(ExamplePath("skinned_arm.dae"), dir, "batched.qef", ArmOptions(3)));
    auto plain = Load(ConvertToQef(ExamplePath("skinned_arm.dae"), dir, "plain.qef", ArmOptions(0)));
    ASSERT_TRUE(batched->ok && plain->ok);
    ASSERT_EQ(batched->list.pItems.size(), 1u);
    const SDrawMesh& mesh = batched->list.pMeshes[0];
    ASSERT_TRUE(mesh.IsSkinned());
    EXPECT_EQ(mesh.uiBatchCount, 1u);
    ASSERT_FALSE(batched->scene.pMeshes[0].puiBatchBoneList.empty());
    EXPECT_NE(batched->scene.pMeshes[0].puiBatchBoneList[0], 1u) << "the palette must not be the identity";
    EXPECT_GE(batched->list.uiFrameCount, 31u);

    for (float frame : {0.0f, 15.0f, 30.0f, 45.5f}) {
        EvaluateFrame(batched->scene, batched->list, frame, batched->frame);
        EvaluateFrame(plain->scene, plain->list, frame, plain->frame);
        // Same triangles, same places: compare the sets of skinned positions.
        std::multiset<std::array<int, 3>> a, b;
        for (const auto* side : {&batched, &plain}) {
            const std::vector<float>& p = (*side)->frame.pfSkinnedPos[0];
            ASSERT_FALSE(p.empty());
            for (size_t v = 0; v < p.size(); v += 3)
                (side == &batched ? a : b)
                    .insert({int(std::lround(p[v] * 1000)), int(std::lround(p[v + 1] * 1000)),
                             int(std::lround(p[v + 2] * 1000))});
        }
        EXPECT_EQ(a, b) << "frame " << frame;
    }

    EvaluateFrame(batched->scene, batched->list, 0, batched->frame);
    const std::vector<float> rest = batched->frame.pfSkinnedPos[0];
    for (size_t v = 0; v < mesh.uiVertexCount; ++v)
        for (int a = 0; a < 3; ++a)
            EXPECT_NEAR(rest[v * 3 + a], mesh.pfPositions[v * 3 + a], 1e-4f) << "bind pose, vertex " << v;
    EvaluateFrame(batched->scene, batched->list, 30, batched->frame);
    const std::vector<float>& bent = batched->frame.pfSkinnedPos[0];
    bool tipMoved = false;
    for (size_t v = 0; v < mesh.uiVertexCount; ++v) {
        const float d =
            std::hypot(bent[v * 3] - rest[v * 3], bent[v * 3 + 1] - rest[v * 3 + 1], bent[v * 3 + 2] - rest[v * 3 + 2]);
        if (rest[v * 3] < 0.01f) {
            EXPECT_LT(d, 0.2f) << "a shoulder vertex moved";
        }
        if (rest[v * 3] > 3.99f)
            tipMoved = tipMoved || d > 1.5f;
    }
    EXPECT_TRUE(tipMoved) << "the forearm did not bend by frame 30";
    // Past the end clamps to the last frame; a NaN frame is frame 0.
    EvaluateFrame(batched->scene, batched->list, 1e9f, batched->frame);
    EXPECT_EQ(batched->frame.fFrame, float(batched->list.uiFrameCount - 1));
    EvaluateFrame(batched->scene, batched->list, std::nanf(""), batched->frame);
    EXPECT_EQ(batched->frame.fFrame, 0.0f);
}

// Node kinds and contents by their place in the file, from a converted
// document with cameras and lights.
TEST(ViewerNodes, KindsCamerasAndLights)
{
    QTemporaryDir dir;
    auto got = Load(ConvertToQef(TestDataPath("collada/cameras_lights.dae"), dir, "cl.qef"));
    ASSERT_TRUE(got->ok) << got->error;
    EXPECT_EQ(got->list.pLights.size(), got->scene.pLights.size());
    EXPECT_EQ(got->list.pCameras.size(), got->scene.pCameras.size());
    EXPECT_FALSE(got->list.pLights.empty());
    EXPECT_FALSE(got->list.pCameras.empty());
    for (const SDrawLight& light : got->list.pLights)
        EXPECT_EQ(got->list.pNodes[light.uiNode].eKind, eNodeLight);
    for (const SDrawCamera& camera : got->list.pCameras) {
        EXPECT_EQ(got->list.pNodes[camera.uiNode].eKind, eNodeCamera);
        EXPECT_GT(camera.fFieldOfView, 0.0f);
        EXPECT_GT(camera.fFar, camera.fNear);
    }
}

// A scene that did not come from our converter: parents that loop or leave
// the table, contents and materials out of range, a mesh without positions.
TEST(ViewerNodes, HostileTablesGiveAForestAndNoBadItems)
{
    SScene scene = MakeFullScene();
    const size_t n = scene.pNodes.size();
    ASSERT_GE(n, 4u);
    scene.pNodes[0].nParentIdx = 1;
    scene.pNodes[1].nParentIdx = 0; // a loop
    scene.pNodes[2].nParentIdx = int32_t(n + 5);
    scene.pNodes[n - 1].nParentIdx = int32_t(n - 1); // its own parent
    scene.pNodes[0].nMaterialIdx = 99;
    if (scene.uiMeshNodeCount > 1)
        scene.pNodes[1].nContentIdx = 1000;
    SDrawList list;
    BuildDrawList(scene, ".", list);
    ASSERT_EQ(list.pNodes.size(), n);
    EXPECT_EQ(list.pNodes[0].nParent, -1);
    EXPECT_EQ(list.pNodes[1].nParent, -1);
    EXPECT_EQ(list.pNodes[2].nParent, -1);
    EXPECT_EQ(list.pNodes[n - 1].nParent, -1);
    for (const SDrawItem& item : list.pItems) {
        ASSERT_LT(item.uiMesh, list.pMeshes.size());
        EXPECT_LT(item.nMaterial, int32_t(list.pMaterials.size()));
        if (scene.uiMeshNodeCount > 1) {
            EXPECT_NE(item.uiNode, 1u) << "a mesh node whose mesh is out of range";
        }
        const SDrawMesh& mesh = list.pMeshes[item.uiMesh];
        for (uint32_t index : mesh.puiIndices)
            EXPECT_LT(index, mesh.uiVertexCount);
    }
    CreateAnimCache(scene);
    SDrawFrame frame;
    EvaluateFrame(scene, list, 1.5f, frame);
    EXPECT_EQ(frame.pmWorld.size(), n);
    Destroy(scene);
}

// Damaged files give the reader's message and an empty scene, never a crash:
// every prefix of a good file, flipped bytes, wrong versions, no file.
TEST(ViewerBadInput, DamagedFilesGiveTheReadersMessage)
{
    QTemporaryDir dir;
    const std::string good = ConvertToQef(ExamplePath("skinned_arm.dae"), dir, "good.qef", ArmOptions(3));
    ASSERT_FALSE(good.empty());
    const std::string bytes = ReadFileBytes(good);
    const std::string bad = dir.filePath(QStringLiteral("bad.qef")).toStdString();
    std::vector<std::string> damaged;
    for (size_t cut = 0; cut < bytes.size(); cut += 1 + cut / 16)
        damaged.push_back(bytes.substr(0, cut));
    for (size_t at = 0; at < bytes.size(); at += 37) {
        std::string flipped = bytes;
        flipped[at] = char(flipped[at] ^ 0xA5);
        damaged.push_back(flipped);
    }
    std::string version = bytes;
    version[10] = '9';
    damaged.push_back(version);
    int failures = 0;
    for (const std::string& file : damaged) {
        ASSERT_TRUE(WriteFileBytes(bad, file));
        SScene scene;
        SDrawList list;
        std::string error;
        if (!LoadDrawList(bad, scene, list, &error)) {
            ++failures;
            EXPECT_FALSE(error.empty());
            EXPECT_TRUE(list.pItems.empty());
            EXPECT_TRUE(scene.pNodes.empty());
            continue;
        }
        // A flip the reader accepts still gives a list that is safe to use.
        SDrawFrame frame;
        EvaluateFrame(scene, list, 30, frame);
        for (const SDrawMesh& mesh : list.pMeshes)
            for (uint32_t index : mesh.puiIndices)
                ASSERT_LT(index, mesh.uiVertexCount);
        Destroy(scene);
    }
    EXPECT_GT(failures, int(damaged.size() / 2));

    SScene scene;
    SDrawList list;
    std::string error;
    EXPECT_FALSE(LoadDrawList(dir.filePath(QStringLiteral("missing.qef")).toStdString(), scene, list, &error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
    ASSERT_TRUE(WriteFileBytes(bad, bytes.substr(0, 30)));
    EXPECT_FALSE(LoadDrawList(bad, scene, list, &error));
    EXPECT_FALSE(error.empty());
}

// The diffuse texture is found beside the file by its name, and only there.
TEST(ViewerMaterials, TextureBesideTheFile)
{
    QTemporaryDir dir;
    const std::string path = ConvertToQef(ExamplePath("textured_box.dae"), dir, "box.qef");
    auto without = Load(path);
    ASSERT_TRUE(without->ok);
    ASSERT_FALSE(without->list.pMaterials.empty());
    EXPECT_EQ(without->list.pMaterials[0].sTextureName, "crate.png");
    EXPECT_TRUE(without->list.pMaterials[0].sTexturePath.empty());
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::green);
    ASSERT_TRUE(image.save(dir.filePath(QStringLiteral("crate.png"))));
    auto with = Load(path);
    EXPECT_EQ(with->list.pMaterials[0].sTexturePath, dir.filePath(QStringLiteral("crate.png")).toStdString());
}

// Frame all keeps the whole box in view from every direction, and the
// gizmo's Y axis points up on the screen whenever the view is upright.
TEST(ViewerCamera, FramedBoxesStayInViewAndYIsUp)
{
    const float mn[3] = {-3, 0, 10}, mx[3] = {5, 2, 11};
    for (float yaw : {0.0f, 0.7f, 2.5f, -2.0f})
        for (float pitch : {-1.2f, 0.0f, 0.4f, 1.5f}) {
            SViewCamera camera;
            camera.fYaw = yaw;
            camera.fPitch = pitch;
            FrameBox(camera, mn, mx);
            const SMatrix44 viewProj =
                MatrixMultiply(ViewMatrix(camera), Perspective(camera.fFieldOfView, 1.0f, camera.fNear, camera.fFar));
            for (int corner = 0; corner < 8; ++corner) {
                const float p[3] = {(corner & 1) ? mx[0] : mn[0], (corner & 2) ? mx[1] : mn[1],
                                    (corner & 4) ? mx[2] : mn[2]};
                float clip[4];
                for (int c = 0; c < 4; ++c)
                    clip[c] = p[0] * viewProj[c] + p[1] * viewProj[4 + c] + p[2] * viewProj[8 + c] + viewProj[12 + c];
                ASSERT_GT(clip[3], 0);
                for (int c = 0; c < 3; ++c)
                    EXPECT_LE(std::fabs(clip[c] / clip[3]), 1.0f) << yaw << " " << pitch << " corner " << corner;
            }
            float up[2];
            GizmoAxis(ViewMatrix(camera), 1, up);
            EXPECT_GT(up[1], 0.05f) << yaw << " " << pitch;
        }
}

// The status line's counts: visible items only, ACMR weighted by triangles.
TEST(ViewerStatus, CountsOfVisibleMeshes)
{
    SDrawList list;
    list.pMeshes.resize(2);
    list.pMeshes[0].uiVertexCount = 4;
    list.pMeshes[0].puiIndices = {0, 1, 2, 2, 1, 3};
    list.pMeshes[0].fAcmr = ListAcmr(list.pMeshes[0].puiIndices, 4);
    list.pMeshes[1].uiVertexCount = 3;
    list.pMeshes[1].puiIndices = {0, 1, 2};
    list.pMeshes[1].fAcmr = ListAcmr(list.pMeshes[1].puiIndices, 3);
    list.pItems = {{0, 0, -1}, {1, 1, -1}, {2, 0, -1}};
    EXPECT_FLOAT_EQ(list.pMeshes[0].fAcmr, 2.0f);
    EXPECT_FLOAT_EQ(list.pMeshes[1].fAcmr, 3.0f);
    SRenderStats all = CountVisible(list, {});
    EXPECT_EQ(all.uiTriangles, 5u);
    EXPECT_EQ(all.uiVertices, 11u);
    EXPECT_EQ(all.uiDrawCalls, 3u);
    EXPECT_FLOAT_EQ(all.fAcmr, (2.0f * 2 + 3.0f * 1 + 2.0f * 2) / 5);
    SRenderStats some = CountVisible(list, {1, 0, 1});
    EXPECT_EQ(some.uiTriangles, 4u);
    EXPECT_EQ(some.uiDrawCalls, 2u);
    EXPECT_FLOAT_EQ(some.fAcmr, 2.0f);
}

// Cameras as the scene model has them: the converter's quarter-turn and the
// scene's evaluation agree on where each file's camera stands and looks. A
// glTF camera 5 in front of the square (on +Z) looks down -Z with +Y up;
// the one at (3, 0, 4) turned 36.87 degrees about Y looks at the origin;
// the Collada lookat camera of the textured box looks from (6, 4, 8) at
// (0, 1, 0) with +Y up.
TEST(ViewerCamera, CamerasFaceTheWayTheirFilesSay)
{
    QTemporaryDir dir;
    struct SCase {
        std::string file;
        uint32_t camera;
        std::array<float, 3> eye, target, up;
        float fov; // 0: not checked
    };
    const SCase cases[] = {
        {TestDataPath("viewer/camera_square.gltf"), 0, {0, 0, 5}, {0, 0, 0}, {0, 1, 0}, 0.8f},
        {TestDataPath("viewer/camera_square.gltf"), 1, {3, 0, 4}, {0, 0, 0}, {0, 1, 0}, 0.8f},
        {ExamplePath("textured_box.dae"), 0, {6, 4, 8}, {0, 1, 0}, {0, 1, 0}, 0},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.file + " camera " + std::to_string(c.camera));
        auto got = Load(ConvertToQef(c.file, dir, "camera.qef"));
        ASSERT_TRUE(got->ok) << got->error;
        SSceneViewpoint at;
        ASSERT_TRUE(EvalCameraViewpoint(got->scene, c.camera, &at));
        float forward[3];
        for (int k = 0; k < 3; ++k)
            forward[k] = c.target[size_t(k)] - c.eye[size_t(k)];
        const float length = std::sqrt(Dot3(forward, forward));
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(at.fPosition[k], c.eye[size_t(k)], 1e-3f);
            EXPECT_NEAR(at.fForward[k], forward[k] / length, 1e-3f);
        }
        // Up is square to the view and on the side of the file's up.
        EXPECT_NEAR(Dot3(at.fUp, at.fForward), 0.0f, 1e-5f);
        EXPECT_GT(Dot3(at.fUp, c.up.data()), 0.7f);
        float right[3];
        Cross3(right, at.fForward, at.fUp);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(at.fRight[k], right[k], 1e-5f);
        if (c.fov > 0) {
            EXPECT_FLOAT_EQ(at.fFieldOfView, c.fov);
        }
        // The view matrix takes the eye to the origin and the target ahead.
        const SMatrix44 view = ViewpointViewMatrix(at);
        float p[3];
        TransformPoint(view, c.target.data(), p);
        EXPECT_NEAR(p[0], 0.0f, 1e-3f);
        EXPECT_NEAR(p[1], 0.0f, 1e-3f);
        EXPECT_NEAR(p[2], -length, 1e-3f);
    }
    // Only the file's cameras.
    auto square = Load(ConvertToQef(cases[0].file, dir, "c.qef"));
    SSceneViewpoint none;
    EXPECT_FALSE(EvalCameraViewpoint(square->scene, 2, &none));

    // Lights the same way: the spot turned -90 degrees about X at (2, 2, 0)
    // shines straight down.
    auto spot = Load(ConvertToQef(TestDataPath("viewer/spot_plane.dae"), dir, "spot.qef"));
    ASSERT_TRUE(spot->ok) << spot->error;
    SSceneViewpoint light;
    ASSERT_TRUE(EvalLightViewpoint(spot->scene, 0, &light));
    const float at[3] = {2, 2, 0}, down[3] = {0, -1, 0};
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(light.fPosition[k], at[k], 1e-4f);
        EXPECT_NEAR(light.fForward[k], down[k], 1e-4f);
    }
    EXPECT_FALSE(EvalLightViewpoint(spot->scene, 1, &light));
}

// The convention on its own: the node's +Y is the facing, +Z the up; a
// target overrides the facing and keeps up near +Z; a scaled node still
// gives unit directions.
TEST(ViewerCamera, ViewpointOfANodeMatrix)
{
    // Turned 90 degrees about Z: +Y goes to -X, +Z stays; scaled by 3.
    SMatrix44 node = {0, 3, 0, 0, -3, 0, 0, 0, 0, 0, 3, 0, 1, 2, 3, 1};
    SSceneViewpoint v = ViewpointOf(node, nullptr);
    const float forward[3] = {-1, 0, 0}, up[3] = {0, 0, 1}, right[3] = {0, 1, 0};
    for (int k = 0; k < 3; ++k) {
        EXPECT_FLOAT_EQ(v.fPosition[k], float(k + 1));
        EXPECT_NEAR(v.fForward[k], forward[k], 1e-6f);
        EXPECT_NEAR(v.fUp[k], up[k], 1e-6f);
        EXPECT_NEAR(v.fRight[k], right[k], 1e-6f);
    }
    // A target straight above: up falls back to the node's side.
    SMatrix44 target = MatrixIdentity();
    target[12] = 1;
    target[13] = 2;
    target[14] = 13;
    v = ViewpointOf(node, &target);
    EXPECT_NEAR(v.fForward[2], 1.0f, 1e-6f);
    EXPECT_NEAR(Dot3(v.fUp, v.fForward), 0.0f, 1e-6f);
    EXPECT_NEAR(Dot3(v.fUp, v.fUp), 1.0f, 1e-5f);
    // A collapsed matrix leaves the unturned frame at its place.
    SMatrix44 flat{};
    flat[12] = 5;
    v = ViewpointOf(flat, nullptr);
    EXPECT_EQ(v.fPosition[0], 5.0f);
    EXPECT_EQ(v.fForward[1], 1.0f);
    EXPECT_EQ(v.fUp[2], 1.0f);
}

// A material that ends up fully transparent while its mesh is exported is
// named once in a warning that points at bInvertTransparency, and the
// viewer counts what cannot be seen.
TEST(ViewerStatus, FullyTransparentMaterialsAreSaid)
{
    QTemporaryDir dir;
    for (bool invert : {false, true}) {
        SCOPED_TRACE(invert ? "inverted" : "as written");
        COptions options;
        options.SetBool(opt::bInvertTransparency, invert);
        const std::string out = dir.filePath(QStringLiteral("clear.qef")).toStdString();
        options.SetOutputPath(out);
        QStringList warnings;
        ASSERT_EQ(RunConversion(options, QString::fromStdString(TestDataPath("viewer/clear_cube.dae")),
                                [&warnings](const SConversionMessage& m) {
                                    if (m.kind == SConversionMessage::eWarning)
                                        warnings << m.text;
                                }),
                  0);
        const QStringList said = warnings.filter(QStringLiteral("bInvertTransparency"));
        auto got = Load(out);
        ASSERT_TRUE(got->ok) << got->error;
        const SRenderStats stats = CountVisible(got->list, {});
        EXPECT_EQ(stats.uiTriangles, 12u);
        if (invert) {
            EXPECT_TRUE(said.isEmpty()) << said.join('\n').toStdString();
            EXPECT_EQ(stats.uiInvisibleTriangles, 0u);
            continue;
        }
        ASSERT_EQ(said.size(), 1) << warnings.join('\n').toStdString();
        EXPECT_TRUE(said[0].contains(QStringLiteral("'Red'"))) << said[0].toStdString();
        EXPECT_EQ(stats.uiInvisibleTriangles, 12u);
    }
}

// The whole animation's box holds every frame: the arm's forearm swings
// up by frame 30, above anything frame 0 shows.
TEST(ViewerCamera, AnimationBoundsHoldEveryFrame)
{
    QTemporaryDir dir;
    auto arm = Load(ConvertToQef(ExamplePath("skinned_arm.dae"), dir, "arm.qef", ArmOptions(3)));
    ASSERT_TRUE(arm->ok) << arm->error;
    ASSERT_GT(arm->list.uiFrameCount, 30u);
    const SBox all = AnimationBounds(arm->scene, arm->list);
    ASSERT_TRUE(all.bAny);
    EXPECT_EQ(arm->scene.sAnimCache.fFrame, 0.0f) << "the scene is left at its frame";
    SBox first;
    ASSERT_TRUE(ItemBounds(arm->list, arm->frame, 0, first));
    for (uint32_t f = 0; f < arm->list.uiFrameCount; f += 5) {
        SDrawFrame at;
        EvaluateFrame(arm->scene, arm->list, float(f), at);
        SBox box;
        ASSERT_TRUE(ItemBounds(arm->list, at, 0, box));
        for (int k = 0; k < 3; ++k) {
            EXPECT_GE(box.fMin[k], all.fMin[k] - 1e-4f) << "frame " << f;
            EXPECT_LE(box.fMax[k], all.fMax[k] + 1e-4f) << "frame " << f;
        }
    }
    float grown = 0;
    for (int k = 0; k < 3; ++k)
        grown += (all.fMax[k] - all.fMin[k]) - (first.fMax[k] - first.fMin[k]);
    EXPECT_GT(grown, 0.5f) << "the animation reaches beyond frame 0";
}

} // namespace
