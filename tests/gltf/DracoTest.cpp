// KHR_draco_mesh_compression: a mesh encoded here with Draco imports as the
// same triangles as its plain form; a damaged stream is refused by name.
#include <gtest/gtest.h>

#include <draco/compression/encode.h>
#include <draco/mesh/triangle_soup_mesh_builder.h>

#include "GltfTestUtil.h"

namespace {

// Two triangles of a quad, with positions and texture coordinates.
std::string EncodedQuad(int& positionId, int& uvId)
{
    draco::TriangleSoupMeshBuilder builder;
    builder.Start(2);
    positionId = builder.AddAttribute(draco::GeometryAttribute::POSITION, 3, draco::DT_FLOAT32);
    uvId = builder.AddAttribute(draco::GeometryAttribute::TEX_COORD, 2, draco::DT_FLOAT32);
    const float p[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    const float t[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    builder.SetAttributeValuesForFace(positionId, draco::FaceIndex(0), p[0], p[1], p[2]);
    builder.SetAttributeValuesForFace(positionId, draco::FaceIndex(1), p[0], p[2], p[3]);
    builder.SetAttributeValuesForFace(uvId, draco::FaceIndex(0), t[0], t[1], t[2]);
    builder.SetAttributeValuesForFace(uvId, draco::FaceIndex(1), t[0], t[2], t[3]);
    std::unique_ptr<draco::Mesh> mesh = builder.Finalize();
    positionId = int(mesh->attribute(positionId)->unique_id());
    uvId = int(mesh->attribute(uvId)->unique_id());
    draco::Encoder encoder;
    encoder.SetSpeedOptions(5, 5);
    draco::EncoderBuffer buffer;
    EXPECT_TRUE(encoder.EncodeMeshToBuffer(*mesh, &buffer).ok());
    return std::string(buffer.data(), buffer.size());
}

std::string DracoDocument(const std::string& stream, int positionId, int uvId)
{
    SGltfBuilder b;
    const int view = b.View(stream.data(), stream.size());
    b.doc["accessors"] = {{{"componentType", 5126}, {"count", 4}, {"type", "VEC3"}},
                          {{"componentType", 5126}, {"count", 4}, {"type", "VEC2"}},
                          {{"componentType", 5123}, {"count", 6}, {"type", "SCALAR"}}};
    const json draco = {{"bufferView", view}, {"attributes", {{"POSITION", positionId}, {"TEXCOORD_0", uvId}}}};
    b.MeshNode({{"attributes", {{"POSITION", 0}, {"TEXCOORD_0", 1}}},
                {"indices", 2},
                {"extensions", {{"KHR_draco_mesh_compression", draco}}}});
    b.doc["extensionsUsed"] = b.doc["extensionsRequired"] = {"KHR_draco_mesh_compression"};
    return b.Gltf();
}

} // namespace

TEST(GltfDraco, CompressedMeshImports)
{
    int positionId = 0, uvId = 0;
    const std::string stream = EncodedQuad(positionId, uvId);
    auto run = ImportGltfBytes(DracoDocument(stream, positionId, uvId),
                               [](COptions& o) { o.SetBool(opt::bExportMappingChannels, true); });
    ASSERT_EQ(run->result, 0) << run->Messages(eLogError);
    const SImportNode& n = *run->Node("Mesh");
    ASSERT_EQ(n.triangles.size(), 2u);
    ASSERT_EQ(n.uvSets.size(), 1u);
    // Each corner's texture coordinate follows its position (v turned upwards).
    for (size_t c = 0; c < n.positions.size(); ++c) {
        EXPECT_NEAR(n.uvSets[0].values[c][0], n.positions[c][0], 1e-3f);
        EXPECT_NEAR(n.uvSets[0].values[c][1], 1 - n.positions[c][1], 1e-3f);
    }
    float area = 0;
    for (const SImportTriangle& t : n.triangles) {
        const SVec3 &a = n.positions[size_t(t.position[0])], &b = n.positions[size_t(t.position[1])],
                    &c = n.positions[size_t(t.position[2])];
        area += 0.5f * ((b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]));
    }
    EXPECT_NEAR(area, 1.0f, 1e-3f); // both triangles counter-clockwise, covering the quad

    auto damaged = ImportGltfBytes(DracoDocument(stream.substr(0, stream.size() / 2), positionId, uvId));
    EXPECT_EQ(damaged->result, 1);
    EXPECT_NE(damaged->Messages(eLogError).find("extensions.KHR_draco_mesh_compression cannot be decoded (Draco: "),
              std::string::npos)
        << damaged->Messages(eLogError);
    auto wrongId = ImportGltfBytes(DracoDocument(stream, 7, uvId));
    EXPECT_EQ(wrongId->result, 1);
    EXPECT_NE(
        wrongId->Messages(eLogError).find("attributes.POSITION names attribute 7, which the stream does not hold"),
        std::string::npos)
        << wrongId->Messages(eLogError);
}
