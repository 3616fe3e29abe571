// The element model, the grammar, reference lookup and the importer's result
// codes.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include <string>

#include "process/SceneExporter.h"
#include "ColladaTestUtil.h"
#include "collada/DAEParser.h"
#include "collada/ElCore.h"
#include "collada/ElGeometry.h"
#include "collada/ElScene.h"

namespace {

// The document last loaded by Load.
std::unique_ptr<CEl_Collada> g_loaded;

// Loads a document and returns its root (null without a tree), kept until
// the next Load.
CEl_Collada* Load(const std::string& text)
{
    CDAEParser::LoadDocumentFromMemory("test.dae", text.data(), text.size(), g_loaded);
    return g_loaded.get();
}

const char kTwoNodes[] = R"(<COLLADA>
  <library_visual_scenes>
    <visual_scene id="vs">
      <node id="dup" name="First"/>
      <node id="second" name="dup"/>
      <node id="dup" name="Third"/>
      <node id="with-child"><node id="inner"/></node>
    </visual_scene>
  </library_visual_scenes>
  <library_geometries><geometry id="geo"><mesh><source id="s"><float_array id="fa" count="1">1</float_array></source></mesh></geometry></library_geometries>
  <library_visual_scenes><visual_scene id="vs2"><float_array id="stray" count="1">1</float_array></visual_scene></library_visual_scenes>
  <scene><instance_visual_scene url="#vs"/></scene>
</COLLADA>)";

} // namespace

TEST(ColladaParser, LookupGivesTheFirstMatchInRegistrationOrder)
{
    CEl_Collada* root = Load(kTwoNodes);
    ASSERT_NE(root, nullptr);
    const CDAEIndex& index = root->Index();
    // "dup" is the id of the first node and the name of the second: id, name
    // or sid finds the first registered one.
    CDAEObject* any = index.FindObject("#dup", eMatchAny, eCatNode);
    ASSERT_NE(any, nullptr);
    EXPECT_STREQ(any->GetName(), "First");
    CDAEObject* byName = index.FindObject("#dup", eMatchName, eCatNode);
    ASSERT_NE(byName, nullptr);
    EXPECT_STREQ(byName->GetId(), "second");
    EXPECT_EQ(index.FindObject("dup", eMatchId, eCatNode), any); // the '#' is optional
    EXPECT_EQ(index.FindObject("other.dae#dup", eMatchAny, eCatNode), nullptr);
    EXPECT_EQ(index.FindObject("#geo", eMatchAny, eCatNode), nullptr); // wrong category
    EXPECT_NE(index.FindObject("#geo", eMatchAny, eCatAll), nullptr);
    EXPECT_NE(index.FindObject("#fa", eMatchId, eCatArray), nullptr);
    // An element is recognised only in the library that lists it.
    EXPECT_EQ(index.FindObject("#stray", eMatchAny, eCatAll), nullptr);
}

TEST(ColladaParser, NodesKnowTheirParentAndContainer)
{
    CEl_Collada* root = Load(kTwoNodes);
    ASSERT_NE(root, nullptr);
    auto* outer = root->Index().Find<CEl_Node>("#with-child", eMatchId, eCatNode, eEl_node);
    auto* inner = root->Index().Find<CEl_Node>("#inner", eMatchId, eCatNode, eEl_node);
    ASSERT_TRUE(outer && inner);
    EXPECT_EQ(inner->ParentNode(), outer);
    EXPECT_EQ(inner->Container(), eEl_visual_scene);
    ASSERT_EQ(outer->ChildNodes().size(), 1u);
    EXPECT_EQ(outer->ChildNodes()[0], inner);
    EXPECT_EQ(root->VisualScene(), root->Index().FindObject("#vs", eMatchId, eCatVisualScene));
}

TEST(ColladaParser, TransformsKeepDocumentOrder)
{
    CEl_Collada* root = Load(R"(<COLLADA><asset/><library_visual_scenes><visual_scene id="vs">
      <node id="n"><translate>1 2 3</translate><rotate>0 0 1 30</rotate><rotate>0 1 0 20</rotate>
        <rotate>1 0 0 10</rotate><rotate>1 1 0 5</rotate><rotate>0 0 -1 7</rotate><scale>1 1 1</scale>
        <rotate>0 1 0 1</rotate><skew>45 0 1 0 1 0 0</skew></node>
    </visual_scene></library_visual_scenes></COLLADA>)");
    ASSERT_NE(root, nullptr);
    auto* node = root->Index().Find<CEl_Node>("#n", eMatchId, eCatNode, eEl_node);
    ASSERT_NE(node, nullptr);
    std::vector<ETransformKind> kinds;
    for (const SNodeTransform& t : node->Transforms())
        kinds.push_back(t.eKind);
    // Transforms compose in document order, so the list keeps it; skew is refused.
    const std::vector<ETransformKind> expected = {eXformTranslate,   eXformRotateZ, eXformRotateY, eXformRotateX,
                                                  eXformRotateOther, eXformRotateZ, eXformScale,   eXformRotateY};
    EXPECT_EQ(kinds, expected);
    // Counter-clockwise for row vectors: +X turns towards +Y about +Z.
    EXPECT_NEAR(node->Transforms()[1].m[1], std::sin(30 * 0.0174532924f), 1e-6);
}

TEST(ColladaParser, GeometryElementsAndSemantics)
{
    CEl_Collada* root = Load(R"(<COLLADA><library_geometries><geometry id="g"><mesh>
      <source id="s"><float_array id="a" count="2">1 2 3</float_array>
        <technique_common><accessor source="#a" count="3"><param name="X"/></accessor></technique_common></source>
      <vertices id="v"><input semantic="POSITION" source="#s"/></vertices>
      <triangles><input semantic="VERTEX" source="#v"/><input semantic="TEXTANGENT" source="#s" offset="1"/>
        <input semantic="UV" source="#s"/><p>0</p><p>1 2</p><extra/></triangles>
      <polylist/><polygons/><trifans/><tristrips/><lines/>
    </mesh></geometry></library_geometries></COLLADA>)");
    ASSERT_NE(root, nullptr);
    auto* geometry = root->Index().Find<CEl_Geometry>("#g", eMatchId, eCatGeometry, eEl_geometry);
    ASSERT_NE(geometry, nullptr);
    EXPECT_EQ(geometry->PrimitiveCount(), 5);
    EXPECT_EQ(geometry->CountOf(eEl_polylist), 1);
    CEl_Triangles* triangles = geometry->Primitives()[0];
    EXPECT_EQ(triangles->Indices(), (std::vector<int32_t>{1, 2})); // a later p replaces an earlier one
    std::vector<EInputSemantic> semantics;
    for (CDAEObject* c : Children(triangles))
        if (c->Kind() == eEl_input)
            semantics.push_back(static_cast<CEl_Input*>(c)->Semantic());
    // TEXTANGENT is refused but the input is kept.
    EXPECT_EQ(semantics, (std::vector<EInputSemantic>{eSemVertex, eSemNone, eSemUV}));
    ASSERT_TRUE(triangles->Build());
    EXPECT_EQ(triangles->InputCount(), 3);
    EXPECT_EQ(triangles->IndexStride(), 2);
    // The array's count attribute overrides the parsed number of values.
    auto* array = root->Index().Find<CEl_FloatArray>("#a", eMatchId, eCatArray, eEl_float_array);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(array->StatedCount(), 2);
    EXPECT_EQ(array->Values().size(), 3u);
    // An accessor without a stride reads item i at i (Collada's default).
    auto* source = root->Index().Find<CEl_Source>("#s", eMatchId, eCatSource, eEl_source);
    ASSERT_TRUE(source && source->Accessor());
    float value = 0;
    EXPECT_EQ(source->Accessor()->Read(1, &value, 1), 1);
    EXPECT_EQ(value, 2.0f);
    EXPECT_EQ(source->Accessor()->Read(2, &value, 1), 0); // at the stated count
}

TEST(ColladaParser, ResultCodes)
{
    struct SCase {
        const char* fixture;
        int result;
        const char* message; // expected at error level
    };
    const SCase cases[] = {
        {"malformed.dae", 1, "Failed to parse %1."},
        {"not_collada.dae", 1, "%1 is not a Collada document."},
        {"no_scene.dae", 7, nullptr},
        {"other_file_scene.dae", 7, nullptr},
        {"does_not_exist.dae", 1, "Failed to parse %1."},
    };
    for (const SCase& c : cases) {
        const std::string path = TestDataPath(std::string("collada/") + c.fixture);
        auto run = ImportPath(path);
        EXPECT_EQ(run->result, c.result) << c.fixture;
        EXPECT_TRUE(run->scene.nodes.empty()) << c.fixture;
        EXPECT_TRUE(run->log->Contains(eLogInfo, QStringLiteral("Parsing %1.").arg(QString::fromStdString(path))));
        if (c.message) {
            EXPECT_TRUE(run->log->Contains(eLogError, QString::fromLatin1(c.message).arg(QString::fromStdString(path))))
                << c.fixture;
        }
        EXPECT_FALSE(run->log->Contains(eLogInfo, QStringLiteral("Complete.")) && c.result == 1) << c.fixture;
    }
    SImportScene scene;
    COptions options;
    CCollada2QEF importer;
    EXPECT_EQ(importer.Import(nullptr, &scene, &options), 1);
    EXPECT_EQ(importer.Import("", &scene, &options), 1);
}

TEST(ColladaParser, UnusualButValidXmlParsesNormally)
{
    auto run = ImportFixture("unusual_xml.dae");
    ASSERT_EQ(run->result, 0);
    EXPECT_TRUE(run->Logged(eLogInfo, "Complete."));
    const SImportNode* node = run->Node("Caf\xc3\xa9");
    ASSERT_NE(node, nullptr);
    ASSERT_EQ(node->triangles.size(), 1u);
    EXPECT_EQ(node->positions[1], (SVec3{1, 0, 0})); // after the comment
    EXPECT_EQ(node->positions[2], (SVec3{0, 1, 0})); // from the CDATA section
}

TEST(ColladaParser, DeepNestingDoesNotExhaustTheStack)
{
    const int depth = 20000;
    std::string text = "<COLLADA><asset/><library_visual_scenes><visual_scene id=\"vs\">";
    for (int i = 0; i < depth; ++i)
        text += "<node name=\"n" + std::to_string(i) + "\"><translate>0 1 0</translate>";
    for (int i = 0; i < depth; ++i)
        text += "</node>";
    text += "</visual_scene></library_visual_scenes><scene><instance_visual_scene url=\"#vs\"/></scene></COLLADA>";
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/deep.dae";
    ASSERT_TRUE(WriteFileBytes(path, text));
    auto run = ImportPath(path);
    ASSERT_EQ(run->result, 0);
    ASSERT_EQ(run->scene.nodes.size(), size_t(depth));
    EXPECT_EQ(run->scene.nodes.back().parent, depth - 2);
    EXPECT_EQ(run->scene.nodes.back().name, "n" + std::to_string(depth - 1));
}

TEST(ColladaParser, LongListsReadFromTheMappedFileWhichStaysUnchanged)
{
    // Lists of megabytes in a file big enough to be mapped: parsed in place
    // in the mapped pages, which are given back once read; the file itself
    // must not change.
    const int triangles = 100000;
    std::string positions, indices;
    for (int i = 0; i < 3 * triangles; ++i)
        positions += std::to_string(i % 1000) + ".25 " + std::to_string(i / 1000) + " -" + std::to_string(i) + " ";
    for (int i = 0; i < 3 * triangles; ++i)
        indices += std::to_string(i) + " ";
    const std::string text =
        "<COLLADA><library_geometries><geometry id=\"g\"><mesh><source id=\"p\"><float_array id=\"pa\" count=\"" +
        std::to_string(9 * triangles) + "\">" + positions +
        "</float_array><technique_common><accessor source=\"#pa\" count=\"" + std::to_string(3 * triangles) +
        "\" stride=\"3\"><param name=\"X\" type=\"float\"/><param name=\"Y\" type=\"float\"/>"
        "<param name=\"Z\" type=\"float\"/></accessor></technique_common></source><vertices id=\"v\">"
        "<input semantic=\"POSITION\" source=\"#p\"/></vertices><triangles count=\"" +
        std::to_string(triangles) + "\"><input semantic=\"VERTEX\" source=\"#v\" offset=\"0\"/><p>" + indices +
        "</p></triangles></mesh></geometry></library_geometries><library_visual_scenes><visual_scene id=\"vs\">"
        "<node name=\"grid\"><instance_geometry url=\"#g\"/></node></visual_scene></library_visual_scenes>"
        "<scene><instance_visual_scene url=\"#vs\"/></scene></COLLADA>";
    ASSERT_GT(text.size(), size_t(4) << 20); // mapped from 4 MB
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/long.dae";
    ASSERT_TRUE(WriteFileBytes(path, text));
    auto run = ImportPath(path);
    ASSERT_EQ(run->result, 0);
    EXPECT_EQ(ReadFileBytes(path), text);
    const SImportNode* node = run->Node("grid");
    ASSERT_NE(node, nullptr);
    ASSERT_EQ(node->triangles.size(), size_t(triangles));
    ASSERT_EQ(node->positions.size(), size_t(3 * triangles));
    for (int i : {0, 1, 77777, 3 * triangles - 1})
        EXPECT_EQ(node->positions[size_t(i)], (SVec3{float(i % 1000) + 0.25f, float(i / 1000), -float(i)})) << i;
}

TEST(ColladaParser, WithoutAnimationLibraryNothingIsExportedAnimated)
{
    auto without = ImportFixture("transforms.dae", [](COptions& o) { o.SetBool(opt::bExportAnimations, true); });
    ASSERT_EQ(without->result, 0);
    // The import records what the document lacks; the caller's options stay as they were.
    EXPECT_FALSE(without->scene.animated);
    EXPECT_TRUE(without->options.GetBool(opt::bExportAnimations));
    EXPECT_FALSE(ExportOptions(without->options, without->scene).GetBool(opt::bExportAnimations));

    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/anim.dae";
    ASSERT_TRUE(WriteFileBytes(path, R"(<COLLADA><library_animations/><library_visual_scenes>
      <visual_scene id="vs"/></library_visual_scenes><scene><instance_visual_scene url="#vs"/></scene></COLLADA>)"));
    auto with = ImportPath(path, [](COptions& o) { o.SetBool(opt::bExportAnimations, true); });
    ASSERT_EQ(with->result, 0);
    EXPECT_TRUE(ExportOptions(with->options, with->scene).GetBool(opt::bExportAnimations));
}

TEST(ColladaParser, CommandLineConvertReachesTheImport)
{
    QTemporaryDir dir;
    const QString out = dir.path() + QStringLiteral("/box.qef");
    const SCliResult ok = RunCli({QStringLiteral("convert"), QString::fromStdString(ExamplePath("textured_box.dae")),
                                  QStringLiteral("-o"), out});
    // The import succeeds and the scene is processed and written.
    EXPECT_EQ(ok.exitCode, 0) << ok.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(out));
    EXPECT_TRUE(ok.out.contains(QStringLiteral("Complete.")) || ok.err.contains(QStringLiteral("Complete.")));

    const SCliResult noScene =
        RunCli({QStringLiteral("convert"), QString::fromStdString(TestDataPath("collada/no_scene.dae")),
                QStringLiteral("-o"), out});
    EXPECT_EQ(noScene.exitCode, 7);
    const SCliResult broken =
        RunCli({QStringLiteral("convert"), QString::fromStdString(TestDataPath("collada/malformed.dae")),
                QStringLiteral("-o"), out});
    EXPECT_EQ(broken.exitCode, 1);
}
