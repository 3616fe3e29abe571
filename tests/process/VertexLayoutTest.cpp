// Interleaving with padding, de-interleaving, and the vertex order.
#include <gtest/gtest.h>

#include <random>

#include "PerMeshTestUtil.h"
#include "process/IndexList.h"
#include "process/VertexLayout.h"
#include "process/VertexSort.h"
#include "scene/SceneCheck.h"

using namespace permesh;

namespace {

SVertexChannel Channel(EZGXTDataType type, uint32_t components, uint32_t vertexCount, uint8_t seed)
{
    SVertexChannel c;
    c.eType = type;
    c.uiComponentCount = components;
    c.uiStride = ComponentSize(type) * components;
    c.pData.resize(size_t(vertexCount) * c.uiStride);
    for (size_t i = 0; i < c.pData.size(); ++i)
        c.pData[i] = uint8_t(seed + i * 7);
    return c;
}

// Positions (float, 3), UV set 0 (float, 2), colours (RGBA) and bone
// indices (unsigned byte, 4).
SSceneMesh ExampleMesh(uint32_t vertexCount)
{
    SSceneMesh m;
    m.uiVertexCount = vertexCount;
    m.sPosition = Channel(eZGXTFloat, 3, vertexCount, 1);
    m.psTexCoord.push_back(Channel(eZGXTFloat, 2, vertexCount, 2));
    m.sColour = Channel(eZGXTRGBA, 1, vertexCount, 3);
    m.sBoneIndex = Channel(eZGXTUByte, 4, vertexCount, 4);
    return m;
}

} // namespace

TEST(VertexLayout, InterleavesInThreePassesWithPadding)
{
    SSceneMesh m = ExampleMesh(5);
    const SSceneMesh before = m;
    InterleaveMesh(m, 4);
    ASSERT_TRUE(m.IsInterleaved());
    EXPECT_EQ(m.pVertexBlock.size(), 5u * 28);
    const struct {
        const SVertexChannel* channel;
        const SVertexChannel* old;
        uint32_t offset;
    } expected[] = {
        {&m.sPosition, &before.sPosition, 0},
        {&m.psTexCoord[0], &before.psTexCoord[0], 12},
        {&m.sColour, &before.sColour, 20},
        {&m.sBoneIndex, &before.sBoneIndex, 24},
    };
    for (const auto& e : expected) {
        EXPECT_EQ(e.channel->uiOffset, e.offset);
        EXPECT_EQ(e.channel->uiStride, 28u);
        EXPECT_TRUE(e.channel->pData.empty());
        const uint32_t size = ElementSize(*e.old);
        for (uint32_t v = 0; v < 5; ++v)
            EXPECT_EQ(0, std::memcmp(&m.pVertexBlock[v * 28 + e.offset], &e.old->pData[v * size], size));
    }
    EXPECT_FALSE(m.sNormal.IsPresent());
    EXPECT_EQ(m.sNormal.uiStride, 0u);
}

TEST(VertexLayout, PaddingUnitDecidesTheSlot)
{
    struct {
        uint32_t unit;
        uint32_t stride;   // position float x3, normal short-normalised x3, UV float x2
        uint32_t uvOffset; // 4-byte attributes come first
        uint32_t normalOffset;
    } cases[] = {{1, 26, 12, 20}, {2, 26, 12, 20}, {4, 28, 12, 20}};
    for (const auto& c : cases) {
        SSceneMesh m;
        m.uiVertexCount = 3;
        m.sPosition = Channel(eZGXTFloat, 3, 3, 1);
        m.sNormal = Channel(eZGXTShortNorm, 3, 3, 2);
        m.psTexCoord.push_back(Channel(eZGXTFloat, 2, 3, 3));
        const SSceneMesh before = m;
        InterleaveMesh(m, c.unit);
        EXPECT_EQ(InterleavedStride(m), c.stride) << c.unit;
        EXPECT_EQ(m.psTexCoord[0].uiOffset, c.uvOffset) << c.unit;
        EXPECT_EQ(m.sNormal.uiOffset, c.normalOffset) << c.unit;
        // De-interleaving with the same unit pads each array the same way.
        InterleaveMesh(m, c.unit);
        EXPECT_FALSE(m.IsInterleaved());
        EXPECT_EQ(m.sNormal.uiStride, c.unit == 4 ? 8u : 6u) << c.unit;
        for (uint32_t v = 0; v < 3; ++v) {
            EXPECT_EQ(0, std::memcmp(&m.sNormal.pData[v * m.sNormal.uiStride], &before.sNormal.pData[v * 6], 6));
            if (c.unit == 4) {
                EXPECT_EQ(m.sNormal.pData[v * 8 + 6] | m.sNormal.pData[v * 8 + 7], 0);
            }
        }
    }
}

TEST(VertexLayout, RoundTripRestoresEveryByte)
{
    SSceneMesh m = ExampleMesh(7);
    m.sNormal = Channel(eZGXTShortNorm, 3, 7, 9);
    m.psTexCoord.push_back(Channel(eZGXTUShortNorm, 2, 7, 10));
    m.sBoneWeights = Channel(eZGXTUByteNorm, 3, 7, 11);
    m.sTangent = Channel(eZGXTDec3N, 1, 7, 12);
    const SSceneMesh before = m;
    InterleaveMesh(m, 1);
    EXPECT_EQ(InterleavedStride(m), 12u + 6 + 4 + 8 + 4 + 4 + 4 + 3);
    InterleaveMesh(m, 1);
    EXPECT_TRUE(m == before);
}

TEST(VertexLayout, NothingHappensWithoutVertices)
{
    SSceneMesh m;
    m.sPosition = Channel(eZGXTFloat, 3, 0, 1);
    const SSceneMesh before = m;
    InterleaveMesh(m, 4);
    EXPECT_TRUE(m == before);
}

TEST(VertexLayout, AWideChannelStrideNeverSpillsIntoTheNextAttribute)
{
    // Positions padded to 16 bytes by whoever made them, then a 1-byte
    // colour; the last vertex must not write past the buffer either.
    SSceneMesh m;
    m.uiVertexCount = 4;
    m.sPosition = Channel(eZGXTFloat, 3, 4, 1);
    m.sPosition.uiStride = 16;
    m.sPosition.pData.assign(4 * 16, 0xAB);
    m.sBoneWeights = Channel(eZGXTUByte, 1, 4, 50);
    InterleaveMesh(m, 1);
    ASSERT_EQ(InterleavedStride(m), 13u);
    for (uint32_t v = 0; v < 4; ++v) {
        EXPECT_EQ(m.pVertexBlock[v * 13 + 11], 0xAB);
        EXPECT_EQ(m.pVertexBlock[v * 13 + 12], uint8_t(50 + v * 7));
    }
}

TEST(VertexSort, RenumbersByFirstUseThroughTheInverse)
{
    for (EZGXTDataType indexType : {eZGXTUInt, eZGXTUShort}) {
        std::mt19937 rng(31);
        SSceneMesh m = GridMesh(6, 5);
        // Shuffle the vertices, add one nobody uses.
        std::vector<uint32_t> faces = ReadIndices(m.sIndexData, IndexCount(m));
        std::vector<uint32_t> perm(m.uiVertexCount);
        for (uint32_t i = 0; i < perm.size(); ++i)
            perm[i] = i;
        std::shuffle(perm.begin(), perm.end(), rng);
        std::vector<float> p = Floats(m.sPosition, m.uiVertexCount), shuffled(p.size() + 3, -1.0f);
        for (uint32_t v = 0; v < perm.size(); ++v)
            for (int k = 0; k < 3; ++k)
                shuffled[perm[v] * 3 + k] = p[v * 3 + k];
        for (uint32_t& i : faces)
            i = perm[i];
        SSceneMesh s = MakeMesh(shuffled, {}, {}, faces);
        if (indexType == eZGXTUShort) {
            s.sIndexData.eType = eZGXTUShort;
            s.sIndexData.uiStride = 2;
            s.sIndexData.pData.clear();
            for (uint32_t i : faces)
                s.sIndexData.pData.insert(s.sIndexData.pData.end(), {uint8_t(i), uint8_t(i >> 8)});
        }
        const auto before = TrianglesByContent(s, {&s.sPosition});
        InterleaveMesh(s, 1);
        SortMeshVertices(s);
        InterleaveMesh(s, 1);
        EXPECT_EQ(s.sIndexData.eType, indexType);
        EXPECT_EQ(TrianglesByContent(s, {&s.sPosition}), before);
        // New vertex numbers appear in order in the index list.
        const std::vector<uint32_t> out = ReadIndices(s.sIndexData, IndexCount(s));
        uint32_t next = 0;
        for (uint32_t i : out) {
            ASSERT_LE(i, next);
            next += (i == next);
        }
        // The unused vertex is kept, last.
        EXPECT_EQ(next, s.uiVertexCount - 1);
        EXPECT_EQ(Floats(s.sPosition, s.uiVertexCount)[(s.uiVertexCount - 1) * 3], -1.0f);
    }
}

TEST(VertexSort, LeavesSeparateChannelsAlone)
{
    SSceneMesh m = GridMesh(2, 2);
    const SSceneMesh before = m;
    SortMeshVertices(m);
    EXPECT_TRUE(m == before);
}
