// Skins, animation sampling, compressed views, the binary container and the
// command line with glTF input.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>

#include <meshoptimizer.h>

#include "process/SceneExporter.h"
#include "scene/Scene.h"
#include "scene/SceneWrite.h"
#include "GltfTestUtil.h"

namespace {

// One animated node "Box" with one channel of the given path, sampler
// interpolation and key values (times 0 and 1 s).
std::unique_ptr<SGltfRun> Animated(const char* path, const char* interpolation, const std::vector<float>& values,
                                   const char* type, size_t components, bool exportAnimations = true)
{
    SGltfBuilder b;
    b.Node({{"name", "Box"}});
    const int times = b.Floats({0, 1}, "SCALAR", 1);
    const int output = b.Floats(values, type, components);
    const json sampler = {{"input", times}, {"output", output}, {"interpolation", interpolation}};
    const json channel = {{"sampler", 0}, {"target", {{"node", 0}, {"path", path}}}};
    b.doc["animations"] = json::array({{{"samplers", json::array({sampler})}, {"channels", json::array({channel})}}});
    return ImportGltfBytes(b.Gltf(), [&](COptions& o) { o.SetBool(opt::bExportAnimations, exportAnimations); });
}

// The triangles of a mesh as position triples, each turned to start at its
// smallest corner, sorted.
std::vector<std::array<SVec3, 3>> TriangleSet(const SImportNode& n)
{
    std::vector<std::array<SVec3, 3>> out;
    for (const SImportTriangle& t : n.triangles) {
        std::array<SVec3, 3> tri = {n.positions[size_t(t.position[0])], n.positions[size_t(t.position[1])],
                                    n.positions[size_t(t.position[2])]};
        std::rotate(tri.begin(), std::min_element(tri.begin(), tri.end()), tri.end());
        out.push_back(tri);
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

TEST(GltfSkin, MoreThanFourInfluencesAreReducedAndRenormalised)
{
    SGltfBuilder b;
    std::vector<int> joints;
    for (int j = 0; j < 6; ++j)
        joints.push_back(b.Node({{"name", "Bone" + std::to_string(j)}, {"translation", {0, float(j), 0}}}));
    json p = b.Triangles({0, 0, 0, 1, 0, 0, 1, 1, 0});
    // Vertex 0: six influences (0.5 0.3 0.1 0.05 0.04 0.01); the others one bone each.
    const std::vector<uint8_t> j0 = {0, 1, 2, 3, 5, 0, 0, 0, 5, 0, 0, 0}, j1 = {4, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    p["attributes"]["JOINTS_0"] = b.Accessor(b.View(j0), 5121, 3, "VEC4");
    p["attributes"]["WEIGHTS_0"] = b.Floats({0.5f, 0.3f, 0.1f, 0.05f, 1, 0, 0, 0, 1, 0, 0, 0}, "VEC4", 4);
    p["attributes"]["JOINTS_1"] = b.Accessor(b.View(j1), 5121, 3, "VEC4");
    p["attributes"]["WEIGHTS_1"] = b.Floats({0.04f, 0.01f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "VEC4", 4);
    // Inverse bind matrices: the inverse of each bone's translation.
    std::vector<float> ibm;
    for (int j = 0; j < 6; ++j)
        ibm.insert(ibm.end(), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -float(j), 0, 1});
    b.doc["skins"] = {{{"joints", joints}, {"inverseBindMatrices", b.Floats(ibm, "MAT4", 16)}, {"skeleton", 0}}};
    const int mesh = b.MeshNode(p);
    b.doc["nodes"][mesh]["skin"] = 0;
    auto run = ImportGltfBytes(b.Gltf(), [](COptions& o) { o.SetBool(opt::bExportSkin, true); });
    ASSERT_EQ(run->result, 0) << run->Messages(eLogError);
    const SImportNode& n = *run->Node("Mesh");
    ASSERT_EQ(n.skins.size(), 1u);
    ASSERT_EQ(n.skins[0].influences.size(), 3u);
    const auto& first = n.skins[0].influences[0];
    ASSERT_EQ(first.size(), 4u);
    const float sum = 0.95f;
    EXPECT_EQ(first[0].bone, run->Node("Bone0")->index);
    EXPECT_NEAR(first[0].weight, 0.5f / sum, 1e-6f);
    EXPECT_EQ(first[3].bone, run->Node("Bone3")->index);
    EXPECT_NEAR(first[3].weight, 0.05f / sum, 1e-6f);
    EXPECT_EQ(n.skins[0].influences[1][0].bone, run->Node("Bone5")->index);
    EXPECT_EQ(run->Node("Bone2")->content, uint32_t(eImportBone));
    EXPECT_TRUE(
        run->Logged(eLogWarning, "WARNING: Ignoring some bones as QEF only supports up to (4) bones per vertex."));
    EXPECT_TRUE(
        run->Logged(eLogWarning, "WARNING: Rescaling some bone weights as their total weight does not equal 1."));
    // Bind pose: each bone's inverse bind undoes its placement, so the mesh stays put.
    EXPECT_NEAR(n.positions[1][0], 1, 1e-5f);
    EXPECT_NEAR(n.positions[1][1], 0, 1e-5f);
}

TEST(GltfAnimation, ChannelsAreSampledOntoTheColladaFrames)
{
    // One second of keys: frames 0 .. 30.
    auto linear = Animated("translation", "LINEAR", {0, 0, 0, 3, 6, 9}, "VEC3", 3);
    ASSERT_EQ(linear->result, 0) << linear->Messages(eLogError);
    EXPECT_EQ(linear->scene.lastFrame, 30u);
    EXPECT_EQ(linear->scene.frameRate, 30u);
    const SImportNode& box = *linear->Node("Box");
    ASSERT_EQ(box.frames.size(), 31u);
    const float t15 = float(std::floor(15 * 0.033333 * 10000 + 0.0005) / 10000);
    EXPECT_NEAR(box.frames[15].translation[1], 6 * t15, 1e-4f);
    EXPECT_NEAR(box.frames[30].translation[2], 9 * 0.99999f, 1e-3f);
    EXPECT_NEAR(box.frames[15].matrix[13], 6 * t15, 1e-4f);

    auto step = Animated("scale", "STEP", {1, 1, 1, 2, 2, 2}, "VEC3", 3);
    EXPECT_EQ(step->Node("Box")->frames[29].scale[0], 1.0f);

    // A cubic spline with flat tangents eases in and out: half way at the middle.
    auto cubic =
        Animated("translation", "CUBICSPLINE", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 2, 0, 0, 0}, "VEC3", 3);
    ASSERT_EQ(cubic->result, 0) << cubic->Messages(eLogError);
    const float s = float(std::floor(15 * 0.033333 * 10000 + 0.0005) / 10000);
    EXPECT_NEAR(cubic->Node("Box")->frames[15].translation[0], 2 * (3 * s * s - 2 * s * s * s), 1e-4f);

    // A conversion that exports no animation (in model space) samples frame 0 alone.
    auto still = Animated("translation", "LINEAR", {0, 0, 0, 3, 6, 9}, "VEC3", 3, false);
    ASSERT_EQ(still->Node("Box")->frames.size(), 1u);
    EXPECT_EQ(still->scene.lastFrame, 0u);
    EXPECT_EQ(still->Node("Box")->frames[0].matrix, box.frames[0].matrix);

    // Rotation: a quarter turn about y at the last key, spherically interpolated.
    const float h = std::sqrt(0.5f);
    auto rotation = Animated("rotation", "LINEAR", {0, 0, 0, 1, 0, h, 0, h}, "VEC4", 4);
    const SImportNode& spun = *rotation->Node("Box");
    // Frame 15 is at 0.4999 s: 45 degrees, a quaternion of half that angle.
    EXPECT_NEAR(std::fabs(spun.frames[15].rotation[1]), std::sin(0.25f * 3.14159265f * t15), 1e-4f);
}

TEST(GltfAnimation, NothingAnimatedTurnsAnimationExportOff)
{
    SGltfBuilder b;
    b.Node({{"name", "Still"}});
    auto run = ImportGltfBytes(b.Gltf(), [](COptions& o) { o.SetBool(opt::bExportAnimations, true); });
    ASSERT_EQ(run->result, 0);
    EXPECT_FALSE(ExportOptions(run->options, run->scene).GetBool(opt::bExportAnimations));
    // Morph weights alone animate nothing, with one warning.
    auto morph = Animated("weights", "LINEAR", {0, 1}, "SCALAR", 1);
    ASSERT_EQ(morph->result, 0) << morph->Messages(eLogError);
    EXPECT_TRUE(morph->Logged(eLogWarning, "Warning: Morph targets are not exported; meshes keep their base shape."));
    EXPECT_TRUE(morph->Node("Box")->frames.empty());
}

TEST(GltfCompression, MeshoptViewsDecodeToTheSameMesh)
{
    const std::vector<float> positions = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 2, 2, 0, 3, 1, 0};
    const std::vector<uint32_t> indices = {0, 1, 2, 0, 2, 3, 2, 4, 5, 1, 4, 2};

    SGltfBuilder plain;
    plain.MeshNode(plain.Triangles(positions, {0, 1, 2, 0, 2, 3, 2, 4, 5, 1, 4, 2}));
    auto expected = ImportGltfBytes(plain.Gltf());
    ASSERT_EQ(expected->result, 0);

    std::vector<uint8_t> vertexCode(meshopt_encodeVertexBufferBound(6, 12));
    vertexCode.resize(meshopt_encodeVertexBuffer(vertexCode.data(), vertexCode.size(), positions.data(), 6, 12));
    std::vector<uint8_t> indexCode(meshopt_encodeIndexBufferBound(indices.size(), 6));
    indexCode.resize(meshopt_encodeIndexBuffer(indexCode.data(), indexCode.size(), indices.data(), indices.size()));

    SGltfBuilder b;
    const int vv = b.View(vertexCode);
    const int iv = b.View(indexCode);
    json views = json::array();
    views.push_back({{"buffer", 1},
                     {"byteLength", 72},
                     {"byteStride", 12},
                     {"extensions",
                      {{"EXT_meshopt_compression",
                        {{"buffer", 0},
                         {"byteOffset", b.doc["bufferViews"][vv]["byteOffset"]},
                         {"byteLength", vertexCode.size()},
                         {"byteStride", 12},
                         {"count", 6},
                         {"mode", "ATTRIBUTES"}}}}}});
    views.push_back({{"buffer", 1},
                     {"byteLength", 48},
                     {"extensions",
                      {{"EXT_meshopt_compression",
                        {{"buffer", 0},
                         {"byteOffset", b.doc["bufferViews"][iv]["byteOffset"]},
                         {"byteLength", indexCode.size()},
                         {"byteStride", 4},
                         {"count", 12},
                         {"mode", "TRIANGLES"}}}}}});
    b.doc["bufferViews"] = views;
    b.doc["accessors"] = {{{"bufferView", 0}, {"componentType", 5126}, {"count", 6}, {"type", "VEC3"}},
                          {{"bufferView", 1}, {"componentType", 5125}, {"count", 12}, {"type", "SCALAR"}}};
    b.MeshNode({{"attributes", {{"POSITION", 0}}}, {"indices", 1}});
    b.doc["extensionsUsed"] = b.doc["extensionsRequired"] = {"EXT_meshopt_compression"};
    json d = json::parse(b.Gltf());
    d["buffers"].push_back({{"byteLength", 120}, {"extensions", {{"EXT_meshopt_compression", {{"fallback", true}}}}}});
    auto run = ImportGltfBytes(d.dump());
    ASSERT_EQ(run->result, 0) << run->Messages(eLogError);
    // The index codec may start a triangle at another corner; the triangles stay.
    EXPECT_EQ(TriangleSet(*run->Node("Mesh")), TriangleSet(*expected->Node("Mesh")));
    EXPECT_EQ(run->Triangles(), 4u);

    // Damaged compressed bytes are refused by name.
    d["bufferViews"][0]["extensions"]["EXT_meshopt_compression"]["byteLength"] = 3;
    auto damaged = ImportGltfBytes(d.dump());
    EXPECT_EQ(damaged->result, 1);
    EXPECT_NE(damaged->Messages(eLogError).find("bufferViews[0].extensions.EXT_meshopt_compression cannot be decoded"),
              std::string::npos)
        << damaged->Messages(eLogError);
}

TEST(GltfContainer, GlbAndGltfImportAlike)
{
    SGltfBuilder b;
    b.MeshNode(b.Triangles({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, {0, 1, 2, 0, 2, 3}));
    auto text = ImportGltfBytes(b.Gltf());
    auto binary = ImportGltfBytes(b.Glb());
    ASSERT_EQ(text->result, 0);
    ASSERT_EQ(binary->result, 0) << binary->Messages(eLogError);
    EXPECT_EQ(text->Node("Mesh")->positions, binary->Node("Mesh")->positions);
    EXPECT_EQ(binary->Triangles(), 2u);
}

TEST(GltfCommandLine, GltfAndGlbConvertOtherSuffixesDoNot)
{
    QTemporaryDir dir;
    SGltfBuilder b;
    b.MeshNode(b.Triangles({0, 0, 0, 1, 0, 0, 1, 1, 0}));
    const QString gltf = dir.filePath("scene.gltf"), glb = dir.filePath("scene.GLB"), obj = dir.filePath("scene.obj");
    ASSERT_TRUE(WriteFileBytes(gltf.toStdString(), b.Gltf()));
    ASSERT_TRUE(WriteFileBytes(glb.toStdString(), b.Glb()));
    ASSERT_TRUE(WriteFileBytes(obj.toStdString(), b.Gltf()));
    for (const QString& input : {gltf, glb}) {
        const QString out = input + ".qef";
        const SCliResult r = RunCli({"convert", input, "-o", out});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(QFile::exists(out)) << input.toStdString();
    }
    const SCliResult r = RunCli({"convert", obj});
    EXPECT_EQ(r.exitCode, 5);
    EXPECT_TRUE(r.err.contains("not a Collada (.dae) or glTF (.gltf, .glb) file")) << r.err.toStdString();
}

TEST(GltfSkin, SharedVerticesAreRecordedOnceAndConvertAsCornersWould)
{
    // A skinned quad: two triangles over four shared vertices, a fifth
    // vertex no triangle uses; and the same quad with a vertex per corner.
    const std::vector<float> quad = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 5, 5, 5};
    const std::vector<uint16_t> shared = {0, 1, 2, 0, 2, 3};
    const std::vector<uint8_t> joints = {0, 1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0};
    const std::vector<float> weights = {0.75f, 0.25f, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0.5f, 0.5f, 0, 0, 1, 0, 0, 0};
    auto document = [&](bool perCorner) {
        SGltfBuilder b;
        const int root = b.Node({{"name", "Root"}});
        const int tip = b.Node({{"name", "Tip"}, {"translation", {0, 1, 0}}});
        std::vector<float> p = quad;
        std::vector<uint8_t> j = joints;
        std::vector<float> w = weights;
        std::vector<uint16_t> indices = shared;
        if (perCorner) {
            p.clear(), j.clear(), w.clear(), indices.clear();
            for (uint16_t i : shared) {
                p.insert(p.end(), &quad[3 * i], &quad[3 * i + 3]);
                j.insert(j.end(), &joints[4 * i], &joints[4 * i + 4]);
                w.insert(w.end(), &weights[4 * i], &weights[4 * i + 4]);
            }
        }
        json primitive = b.Triangles(p, indices);
        const size_t vertices = p.size() / 3;
        primitive["attributes"]["JOINTS_0"] = b.Accessor(b.View(j), 5121, vertices, "VEC4");
        primitive["attributes"]["WEIGHTS_0"] = b.Floats(w, "VEC4", 4);
        b.doc["skins"] = {{{"joints", {root, tip}}}};
        const int mesh = b.MeshNode(primitive);
        b.doc["nodes"][mesh]["skin"] = 0;
        return b.Gltf();
    };
    auto skin = [](COptions& o) {
        o.SetBool(opt::bExportSkin, true);
        o.SetUInt(opt::uiBoneLimit, 0);
    };
    auto indexed = ImportGltfBytes(document(false), skin);
    auto corners = ImportGltfBytes(document(true), skin);
    ASSERT_EQ(indexed->result, 0) << indexed->Messages(eLogError);
    ASSERT_EQ(corners->result, 0) << corners->Messages(eLogError);

    const SImportNode& n = *indexed->Node("Mesh");
    EXPECT_EQ(n.positions.size(), 4u); // the unused vertex is left out
    ASSERT_EQ(n.triangles.size(), 2u);
    EXPECT_EQ(n.triangles[0].position[0], n.triangles[1].position[0]);
    EXPECT_EQ(n.triangles[0].position[2], n.triangles[1].position[1]);
    ASSERT_EQ(n.skins.size(), 1u);
    EXPECT_TRUE(n.skins[0].perPosition);
    ASSERT_EQ(n.skins[0].influences.size(), 4u);
    EXPECT_EQ(n.skins[0].influences[3].size(), 2u);
    EXPECT_EQ(corners->Node("Mesh")->positions.size(), 6u);

    // Both convert to the same bytes: four vertices.
    std::vector<uint8_t> bytes[2];
    for (int i = 0; i < 2; ++i) {
        SGltfRun& run = i == 0 ? *indexed : *corners;
        CSceneExporter exporter;
        ASSERT_TRUE(exporter.Process(run.scene, run.options));
        ASSERT_EQ(exporter.Scene()->pMeshes.size(), 1u);
        EXPECT_EQ(exporter.Scene()->pMeshes[0].uiVertexCount, 4u);
        ASSERT_EQ(WriteSceneFileToMemory(*exporter.Scene(), "", "", &bytes[i]), 0);
    }
    EXPECT_EQ(bytes[0], bytes[1]);
}
