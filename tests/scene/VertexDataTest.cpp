#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "SceneTestUtil.h"
#include "options/Options.h"
#include "process/VertexData.h"
#include "scene/VertexDataTypes.h"

namespace {

std::vector<uint8_t> LE(std::initializer_list<uint64_t> values, int width)
{
    std::vector<uint8_t> out;
    for (uint64_t v : values)
        for (int i = 0; i < width; ++i)
            out.push_back(uint8_t(v >> (8 * i)));
    return out;
}

std::vector<float> ReadAll(const SVertexChannel& c, uint32_t vertices)
{
    std::vector<float> out;
    for (uint32_t v = 0; v < vertices; ++v) {
        float f[4];
        ReadVertex(f, &c.pData[size_t(v) * c.uiStride], c.eType, c.uiComponentCount);
        const uint32_t n = IsPackedType(c.eType) ? ValuesPerElement(c.eType) : c.uiComponentCount;
        out.insert(out.end(), f, f + n);
    }
    return out;
}

} // namespace

// Every type: what a write stores (truncation, low bits, clamping) and what a
// read gives back.
TEST(VertexDataTypes, WriteAndReadEveryType)
{
    struct SCase {
        uint32_t type;
        std::vector<float> in;
        std::vector<uint8_t> stored; // little-endian element bytes
        std::vector<float> read;
    };
    const float b127 = 127.0f / 255.0f, b63 = 63.0f / 255.0f;
    const SCase cases[] = {
        {eZGXTFloat, {1.5f, -2.25f}, LE({0x3FC00000, 0xC0100000}, 4), {1.5f, -2.25f}},
        {eZGXTInt, {-2.7f, 2.7f}, LE({0xFFFFFFFE, 2}, 4), {-2, 2}},
        {eZGXTUShort, {65537.9f, -1.0f}, LE({1, 0xFFFF}, 2), {1, 65535}},
        {eZGXTRGBA, {1.0f, 0.5f, 0.25f, 2.0f}, LE({0xFF7F3FFF}, 4), {1, b127, b63, 1}},
        {eZGXTARGB, {1.0f, 0.5f, 0.25f, 2.0f}, LE({0xFFFF7F3F}, 4), {1, b127, b63, 1}},
        {eZGXTD3DColour, {-1.0f, 0.5f, 0.25f, 0.0f}, LE({0x00007F3F}, 4), {0, b127, b63, 0}},
        {eZGXTUByte4, {300.0f, -5.0f, 7.9f, 128.0f}, {255, 0, 7, 128}, {255, 0, 7, 128}},
        {eZGXTDec3N, {1.0f, -1.0f, 2.0f}, LE({0x1FF805FF}, 4), {1, -1, 1}},
        {eZGXTFixed16, {1.5f, -0.5f}, LE({98304, 0xFFFF8000}, 4), {1.5f, -0.5f}},
        {eZGXTUByte, {256.5f, 3.9f}, {0, 3}, {0, 3}},
        {eZGXTShort, {-40000.0f, -3.9f}, LE({0x63C0, 0xFFFD}, 2), {25536, -3}},
        {eZGXTShortNorm, {1.0f, -1.0f}, LE({0x7FFF, 0x8001}, 2), {1, -1}},
        {eZGXTByte, {-3.9f, 127.0f}, {0xFD, 0x7F}, {-3, 127}},
        {eZGXTByteNorm, {1.0f, 0.5f}, {127, 63}, {1, 63.0f / 127.0f}},
        {eZGXTUByteNorm, {0.5f, 1.0f}, {127, 255}, {b127, 1}},
        {eZGXTUShortNorm, {1.0f, 0.5f}, LE({65535, 32767}, 2), {1, 32767.0f / 65535.0f}},
        {eZGXTUInt, {3e9f, 7.5f}, LE({3000000000u, 7}, 4), {3e9f, 7}},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(DataTypeName(c.type));
        uint8_t element[16];
        std::memset(element, 0xCC, sizeof(element));
        float in[4] = {0, 0, 0, 0};
        std::copy(c.in.begin(), c.in.end(), in);
        const uint32_t count = uint32_t(c.in.size());
        WriteVertex(element, c.type, count, in);
        ASSERT_EQ(std::vector<uint8_t>(element, element + c.stored.size()), c.stored);
        EXPECT_EQ(element[c.stored.size()], 0xCC) << "wrote past the element";

        float out[4];
        ReadVertex(out, element, c.type, IsPackedType(c.type) ? 1 : count);
        for (size_t i = 0; i < c.read.size(); ++i)
            EXPECT_FLOAT_EQ(out[i], c.read[i]) << "value " << i;
        // Values not read stay at (0, 0, 0, 1).
        if (c.read.size() < 4) {
            EXPECT_EQ(out[3], 1.0f);
        }
    }
    EXPECT_EQ(ComponentSize(0), 0u);
    EXPECT_EQ(ComponentSize(18), 0u);
    EXPECT_STREQ(DataTypeName(99), "unknown");
}

TEST(VertexDataTypes, IndicesKnowOnlySixteenAndThirtyTwoBits)
{
    uint8_t b[4] = {0, 0, 0, 0};
    WriteIndex(b, eZGXTUShort, 0x12345);
    EXPECT_EQ(ReadIndex(b, eZGXTUShort), 0x2345u);
    WriteIndex(b, eZGXTUInt, 0xDEADBEEF);
    EXPECT_EQ(ReadIndex(b, eZGXTUInt), 0xDEADBEEFu);
    EXPECT_EQ(ReadIndex(b, eZGXTFloat), 0u);
}

TEST(VertexData, ConvertChannelBetweenPackedAndPlainTypes)
{
    // A missing fourth value reads as 1: three float colour values give a = 255.
    SVertexChannel colour = ChannelOf(eZGXTFloat, 3, 2, {1, 0, 0, 0, 0.5f, 1});
    ConvertChannel(colour, 2, eZGXTRGBA);
    EXPECT_EQ(colour.uiComponentCount, 1u);
    EXPECT_EQ(colour.uiStride, 4u);
    EXPECT_EQ(colour.pData, LE({0xFF0000FF, 0x007FFFFF}, 4));

    // Back to float: a four-component channel.
    ConvertChannel(colour, 2, eZGXTFloat);
    EXPECT_EQ(colour.uiComponentCount, 4u);
    EXPECT_EQ(colour.uiStride, 16u);
    EXPECT_EQ(ReadAll(colour, 2), (std::vector<float>{1, 0, 0, 1, 0, 127.0f / 255.0f, 1, 1}));

    // Same stride: converted in place.
    SVertexChannel pair = ChannelOf(eZGXTUShort, 2, 1, {300, 2});
    ConvertChannel(pair, 1, eZGXTUByte4);
    EXPECT_EQ(pair.uiStride, 4u);
    EXPECT_EQ(pair.pData, (std::vector<uint8_t>{255, 2, 0, 1}));

    // More than four components keep every value.
    SVertexChannel wide = ChannelOf(eZGXTFloat, 6, 1, {1, 2, 3, 4, 5, 6});
    ConvertChannel(wide, 1, eZGXTShort);
    EXPECT_EQ(wide.uiStride, 12u);
    EXPECT_EQ(wide.pData, LE({1, 2, 3, 4, 5, 6}, 2));
}

TEST(VertexData, ConvertChannelLeavesSomeChannelsAlone)
{
    SVertexChannel empty;
    empty.eType = eZGXTFloat;
    empty.uiComponentCount = 3;
    ConvertChannel(empty, 10, eZGXTShort);
    EXPECT_EQ(empty.eType, eZGXTFloat);

    SVertexChannel c = ChannelOf(eZGXTFloat, 2, 2, {1, 2, 3, 4});
    const SVertexChannel before = c;
    ConvertChannel(c, 2, eZGXTFloat); // same type
    ConvertChannel(c, 2, 0);          // no type
    ConvertChannel(c, 2, 40);         // unknown type
    EXPECT_EQ(c, before);
    // A vertex count beyond the data reads no further than the data.
    ConvertChannel(c, 1000, eZGXTShort);
    EXPECT_EQ(c.pData.size(), 8u);
}

TEST(VertexData, SwizzleSelectsReordersAndNegates)
{
    SVertexChannel c = ChannelOf(eZGXTFloat, 3, 2, {1, 2, 3, 4, 5, 6});
    SwizzleChannel(c, 2, {2, -1, 0, 0});
    EXPECT_EQ(c.uiComponentCount, 2u);
    EXPECT_EQ(c.uiStride, 8u);
    EXPECT_EQ(ReadAll(c, 2), (std::vector<float>{2, -1, 5, -4}));

    // Never more components than before.
    SwizzleChannel(c, 2, {1, 2, 3, 4});
    EXPECT_EQ(c.uiComponentCount, 2u);

    // A packed colour keeps one element; values after the codes are 0.
    SVertexChannel colour = ChannelOf(eZGXTRGBA, 1, 1, {1, 1, 1, 1});
    SwizzleChannel(colour, 1, {1, 2, 3, 0});
    EXPECT_EQ(colour.uiStride, 4u);
    EXPECT_EQ(colour.pData, LE({0xFFFFFF00}, 4));

    // No codes: the attribute disappears.
    SwizzleChannel(c, 2, {0, 0, 0, 0});
    EXPECT_EQ(c.uiComponentCount, 0u);
    EXPECT_EQ(c.uiStride, 0u);
    EXPECT_TRUE(c.pData.empty());
}

TEST(VertexData, ComponentCodesFromMasks)
{
    EXPECT_EQ(MakeComponentCodes(true, 135), (SComponentCodes{1, 2, 3, 0})); // xyz, no w
    EXPECT_EQ(MakeComponentCodes(true, 15), (SComponentCodes{1, 2, 3, 4}));
    EXPECT_EQ(MakeComponentCodes(true, 0x8F), (SComponentCodes{1, 2, 3, 0}));
    EXPECT_EQ(MakeComponentCodes(true, 0x0A), (SComponentCodes{2, 4, 0, 0}));
    EXPECT_EQ(MakeComponentCodes(false, 15), (SComponentCodes{0, 0, 0, 0}));
}

namespace {

SSceneMesh MeshWithVertices(uint32_t vertices, uint32_t triangles)
{
    SSceneMesh m;
    m.uiVertexCount = vertices;
    m.uiTriangleCount = triangles;
    std::vector<uint32_t> idx(size_t(triangles) * 3);
    for (size_t i = 0; i < idx.size(); ++i)
        idx[i] = uint32_t(i % vertices);
    m.sIndexData = IndexChannel(eZGXTUInt, idx);
    std::vector<float> pos(size_t(vertices) * 3);
    for (size_t i = 0; i < pos.size(); ++i)
        pos[i] = float(i % 7) - 3.0f;
    m.sPosition = ChannelOf(eZGXTFloat, 3, vertices, pos);
    m.sNormal = ChannelOf(eZGXTFloat, 3, vertices, std::vector<float>(size_t(vertices) * 3, 0.5f));
    return m;
}

} // namespace

TEST(VertexData, IndicesBecomeSixteenBitUpTo65536Vertices)
{
    COptionsData options;
    for (uint32_t vertices : {65536u, 65537u}) {
        SSceneMesh m = MeshWithVertices(vertices, 2);
        ConvertMeshVertexData(options, m);
        EXPECT_EQ(m.sIndexData.eType, vertices <= 65536 ? eZGXTUShort : eZGXTUInt) << vertices;
    }
    // Strips convert their own index count, not three per triangle.
    SSceneMesh strips = MeshWithVertices(8, 3);
    strips.puiStripTriangles = {3};
    strips.sIndexData = IndexChannel(eZGXTUInt, {0, 1, 2, 3, 4});
    ConvertMeshVertexData(options, strips);
    EXPECT_EQ(strips.sIndexData.pData, LE({0, 1, 2, 3, 4}, 2));
}

TEST(VertexData, UnexportedAttributesAndTextureSetsDisappear)
{
    COptionsData options;
    options.SetExport(eVANormal, false);
    options.SetExport(eVAUVW0, true);
    options.SetExport(eVAUVW1, true);
    options.SetEnable(eVAUVW1, 0x80); // no component bits
    options.SetExport(eVAUVW2, true);
    options.SetType(eVAUVW2, eZGXTShort);
    SSceneMesh m = MeshWithVertices(2, 0);
    m.psTexCoord = {ChannelOf(eZGXTFloat, 3, 2, {1, 2, 3, 4, 5, 6}), ChannelOf(eZGXTFloat, 3, 2, {0, 0, 0, 0, 0, 0}),
                    ChannelOf(eZGXTFloat, 3, 2, {7, 8, 9, 10, 11, 12})};
    ConvertMeshVertexData(options, m);
    EXPECT_EQ(m.sNormal.uiComponentCount, 0u);
    EXPECT_EQ(m.sNormal.uiStride, 0u);
    EXPECT_TRUE(m.sNormal.pData.empty());
    ASSERT_EQ(m.TexCoordSets(), 2u); // set 1 removed, the others keep their order
    EXPECT_EQ(m.psTexCoord[0].eType, eZGXTFloat);
    EXPECT_EQ(ReadAll(m.psTexCoord[0], 2), (std::vector<float>{1, 2, 4, 5})); // UVW mask 131: x and y
    EXPECT_EQ(m.psTexCoord[1].eType, eZGXTShort);
    EXPECT_EQ(ReadAll(m.psTexCoord[1], 2), (std::vector<float>{7, 8, 10, 11}));
}

TEST(VertexData, DirectXNegatesTheFirstSelectedZ)
{
    COptionsData options;
    options.SetCS(eCSDirectX);
    options.SetEnable(eVANormal, 0x83); // x and y only: nothing to negate
    SSceneMesh m = MeshWithVertices(1, 0);
    m.sPosition = ChannelOf(eZGXTFloat, 3, 1, {1, 2, 3});
    m.sNormal = ChannelOf(eZGXTFloat, 3, 1, {4, 5, 6});
    m.fUnpackMatrix[14] = 2.0f;
    ConvertMeshVertexData(options, m);
    EXPECT_EQ(ReadAll(m.sPosition, 1), (std::vector<float>{1, 2, -3}));
    EXPECT_EQ(ReadAll(m.sNormal, 1), (std::vector<float>{4, 5}));
    EXPECT_EQ(m.fUnpackMatrix[14], -2.0f);
}

TEST(VertexData, UnpackMatrixPacksPositionsAndMapsThemBack)
{
    SSceneMesh m;
    m.uiVertexCount = 3;
    // x spans 0..10, y is flat at 5, z spans -2..2.
    const std::vector<float> pos = {0, 5, -2, 10, 5, 0, 4, 5, 2};
    m.sPosition = ChannelOf(eZGXTFloat, 3, 3, pos);
    EXPECT_FALSE(ComputeUnpackMatrix(m, eZGXTUShort));
    EXPECT_EQ(m.sPosition.eType, eZGXTUShort);
    const SMatrix44& u = m.fUnpackMatrix;
    for (float v : u)
        EXPECT_TRUE(std::isfinite(v));
    for (uint32_t v = 0; v < 3; ++v) {
        float q[4];
        ReadVertex(q, &m.sPosition.pData[v * 6], eZGXTUShort, 3);
        for (int a = 0; a < 3; ++a)
            EXPECT_NEAR(q[a] * u[size_t(a * 5)] + u[size_t(12 + a)], pos[v * 3 + uint32_t(a)], 1e-3f);
    }
    // The flat axis is left unscaled.
    EXPECT_EQ(u[5], 1.0f);

    SSceneMesh none;
    none.fUnpackMatrix[0] = 9.0f;
    EXPECT_FALSE(ComputeUnpackMatrix(none, eZGXTUShort)); // no vertices
    EXPECT_EQ(none.fUnpackMatrix, MatrixIdentity());
    SSceneMesh floats = m;
    EXPECT_TRUE(ComputeUnpackMatrix(floats, eZGXTFloat)); // plain conversion
}
