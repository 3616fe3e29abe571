// What the glTF importer makes of each part of a document: node transforms
// (checked against the Collada importer on the same matrix), names, modes,
// accessor types, materials, cameras, lights, skins, animation, compression.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cmath>

#include <meshoptimizer.h>

#include "GltfTestUtil.h"
#include "collada/Collada2QEF.h"

namespace {

constexpr float kTol = 1e-5f;

void ExpectNear(const SImportTransform& a, const SImportTransform& b, const char* what)
{
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(a.translation[i], b.translation[i], kTol) << what;
        EXPECT_NEAR(a.scale[i], b.scale[i], kTol) << what;
    }
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(a.rotation[i], b.rotation[i], kTol) << what;
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a.matrix[i], b.matrix[i], 1e-4f) << what << " element " << i;
}

// The static transform the Collada importer gives the node N of a Y-up
// document with the given node content and libraries.
SImportTransform ColladaNodeTransform(const std::string& nodeBody, const std::string& libraries = {})
{
    const std::string dae =
        "<?xml version=\"1.0\"?><COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" version=\"1.4.1\">"
        "<asset><up_axis>Y_UP</up_axis></asset>" +
        libraries + "<library_visual_scenes><visual_scene id=\"S\"><node id=\"N\" name=\"N\">" + nodeBody +
        "</node></visual_scene></library_visual_scenes><scene><instance_visual_scene url=\"#S\"/></scene></COLLADA>";
    QTemporaryDir dir;
    const std::string path = dir.filePath("n.dae").toStdString();
    EXPECT_TRUE(WriteFileBytes(path, dae));
    SImportScene scene;
    COptions options;
    CLogCapture log;
    CCollada2QEF importer;
    EXPECT_EQ(importer.Import(path.c_str(), &scene, &options), 0);
    return scene.nodes.empty() ? SImportTransform() : scene.nodes[0].transform;
}

// The same for a <matrix> holding the column-vector matrix m (given column
// after column, as glTF stores it).
SImportTransform ColladaMatrixTransform(const float m[16])
{
    std::string rows;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            rows += std::to_string(m[4 * c + r]) + " ";
    return ColladaNodeTransform("<matrix>" + rows + "</matrix>");
}

std::string Corners(const SImportNode& n)
{
    std::string out;
    for (const SImportTriangle& t : n.triangles) {
        if (!out.empty())
            out += "|";
        for (int c = 0; c < 3; ++c)
            out += (c ? " " : "") + std::to_string(int(n.positions[size_t(t.position[c])][0]));
    }
    return out;
}

} // namespace

TEST(GltfImport, NodeTransformsAreStoredAsCollada)
{
    const float t[3] = {1, 2, 3};
    const float half = 0.5f * 0.7f, len = std::sqrt(14.0f);
    const float q[4] = {std::sin(half) * 1 / len, std::sin(half) * 2 / len, std::sin(half) * 3 / len, std::cos(half)};
    const float s[3] = {2, 1, 0.5f};
    // T x R x S, column after column, computed here on its own.
    const float x = q[0], y = q[1], z = q[2], w = q[3];
    const float r[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
                           {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
                           {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)}};
    float m[16] = {0};
    for (int c = 0; c < 3; ++c)
        for (int row = 0; row < 3; ++row)
            m[4 * c + row] = r[row][c] * s[c];
    m[12] = t[0], m[13] = t[1], m[14] = t[2], m[15] = 1;

    SGltfBuilder b;
    b.Node({{"name", "TRS"}, {"translation", t}, {"rotation", q}, {"scale", s}});
    b.Node({{"name", "Matrix"}, {"matrix", m}});
    auto run = ImportGltfBytes(b.Gltf());
    ASSERT_EQ(run->result, 0);
    const SImportTransform collada = ColladaMatrixTransform(m);
    EXPECT_NEAR(collada.matrix[12], 1, kTol); // translation in elements 12-14
    EXPECT_NEAR(collada.matrix[14], 3, kTol);
    ExpectNear(run->Node("TRS")->transform, collada, "TRS node");
    ExpectNear(run->Node("Matrix")->transform, collada, "matrix node");
}

TEST(GltfImport, NamesHierarchyAndSubmeshes)
{
    SGltfBuilder b;
    const json tri = b.Triangles({0, 0, 0, 1, 0, 0, 1, 1, 0});
    b.doc["meshes"].push_back({{"primitives", {tri, tri}}});
    const int child = b.Node({{"mesh", 0}}, false);
    b.Node({{"name", "Root"}, {"children", {child}}});
    b.Node(json::object());
    auto run = ImportGltfBytes(b.Gltf());
    ASSERT_EQ(run->result, 0);
    const auto& nodes = run->scene.nodes;
    ASSERT_EQ(nodes.size(), 5u);
    EXPECT_EQ(nodes[0].name, "Root");
    EXPECT_EQ(nodes[1].name, "QEFNode-1");
    EXPECT_EQ(nodes[1].parent, 0);
    EXPECT_EQ(nodes[1].content, uint32_t(eImportNone));
    EXPECT_EQ(nodes[2].name, "QEFNode-1-submesh0");
    EXPECT_EQ(nodes[3].name, "QEFNode-1-submesh1");
    EXPECT_EQ(nodes[3].parent, 1);
    EXPECT_EQ(nodes[3].content, uint32_t(eImportMesh));
    EXPECT_EQ(nodes[3].triangles.size(), 1u);
    EXPECT_EQ(nodes[4].name, "QEFNode-4");
}

TEST(GltfImport, PrimitiveModes)
{
    struct {
        int mode;
        const char* corners;
    } cases[] = {
        {4, "0 1 2|3 4 5"},
        {5, "0 1 2|1 3 2|2 3 4|3 5 4"},
        {6, "1 2 0|2 3 0|3 4 0|4 5 0"},
    };
    for (const auto& c : cases) {
        SGltfBuilder b;
        json p = b.Triangles({0, 0, 0, 1, 0, 0, 2, 1, 0, 3, 0, 0, 4, 1, 0, 5, 0, 0});
        p["mode"] = c.mode;
        b.MeshNode(p);
        auto run = ImportGltfBytes(b.Gltf());
        ASSERT_EQ(run->result, 0);
        EXPECT_EQ(Corners(*run->Node("Mesh")), c.corners) << c.mode;
    }
    // Points and lines: nothing, one warning for all of them.
    SGltfBuilder b;
    json lines = b.Triangles({0, 0, 0, 1, 0, 0, 2, 1, 0});
    lines["mode"] = 1;
    json points = lines;
    points["mode"] = 0;
    b.doc["meshes"].push_back({{"primitives", {lines, points, b.Triangles({0, 0, 0, 1, 0, 0, 1, 1, 0})}}});
    b.Node({{"mesh", 0}});
    // Without normals exported, no mesh wants smooth ones (and their warning).
    auto run = ImportGltfBytes(b.Gltf(), [](COptions& o) { o.SetExport(eVANormal, false); });
    ASSERT_EQ(run->result, 0);
    EXPECT_EQ(run->Triangles(), 1u);
    EXPECT_EQ(run->log->Count(eLogWarning), 1);
    EXPECT_TRUE(run->Logged(eLogWarning, "Warning: Points and lines are not exported, only triangles."));
}

TEST(GltfImport, AccessorComponentTypes)
{
    // Each texture-coordinate encoding of (u, v) = (1, 0.25) and (0, 1); the
    // scene's v runs upwards.
    struct {
        int type;
        bool normalised;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {5126, false, {0, 0, 0x80, 0x3F, 0, 0, 0x80, 0x3E, 0, 0, 0, 0, 0, 0, 0x80, 0x3F}},
        {5121, true, {255, 64, 0, 255}},
        {5123, true, {0xFF, 0xFF, 0x00, 0x40, 0, 0, 0xFF, 0xFF}},
    };
    for (const auto& c : cases) {
        SGltfBuilder b;
        json p = b.Triangles({0, 0, 0, 1, 0, 0}, {0, 1, 1});
        p["attributes"]["TEXCOORD_0"] = b.Accessor(b.View(c.bytes), c.type, 2, "VEC2", c.normalised);
        b.MeshNode(p);
        auto run = ImportGltfBytes(b.Gltf(), [](COptions& o) { o.SetBool(opt::bExportMappingChannels, true); });
        ASSERT_EQ(run->result, 0) << run->Messages(eLogError);
        const SImportNode& n = *run->Node("Mesh");
        ASSERT_EQ(n.uvSets.size(), 1u);
        const float tol = c.type == 5121 ? 0.003f : 1e-4f;
        EXPECT_NEAR(n.uvSets[0].values[0][0], 1, tol) << c.type;
        EXPECT_NEAR(n.uvSets[0].values[0][1], 0.75f, tol) << c.type;
        EXPECT_NEAR(n.uvSets[0].values[1][0], 0, tol) << c.type;
        EXPECT_NEAR(n.uvSets[0].values[1][1], 0, tol) << c.type;
    }
    // Quantised positions (plain shorts) and an RGB colour of bytes.
    SGltfBuilder b;
    const std::vector<int16_t> positions = {0, 0, 0, 0, 100, 0, 0, 0, 100, -200, 0, 0};
    const std::vector<uint8_t> colours = {255, 0, 51, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    json p = {{"attributes",
               {{"POSITION", b.Accessor(b.View(positions.data(), 22, 8), 5122, 3, "VEC3")},
                {"COLOR_0", b.Accessor(b.View(colours.data(), 11, 4), 5121, 3, "VEC3", true)}}}};
    b.doc["extensionsRequired"] = {"KHR_mesh_quantization"};
    b.MeshNode(p);
    auto run = ImportGltfBytes(b.Gltf(), [](COptions& o) { o.SetExport(eVAColour, true); });
    ASSERT_EQ(run->result, 0) << run->Messages(eLogError);
    const SImportNode& n = *run->Node("Mesh");
    EXPECT_EQ(n.positions[2], (SVec3{100, -200, 0}));
    ASSERT_EQ(n.colours.size(), 3u);
    EXPECT_NEAR(n.colours[0][2], 0.2f, 1e-6f);
    EXPECT_EQ(n.colours[0][3], 1.0f);
}

TEST(GltfImport, StridedAndSparseAccessors)
{
    SGltfBuilder b;
    // Positions and normals interleaved in one view.
    const std::vector<float> interleaved = {0, 0, 0, 0, 0, 2, 1, 0, 0, 0, 0, 2, 1, 1, 0, 0, 0, 2};
    const int view = b.View(interleaved, 24);
    json p = {{"attributes",
               {{"POSITION", b.Accessor(view, 5126, 3, "VEC3")}, {"NORMAL", b.Accessor(view, 5126, 3, "VEC3")}}}};
    b.doc["accessors"][1]["byteOffset"] = 12;
    // Vertex 1 moved by a sparse substitution.
    const std::vector<uint8_t> at = {1};
    const std::vector<float> values = {7, 8, 9};
    b.doc["accessors"][0]["sparse"] = {{"count", 1},
                                       {"indices", {{"bufferView", b.View(at)}, {"componentType", 5121}}},
                                       {"values", {{"bufferView", b.View(values)}}}};
    b.MeshNode(p);
    auto run = ImportGltfBytes(b.Gltf());
    ASSERT_EQ(run->result, 0) << run->Messages(eLogError);
    const SImportNode& n = *run->Node("Mesh");
    EXPECT_EQ(n.positions[1], (SVec3{7, 8, 9}));
    EXPECT_EQ(n.positions[2], (SVec3{1, 1, 0}));
    EXPECT_EQ(n.normals[2], (SVec3{0, 0, 1})); // normalised
}

// As a Collada mesh without normals: smooth normals for that mesh alone, one
// warning that names it, and the normal channel stays on for the others.
TEST(GltfImport, MeshWithoutNormalsGetsSmoothNormals)
{
    SGltfBuilder b;
    b.MeshNode(b.Triangles({0, 0, 0, 1, 0, 0, 0, 1, 0}), "Flat");
    const std::vector<float> normals = {0, 1, 0, 0, 1, 0, 0, 1, 0};
    json shaded = b.Triangles({0, 0, 0, 0, 0, 1, 1, 0, 0});
    shaded["attributes"]["NORMAL"] = b.Floats(normals, "VEC3", 3);
    b.MeshNode(shaded, "Shaded");
    auto run = ImportGltfBytes(b.Gltf());
    ASSERT_EQ(run->result, 0) << run->Messages(eLogError);
    EXPECT_EQ(run->Messages(eLogWarning),
              "Warning: Mesh 'Flat' has no normals; smooth normals were computed for it.\n\n");
    EXPECT_TRUE(run->options.GetExport(eVANormal));
    const SImportNode& flat = *run->Node("Flat");
    ASSERT_EQ(flat.triangles.size(), 1u);
    for (int32_t n : flat.triangles[0].normal) {
        ASSERT_TRUE(n >= 0 && size_t(n) < flat.normals.size());
        EXPECT_EQ(flat.normals[size_t(n)], (SVec3{0, 0, 1}));
    }
    const SImportNode& kept = *run->Node("Shaded");
    ASSERT_EQ(kept.normals.size(), 3u);
    EXPECT_EQ(kept.normals[0], (SVec3{0, 1, 0}));
}

TEST(GltfImport, Materials)
{
    SGltfBuilder b;
    b.doc["images"] = {{{"uri", "textures/stone%20wall.png"}}, {{"name", "glow.jpg"}}};
    b.doc["textures"] = {{{"source", 0}}, {{"source", 1}}};
    b.doc["materials"] = json::parse(R"([
        {"name": "Glass", "alphaMode": "BLEND",
         "pbrMetallicRoughness": {"baseColorFactor": [0.5, 0.25, 1, 0.4],
             "baseColorTexture": {"index": 0, "extensions": {"KHR_texture_transform": {"offset": [0.5, 0]}}}},
         "emissiveTexture": {"index": 1}},
        {"alphaMode": "MASK", "doubleSided": true}])");
    json p = b.Triangles({0, 0, 0, 1, 0, 0, 1, 1, 0});
    p["attributes"]["TEXCOORD_0"] = b.Floats({0, 0, 1, 0, 1, 1}, "VEC2", 2);
    p["material"] = 0;
    b.MeshNode(p);
    auto run = ImportGltfBytes(b.Gltf(), [](COptions& o) { o.SetBool(opt::bExportMappingChannels, true); });
    ASSERT_EQ(run->result, 0) << run->Messages(eLogError);
    ASSERT_EQ(run->scene.materials.size(), 2u);
    const SMaterial& glass = run->scene.materials[0];
    EXPECT_EQ(glass.name, "Glass");
    EXPECT_EQ(glass.diffuse, (SVec3{0.5f, 0.25f, 1}));
    EXPECT_FLOAT_EQ(glass.opacity, 0.4f);
    EXPECT_EQ(glass.flags, 1u);
    EXPECT_EQ(glass.blendSrcRGB, 0x0302u);
    EXPECT_EQ(glass.blendDstAlpha, 0x0303u);
    EXPECT_EQ(glass.textures[SMaterial::eTexDiffuse], "stone wall.png");
    EXPECT_EQ(glass.textures[SMaterial::eTexEmissive], "glow.jpg");
    const SMaterial& mask = run->scene.materials[1];
    EXPECT_EQ(mask.name, "QEFMaterial-1");
    EXPECT_EQ(mask.opacity, 1.0f);
    EXPECT_EQ(mask.flags, 0u);
    EXPECT_TRUE(
        run->Logged(eLogWarning, "Warning: Alpha-masked (cut-out) materials are exported as opaque materials."));
    EXPECT_TRUE(run->Logged(eLogWarning, "Warning: Double-sided materials are exported single-sided."));
    const SImportNode& n = *run->Node("Mesh");
    EXPECT_EQ(n.triangles[0].material, 0);
    // The texture transform's offset moved u by a half.
    EXPECT_NEAR(n.uvSets[0].values[1][0], 1.5f, kTol);
    EXPECT_NEAR(n.uvSets[0].values[2][1], 0.0f, kTol);
}

TEST(GltfImport, CamerasAndLights)
{
    SGltfBuilder b;
    b.doc["cameras"] = {
        {{"type", "perspective"}, {"perspective", {{"yfov", 0.8}, {"znear", 0.1}, {"zfar", 50}, {"aspectRatio", 1.5}}}},
        {{"type", "orthographic"}, {"orthographic", {{"xmag", 1}, {"ymag", 1}, {"znear", 0.5}, {"zfar", 9}}}}};
    b.doc["extensions"]["KHR_lights_punctual"]["lights"] = {
        {{"type", "spot"}, {"color", {1, 0.5, 0}}, {"spot", {{"outerConeAngle", 0.3}}}}, {{"type", "directional"}}};
    b.Node({{"name", "Eye"}, {"camera", 0}});
    b.Node({{"name", "Ortho"}, {"camera", 1}});
    b.Node({{"name", "Spot"}, {"extensions", {{"KHR_lights_punctual", {{"light", 0}}}}}});
    b.Node({{"name", "Sun"}, {"extensions", {{"KHR_lights_punctual", {{"light", 1}}}}}});
    auto run = ImportGltfBytes(b.Gltf());
    ASSERT_EQ(run->result, 0) << run->Messages(eLogError);
    const SImportNode& eye = *run->Node("Eye");
    EXPECT_EQ(eye.content, uint32_t(eImportCamera));
    EXPECT_FLOAT_EQ(eye.camera.fov, 0.8f);
    EXPECT_FLOAT_EQ(eye.camera.nearPlane, 0.1f);
    EXPECT_FLOAT_EQ(eye.camera.farPlane, 50);
    // Cameras and lights get the same quarter turn about x as Collada's.
    const SImportTransform colladaCamera = ColladaNodeTransform(
        "<instance_camera url=\"#C\"/>", "<library_cameras><camera id=\"C\"><optics><technique_common><perspective>"
                                         "<yfov>45</yfov><znear>0.1</znear><zfar>10</zfar></perspective>"
                                         "</technique_common></optics></camera></library_cameras>");
    ExpectNear(eye.transform, colladaCamera, "camera correction");
    EXPECT_EQ(run->Node("Ortho")->camera.fov, 0.0f);
    EXPECT_TRUE(run->Logged(eLogWarning, "Warning: Orthographic cameras are exported with a field of view of 0."));
    const SImportNode& spot = *run->Node("Spot");
    EXPECT_EQ(spot.content, uint32_t(eImportLight));
    EXPECT_EQ(spot.light.type, uint32_t(eImportLightSpot));
    EXPECT_EQ(spot.light.colour, (SVec3{1, 0.5f, 0}));
    EXPECT_FLOAT_EQ(spot.light.falloffAngle, 0.6f);
    EXPECT_EQ(run->Node("Sun")->light.type, uint32_t(eImportLightDirectional));
}
