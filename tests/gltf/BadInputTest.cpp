// Damaged glTF input: each rule has a small document that breaks it, which
// ends the import with result 1 and one error line naming the file and what
// is wrong.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <functional>

#include "GltfTestUtil.h"

namespace {

// A quad (two indexed triangles) with normals, ready to be broken.
SGltfBuilder Quad()
{
    SGltfBuilder b;
    json p = b.Triangles({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, {0, 1, 2, 0, 2, 3});
    p["attributes"]["NORMAL"] = b.Floats({0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1}, "VEC3", 3);
    b.MeshNode(p);
    return b;
}

struct SBadCase {
    const char* rule;
    std::function<std::string()> make; // the document's bytes
    const char* message;               // part of the error line
};

// One animation with one channel driving node 0.
void Animate(SGltfBuilder& b, int times, int values, const char* path)
{
    const json sampler = {{"input", times}, {"output", values}};
    const json channel = {{"sampler", 0}, {"target", {{"node", 0}, {"path", path}}}};
    b.doc["animations"] = json::array({{{"samplers", json::array({sampler})}, {"channels", json::array({channel})}}});
}

std::string Modified(const std::function<void(SGltfBuilder&)>& change)
{
    SGltfBuilder b = Quad();
    change(b);
    return b.Gltf();
}

} // namespace

TEST(GltfBadInput, EachRuleFailsWithItsMessage)
{
    const SBadCase cases[] = {
        {"view past its buffer",
         [] { return Modified([](SGltfBuilder& b) { b.doc["bufferViews"][0]["byteLength"] = 4000; }); },
         "bufferViews[0] (offset 0, length 4000) runs past the end of buffer 0"},
        {"accessor past its view", [] { return Modified([](SGltfBuilder& b) { b.doc["accessors"][0]["count"] = 5; }); },
         "accessors[0] needs 60 bytes"},
        {"accessor offset past its view",
         [] { return Modified([](SGltfBuilder& b) { b.doc["accessors"][0]["byteOffset"] = 1u << 30; }); },
         "accessors[0] needs"},
        {"misaligned accessor",
         [] { return Modified([](SGltfBuilder& b) { b.doc["accessors"][0]["byteOffset"] = 2; }); },
         "accessors[0] is not aligned to its 4-byte components"},
        {"stride below the element",
         [] { return Modified([](SGltfBuilder& b) { b.doc["bufferViews"][0]["byteStride"] = 8; }); },
         "has elements of 12 bytes in a view whose byteStride is 8"},
        {"stride not a multiple of 4",
         [] { return Modified([](SGltfBuilder& b) { b.doc["bufferViews"][0]["byteStride"] = 14; }); },
         "byteStride of 14, not a multiple of 4"},
        {"position of the wrong type",
         [] { return Modified([](SGltfBuilder& b) { b.doc["accessors"][0]["type"] = "VEC2"; }); },
         "accessors[0] has a componentType or type that POSITION data cannot have"},
        {"indices of floats",
         [] { return Modified([](SGltfBuilder& b) { b.doc["accessors"][1]["componentType"] = 5126; }); },
         "that indices data cannot have"},
        {"normals of plain integers",
         [] {
             return Modified([](SGltfBuilder& b) {
                 std::vector<int8_t> n(12, 0);
                 b.doc["accessors"][2]["bufferView"] = b.View(n.data(), n.size());
                 b.doc["accessors"][2]["componentType"] = 5120;
             });
         },
         "that NORMAL data cannot have"},
        {"joints of signed shorts",
         [] {
             SGltfBuilder b = Quad();
             const int joint = b.Node({{"name", "Bone"}});
             const std::vector<int16_t> joints(16, -1);
             b.doc["meshes"][0]["primitives"][0]["attributes"]["JOINTS_0"] =
                 b.Accessor(b.View(joints), 5122, 4, "VEC4");
             b.doc["meshes"][0]["primitives"][0]["attributes"]["WEIGHTS_0"] =
                 b.Floats({1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}, "VEC4", 4);
             b.doc["skins"] = {{{"joints", {joint}}}};
             b.doc["nodes"][0]["skin"] = 0;
             return b.Gltf();
         },
         "that JOINTS data cannot have"},
        {"unknown component type",
         [] { return Modified([](SGltfBuilder& b) { b.doc["accessors"][0]["componentType"] = 5124; }); },
         "accessors[0] has an unknown componentType or type"},
        {"index past the vertices",
         [] {
             SGltfBuilder b;
             b.MeshNode(b.Triangles({0, 0, 0, 1, 0, 0, 1, 1, 0}, {0, 1, 3}));
             return b.Gltf();
         },
         "indices holds the index 3, but there are only 3 vertices"},
        {"attribute count differs",
         [] { return Modified([](SGltfBuilder& b) { b.doc["accessors"][2]["count"] = 3; }); },
         "attributes.NORMAL has 3 elements, POSITION has 4"},
        {"node with two parents",
         [] {
             return Modified([](SGltfBuilder& b) {
                 const int child = b.Node({{"name", "Child"}}, false);
                 b.Node({{"children", {child}}});
                 b.Node({{"children", {child}}});
             });
         },
         "nodes[1] has two parents (nodes 2 and 3)"},
        {"cycle of nodes",
         [] {
             return Modified([](SGltfBuilder& b) {
                 b.Node({{"children", {2}}}, false);
                 b.Node({{"children", {1}}}, false);
             });
         },
         "the node graph has a cycle"},
        {"node is its own child", [] { return Modified([](SGltfBuilder& b) { b.doc["nodes"][0]["children"] = {0}; }); },
         "nodes[0] is its own child"},
        {"scene lists a child", [] { return Modified([](SGltfBuilder& b) {
                                         b.Node({{"children", {0}}}, false);
                                     }); },
         "scenes[0] lists nodes[0], which is a child of nodes[1]"},
        {"bad data: URI",
         [] {
             SGltfBuilder b = Quad();
             json d = json::parse(b.Gltf());
             d["buffers"][0]["uri"] = "data:application/octet-stream;base64,@@@@";
             return d.dump();
         },
         "buffers[0] has a data: URI whose base64 text is broken"},
        {"data: URI without base64",
         [] {
             SGltfBuilder b = Quad();
             json d = json::parse(b.Gltf());
             d["buffers"][0]["uri"] = "data:text/plain,hello";
             return d.dump();
         },
         "buffers[0] has a data: URI that is not base64"},
        {"buffer shorter than its byteLength",
         [] {
             SGltfBuilder b = Quad();
             json d = json::parse(b.Gltf());
             d["buffers"][0]["byteLength"] = 100000;
             return d.dump();
         },
         "fewer than its byteLength 100000"},
        {"sparse indices out of order",
         [] {
             return Modified([](SGltfBuilder& b) {
                 const std::vector<uint16_t> at = {2, 1};
                 const std::vector<float> values = {5, 5, 5, 6, 6, 6};
                 b.doc["accessors"][0]["sparse"] = {{"count", 2},
                                                    {"indices", {{"bufferView", b.View(at)}, {"componentType", 5123}}},
                                                    {"values", {{"bufferView", b.View(values)}}}};
             });
         },
         "accessors[0].sparse has an index that is out of range or out of order"},
        {"sparse count above the accessor's",
         [] {
             return Modified([](SGltfBuilder& b) {
                 const std::vector<uint16_t> at = {0};
                 const std::vector<float> values = {5, 5, 5};
                 b.doc["accessors"][0]["sparse"] = {{"count", 9},
                                                    {"indices", {{"bufferView", b.View(at)}, {"componentType", 5123}}},
                                                    {"values", {{"bufferView", b.View(values)}}}};
             });
         },
         "accessors[0].sparse.count is out of range"},
        {"required extension not supported",
         [] { return Modified([](SGltfBuilder& b) { b.doc["extensionsRequired"] = {"EXT_unknown_thing"}; }); },
         "it requires the extension EXT_unknown_thing, which is not supported"},
        {"glTF 1.0", [] { return Modified([](SGltfBuilder& b) { b.doc["asset"]["version"] = "1.0"; }); },
         "its version is '1.0', not glTF 2.0"},
        {"JSON cut short", [] { return Quad().Gltf().substr(0, 50); }, "the JSON cannot be parsed (at byte 51)"},
        {"JSON nested too deep", [] { return std::string(100000, '[') + std::string(100000, ']'); },
         "the JSON is nested more than 64 levels deep"},
        {"GLB longer than its bytes",
         [] {
             std::string glb = Quad().Glb();
             glb[8] = char(0xFF);
             glb[9] = char(0xFF);
             return glb;
         },
         "the binary container claims"},
        {"GLB chunk past the end",
         [] {
             std::string glb = Quad().Glb();
             glb[12] = char(0xF0);
             glb[13] = char(0xFF);
             return glb;
         },
         "a chunk of the binary container runs past its end"},
        {"joint past the skin",
         [] {
             SGltfBuilder b = Quad();
             const int joint = b.Node({{"name", "Bone"}});
             const std::vector<uint8_t> joints = {0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
             b.doc["meshes"][0]["primitives"][0]["attributes"]["JOINTS_0"] =
                 b.Accessor(b.View(joints), 5121, 4, "VEC4");
             b.doc["meshes"][0]["primitives"][0]["attributes"]["WEIGHTS_0"] =
                 b.Floats({1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}, "VEC4", 4);
             b.doc["skins"] = {{{"joints", {joint}}}};
             b.doc["nodes"][0]["skin"] = 0;
             return b.Gltf();
         },
         "attributes.JOINTS_0 names joint 1 of a skin with 1 joints"},
        {"animation output shorter than its input",
         [] {
             return Modified([](SGltfBuilder& b) {
                 const int times = b.Floats({0, 1}, "SCALAR", 1);
                 const int values = b.Floats({0, 0, 0}, "VEC3", 3);
                 Animate(b, times, values, "translation");
             });
         },
         "animations[0].samplers[0].output has 1 elements for 2 times"},
        {"animation times going back",
         [] {
             return Modified([](SGltfBuilder& b) {
                 const int times = b.Floats({1, 0}, "SCALAR", 1);
                 const int values = b.Floats({0, 0, 0, 1, 1, 1}, "VEC3", 3);
                 Animate(b, times, values, "scale");
             });
         },
         "input holds times that are not increasing numbers"},
        {"animation values not finite",
         [] {
             return Modified([](SGltfBuilder& b) {
                 const int times = b.Floats({0, 1}, "SCALAR", 1);
                 const int values = b.Floats({0, 0, 0, std::nanf(""), 1, 1}, "VEC3", 3);
                 Animate(b, times, values, "translation");
             });
         },
         "animations[0].samplers[0].output holds values that are not finite numbers"},
        {"member of the wrong type",
         [] { return Modified([](SGltfBuilder& b) { b.doc["accessors"][0]["count"] = "four"; }); },
         "accessors[0].count is not an integer"},
        {"index of a missing entry", [] { return Modified([](SGltfBuilder& b) { b.doc["nodes"][0]["mesh"] = 7; }); },
         "nodes[0].mesh refers to entry 7 of 1"},
    };
    for (const SBadCase& c : cases) {
        auto run = ImportGltfBytes(c.make());
        EXPECT_EQ(run->result, 1) << c.rule;
        const std::string errors = run->Messages(eLogError);
        EXPECT_NE(errors.find("Error: test.gltf cannot be imported: "), std::string::npos) << c.rule << ": " << errors;
        EXPECT_NE(errors.find(c.message), std::string::npos) << c.rule << ": " << errors;
    }
}

TEST(GltfBadInput, MissingBufferFileIsNamed)
{
    QTemporaryDir dir;
    SGltfBuilder b = Quad();
    json d = json::parse(b.Gltf());
    d["buffers"][0]["uri"] = "scene%20data.bin";
    const std::string path = dir.filePath("scene.gltf").toStdString();
    ASSERT_TRUE(WriteFileBytes(path, d.dump()));
    auto run = ImportGltfPath(path);
    EXPECT_EQ(run->result, 1);
    const std::string expected =
        "the buffer file '" + dir.filePath("scene data.bin").toStdString() + "' cannot be read";
    EXPECT_NE(run->Messages(eLogError).find(expected), std::string::npos) << run->Messages(eLogError);

    // With the file beside it, the same document converts.
    ASSERT_TRUE(WriteFileBytes(dir.filePath("scene data.bin").toStdString(), b.bin));
    EXPECT_EQ(ImportGltfPath(path)->result, 0);
}

TEST(GltfBadInput, BufferFileOutsideTheFolderIsRefused)
{
    SGltfBuilder b = Quad();
    json d = json::parse(b.Gltf());
    d["buffers"][0]["uri"] = "/etc/passwd";
    auto run = ImportGltfBytes(d.dump());
    EXPECT_EQ(run->result, 1);
    EXPECT_NE(run->Messages(eLogError).find("names the file '/etc/passwd', which cannot be read"), std::string::npos);
}

TEST(GltfBadInput, NonFinitePositionsDropTheirTrianglesWithOneWarning)
{
    SGltfBuilder b;
    const float inf = std::numeric_limits<float>::infinity();
    b.MeshNode(b.Triangles({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, std::nanf(""), 0, 0, inf, 0, 0},
                           {0, 1, 2, 0, 2, 4, 0, 2, 3, 5, 1, 2}));
    // Without normals exported, no mesh wants smooth ones (and their warning).
    auto run = ImportGltfBytes(b.Gltf(), [](COptions& o) { o.SetExport(eVANormal, false); });
    EXPECT_EQ(run->result, 0);
    EXPECT_EQ(run->Triangles(), 2u);
    EXPECT_EQ(run->log->Count(eLogWarning), 1);
    EXPECT_TRUE(
        run->Logged(eLogWarning, "Warning: Triangles with positions that are not finite numbers are left out."));
}

TEST(GltfBadInput, NoSceneIsResultSeven)
{
    SGltfBuilder b;
    b.doc["scene"] = 2;
    b.doc["scenes"] = json::array({json::object()});
    auto run = ImportGltfBytes(b.Gltf());
    EXPECT_EQ(run->result, 7);
    EXPECT_TRUE(run->Logged(eLogError, "Error: No scene found in test.gltf."));
}

TEST(GltfBadInput, IndexDataDrawnOverAndOverStopsAtTheCopyBudget)
{
    // A few kilobytes naming the same 3,000 triangles 2,000 times would ask
    // for 18 million corners.
    SGltfBuilder b;
    std::vector<float> positions;
    std::vector<uint16_t> indices;
    for (int i = 0; i < 3000; ++i) {
        positions.insert(positions.end(), {float(i), 0, 0, float(i), 1, 0, float(i) + 1, 0, 0});
        indices.insert(indices.end(), {uint16_t(3 * i), uint16_t(3 * i + 1), uint16_t(3 * i + 2)});
    }
    const json primitive = b.Triangles(positions, indices);
    b.doc["meshes"].push_back({{"primitives", json::array()}});
    for (int i = 0; i < 2000; ++i)
        b.doc["meshes"][0]["primitives"].push_back(primitive);
    b.Node({{"mesh", 0}});
    auto run = ImportGltfBytes(b.Gltf());
    EXPECT_EQ(run->result, 0);
    EXPECT_LT(run->Triangles(), size_t(2000) * 3000);
    EXPECT_GE(run->Triangles(), (size_t(4) << 20) / 3);
    EXPECT_TRUE(run->Logged(eLogWarning,
                            "Warning: Meshes drawn several times were not all copied as their copies grew too large."));
}
