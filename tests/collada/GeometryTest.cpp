// Primitive kinds, inputs, accessors and mesh building.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cmath>
#include <string>
#include <utility>

#include "ColladaTestUtil.h"
#include "import/SmoothNormals.h"

TEST(ColladaGeometry, EveryPrimitiveKindTriangulates)
{
    auto run = ImportFixture("primitives.dae");
    ASSERT_EQ(run->result, 0);
    struct SCase {
        const char* node;
        const char* corners; // position x per corner = stream vertex
    };
    const SCase cases[] = {
        {"Tri", "0 1 2|3 4 5"},
        {"TriNoCount", ""}, // no count attribute: no triangles
        {"Poly", "0 1 2|0 2 3|4 5 6"},
        {"PolyShort", "0 1 2|5 6 7"},      // a two-vertex polygon uses vertices but makes nothing
        {"Polygons", "0 1 2|0 2 3|4 5 6"}, // the one-vertex polygon in between makes nothing
        {"Fans", "0 1 2|0 2 3|0 3 4"},
        {"Strips", "0 1 2|3 2 1|2 3 4|5 6 7"}, // a two-vertex strip makes nothing
    };
    for (const SCase& c : cases) {
        const SImportNode* node = run->Node(c.node);
        ASSERT_NE(node, nullptr) << c.node;
        EXPECT_EQ(node->content, uint32_t(eImportMesh)) << c.node;
        EXPECT_EQ(CornerXs(*node), c.corners) << c.node;
        EXPECT_EQ(node->positions.size(), 3 * node->triangles.size()) << c.node;
        for (const SImportTriangle& t : node->triangles) {
            EXPECT_EQ(t.reserved, 0);
            EXPECT_EQ(t.material, -1);
        }
    }
}

TEST(ColladaGeometry, OffsetsStridesParamsAndColours)
{
    auto run = ImportFixture("inputs.dae", [](COptions& o) {
        o.SetExport(eVAColour, true);
        o.SetBool(opt::bExportMappingChannels, true);
    });
    ASSERT_EQ(run->result, 0);
    const SImportNode* mesh = run->Node("Mesh");
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->triangles.size(), 1u);
    const SImportTriangle& t = mesh->triangles[0];
    // Offsets 0, 0, 1 and a refused semantic at 1: stride 2.
    EXPECT_EQ(mesh->positions, (std::vector<SVec3>{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}));
    // Normals are stored normalised.
    EXPECT_EQ(mesh->normals, (std::vector<SVec3>{{0, 1, 0}, {0, 0, 1}, {0, 1, 0}}));
    EXPECT_EQ((std::vector<int32_t>{t.normal[0], t.normal[1], t.normal[2]}), (std::vector<int32_t>{0, 1, 2}));
    // Three colour components read alpha 1; the third corner's index is past
    // the accessor's count and has no colour.
    EXPECT_EQ(mesh->colours, (std::vector<SVec4>{{0.5f, 0.25f, 0.125f, 1}, {1, 0, 0, 1}}));
    EXPECT_EQ((std::vector<int32_t>{t.colour[0], t.colour[1], t.colour[2]}), (std::vector<int32_t>{0, 1, -1}));
    // Params S, (unnamed), T: the unnamed one skips a value, the third
    // coordinate reads 0. The coordinates come through the VERTEX input.
    ASSERT_EQ(mesh->uvSets.size(), 1u);
    EXPECT_EQ(mesh->uvSets[0].values, (std::vector<SVec3>{{0.1f, 0.2f, 0}, {0.3f, 0.4f, 0}, {0.5f, 0.6f, 0}}));
    ASSERT_EQ(mesh->uvSets[0].triangles.size(), 1u);
    EXPECT_EQ(mesh->uvSets[0].triangles[0], (std::array<int32_t, 3>{0, 1, 2}));
}

TEST(ColladaGeometry, DefaultOptionsKeepNoColoursOrCoordinates)
{
    auto run = ImportFixture("inputs.dae");
    ASSERT_EQ(run->result, 0);
    const SImportNode* mesh = run->Node("Mesh");
    ASSERT_NE(mesh, nullptr);
    EXPECT_TRUE(mesh->colours.empty());
    EXPECT_TRUE(mesh->uvSets.empty());
    EXPECT_EQ(mesh->triangles[0].colour[0], -1);
}

TEST(ColladaGeometry, SeveralPrimitivesSplitIntoSubmeshNodes)
{
    auto run = ImportFixture("submesh.dae");
    ASSERT_EQ(run->result, 0);
    EXPECT_TRUE(
        run->Logged(eLogInfo, "Note: Splitting \"Box\" up into individual nodes as it is made up of 2 meshes.\n"));
    ASSERT_EQ(run->scene.nodes.size(), 3u);
    const SImportNode& box = run->scene.nodes[0];
    EXPECT_EQ(box.name, "Box");
    EXPECT_TRUE(box.triangles.empty());
    for (int i = 0; i < 2; ++i) {
        const SImportNode& sub = run->scene.nodes[size_t(1 + i)];
        EXPECT_EQ(sub.name, "Box-submesh" + std::to_string(i));
        EXPECT_EQ(sub.index, 1 + i);
        EXPECT_EQ(sub.parent, 0);
        EXPECT_EQ(sub.content, uint32_t(eImportMesh));
        EXPECT_EQ(sub.transform.matrix, MatrixIdentity());
        ASSERT_EQ(sub.triangles.size(), 1u);
    }
    // "red" binds the second material of the list; "blue" names a missing one.
    ASSERT_EQ(run->scene.materials.size(), 2u);
    EXPECT_EQ(run->scene.nodes[1].triangles[0].material, 1);
    EXPECT_EQ(run->scene.nodes[2].triangles[0].material, -1);
}

TEST(ColladaGeometry, BadCountsOffsetsAndIndicesNeverReadOutOfBounds)
{
    auto run = ImportFixture("bad_indices.dae");
    ASSERT_EQ(run->result, 0);
    size_t checked = 0;
    for (const SImportNode& node : run->scene.nodes) {
        const size_t dash = node.name.rfind('-');
        ASSERT_NE(dash, std::string::npos) << node.name;
        EXPECT_EQ(node.triangles.size(), std::stoul(node.name.substr(dash + 1))) << node.name;
        for (const SImportTriangle& t : node.triangles)
            for (int32_t p : t.position)
                EXPECT_LT(size_t(p), node.positions.size());
        ++checked;
    }
    EXPECT_EQ(checked, 13u);
    // Values past the parsed ones (but inside the stated count) read 0.
    const SImportNode* past = run->Node("ValuesPastParsed-1");
    ASSERT_NE(past, nullptr);
    EXPECT_EQ(past->positions, (std::vector<SVec3>{{3, 0, 0}, {0, 0, 0}, {0, 0, 0}}));
    EXPECT_TRUE(run->Logged(eLogError, "Error: No supported geometry data found for mesh \"LinesOnly-0\".\n"));
}

TEST(ColladaGeometry, MeshWithoutNormalsGetsSmoothNormals)
{
    auto run = ImportFixture("no_normals.dae");
    ASSERT_EQ(run->result, 0);
    EXPECT_TRUE(
        run->Logged(eLogWarning, "Warning: Mesh 'Flat' has no normals; smooth normals were computed for it.\n"));
    EXPECT_EQ(run->log->Count(eLogWarning), 1);
    EXPECT_TRUE(run->options.GetExport(eVANormal));
    const SImportNode* flat = run->Node("Flat");
    ASSERT_NE(flat, nullptr);
    ASSERT_EQ(flat->triangles.size(), 1u);
    for (int32_t n : flat->triangles[0].normal) {
        ASSERT_TRUE(n >= 0 && size_t(n) < flat->normals.size());
        EXPECT_EQ(flat->normals[size_t(n)], (SVec3{0, 0, 1}));
    }
    // The mesh that has normals keeps them.
    const SImportNode* shaded = run->Node("Shaded");
    ASSERT_NE(shaded, nullptr);
    ASSERT_EQ(shaded->triangles.size(), 1u);
    EXPECT_EQ(shaded->normals.size(), 3u);
    EXPECT_EQ(shaded->triangles[0].normal[2], 2);
}

// A comma locale's numbers ("1,5") are read as the author meant them, with
// one warning that names the first element written that way.
TEST(ColladaGeometry, DecimalCommasAreReadAsPointsWithOneWarning)
{
    auto run = ImportFixture("decimal_commas.dae");
    ASSERT_EQ(run->result, 0);
    EXPECT_EQ(run->log->Count(eLogWarning), 1);
    EXPECT_TRUE(run->Logged(eLogWarning, "Warning: The document writes numbers with decimal commas (first in "
                                         "<float>); they were read as decimal points."));
    const SImportNode* node = run->Node("Comma");
    ASSERT_NE(node, nullptr);
    ASSERT_EQ(node->positions.size(), 3u);
    EXPECT_EQ(node->positions[1], (SVec3{1.5f, 0, 0}));
    EXPECT_EQ(node->positions[2], (SVec3{0, 2.25f, -0.5f}));
    ASSERT_EQ(run->scene.materials.size(), 1u);
    EXPECT_FLOAT_EQ(run->scene.materials[0].opacity, 0.25f); // read as 0 before
}

TEST(ColladaGeometry, SmoothNormalsWeighFacesByAreaOverWeldedPositions)
{
    // A tent: a large face in the plane z = 0 and a small one standing up
    // along the shared edge; corners of the edge are separate positions at
    // the same place.
    SImportNode tent;
    tent.positions = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0, 0, 0}, {0, 0, 1}, {2, 0, 0}, {5, 5, 5}};
    SImportTriangle a, b;
    a.position[0] = 0, a.position[1] = 1, a.position[2] = 2; // normal +Z, twice the area below
    b.position[0] = 3, b.position[1] = 4, b.position[2] = 5; // normal +Y
    tent.triangles = {a, b};
    ComputeSmoothNormals(tent);
    auto normalOf = [&](int t, int c) {
        const int32_t n = tent.triangles[size_t(t)].normal[c];
        EXPECT_TRUE(n >= 0 && size_t(n) < tent.normals.size());
        return tent.normals[size_t(n)];
    };
    const float s = 1 / std::sqrt(5.0f);
    for (auto [t, c] : {std::pair{0, 0}, {0, 1}, {1, 0}, {1, 2}}) {
        const SVec3 n = normalOf(t, c);
        EXPECT_NEAR(n[0], 0, 1e-6);
        EXPECT_NEAR(n[1], s, 1e-6);     // area 1 of +Y
        EXPECT_NEAR(n[2], 2 * s, 1e-6); // area 2 of +Z
    }
    EXPECT_EQ(normalOf(0, 2), (SVec3{0, 0, 1}));
    EXPECT_EQ(normalOf(1, 1), (SVec3{0, 1, 0}));
}

TEST(ColladaGeometry, MoreThanEightCoordinateSetsWarnOnce)
{
    std::string text = R"(<COLLADA><library_geometries><geometry id="g"><mesh>
      <source id="p"><float_array id="pa" count="9">0 0 0 1 0 0 0 1 0</float_array><technique_common>
        <accessor source="#pa" count="3" stride="3"><param name="X"/><param name="Y"/><param name="Z"/></accessor>
      </technique_common></source>
      <source id="t"><float_array id="ta" count="6">0 0 1 0 0 1</float_array><technique_common>
        <accessor source="#ta" count="3" stride="2"><param name="S"/><param name="T"/></accessor>
      </technique_common></source>
      <triangles count="1"><input semantic="POSITION" source="#p" offset="0"/>)";
    for (int s = 0; s < 10; ++s)
        text += "<input semantic=\"TEXCOORD\" source=\"#t\" offset=\"0\" set=\"" + std::to_string(s) + "\"/>";
    text += R"(<p>0 1 2</p></triangles></mesh></geometry><geometry id="h"><mesh><triangles count="1">
      <input semantic="POSITION" source="#p"/>)";
    for (int s = 0; s < 9; ++s)
        text += "<input semantic=\"TEXCOORD\" source=\"#t\"/>";
    text += R"(<p>0 1 2</p></triangles></mesh></geometry></library_geometries>
      <library_visual_scenes><visual_scene id="vs"><node name="A"><instance_geometry url="#g"/></node>
      <node name="B"><instance_geometry url="#h"/></node></visual_scene></library_visual_scenes>
      <scene><instance_visual_scene url="#vs"/></scene></COLLADA>)";
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/uv.dae";
    ASSERT_TRUE(WriteFileBytes(path, text));
    auto run = ImportPath(path, [](COptions& o) {
        o.SetBool(opt::bExportMappingChannels, true);
        o.SetExport(eVANormal, false); // the meshes have none; their warning is tested above
    });
    ASSERT_EQ(run->result, 0);
    EXPECT_EQ(run->log->Count(eLogWarning), 1);
    EXPECT_TRUE(run->Logged(eLogWarning,
                            "WARNING: Ignoring some UV coordinates as QEF only supports up to (8) sets per mesh."));
    ASSERT_NE(run->Node("A"), nullptr);
    EXPECT_EQ(run->Node("A")->uvSets.size(), 8u);
    for (const SImportUVSet& set : run->Node("A")->uvSets)
        EXPECT_EQ(set.values.size(), 3u);
}

namespace {

// Twice the signed area in the xy plane of each imported triangle.
std::vector<double> TriangleAreas(const SImportNode& n)
{
    std::vector<double> out;
    for (const SImportTriangle& t : n.triangles) {
        const SVec3 &a = n.positions[size_t(t.position[0])], &b = n.positions[size_t(t.position[1])],
                    &c = n.positions[size_t(t.position[2])];
        out.push_back((double(b[0]) - a[0]) * (double(c[1]) - a[1]) - (double(b[1]) - a[1]) * (double(c[0]) - a[0]));
    }
    return out;
}

} // namespace

TEST(ColladaGeometry, FacesThatAreNotConvexAreClippedIntoEars)
{
    // Positions: a concave quad (reflex at 3), its mirror image turning the
    // other way, a convex quad, a collinear face, and a square with a square
    // hole (ph).
    const char* text = R"(<COLLADA><asset><up_axis>Y_UP</up_axis></asset><library_geometries><geometry id="g"><mesh>
      <source id="p"><float_array id="pa" count="54">
        0 0 0  4 0 0  4 4 0  3 1 0
        0 0 0  1 0 0  2 0 0  3 0 0
        0 0 0  4 0 0  4 4 0  0 4 0  1 1 0  1 3 0  3 3 0  3 1 0  0 0 0  0 0 0</float_array>
        <technique_common><accessor source="#pa" count="18" stride="3"><param name="X"/><param name="Y"/>
        <param name="Z"/></accessor></technique_common></source>
      <vertices id="v"><input semantic="POSITION" source="#p"/></vertices>
      <polylist count="4"><input semantic="VERTEX" source="#v" offset="0"/><vcount>4 4 4 4</vcount>
        <p>0 1 2 3  3 2 1 0  8 9 10 11  4 5 6 7</p></polylist>
      <polygons count="1"><input semantic="VERTEX" source="#v" offset="0"/>
        <ph><p>8 9 10 11</p><h>12 13 14 15</h></ph></polygons>
    </mesh></geometry></library_geometries>
    <library_visual_scenes><visual_scene id="vs"><node name="F"><instance_geometry url="#g"/></node></visual_scene>
    </library_visual_scenes><scene><instance_visual_scene url="#vs"/></scene></COLLADA>)";
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/faces.dae";
    ASSERT_TRUE(WriteFileBytes(path, text));
    auto run = ImportPath(path);
    ASSERT_EQ(run->result, 0);

    const SImportNode* faces = run->Node("F-submesh0");
    ASSERT_NE(faces, nullptr);
    const std::vector<double> areas = TriangleAreas(*faces);
    ASSERT_EQ(areas.size(), 8u);
    // The concave quad: both triangles inside (turning left), area 4.
    EXPECT_GT(areas[0], 0);
    EXPECT_GT(areas[1], 0);
    EXPECT_DOUBLE_EQ(areas[0] + areas[1], 2 * 4.0);
    // Its mirror keeps the document's winding.
    EXPECT_LT(areas[2], 0);
    EXPECT_LT(areas[3], 0);
    EXPECT_DOUBLE_EQ(areas[2] + areas[3], -2 * 4.0);
    // A convex face keeps its fan: (0, 1, 2), (0, 2, 3).
    EXPECT_EQ(faces->positions[size_t(faces->triangles[4].position[1])], (SVec3{4, 0, 0}));
    EXPECT_EQ(faces->positions[size_t(faces->triangles[5].position[1])], (SVec3{4, 4, 0}));
    EXPECT_EQ(faces->positions[size_t(faces->triangles[5].position[2])], (SVec3{0, 4, 0}));
    // A face that cannot be clipped (collinear) keeps the fan, not dropped.
    EXPECT_EQ(areas[6], 0);
    EXPECT_EQ(areas[7], 0);

    // The square with a hole: 4 + 4 + 2 x 1 - 2 triangles, all inside, area
    // 16 - 4.
    const SImportNode* holed = run->Node("F-submesh1");
    ASSERT_NE(holed, nullptr);
    const std::vector<double> ring = TriangleAreas(*holed);
    ASSERT_EQ(ring.size(), 8u);
    double sum = 0;
    for (double a : ring) {
        EXPECT_GE(a, 0);
        sum += a;
    }
    EXPECT_NEAR(sum, 2 * 12.0, 1e-9);
}
