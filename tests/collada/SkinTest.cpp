// Skin controllers: joints, influences per corner, bind-pose positions and
// the damaged documents the importer must survive.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cmath>
#include <string>
#include <vector>

#include "ColladaTestUtil.h"

namespace {

const char* const kRescaleWarning = "WARNING: Rescaling some bone weights as their total weight does not equal 1.";
const char* const kBoneLimitWarning = "WARNING: Ignoring some bones as QEF only supports up to (4) bones per vertex.";

int32_t IndexOf(const SImportRun& run, const char* name)
{
    const SImportNode* n = run.Node(name);
    return n ? n->index : -2;
}

void ExpectInfluences(const std::vector<SImportInfluence>& actual, const std::vector<SImportInfluence>& expected,
                      const std::string& what)
{
    ASSERT_EQ(actual.size(), expected.size()) << what;
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i].bone, expected[i].bone) << what << " influence " << i;
        EXPECT_NEAR(actual[i].weight, expected[i].weight, 1e-6) << what << " influence " << i;
    }
}

void ExpectPosition(const SVec3& p, float x, float y, float z, const std::string& what)
{
    EXPECT_NEAR(p[0], x, 1e-5) << what;
    EXPECT_NEAR(p[1], y, 1e-5) << what;
    EXPECT_NEAR(p[2], z, 1e-5) << what;
}

// A quad on the joints "root" (at (0, 1, 0)) and "bone" (at (1, 1, 0)), with
// parts of the skin replaceable by the cases below.
struct SSkinParts {
    std::string joints =
        "<Name_array id=\"j-a\">root bone</Name_array>"
        "<technique_common><accessor source=\"#j-a\" count=\"2\"><param type=\"name\"/></accessor></technique_common>";
    std::string ibm =
        "<float_array id=\"m-a\">1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1  1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1</float_array>"
        "<technique_common><accessor source=\"#m-a\" count=\"2\" stride=\"16\"><param "
        "type=\"float4x4\"/></accessor></technique_common>";
    std::string weights =
        "<float_array id=\"w-a\">1 0.5 0.5</float_array>"
        "<technique_common><accessor source=\"#w-a\" count=\"3\"><param type=\"float\"/></accessor></technique_common>";
    std::string bindShape = "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1";
    std::string geometry = "#quad";
    std::string jointInput = "#j";
    std::string weightInput = "#w";
    std::string weightOffset = "1";
    std::string vcount = "1 2 1 1";
    std::string v = "0 0  0 1 1 2  1 0  0 0";
    bool vertexWeights = true;
};

std::string SkinDocument(const SSkinParts& s)
{
    std::string vw;
    if (s.vertexWeights)
        vw = "<vertex_weights count=\"4\"><input semantic=\"JOINT\" source=\"" + s.jointInput +
             "\" offset=\"0\"/><input semantic=\"WEIGHT\" source=\"" + s.weightInput + "\" offset=\"" + s.weightOffset +
             "\"/><vcount>" + s.vcount + "</vcount><v>" + s.v + "</v></vertex_weights>";
    return "<?xml version=\"1.0\"?><COLLADA version=\"1.4.1\"><asset><up_axis>Y_UP</up_axis></asset>"
           "<library_geometries><geometry id=\"quad\"><mesh>"
           "<source id=\"p\"><float_array id=\"p-a\">0 0 0 1 0 0 1 1 0 0 1 0</float_array><technique_common><accessor "
           "source=\"#p-a\" count=\"4\" stride=\"3\"><param name=\"X\" type=\"float\"/><param name=\"Y\" "
           "type=\"float\"/><param name=\"Z\" type=\"float\"/></accessor></technique_common></source>"
           "<vertices id=\"v\"><input semantic=\"POSITION\" source=\"#p\"/></vertices>"
           "<triangles count=\"2\"><input semantic=\"VERTEX\" source=\"#v\" offset=\"0\"/><p>0 1 2 0 2 "
           "3</p></triangles>"
           "</mesh></geometry></library_geometries>"
           "<library_controllers><controller id=\"c\"><skin source=\"" +
           s.geometry + "\"><bind_shape_matrix>" + s.bindShape + "</bind_shape_matrix><source id=\"j\">" + s.joints +
           "</source><source id=\"m\">" + s.ibm + "</source><source id=\"w\">" + s.weights +
           "</source><joints><input semantic=\"JOINT\" source=\"#j\"/><input semantic=\"INV_BIND_MATRIX\" "
           "source=\"#m\"/></joints>" +
           vw +
           "</skin></controller></library_controllers>"
           "<library_visual_scenes><visual_scene id=\"vs\">"
           "<node id=\"RootJ\" name=\"Root\" sid=\"root\" type=\"JOINT\"><translate>0 1 0</translate>"
           "<node id=\"BoneJ\" name=\"Bone\" sid=\"bone\" type=\"JOINT\"><translate>1 0 0</translate></node></node>"
           "<node id=\"S\" name=\"S\"><instance_controller url=\"#c\"/></node>"
           "</visual_scene></library_visual_scenes><scene><instance_visual_scene url=\"#vs\"/></scene></COLLADA>";
}

std::unique_ptr<SImportRun> ImportText(const std::string& text, bool exportSkin = true)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("skin.dae").toStdString();
    EXPECT_TRUE(WriteFileBytes(path, text));
    return ImportPath(path, [exportSkin](COptions& o) { o.SetBool(opt::bExportSkin, exportSkin); });
}

} // namespace

TEST(ColladaSkin, InfluencesAndBindPose)
{
    auto run = ImportFixture("skin.dae", [](COptions& o) { o.SetBool(opt::bExportSkin, true); });
    ASSERT_EQ(run->result, 0);
    const int32_t root = IndexOf(*run, "Root");
    const int32_t bone = IndexOf(*run, "Bone");
    ASSERT_GE(root, 0);
    ASSERT_GE(bone, 0);
    EXPECT_EQ(run->Node("Root")->content, eImportBone);

    // Joints by sid, by id and by an id that only the fallback finds all give
    // the same skin.
    for (const char* name : {"BySid", "ById", "ByFallback"}) {
        const SImportNode* n = run->Node(name);
        ASSERT_NE(n, nullptr) << name;
        EXPECT_EQ(n->content, eImportMesh) << name;
        ASSERT_EQ(n->positions.size(), 6u) << name;
        ASSERT_EQ(n->skins.size(), 1u) << name;
        const SImportSkin& skin = n->skins[0];
        EXPECT_EQ(skin.name, "Skin");
        EXPECT_EQ(skin.reserved0, 0u);
        EXPECT_EQ(skin.reserved1, 1u);
        ASSERT_EQ(skin.influences.size(), 6u) << name;
        // Corners: vertices 0 1 2 0 2 3.
        const float s = 1 / 0.95f;
        ExpectInfluences(skin.influences[0], {{root, 1}}, name);
        ExpectInfluences(skin.influences[1], {{root, 0.5f * s}, {bone, 0.3f * s}, {root, 0.1f * s}, {bone, 0.05f * s}},
                         name);
        ExpectInfluences(skin.influences[2], {{root, 0.6f}, {bone, 0.4000005f}}, name); // not rescaled
        ExpectInfluences(skin.influences[3], skin.influences[0], name);
        ExpectInfluences(skin.influences[5], {}, name); // vcount 0

        // Bind-pose positions: the weighted joint placements.
        ExpectPosition(n->positions[0], 0, 1, 0, name);
        ExpectPosition(n->positions[1], 1.3f / 0.95f, 1, 0, name);
        ExpectPosition(n->positions[2], 0.6f * 1 + 0.4000005f * 2, 0.6f * 2 + 0.4000005f * 2, 0, name);
        ExpectPosition(n->positions[5], 0, 1, 0, name); // unskinned: where the geometry has it
        // A translation leaves the normal alone.
        ASSERT_FALSE(n->normals.empty());
        ExpectPosition(n->normals[0], 1, 0, 0, name);
    }
    // Both warnings, once per import although three skins need them.
    EXPECT_EQ(run->log->Count(eLogWarning), 2);
    EXPECT_TRUE(run->Logged(eLogWarning, kRescaleWarning));
    EXPECT_TRUE(run->Logged(eLogWarning, kBoneLimitWarning));
}

TEST(ColladaSkin, WithoutSkinExportTheGeometryStaysAsItIs)
{
    auto run = ImportFixture("skin.dae", [](COptions& o) { o.SetBool(opt::bExportSkin, false); });
    ASSERT_EQ(run->result, 0);
    const SImportNode* n = run->Node("BySid");
    ASSERT_NE(n, nullptr);
    EXPECT_TRUE(n->skins.empty());
    ASSERT_EQ(n->positions.size(), 6u);
    ExpectPosition(n->positions[0], 0, 0, 0, "BySid");
    ExpectPosition(n->positions[1], 1, 0, 0, "BySid");
    EXPECT_EQ(run->log->Count(eLogWarning), 0);
}

TEST(ColladaSkin, DamagedSkins)
{
    enum EOutcome { eNoMesh, eSkinned, eUnskinned };
    struct SCase {
        const char* what;
        void (*change)(SSkinParts&);
        EOutcome outcome;
        int cornersWithout; // for eUnskinned: the count in the warning
    };
    const SCase cases[] = {
        {"intact", [](SSkinParts&) {}, eSkinned, 0},
        {"joint source missing", [](SSkinParts& s) { s.joints = ""; }, eNoMesh, 0},
        {"joint array of the wrong kind",
         [](SSkinParts& s) {
             s.joints = "<float_array id=\"j-a\">1 2</float_array><technique_common><accessor source=\"#j-a\" "
                        "count=\"2\"><param type=\"float\"/></accessor></technique_common>";
         },
         eNoMesh, 0},
        {"fewer joints than matrices",
         [](SSkinParts& s) {
             s.joints = "<Name_array id=\"j-a\">root</Name_array><technique_common><accessor source=\"#j-a\" "
                        "count=\"2\"><param type=\"name\"/></accessor></technique_common>";
         },
         eNoMesh, 0},
        {"matrices short of 16 values",
         [](SSkinParts& s) {
             s.ibm =
                 "<float_array id=\"m-a\">1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1  1 0 0 0 0 1 0 0 0 0 1 0 0 0 0</float_array>"
                 "<technique_common><accessor source=\"#m-a\" count=\"2\" stride=\"16\"><param "
                 "type=\"float4x4\"/></accessor></technique_common>";
         },
         eNoMesh, 0},
        {"weights of the wrong kind",
         [](SSkinParts& s) {
             s.weights = "<Name_array id=\"w-a\">a b c</Name_array><technique_common><accessor source=\"#w-a\" "
                         "count=\"3\"><param type=\"name\"/></accessor></technique_common>";
         },
         eNoMesh, 0},
        {"no vertex_weights", [](SSkinParts& s) { s.vertexWeights = false; }, eNoMesh, 0},
        {"geometry missing", [](SSkinParts& s) { s.geometry = "#nothing"; }, eNoMesh, 0},
        {"weights source missing", [](SSkinParts& s) { s.weightInput = "#nothing"; }, eUnskinned, 6},
        {"counts beyond v", [](SSkinParts& s) { s.vcount = "1 2 1 50"; }, eUnskinned, 6},
        {"fewer counts than vertices", [](SSkinParts& s) { s.vcount = "1 2"; }, eUnskinned, 3},
        {"weight index past the array", [](SSkinParts& s) { s.v = "0 99  0 1 1 2  1 0  0 0"; }, eSkinned, 0},
        {"joint naming no node",
         [](SSkinParts& s) {
             s.joints = "<Name_array id=\"j-a\">root ghost</Name_array><technique_common><accessor source=\"#j-a\" "
                        "count=\"2\"><param type=\"name\"/></accessor></technique_common>";
         },
         eSkinned, 0},
        {"negative and huge indices",
         [](SSkinParts& s) { s.v = "-1 0  2147483647 -5 1 2  -2147483648 0  0 2147483647"; }, eSkinned, 0},
        {"negative count", [](SSkinParts& s) { s.vcount = "1 -2 1 1"; }, eSkinned, 0},
        {"offset past the entries", [](SSkinParts& s) { s.weightOffset = "1000"; }, eSkinned, 0},
        {"huge offset", [](SSkinParts& s) { s.weightOffset = "-2147483648"; }, eSkinned, 0},
        {"bind shape of 15 values", [](SSkinParts& s) { s.bindShape = "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0"; }, eSkinned, 0},
    };
    for (const SCase& c : cases) {
        SSkinParts parts;
        c.change(parts);
        auto run = ImportText(SkinDocument(parts));
        ASSERT_EQ(run->result, 0) << c.what;
        const SImportNode* n = run->Node("S");
        ASSERT_NE(n, nullptr) << c.what;
        switch (c.outcome) {
        case eNoMesh:
            EXPECT_TRUE(n->positions.empty()) << c.what;
            EXPECT_TRUE(n->skins.empty()) << c.what;
            EXPECT_EQ(run->log->Count(eLogWarning), 0) << c.what;
            break;
        case eUnskinned: {
            EXPECT_EQ(n->positions.size(), 6u) << c.what;
            EXPECT_TRUE(n->skins.empty()) << c.what;
            const std::string warning = "Warning: S had " + std::to_string(c.cornersWithout) +
                                        " (out of 6) vertices that are not affected by any bones.\n";
            EXPECT_TRUE(run->Logged(eLogWarning, warning.c_str())) << c.what;
            break;
        }
        case eSkinned:
            EXPECT_EQ(n->positions.size(), 6u) << c.what;
            ASSERT_EQ(n->skins.size(), 1u) << c.what;
            EXPECT_EQ(n->skins[0].influences.size(), 6u) << c.what;
            for (const auto& list : n->skins[0].influences)
                for (const SImportInfluence& i : list) {
                    EXPECT_TRUE(i.bone == IndexOf(*run, "Root") || i.bone == IndexOf(*run, "Bone")) << c.what;
                    EXPECT_TRUE(std::isfinite(i.weight)) << c.what;
                }
            for (const SVec3& p : n->positions)
                EXPECT_TRUE(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2])) << c.what;
            break;
        }
    }
}

TEST(ColladaSkin, UnusableInfluencesKeepTheVertex)
{
    // A weight index past the array weighs 0: the vertex keeps its bone but
    // stays where the geometry has it. A joint without node drops out, its
    // weight still counting in the sum.
    SSkinParts parts;
    parts.v = "0 99  0 1 1 2  1 0  0 0";
    auto run = ImportText(SkinDocument(parts));
    const SImportNode* n = run->Node("S");
    ASSERT_NE(n, nullptr);
    ASSERT_EQ(n->skins.size(), 1u);
    ExpectInfluences(n->skins[0].influences[0], {{IndexOf(*run, "Root"), 0}}, "zero weight");
    ExpectPosition(n->positions[0], 0, 0, 0, "zero weight");

    SSkinParts ghost;
    ghost.joints = "<Name_array id=\"j-a\">root ghost</Name_array><technique_common><accessor source=\"#j-a\" "
                   "count=\"2\"><param type=\"name\"/></accessor></technique_common>";
    run = ImportText(SkinDocument(ghost));
    n = run->Node("S");
    ASSERT_NE(n, nullptr);
    ASSERT_EQ(n->skins.size(), 1u);
    ExpectInfluences(n->skins[0].influences[1], {{IndexOf(*run, "Root"), 0.5f}}, "ghost joint");
    ExpectPosition(n->positions[1], 0.5f, 0.5f, 0, "ghost joint");
}

TEST(ColladaSkin, AnimatedJointsGiveTheirFirstFrame)
{
    // The bind pose uses the joint's pose at frame 0 of the animation.
    std::string doc = SkinDocument(SSkinParts());
    const std::string animation =
        "<library_animations><animation><source id=\"t\"><float_array id=\"t-a\">0 1</float_array><technique_common>"
        "<accessor source=\"#t-a\" count=\"2\"><param type=\"float\"/></accessor></technique_common></source>"
        "<source id=\"o\"><float_array id=\"o-a\">5 6</float_array><technique_common><accessor source=\"#o-a\" "
        "count=\"2\"><param name=\"X\" type=\"float\"/></accessor></technique_common></source>"
        "<sampler id=\"s\"><input semantic=\"INPUT\" source=\"#t\"/><input semantic=\"OUTPUT\" "
        "source=\"#o\"/></sampler>"
        "<channel source=\"#s\" target=\"RootJ/translate.X\"/></animation></library_animations>";
    doc.insert(doc.find("<library_visual_scenes>"), animation);
    auto run = ImportText(doc);
    ASSERT_EQ(run->result, 0);
    const SImportNode* n = run->Node("S");
    ASSERT_NE(n, nullptr);
    ASSERT_EQ(n->positions.size(), 6u);
    ExpectPosition(n->positions[0], 5, 1, 0, "vertex on Root");
    ExpectPosition(n->positions[1], 1 + 0.5f * 5 + 0.5f * 6, 1, 0, "vertex on Root and Bone");
}

TEST(ColladaSkin, MorphsExportTheirBaseMesh)
{
    auto run = ImportFixture("morph.dae", [](COptions& o) { o.SetBool(opt::bExportSkin, true); });
    ASSERT_EQ(run->result, 0);
    const SImportNode* morphed = run->Node("Morphed");
    ASSERT_NE(morphed, nullptr);
    EXPECT_EQ(morphed->content, uint32_t(eImportMesh));
    ASSERT_EQ(morphed->triangles.size(), 1u);
    EXPECT_EQ(morphed->positions, (std::vector<SVec3>{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})); // the base, not the target
    EXPECT_TRUE(morphed->skins.empty());

    // A skin on the morph skins the base mesh: the bone lifts it by 2.
    const SImportNode* skinned = run->Node("Skinned");
    ASSERT_NE(skinned, nullptr);
    EXPECT_EQ(skinned->content, uint32_t(eImportMesh));
    ASSERT_EQ(skinned->triangles.size(), 1u);
    EXPECT_EQ(skinned->positions, (std::vector<SVec3>{{0, 2, 0}, {1, 2, 0}, {0, 3, 0}}));
    ASSERT_EQ(skinned->skins.size(), 1u);
    EXPECT_EQ(skinned->skins[0].influences.size(), 3u);

    EXPECT_EQ(run->log->Count(eLogWarning), 1);
    EXPECT_TRUE(
        run->Logged(eLogWarning, "WARNING: Morph targets are not exported; morphed meshes keep their base mesh."));
}

namespace {

// A skinned run of 100,000 triangles (t, t + 1, t + 2) over vertices at
// (i, 0, 0), on two joints at the origin, each vertex wholly on the first
// joint but for two: limitVertex with five weights whose fifth is 0, and
// rescaleVertex with two that add up to 0.5. Corner 1 of badTriangle names a
// vertex that does not exist.
std::string LongSkinnedStrip(int64_t limitVertex, int64_t rescaleVertex, int64_t badTriangle)
{
    const int64_t triangles = 100000, vertices = triangles + 2;
    std::string positions, p, vcount, v;
    for (int64_t i = 0; i < vertices; ++i) {
        positions += std::to_string(i) + " 0 0 ";
        if (i == limitVertex) {
            vcount += "5 ";
            v += "0 1 1 2 0 3 1 4 0 5 ";
        } else if (i == rescaleVertex) {
            vcount += "2 ";
            v += "0 6 1 7 ";
        } else {
            vcount += "1 ";
            v += "0 0 ";
        }
    }
    for (int64_t t = 0; t < triangles; ++t)
        p += std::to_string(t) + " " + (t == badTriangle ? std::string("999999999") : std::to_string(t + 1)) + " " +
             std::to_string(t + 2) + " ";
    const std::string xyz = "<param name=\"X\" type=\"float\"/><param name=\"Y\" type=\"float\"/>"
                            "<param name=\"Z\" type=\"float\"/>";
    return "<COLLADA version=\"1.4.1\"><asset><up_axis>Y_UP</up_axis></asset><library_geometries>"
           "<geometry id=\"g\"><mesh><source id=\"pos\"><float_array id=\"pos-a\" count=\"" +
           std::to_string(3 * vertices) + "\">" + positions +
           "</float_array><technique_common><accessor source=\"#pos-a\" count=\"" + std::to_string(vertices) +
           "\" stride=\"3\">" + xyz +
           "</accessor></technique_common></source><vertices id=\"v\"><input semantic=\"POSITION\" "
           "source=\"#pos\"/></vertices><triangles count=\"" +
           std::to_string(triangles) + "\"><input semantic=\"VERTEX\" source=\"#v\" offset=\"0\"/><p>" + p +
           "</p></triangles></mesh></geometry></library_geometries><library_controllers><controller id=\"c\">"
           "<skin source=\"#g\"><source id=\"j\"><Name_array id=\"j-a\" count=\"2\">root bone</Name_array>"
           "<technique_common><accessor source=\"#j-a\" count=\"2\"><param name=\"JOINT\" type=\"name\"/>"
           "</accessor></technique_common></source><source id=\"ibm\"><float_array id=\"ibm-a\" count=\"32\">"
           "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1</float_array><technique_common>"
           "<accessor source=\"#ibm-a\" count=\"2\" stride=\"16\"><param name=\"TRANSFORM\" type=\"float4x4\"/>"
           "</accessor></technique_common></source><source id=\"w\"><float_array id=\"w-a\" count=\"8\">"
           "1 0.4 0.3 0.2 0.1 0 0.3 0.2</float_array><technique_common><accessor source=\"#w-a\" count=\"8\">"
           "<param name=\"WEIGHT\" type=\"float\"/></accessor></technique_common></source><joints>"
           "<input semantic=\"JOINT\" source=\"#j\"/><input semantic=\"INV_BIND_MATRIX\" source=\"#ibm\"/></joints>"
           "<vertex_weights count=\"" +
           std::to_string(vertices) +
           "\"><input semantic=\"JOINT\" source=\"#j\" offset=\"0\"/><input semantic=\"WEIGHT\" source=\"#w\" "
           "offset=\"1\"/><vcount>" +
           vcount + "</vcount><v>" + v +
           "</v></vertex_weights></skin></controller></library_controllers><library_visual_scenes>"
           "<visual_scene id=\"vs\"><node id=\"R\" name=\"Root\" sid=\"root\" type=\"JOINT\"><node id=\"B\" "
           "name=\"Bone\" sid=\"bone\" type=\"JOINT\"/></node><node id=\"M\" name=\"M\"><instance_controller "
           "url=\"#c\"><skeleton>#R</skeleton></instance_controller></node></visual_scene>"
           "</library_visual_scenes><scene><instance_visual_scene url=\"#vs\"/></scene></COLLADA>";
}

} // namespace

TEST(ColladaSkin, LongPrimitivesStopAtTheirFirstBadCornerWithTheWarningsInCornerOrder)
{
    // Long primitives are read in pieces on all cores: the mesh must still
    // end where reading corner by corner ends it, and the warnings come as
    // corner order gives them, none from past the end.
    struct SCase {
        int64_t limitVertex, rescaleVertex, badTriangle;
        std::vector<const char*> warnings;
    };
    const SCase cases[] = {
        {30000, 60000, 70000, {kBoneLimitWarning, kRescaleWarning}},
        {60000, 30000, 70000, {kRescaleWarning, kBoneLimitWarning}},
        {30000, 80000, 70000, {kBoneLimitWarning}},
        {80000, 90000, 20000, {}},
        {40000, 45000, -1, {kBoneLimitWarning, kRescaleWarning}},
    };
    for (const SCase& c : cases) {
        const std::string what =
            std::to_string(c.limitVertex) + "/" + std::to_string(c.rescaleVertex) + "/" + std::to_string(c.badTriangle);
        QTemporaryDir dir;
        const std::string path = dir.filePath("strip.dae").toStdString();
        ASSERT_TRUE(WriteFileBytes(path, LongSkinnedStrip(c.limitVertex, c.rescaleVertex, c.badTriangle)));
        auto run = ImportPath(path, [](COptions& o) { o.SetBool(opt::bExportSkin, true); });
        ASSERT_EQ(run->result, 0) << what;
        const SImportNode* m = run->Node("M");
        ASSERT_NE(m, nullptr) << what;
        const int64_t complete = c.badTriangle < 0 ? 100000 : c.badTriangle;
        const size_t corners = size_t(3 * complete + (c.badTriangle < 0 ? 0 : 1));
        ASSERT_EQ(m->triangles.size(), size_t(complete)) << what;
        ASSERT_EQ(m->positions.size(), corners) << what;
        ASSERT_EQ(m->skins.size(), 1u) << what;
        ASSERT_EQ(m->skins[0].influences.size(), corners) << what;
        for (size_t q = 0; q < corners; ++q) {
            const int64_t vertex = int64_t(q / 3 + q % 3);
            ASSERT_EQ(m->positions[q][0], float(vertex)) << what << " corner " << q;
            ASSERT_EQ(m->skins[0].influences[q].size(), vertex == c.limitVertex     ? 4u
                                                        : vertex == c.rescaleVertex ? 2u
                                                                                    : 1u)
                << what << " corner " << q;
        }
        for (size_t t = 0; t < m->triangles.size(); ++t)
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(m->triangles[t].position[k], int32_t(3 * t + size_t(k))) << what;
        std::vector<std::string> given;
        for (const auto& message : run->log->Messages())
            if (message.level == eLogWarning && (message.text == kBoneLimitWarning || message.text == kRescaleWarning))
                given.push_back(message.text.toStdString());
        std::vector<std::string> expected(c.warnings.begin(), c.warnings.end());
        EXPECT_EQ(given, expected) << what;
    }
}
