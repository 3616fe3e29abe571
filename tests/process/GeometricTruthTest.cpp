// Small documents whose world-space answer is known exactly, converted in the
// three export modes; each exported hierarchy is evaluated as the scene model
// evaluates it and must put every vertex and normal where the document does.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cmath>
#include <string>
#include <vector>

#include "WorldGeometry.h"

namespace {

// One triangle, (1,0,0) (0,1,0) (0,0,1), every corner with normal +Z.
const char* kTriangle =
    "<geometry id=\"tri\"><mesh>"
    "<source id=\"tri-p\"><float_array id=\"tri-pa\" count=\"9\">1 0 0 0 1 0 0 0 1</float_array>"
    "<technique_common><accessor source=\"#tri-pa\" count=\"3\" stride=\"3\"><param name=\"X\" type=\"float\"/>"
    "<param name=\"Y\" type=\"float\"/><param name=\"Z\" type=\"float\"/></accessor></technique_common></source>"
    "<source id=\"tri-n\"><float_array id=\"tri-na\" count=\"3\">0 0 1</float_array>"
    "<technique_common><accessor source=\"#tri-na\" count=\"1\" stride=\"3\"><param name=\"X\" type=\"float\"/>"
    "<param name=\"Y\" type=\"float\"/><param name=\"Z\" type=\"float\"/></accessor></technique_common></source>"
    "<vertices id=\"tri-v\"><input semantic=\"POSITION\" source=\"#tri-p\"/></vertices>"
    "<triangles count=\"1\"><input semantic=\"VERTEX\" source=\"#tri-v\" offset=\"0\"/>"
    "<input semantic=\"NORMAL\" source=\"#tri-n\" offset=\"1\"/><p>0 0 1 0 2 0</p></triangles>"
    "</mesh></geometry>";

const char* kGeometry = "<instance_geometry url=\"#tri\"/>";

// A linear channel with two keys.
// The documents below are laid out as XML reads, not as the formatter would.
// clang-format off
std::string Channel(const std::string& id, const std::string& target, float t0, float t1, float v0, float v1)
{
    auto f = [](float x) { return std::to_string(x); };
    return "<animation id=\"" + id + "\">"
           "<source id=\"" + id + "-in\"><float_array id=\"" + id + "-ina\" count=\"2\">" + f(t0) + " " + f(t1) +
           "</float_array><technique_common><accessor source=\"#" + id + "-ina\" count=\"2\" stride=\"1\">"
           "<param name=\"TIME\" type=\"float\"/></accessor></technique_common></source>"
           "<source id=\"" + id + "-out\"><float_array id=\"" + id + "-outa\" count=\"2\">" + f(v0) + " " + f(v1) +
           "</float_array><technique_common><accessor source=\"#" + id + "-outa\" count=\"2\" stride=\"1\">"
           "<param name=\"VALUE\" type=\"float\"/></accessor></technique_common></source>"
           "<sampler id=\"" + id + "-s\"><input semantic=\"INPUT\" source=\"#" + id + "-in\"/>"
           "<input semantic=\"OUTPUT\" source=\"#" + id + "-out\"/></sampler>"
           "<channel source=\"#" + id + "-s\" target=\"" + target + "\"/></animation>";
}

struct SCase {
    const char* name;
    const char* upAxis;
    std::string libraryNodes;
    std::string sceneNodes;
    std::string animations;
    uint32_t frame;
    std::vector<SPoint> points; // world positions of the three corners
    SPoint normal;              // world normal of every corner
    std::string libraries = {}; // more libraries (controllers)
    // A shear: its parts cannot carry it, so the default export (scale,
    // rotation, translation) misses it; matrices and world space do not.
    bool sheared = false;
};

// A skin of the triangle on one joint "J" (sid), identity bind matrices.
const char* kSkin =
    "<library_controllers><controller id=\"s\"><skin source=\"#tri\">"
    "<source id=\"s-j\"><Name_array id=\"s-ja\" count=\"1\">J</Name_array><technique_common>"
    "<accessor source=\"#s-ja\" count=\"1\" stride=\"1\"><param name=\"JOINT\" type=\"name\"/></accessor>"
    "</technique_common></source>"
    "<source id=\"s-m\"><float_array id=\"s-ma\" count=\"16\">1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1</float_array>"
    "<technique_common><accessor source=\"#s-ma\" count=\"1\" stride=\"16\"><param name=\"TRANSFORM\" "
    "type=\"float4x4\"/></accessor></technique_common></source>"
    "<source id=\"s-w\"><float_array id=\"s-wa\" count=\"1\">1</float_array><technique_common>"
    "<accessor source=\"#s-wa\" count=\"1\" stride=\"1\"><param name=\"WEIGHT\" type=\"float\"/></accessor>"
    "</technique_common></source>"
    "<joints><input semantic=\"JOINT\" source=\"#s-j\"/><input semantic=\"INV_BIND_MATRIX\" source=\"#s-m\"/>"
    "</joints><vertex_weights count=\"3\"><input semantic=\"JOINT\" source=\"#s-j\" offset=\"0\"/>"
    "<input semantic=\"WEIGHT\" source=\"#s-w\" offset=\"1\"/><vcount>1 1 1</vcount><v>0 0 0 0 0 0</v>"
    "</vertex_weights></skin></controller></library_controllers>";

std::string Document(const SCase& c)
{
    std::string text = "<?xml version=\"1.0\"?><COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" "
                       "version=\"1.4.1\"><asset><up_axis>" +
                       std::string(c.upAxis) + "</up_axis></asset><library_geometries>" + kTriangle +
                       "</library_geometries>";
    text += c.libraries;
    if (!c.animations.empty())
        text += "<library_animations>" + c.animations + "</library_animations>";
    if (!c.libraryNodes.empty())
        text += "<library_nodes>" + c.libraryNodes + "</library_nodes>";
    text += "<library_visual_scenes><visual_scene id=\"vs\">" + c.sceneNodes +
            "</visual_scene></library_visual_scenes><scene><instance_visual_scene url=\"#vs\"/></scene></COLLADA>";
    return text;
}

std::vector<SCase> Cases()
{
    const std::string g = kGeometry;
    return {
        {"rotate turns counter-clockwise", "Y_UP", "",
         "<node id=\"n\"><rotate>0 0 1 90</rotate>" + g + "</node>", "", 0,
         {{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}}, {0, 0, 1}},
        {"transforms compose in document order", "Y_UP", "",
         "<node id=\"n\"><translate>5 0 0</translate><rotate>0 0 1 90</rotate><scale>2 1 1</scale>" + g + "</node>",
         "", 0, {{5, 2, 0}, {4, 0, 0}, {5, 0, 1}}, {0, 0, 1}},
        {"a run of rotations keeps its order", "Y_UP", "",
         "<node id=\"n\"><rotate>0 0 1 90</rotate><rotate>1 0 0 90</rotate>" + g + "</node>", "", 0,
         {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}, {1, 0, 0}},
        {"a mirroring scale", "Y_UP", "",
         "<node id=\"n\"><rotate>0 0 1 90</rotate><scale>-1 2 1</scale>" + g + "</node>", "", 0,
         {{0, -1, 0}, {-2, 0, 0}, {0, 0, 1}}, {0, 0, 1}},
        {"matrix is column-vector, row by row", "Y_UP", "",
         "<node id=\"n\"><matrix>0 -1 0 2 1 0 0 0 0 0 1 0 0 0 0 1</matrix>" + g + "</node>", "", 0,
         {{2, 1, 0}, {1, 0, 0}, {2, 0, 1}}, {0, 0, 1}},
        {"nested nodes: parent applies after child", "Y_UP", "",
         "<node id=\"p\"><translate>0 0 5</translate><rotate>0 1 0 90</rotate>"
         "<node id=\"n\"><translate>1 0 0</translate>" + g + "</node></node>", "", 0,
         {{0, 0, 3}, {0, 1, 4}, {1, 0, 4}}, {1, 0, 0}},
        {"Z-up translate becomes Y", "Z_UP", "",
         "<node id=\"n\"><translate>0 0 5</translate>" + g + "</node>", "", 0,
         {{1, 5, 0}, {0, 5, -1}, {0, 6, 0}}, {0, 1, 0}},
        {"Z-up turn about the up axis", "Z_UP", "",
         "<node id=\"n\"><rotate>0 0 1 90</rotate>" + g + "</node>", "", 0,
         {{0, 0, -1}, {-1, 0, 0}, {0, 1, 0}}, {0, 1, 0}},
        {"Z-up nested and matrix nodes", "Z_UP", "",
         "<node id=\"p\"><matrix>1 0 0 0 0 1 0 0 0 0 1 5 0 0 0 1</matrix>"
         "<node id=\"n\"><rotate>1 0 0 90</rotate>" + g + "</node></node>", "", 0,
         {{1, 5, 0}, {0, 6, 0}, {0, 5, 1}}, {0, 0, 1}},
        // Skinned vertices lie where the joints put them; the instancing
        // node's own transform does not move them.
        {"skinned mesh at its bind pose", "Y_UP", "",
         "<node id=\"j\" sid=\"J\" type=\"JOINT\"><translate>0 2 0</translate></node>"
         "<node id=\"n\"><translate>10 0 0</translate><instance_controller url=\"#s\"><skeleton>#j</skeleton>"
         "</instance_controller></node>", "", 0,
         {{1, 2, 0}, {0, 3, 0}, {0, 2, 1}}, {0, 0, 1}, kSkin},
        {"Z-up skinned mesh at its bind pose", "Z_UP", "",
         "<node id=\"j\" sid=\"J\" type=\"JOINT\"><translate>0 0 2</translate></node>"
         "<node id=\"n\"><rotate>0 0 1 90</rotate><instance_controller url=\"#s\"><skeleton>#j</skeleton>"
         "</instance_controller></node>", "", 0,
         {{1, 2, 0}, {0, 2, -1}, {0, 3, 0}}, {0, 1, 0}, kSkin},
        {"X-up translate along X becomes Y", "X_UP", "",
         "<node id=\"n\"><translate>5 0 0</translate>" + g + "</node>", "", 0,
         {{0, 6, 0}, {-1, 5, 0}, {0, 5, 1}}, {0, 0, 1}},
        {"X-up turn about the up axis", "X_UP", "",
         "<node id=\"n\"><rotate>1 0 0 90</rotate>" + g + "</node>", "", 0,
         {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}, {1, 0, 0}},
        {"X-up nested and matrix nodes", "X_UP", "",
         "<node id=\"p\"><matrix>1 0 0 5 0 1 0 0 0 0 1 0 0 0 0 1</matrix>"
         "<node id=\"n\"><rotate>0 0 1 90</rotate>" + g + "</node></node>", "", 0,
         {{-1, 5, 0}, {0, 4, 0}, {0, 5, 1}}, {0, 0, 1}},
        {"a sheared matrix", "Y_UP", "",
         "<node id=\"n\"><matrix>1 1 0 0 0 1 0 0 0 0 1 0 0 0 0 1</matrix>" + g + "</node>", "", 0,
         {{1, 0, 0}, {1, 1, 0}, {0, 0, 1}}, {0, 0, 1}, "", true},
        {"lookat looks from the eye at the interest point", "Y_UP", "",
         "<node id=\"n\"><lookat>100 0 0 0 0 0 0 1 0</lookat>" + g + "</node>", "", 0,
         {{100, 0, -1}, {100, 1, 0}, {101, 0, 0}}, {1, 0, 0}},
        {"instance_node applies the instanced node's transform", "Y_UP",
         "<node id=\"lib\"><translate>0 3 0</translate>" + g + "</node>",
         "<node id=\"n\"><translate>1 0 0</translate><instance_node url=\"#lib\"/></node>", "", 0,
         {{2, 3, 0}, {1, 4, 0}, {1, 3, 1}}, {0, 0, 1}},
        {"instance_node names a nested library node", "Y_UP",
         "<node id=\"outer\"><translate>9 9 9</translate><node id=\"inner\"><translate>0 0 2</translate>" + g +
             "</node></node>",
         "<node id=\"n\"><instance_node url=\"#inner\"/></node>", "", 0,
         {{1, 0, 2}, {0, 1, 2}, {0, 0, 3}}, {0, 0, 1}},
        {"animation holds its first key before it", "Y_UP", "",
         "<node id=\"n\"><translate sid=\"tr\">0 0 0</translate><rotate sid=\"rz\">0 0 1 0</rotate>" + g + "</node>",
         Channel("a", "n/rz.ANGLE", 0.5f, 1, 90, 180) + Channel("b", "n/tr.X", 0, 2, 0, 0), 0,
         {{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}}, {0, 0, 1}},
        {"animation holds its last key after it", "Y_UP", "",
         "<node id=\"n\"><translate sid=\"tr\">0 0 0</translate><rotate sid=\"rz\">0 0 1 0</rotate>" + g + "</node>",
         Channel("a", "n/rz.ANGLE", 0.5f, 1, 90, 180) + Channel("b", "n/tr.X", 0, 2, 0, 0), 45,
         {{-1, 0, 0}, {0, -1, 0}, {0, 0, 1}}, {0, 0, 1}},
        {"animated Z-up rotation", "Z_UP", "",
         "<node id=\"n\"><translate sid=\"tr\">0 0 1</translate><rotate sid=\"rz\">0 0 1 0</rotate>" + g + "</node>",
         Channel("a", "n/rz.ANGLE", 0, 1, 0, 90) + Channel("b", "n/tr.X", 0, 2, 0, 0), 45,
         {{0, 1, -1}, {-1, 1, 0}, {0, 2, 0}}, {0, 1, 0}},
    };
}

// Each expected point matched by a distinct actual one.
bool SamePoints(std::vector<SPoint> actual, const std::vector<SPoint>& expected, double tolerance)
{
    if (actual.size() != expected.size())
        return false;
    for (const SPoint& e : expected) {
        auto it = std::find_if(actual.begin(), actual.end(), [&](const SPoint& a) {
            return std::fabs(a[0] - e[0]) <= tolerance && std::fabs(a[1] - e[1]) <= tolerance &&
                   std::fabs(a[2] - e[2]) <= tolerance;
        });
        if (it == actual.end())
            return false;
        actual.erase(it);
    }
    return true;
}

std::string Text(const std::vector<SPoint>& points)
{
    std::string out;
    for (const SPoint& p : points)
        out += "(" + std::to_string(p[0]) + ", " + std::to_string(p[1]) + ", " + std::to_string(p[2]) + ") ";
    return out;
}

} // namespace

TEST(GeometricTruth, EveryModePutsTheGeometryWhereTheDocumentDoes)
{
    QTemporaryDir dir;
    for (const SCase& c : Cases()) {
        const std::string path = dir.filePath(QStringLiteral("case.dae")).toStdString();
        ASSERT_TRUE(WriteFileBytes(path, Document(c)));
        for (EExportMode mode : {eModeDefault, eModeMatrices, eModeWorld}) {
            if (c.sheared && mode == eModeDefault)
                continue;
            SCOPED_TRACE(std::string(c.name) + ", " + ModeName(mode));
            auto converted = ConvertInMemory(path, [&](COptions& o) {
                SetExportMode(o, mode, c.frame);
                o.SetBool(opt::bExportAnimations, true);
                o.SetBool(opt::bExportSkin, true);
            });
            ASSERT_EQ(converted->importResult, 0);
            ASSERT_TRUE(converted->processed);
            SScene& scene = *converted->Scene();
            const float frame = mode == eModeWorld ? 0.0f : float(c.frame);
            const std::vector<SPoint> points = WorldVertices(scene, frame);
            EXPECT_TRUE(SamePoints(points, c.points, 1e-4)) << "got " << Text(points) << "want " << Text(c.points);
            const std::vector<SPoint> normals = WorldVertices(scene, frame, true);
            ASSERT_FALSE(normals.empty());
            for (const SPoint& n : normals)
                EXPECT_TRUE(SamePoints({n}, {c.normal}, 1e-4)) << "normal " << Text({n}) << "want " << Text({c.normal});
        }
    }
}

TEST(GeometricTruth, TangentFrameFollowsTheExportedTextureCoordinates)
{
    // A quad in the plane z = 0 facing +Z, u growing along +x and v along +y.
    const std::string quad =
        "<?xml version=\"1.0\"?><COLLADA version=\"1.4.1\"><asset><up_axis>Y_UP</up_axis></asset>"
        "<library_geometries><geometry id=\"q\"><mesh>"
        "<source id=\"p\"><float_array id=\"pa\" count=\"12\">0 0 0 1 0 0 1 1 0 0 1 0</float_array>"
        "<technique_common><accessor source=\"#pa\" count=\"4\" stride=\"3\"><param name=\"X\"/><param name=\"Y\"/>"
        "<param name=\"Z\"/></accessor></technique_common></source>"
        "<source id=\"n\"><float_array id=\"na\" count=\"3\">0 0 1</float_array>"
        "<technique_common><accessor source=\"#na\" count=\"1\" stride=\"3\"><param name=\"X\"/><param name=\"Y\"/>"
        "<param name=\"Z\"/></accessor></technique_common></source>"
        "<source id=\"t\"><float_array id=\"ta\" count=\"8\">0 0 1 0 1 1 0 1</float_array>"
        "<technique_common><accessor source=\"#ta\" count=\"4\" stride=\"2\"><param name=\"S\"/><param name=\"T\"/>"
        "</accessor></technique_common></source>"
        "<vertices id=\"v\"><input semantic=\"POSITION\" source=\"#p\"/></vertices>"
        "<triangles count=\"2\"><input semantic=\"VERTEX\" source=\"#v\" offset=\"0\"/>"
        "<input semantic=\"NORMAL\" source=\"#n\" offset=\"1\"/><input semantic=\"TEXCOORD\" source=\"#t\" offset=\"0\"/>"
        "<p>0 0 1 0 2 0 0 0 2 0 3 0</p></triangles></mesh></geometry></library_geometries>"
        "<library_visual_scenes><visual_scene id=\"vs\"><node id=\"n\"><instance_geometry url=\"#q\"/></node>"
        "</visual_scene></library_visual_scenes><scene><instance_visual_scene url=\"#vs\"/></scene></COLLADA>";
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("quad.dae")).toStdString();
    ASSERT_TRUE(WriteFileBytes(path, quad));
    // DirectX mirrors z and flips v: v then grows along -y.
    const struct {
        ECoordSystem cs;
        SPoint tangent, binormal;
    } cases[] = {{eCSOpenGL, {1, 0, 0}, {0, 1, 0}}, {eCSDirectX, {1, 0, 0}, {0, -1, 0}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cs == eCSOpenGL ? "OpenGL" : "DirectX");
        auto converted = ConvertInMemory(path, [&](COptions& o) {
            o.SetCS(c.cs);
            o.SetBool(opt::bTangentSpace, true);
            o.SetBool(opt::bExportMappingChannels, true);
            o.SetExport(eVATangent, true);
            o.SetExport(eVABinormal, true);
        });
        ASSERT_TRUE(converted->processed);
        ASSERT_EQ(converted->Scene()->pMeshes.size(), 1u);
        const SSceneMesh& mesh = converted->Scene()->pMeshes[0];
        ASSERT_EQ(mesh.uiVertexCount, 4u);
        for (uint32_t v = 0; v < mesh.uiVertexCount; ++v) {
            float t[4], b[4];
            ASSERT_TRUE(ReadChannel(mesh, mesh.sTangent, v, t));
            ASSERT_TRUE(ReadChannel(mesh, mesh.sBinormal, v, b));
            EXPECT_TRUE(SamePoints({{t[0], t[1], t[2]}}, {c.tangent}, 1e-3)) << "tangent " << Text({{t[0], t[1], t[2]}});
            EXPECT_TRUE(SamePoints({{b[0], b[1], b[2]}}, {c.binormal}, 1e-3))
                << "binormal " << Text({{b[0], b[1], b[2]}});
        }
    }
}

TEST(GeometricTruth, CamerasLookWhereTheDocumentPointsThem)
{
    // Scene cameras look along their local +Y with +Z up; Collada ones along
    // -Z with +Y up. A Y-up camera turned 90 degrees about +Y looks along -X;
    // an unturned Z-up camera looks down, its up the document's +Y (now -Z).
    const struct {
        const char* upAxis;
        const char* transform;
        SPoint look, up;
    } cases[] = {
        {"Y_UP", "<translate>1 2 3</translate><rotate>0 1 0 90</rotate>", {-1, 0, 0}, {0, 1, 0}},
        {"Z_UP", "<translate>1 2 3</translate>", {0, -1, 0}, {0, 0, -1}},
        {"Z_UP", "<rotate>0 0 1 90</rotate><rotate>1 0 0 90</rotate>", {-1, 0, 0}, {0, 1, 0}},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        const std::string text =
            std::string("<?xml version=\"1.0\"?><COLLADA version=\"1.4.1\"><asset><up_axis>") + c.upAxis +
            "</up_axis></asset><library_cameras><camera id=\"cam\"><optics><technique_common><perspective>"
            "<yfov>45</yfov><znear>1</znear><zfar>100</zfar></perspective></technique_common></optics></camera>"
            "</library_cameras><library_visual_scenes><visual_scene id=\"vs\"><node name=\"Cam\">" +
            c.transform +
            "<instance_camera url=\"#cam\"/></node></visual_scene></library_visual_scenes>"
            "<scene><instance_visual_scene url=\"#vs\"/></scene></COLLADA>";
        const std::string path = dir.filePath(QStringLiteral("camera.dae")).toStdString();
        ASSERT_TRUE(WriteFileBytes(path, text));
        for (EExportMode mode : {eModeDefault, eModeMatrices, eModeWorld}) {
            SCOPED_TRACE(std::string(c.upAxis) + " " + c.transform + ", " + ModeName(mode));
            auto converted = ConvertInMemory(path, [&](COptions& o) { SetExportMode(o, mode); });
            ASSERT_TRUE(converted->processed);
            SScene& scene = *converted->Scene();
            ASSERT_EQ(scene.pCameras.size(), 1u);
            uint32_t node = 0;
            while (node < scene.pNodes.size() && scene.pNodes[node].pszName != "Cam")
                ++node;
            ASSERT_LT(node, scene.pNodes.size());
            const SMatrix44 world = WorldMatrixAt(scene, node);
            const SPoint look = Transform(world, {0, 1, 0}, false), up = Transform(world, {0, 0, 1}, false);
            EXPECT_TRUE(SamePoints({look}, {c.look}, 1e-5)) << "look " << Text({look});
            EXPECT_TRUE(SamePoints({up}, {c.up}, 1e-5)) << "up " << Text({up});
        }
    }
}
// clang-format on
