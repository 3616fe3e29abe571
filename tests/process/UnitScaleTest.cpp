// Documents in centimetres and inches scaled to metres by bApplyUnit: their
// world-space boxes must be pycollada's boxes times the unit; camera planes
// and light ranges follow; nested units of geometries and nodes hold for what
// those elements hold.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <string>

#include "WorldGeometry.h"

namespace {

// A triangle (1,0,0) (0,1,0) (0,0,1) of the geometry "tri"; asset, when given,
// is the geometry's own.
std::string Triangle(const std::string& asset = "")
{
    return "<geometry id=\"tri\">" + asset +
           "<mesh><source id=\"p\"><float_array id=\"pa\" count=\"9\">1 0 0 0 1 0 0 0 1</float_array>"
           "<technique_common><accessor source=\"#pa\" count=\"3\" stride=\"3\"><param name=\"X\" type=\"float\"/>"
           "<param name=\"Y\" type=\"float\"/><param name=\"Z\" type=\"float\"/></accessor></technique_common>"
           "</source><vertices id=\"v\"><input semantic=\"POSITION\" source=\"#p\"/></vertices>"
           "<triangles count=\"1\"><input semantic=\"VERTEX\" source=\"#v\" offset=\"0\"/><p>0 1 2</p></triangles>"
           "</mesh></geometry>";
}

std::string Unit(const char* meter)
{
    return std::string("<unit meter=\"") + meter + "\" name=\"u\"/>";
}

// A document with the triangle, a camera and a point light, each on a node.
std::string Document(const char* meter, const char* upAxis, const std::string& geometryAsset, const std::string& nodes)
{
    return std::string("<?xml version=\"1.0\"?><COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" "
                       "version=\"1.4.1\"><asset>") +
           Unit(meter) + "<up_axis>" + upAxis + "</up_axis></asset>" +
           "<library_cameras><camera id=\"cam\"><optics><technique_common><perspective><yfov>45</yfov>"
           "<znear>2</znear><zfar>4000</zfar></perspective></technique_common></optics></camera></library_cameras>"
           "<library_lights><light id=\"lamp\"><technique_common><point><color>1 1 1</color>"
           "<constant_attenuation>1</constant_attenuation><linear_attenuation>0.5</linear_attenuation>"
           "<quadratic_attenuation>0.25</quadratic_attenuation></point></technique_common></light></library_lights>"
           "<library_geometries>" +
           Triangle(geometryAsset) + "</library_geometries><library_visual_scenes><visual_scene id=\"vs\">" + nodes +
           "<node id=\"c\"><translate>0 0 10</translate><instance_camera url=\"#cam\"/></node>"
           "<node id=\"l\"><translate>0 10 0</translate><instance_light url=\"#lamp\"/></node>"
           "</visual_scene></library_visual_scenes><scene><instance_visual_scene url=\"#vs\"/></scene></COLLADA>";
}

const SImportNode* NodeNamed(const SImportScene& scene, const char* name)
{
    for (const SImportNode& n : scene.nodes)
        if (n.name == name)
            return &n;
    return nullptr;
}

} // namespace

TEST(UnitScale, WorldBoxesArePycolladaBoxesTimesTheUnit)
{
    const std::string g = "<instance_geometry url=\"#tri\"/>";
    const struct {
        const char* name;
        const char* meter;
        const char* upAxis;
        std::string geometryAsset;
        std::string nodes;
        bool peer;     // pycollada knows the answer (it reads the document's unit only)
        SBox expected; // else this one
    } cases[] = {
        {"centimetre",
         "0.01",
         "Y_UP",
         "",
         "<node id=\"n\"><translate>100 0 0</translate><rotate>0 0 1 90</rotate><scale>2 2 2</scale>" + g + "</node>",
         true,
         {}},
        {"inch, Z up",
         "0.0254",
         "Z_UP",
         "",
         "<node id=\"p\"><translate>0 0 10</translate><node id=\"n\"><matrix>1 0 0 5 0 1 0 0 0 0 1 0 0 0 0 1</matrix>" +
             g + "</node></node>",
         true,
         {}},
        // A geometry in metres in a centimetre document: its vertices keep
        // their size, the node's translation is in centimetres.
        {"geometry with its own unit",
         "0.01",
         "Y_UP",
         "<asset>" + Unit("1") + "</asset>",
         "<node id=\"n\"><translate>100 0 0</translate>" + g + "</node>",
         false,
         {{1, 0, 0}, {2, 1, 1}}},
        // A node in decimetres: its translation and its children's are.
        {"node with its own unit",
         "0.01",
         "Y_UP",
         "",
         "<node id=\"p\"><asset>" + Unit("0.1") +
             "</asset><translate>10 0 0</translate><node id=\"n\"><translate>0 10 0</translate>" + g + "</node></node>",
         false,
         {{1, 1, 0}, {1.01, 1.01, 0.01}}},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.filePath(QStringLiteral("unit.dae")).toStdString();
        ASSERT_TRUE(WriteFileBytes(path, Document(c.meter, c.upAxis, c.geometryAsset, c.nodes)));
        SBox expected = c.expected;
        if (c.peer) {
            const SPeerBoxes peer = PeerBoxes({QString::fromStdString(path)}, true);
            if (!peer.available)
                GTEST_SKIP() << "No independent reader: " << peer.why << ".";
            ASSERT_EQ(peer.boxes.count(path), 1u);
            expected = peer.boxes.at(path);
        }
        auto converted = ConvertInMemory(path, [](COptions& o) {
            SetExportMode(o, eModeWorld);
            o.SetBool(opt::bApplyUnit, true);
        });
        ASSERT_TRUE(converted->processed);
        const SBox ours = BoxOf(WorldVertices(*converted->Scene(), 0));
        EXPECT_TRUE(SameBox(ours, expected, 1e-4))
            << "ours (" << ours.lo[0] << " " << ours.lo[1] << " " << ours.lo[2] << ")-(" << ours.hi[0] << " "
            << ours.hi[1] << " " << ours.hi[2] << ")";

        // Camera planes and light ranges in metres.
        const float unit = std::stof(c.meter);
        const SImportNode* camera = NodeNamed(converted->imported, "c");
        const SImportNode* light = NodeNamed(converted->imported, "l");
        ASSERT_TRUE(camera && light);
        EXPECT_FLOAT_EQ(camera->camera.nearPlane, 2 * unit);
        EXPECT_FLOAT_EQ(camera->camera.farPlane, 4000 * unit);
        EXPECT_FLOAT_EQ(light->light.linearAttenuation, 0.5f / unit);
        EXPECT_FLOAT_EQ(light->light.quadraticAttenuation, 0.25f / (unit * unit));
        EXPECT_FLOAT_EQ(light->light.constantAttenuation, 1);
    }
}

TEST(UnitScale, OffByDefault)
{
    // Without bApplyUnit a centimetre document keeps its numbers.
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("cm.dae")).toStdString();
    ASSERT_TRUE(WriteFileBytes(path, Document("0.01", "Y_UP", "",
                                              "<node id=\"n\"><translate>100 0 0</translate><instance_geometry "
                                              "url=\"#tri\"/></node>")));
    auto converted = ConvertInMemory(path, [](COptions& o) { SetExportMode(o, eModeWorld); });
    ASSERT_TRUE(converted->processed);
    EXPECT_TRUE(SameBox(BoxOf(WorldVertices(*converted->Scene(), 0)), SBox{{100, 0, 0}, {101, 1, 1}}, 1e-6));
    EXPECT_EQ(NodeNamed(converted->imported, "c")->camera.farPlane, 4000);
}
