// Tangent space: the corner frame, grouping of corners and vertex splitting.
#include <gtest/gtest.h>

#include <cmath>

#include "PerMeshTestUtil.h"
#include "process/TangentSpace.h"
#include "process/VertexLayout.h"

using namespace permesh;

namespace {

// Interleaved record: position 0, normal 12, UV 24 (float x2), tangent 32,
// binormal 44; 56 bytes.
constexpr uint32_t kStride = 56;
const SVertexAttribute kPos{0, eZGXTFloat, 3}, kNor{12, eZGXTFloat, 3}, kUV{24, eZGXTFloat, 2}, kTan{32, eZGXTFloat, 3},
    kBin{44, eZGXTFloat, 3};

struct SVert {
    float p[3], n[3], uv[2];
};

std::vector<uint8_t> Records(const std::vector<SVert>& verts)
{
    std::vector<uint8_t> out(verts.size() * kStride, 0);
    for (size_t i = 0; i < verts.size(); ++i) {
        std::memcpy(&out[i * kStride], verts[i].p, 12);
        std::memcpy(&out[i * kStride + 12], verts[i].n, 12);
        std::memcpy(&out[i * kStride + 24], verts[i].uv, 8);
    }
    return out;
}

std::array<float, 3> Vec(const std::vector<uint8_t>& records, uint32_t v, uint32_t offset)
{
    std::array<float, 3> out;
    std::memcpy(out.data(), &records[v * kStride + offset], 12);
    return out;
}

void ExpectVec(const std::array<float, 3>& v, float x, float y, float z, const char* what)
{
    EXPECT_NEAR(v[0], x, 1e-5f) << what;
    EXPECT_NEAR(v[1], y, 1e-5f) << what;
    EXPECT_NEAR(v[2], z, 1e-5f) << what;
}

int Generate(std::vector<uint32_t>& faces, const std::vector<uint8_t>& in, uint32_t vertexCount, float t,
             std::vector<uint8_t>* out, uint32_t* outCount)
{
    return GenerateTangentSpace(outCount, out, faces.data(), vertexCount, in.data(), kStride, kPos, kNor, kUV, kTan,
                                kBin, uint32_t(faces.size() / 3), t);
}

} // namespace

TEST(TangentSpace, CornerFrameFollowsTheMapping)
{
    const float n[3] = {0, 0, 1}, a[3] = {0, 0, 0}, b[3] = {1, 0, 0}, c[3] = {0, 1, 0};
    const float uvA[2] = {0, 0}, uvB[2] = {1, 0}, uvC[2] = {0, 1};
    float T[3], B[3];
    // u runs with x, v with y: tangent +x, binormal +y.
    CornerTangent(T, B, n, a, b, c, uvA, uvB, uvC);
    ExpectVec({T[0], T[1], T[2]}, 1, 0, 0, "tangent");
    ExpectVec({B[0], B[1], B[2]}, 0, 1, 0, "binormal");
    // u mirrored: the tangent turns round, the binormal stays.
    const float mA[2] = {1, 0}, mB[2] = {0, 0}, mC[2] = {1, 1};
    CornerTangent(T, B, n, a, b, c, mA, mB, mC);
    ExpectVec({T[0], T[1], T[2]}, -1, 0, 0, "mirrored tangent");
    ExpectVec({B[0], B[1], B[2]}, 0, 1, 0, "mirrored binormal");
    // Equal u everywhere, or no normal: nothing.
    const float flat[2] = {0.5f, 0}, flat2[2] = {0.5f, 1}, zero[3] = {0, 0, 0};
    CornerTangent(T, B, n, a, b, c, flat, flat2, flat);
    ExpectVec({T[0], T[1], T[2]}, 0, 0, 0, "equal u");
    CornerTangent(T, B, zero, a, b, c, uvA, uvB, uvC);
    ExpectVec({B[0], B[1], B[2]}, 0, 0, 0, "no normal");
}

TEST(TangentSpace, FlatQuadKeepsItsFourVertices)
{
    const std::vector<SVert> quad = {{{0, 0, 0}, {0, 0, 1}, {0, 0}},
                                     {{1, 0, 0}, {0, 0, 1}, {1, 0}},
                                     {{0, 1, 0}, {0, 0, 1}, {0, 1}},
                                     {{1, 1, 0}, {0, 0, 1}, {1, 1}}};
    std::vector<uint32_t> faces = {0, 1, 2, 1, 3, 2};
    const std::vector<uint8_t> in = Records(quad);
    std::vector<uint8_t> out;
    uint32_t count = 0;
    ASSERT_EQ(Generate(faces, in, 4, 0.5f, &out, &count), 0);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(out.size(), 4u * kStride);
    EXPECT_EQ(faces, std::vector<uint32_t>({0, 1, 2, 1, 3, 2}));
    for (uint32_t v = 0; v < 4; ++v) {
        ExpectVec(Vec(out, v, 32), 1, 0, 0, "tangent");
        ExpectVec(Vec(out, v, 44), 0, 1, 0, "binormal");
        // The rest of the record is copied.
        EXPECT_EQ(0, std::memcmp(&out[v * kStride], &in[v * kStride], 32));
    }
}

TEST(TangentSpace, TangentIsTheNormalisedSumOfTheCorners)
{
    // A bent quad: the two triangles' frames differ a little and are averaged.
    const std::vector<SVert> quad = {{{0, 0, 0}, {0, 0, 1}, {0, 0}},
                                     {{1, 0, 0}, {0, 0, 1}, {1, 0}},
                                     {{0, 1, 0}, {0, 0, 1}, {0, 1}},
                                     {{1, 1, 0}, {0, 0, 1}, {1.2f, 1}}};
    std::vector<uint32_t> faces = {0, 1, 2, 1, 3, 2};
    const std::vector<uint8_t> in = Records(quad);
    std::vector<uint8_t> out;
    uint32_t count = 0;
    ASSERT_EQ(Generate(faces, in, 4, 0.5f, &out, &count), 0);
    ASSERT_EQ(count, 4u);
    // Vertex 1 is in both triangles: its tangent is the sum of both corner
    // tangents, normalised.
    const float n[3] = {0, 0, 1};
    const float p0[3] = {0, 0, 0}, p1[3] = {1, 0, 0}, p2[3] = {0, 1, 0}, p3[3] = {1, 1, 0};
    const float t0[2] = {0, 0}, t1[2] = {1, 0}, t2[2] = {0, 1}, t3[2] = {1.2f, 1};
    float Ta[3], Ba[3], Tb[3], Bb[3];
    CornerTangent(Ta, Ba, n, p1, p2, p0, t1, t2, t0);
    CornerTangent(Tb, Bb, n, p1, p3, p2, t1, t3, t2);
    float sum[3] = {Ta[0] + Tb[0], Ta[1] + Tb[1], Ta[2] + Tb[2]};
    const float len = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
    ExpectVec(Vec(out, 1, 32), sum[0] / len, sum[1] / len, sum[2] / len, "summed tangent");
    EXPECT_GT(std::fabs(Ta[1] - Tb[1]), 1e-3f); // the corners did differ
}

TEST(TangentSpace, MirroredSeamSplitsTheVertex)
{
    // Two quads side by side; u runs with x on the left and against it on
    // the right, so vertices 1 and 3 on the seam see opposite tangents.
    const std::vector<SVert> verts = {{{0, 0, 0}, {0, 0, 1}, {0, 0}}, {{1, 0, 0}, {0, 0, 1}, {1, 0}},
                                      {{0, 1, 0}, {0, 0, 1}, {0, 1}}, {{1, 1, 0}, {0, 0, 1}, {1, 1}},
                                      {{2, 0, 0}, {0, 0, 1}, {0, 0}}, {{2, 1, 0}, {0, 0, 1}, {0, 1}}};
    const std::vector<uint32_t> quads = {0, 1, 2, 1, 3, 2, 1, 4, 3, 4, 5, 3};
    const std::vector<uint8_t> in = Records(verts);
    for (float t : {-0.9f, 0.0f, 0.5f, 1.0f}) {
        std::vector<uint32_t> faces = quads;
        std::vector<uint8_t> out;
        uint32_t count = 0;
        ASSERT_EQ(Generate(faces, in, 6, t, &out, &count), 0);
        EXPECT_EQ(count, 8u) << t;
        for (int tri = 0; tri < 4; ++tri)
            for (int k = 0; k < 3; ++k) {
                ExpectVec(Vec(out, faces[tri * 3 + k], 32), tri < 2 ? 1.0f : -1.0f, 0, 0, "tangent");
                ExpectVec(Vec(out, faces[tri * 3 + k], 44), 0, 1, 0, "binormal");
            }
        EXPECT_NE(faces[1], faces[6]) << "vertex 1 split";
        EXPECT_NE(faces[4], faces[8]) << "vertex 3 split";
    }
    // At -1 and below all corners of a vertex share one group: no split.
    std::vector<uint32_t> faces = quads;
    std::vector<uint8_t> out;
    uint32_t count = 0;
    ASSERT_EQ(Generate(faces, in, 6, -1.0f, &out, &count), 0);
    EXPECT_EQ(count, 6u);
}

TEST(TangentSpace, AboveOneEveryCornerGetsItsOwnVertex)
{
    SSceneMesh m = GridMesh(2, 1);
    std::vector<uint32_t> faces = ReadIndices(m.sIndexData, IndexCount(m));
    std::vector<SVert> verts(m.uiVertexCount);
    const std::vector<float> p = Floats(m.sPosition, m.uiVertexCount);
    const std::vector<float> uv = Floats(m.psTexCoord[0], m.uiVertexCount);
    for (uint32_t v = 0; v < m.uiVertexCount; ++v)
        verts[v] = {{p[v * 3], p[v * 3 + 1], 0}, {0, 0, 1}, {uv[v * 3], uv[v * 3 + 1]}};
    std::vector<uint8_t> out;
    uint32_t count = 0;
    ASSERT_EQ(Generate(faces, Records(verts), m.uiVertexCount, 1.5f, &out, &count), 0);
    EXPECT_EQ(count, uint32_t(faces.size()));
}

TEST(TangentSpace, NoMoreThanThreeVerticesPerInputVertex)
{
    // A 3 x 3 grid has 54 corners but 16 vertices: splitting all of them
    // would pass 3 x 16.
    SSceneMesh m = GridMesh(3, 3);
    std::vector<uint32_t> faces = ReadIndices(m.sIndexData, IndexCount(m));
    const std::vector<uint32_t> before = faces;
    std::vector<SVert> verts(m.uiVertexCount);
    const std::vector<float> p = Floats(m.sPosition, m.uiVertexCount);
    for (uint32_t v = 0; v < m.uiVertexCount; ++v)
        verts[v] = {{p[v * 3], p[v * 3 + 1], 0}, {0, 0, 1}, {p[v * 3], p[v * 3 + 1]}};
    std::vector<uint8_t> out;
    uint32_t count = 0;
    EXPECT_EQ(Generate(faces, Records(verts), m.uiVertexCount, 1.5f, &out, &count), 1);
    EXPECT_EQ(faces, before);
}

TEST(TangentSpace, EqualUGivesZeroAndUnusedVerticesGo)
{
    const std::vector<SVert> verts = {{{0, 0, 0}, {0, 0, 1}, {0.5f, 0}},
                                      {{1, 0, 0}, {0, 0, 1}, {0.5f, 0.3f}},
                                      {{5, 5, 5}, {0, 0, 1}, {0, 0}}, // used by nothing
                                      {{0, 1, 0}, {0, 0, 1}, {0.5f, 1}}};
    std::vector<uint32_t> faces = {0, 1, 3};
    std::vector<uint8_t> out;
    uint32_t count = 0;
    ASSERT_EQ(Generate(faces, Records(verts), 4, 0.0f, &out, &count), 0);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(faces, std::vector<uint32_t>({0, 1, 2}));
    for (uint32_t v = 0; v < 3; ++v) {
        ExpectVec(Vec(out, v, 32), 0, 0, 0, "zero tangent, not NaN");
        ExpectVec(Vec(out, v, 44), 0, 0, 0, "zero binormal, not NaN");
    }
    ExpectVec(Vec(out, 2, 0), 0, 1, 0, "third output vertex is input vertex 3");
}

TEST(TangentSpace, FailsAndChangesNothing)
{
    // A fan of 33 triangles round vertex 0.
    std::vector<SVert> verts = {{{0, 0, 0}, {0, 0, 1}, {0.5f, 0.5f}}};
    std::vector<uint32_t> fan;
    for (uint32_t i = 0; i <= 33; ++i) {
        const float a = float(i) * 0.18f;
        verts.push_back({{std::cos(a), std::sin(a), 0}, {0, 0, 1}, {std::cos(a), std::sin(a)}});
        if (i > 0)
            fan.insert(fan.end(), {0, i, i + 1});
    }
    const struct {
        const char* what;
        std::vector<uint32_t> faces;
    } cases[] = {
        {"33 triangles at one vertex", fan},
        {"repeated index", {0, 1, 1}},
        {"index past the vertices", {0, 1, 99}},
    };
    const std::vector<uint8_t> in = Records(verts);
    for (const auto& c : cases) {
        std::vector<uint32_t> faces = c.faces;
        std::vector<uint8_t> out = {1, 2, 3};
        uint32_t count = 77;
        EXPECT_EQ(Generate(faces, in, uint32_t(verts.size()), 0.0f, &out, &count), 1) << c.what;
        EXPECT_EQ(faces, c.faces) << c.what;
        EXPECT_EQ(count, 77u) << c.what;
        EXPECT_EQ(out, std::vector<uint8_t>({1, 2, 3})) << c.what;
    }
    // 32 triangles are fine.
    std::vector<uint32_t> faces(fan.begin(), fan.begin() + 32 * 3);
    std::vector<uint8_t> out;
    uint32_t count = 0;
    EXPECT_EQ(Generate(faces, in, uint32_t(verts.size()), 0.0f, &out, &count), 0);
}
