// Strip generator, strip order, strip building, de-indexing and winding.
#include <gtest/gtest.h>

#include <random>

#include "AdversarialShapes.h"
#include "PerMeshTestUtil.h"
#include "StripReference.h"
#include "process/IndexList.h"
#include "process/TriStrip.h"
#include "process/VertexLayout.h"

using namespace permesh;

namespace {

// The triangles that strips stand for.
std::vector<uint32_t> StripTriangles(const std::vector<uint32_t>& indices, const std::vector<uint32_t>& lengths)
{
    SSceneMesh m;
    uint32_t triangles = 0;
    for (uint32_t l : lengths)
        triangles += l;
    m.uiTriangleCount = triangles;
    m.puiStripTriangles = lengths;
    WriteIndices32(m.sIndexData, indices);
    return TriangleList(m);
}

// The generator's strips equal the literal reference's for these triangles.
void ExpectLiteralStrips(const std::vector<uint32_t>& faces, const std::string& name)
{
    const uint32_t n = uint32_t(faces.size() / 3);
    std::vector<uint32_t> indices, lengths, refIndices, refLengths;
    GenerateTriStrips(faces.data(), n, &indices, &lengths);
    reference::LiteralTriStrips(faces.data(), n, &refIndices, &refLengths);
    EXPECT_EQ(lengths, refLengths) << name;
    EXPECT_EQ(indices, refIndices) << name;
}

} // namespace

TEST(TriStrip, MatchesTheLiteralGeneratorOnRandomMeshes)
{
    std::mt19937 rng(20240611);
    for (int i = 0; i < 400; ++i) {
        uint32_t vertexCount = 0;
        const std::vector<uint32_t> faces = RandomFaces(rng, &vertexCount);
        const uint32_t n = uint32_t(faces.size() / 3);
        std::vector<uint32_t> indices, lengths, refIndices, refLengths;
        GenerateTriStrips(faces.data(), n, &indices, &lengths);
        reference::LiteralTriStrips(faces.data(), n, &refIndices, &refLengths);
        ASSERT_EQ(lengths, refLengths) << "mesh " << i;
        ASSERT_EQ(indices, refIndices) << "mesh " << i;
        // And the strips hold every triangle once, wound as before.
        ASSERT_EQ(TriangleSet(StripTriangles(indices, lengths)), TriangleSet(faces)) << "mesh " << i;
    }
}

TEST(TriStrip, MatchesTheLiteralGeneratorOnClosedBands)
{
    // A torus: no triangle has a single neighbour, every walk path loops.
    for (uint32_t size : {3u, 5u, 8u}) {
        std::vector<uint32_t> faces;
        for (uint32_t y = 0; y < size; ++y)
            for (uint32_t x = 0; x < size + 1; ++x) {
                const uint32_t w = size + 1;
                const uint32_t a = y * w + x, b = y * w + (x + 1) % w, c = ((y + 1) % size) * w + x,
                               d = ((y + 1) % size) * w + (x + 1) % w;
                faces.insert(faces.end(), {a, b, c, b, d, c});
            }
        ExpectLiteralStrips(faces, "torus " + std::to_string(size));
    }
    // A capped cylinder, as modelling tools write it: walks along its side
    // come back round to their own triangles, and paths run on into the caps.
    for (uint32_t segments : {6u, 13u, 40u}) {
        const uint32_t rows = segments / 4 + 1, ring = segments;
        std::vector<uint32_t> faces;
        for (uint32_t y = 0; y < rows; ++y)
            for (uint32_t x = 0; x < ring; ++x) {
                const uint32_t a = y * ring + x, b = y * ring + (x + 1) % ring, c = a + ring, d = b + ring;
                faces.insert(faces.end(), {a, b, c, b, d, c});
            }
        const uint32_t bottom = (rows + 1) * ring, top = bottom + 1;
        for (uint32_t x = 0; x < ring; ++x) {
            faces.insert(faces.end(), {bottom, (x + 1) % ring, x});
            faces.insert(faces.end(), {top, rows * ring + x, rows * ring + (x + 1) % ring});
        }
        ExpectLiteralStrips(faces, "cylinder " + std::to_string(segments));
    }
}

TEST(TriStrip, MatchesTheLiteralGeneratorOnAdversarialShapes)
{
    for (const SShapeCase& shape : AdversarialShapes())
        ExpectLiteralStrips(shape.faces, shape.name);
}

TEST(TriStrip, MatchesTheLiteralGeneratorOnLongFansAndStrips)
{
    // Long enough for many improvement passes (a fan takes dozens: defects
    // wander until they meet) and for walks that run along long strips.
    // Meshes from 2,048 triangles run their attempts on both cores.
    std::mt19937 rng(1415);
    struct SCase {
        const char* name;
        std::vector<uint32_t> faces;
        bool shuffle;
    };
    const std::vector<SCase> cases = {
        {"fan", FanFaces(600), false},
        {"fan shuffled", FanFaces(600), true},
        {"thin strip", ThinStripFaces(1000), false},
        {"thin strip shuffled", ThinStripFaces(1000), true},
        // Big enough for the attempts to run side by side.
        {"fan shuffled, attempts side by side", FanFaces(2100), true},
        {"thin strip shuffled, attempts side by side", ThinStripFaces(2100), true},
    };
    for (SCase shape : cases) {
        if (shape.shuffle)
            ShuffleTriangles(shape.faces, rng);
        ExpectLiteralStrips(shape.faces, shape.name);
    }
}

TEST(TriStrip, GridBecomesFewLongStrips)
{
    const std::vector<uint32_t> faces = GridFaces(12, 7);
    std::vector<uint32_t> indices, lengths;
    GenerateTriStrips(faces.data(), uint32_t(faces.size() / 3), &indices, &lengths);
    EXPECT_LE(lengths.size(), 12u); // one per row or column
    EXPECT_EQ(indices.size(), faces.size() / 3 + 2 * lengths.size());
    EXPECT_EQ(TriangleSet(StripTriangles(indices, lengths)), TriangleSet(faces));
}

TEST(TriStrip, SameInputSameStrips)
{
    std::mt19937 rng(3);
    std::vector<uint32_t> faces = GridFaces(20, 20, true);
    ShuffleTriangles(faces, rng);
    std::vector<uint32_t> i1, l1, i2, l2;
    GenerateTriStrips(faces.data(), uint32_t(faces.size() / 3), &i1, &l1);
    std::srand(12345); // whatever the generator's state before
    GenerateTriStrips(faces.data(), uint32_t(faces.size() / 3), &i2, &l2);
    EXPECT_EQ(i1, i2);
    EXPECT_EQ(l1, l2);
}

TEST(TriStrip, IsolatedTriangleIsAStripOfOne)
{
    const std::vector<uint32_t> faces = {4, 9, 2};
    std::vector<uint32_t> indices, lengths;
    GenerateTriStrips(faces.data(), 1, &indices, &lengths);
    EXPECT_EQ(lengths, std::vector<uint32_t>({1}));
    EXPECT_EQ(indices, faces);

    GenerateTriStrips(faces.data(), 0, &indices, &lengths);
    EXPECT_TRUE(indices.empty());
    EXPECT_TRUE(lengths.empty());
}

TEST(TriStrip, TrianglesWithARepeatedIndexStayOnTheirOwn)
{
    // (5, 5, 6) shares the edge 5-6 with its neighbour but cannot be written
    // inside a strip.
    const std::vector<uint32_t> faces = {0, 1, 2, 2, 1, 3, 5, 5, 6, 6, 5, 7};
    std::vector<uint32_t> indices, lengths;
    GenerateTriStrips(faces.data(), 4, &indices, &lengths);
    EXPECT_EQ(TriangleSet(StripTriangles(indices, lengths)), TriangleSet(faces));
}

TEST(TriStrip, FarApartVertexNumbersNeedNoHugeTables)
{
    // Two triangles on vertex numbers near the top of the range: the same
    // strip as on small numbers.
    const uint32_t big = 0xFFFFFFF0u;
    const std::vector<uint32_t> faces = {big, 7, big + 5, big + 5, 7, 3};
    std::vector<uint32_t> indices, lengths;
    GenerateTriStrips(faces.data(), 2, &indices, &lengths);
    EXPECT_EQ(lengths, std::vector<uint32_t>({2}));
    EXPECT_EQ(TriangleSet(StripTriangles(indices, lengths)), TriangleSet(faces));
}

TEST(TriStrip, TrianglesSharingTwoEdgesKeepTheirCorners)
{
    // Both sides of a quad on the same vertices, in strips with the rest:
    // each back triangle shares all three edges with a front one.
    const std::vector<uint32_t> faces = {0, 1, 2, 2, 1, 3, 0, 2, 1, 2, 3, 1, 3, 4, 2, 1, 4, 3};
    for (int rotate = 0; rotate < 6; ++rotate) {
        std::vector<uint32_t> f = faces;
        std::rotate(f.begin(), f.begin() + rotate * 3, f.end());
        std::vector<uint32_t> indices, lengths;
        GenerateTriStrips(f.data(), 6, &indices, &lengths);
        EXPECT_EQ(TriangleSet(StripTriangles(indices, lengths)), TriangleSet(f)) << rotate;
    }
}

TEST(TriStrip, StripOrderKeepsEveryTriangleAndItsWinding)
{
    std::mt19937 rng(99);
    for (int i = 0; i < 100; ++i) {
        uint32_t vertexCount = 0;
        const std::vector<uint32_t> faces = RandomFaces(rng, &vertexCount);
        std::vector<uint32_t> ordered = faces;
        TriStripOrder(ordered.data(), uint32_t(ordered.size() / 3));
        ASSERT_EQ(TriangleSet(ordered), TriangleSet(faces)) << "mesh " << i;
    }
    // In strip order, consecutive triangles of a strip share an edge, so the
    // strips built from that order are the generator's.
    const std::vector<uint32_t> grid = GridFaces(9, 4);
    std::vector<uint32_t> ordered = grid;
    TriStripOrder(ordered.data(), uint32_t(ordered.size() / 3));
    std::vector<uint32_t> indices, lengths;
    GenerateTriStrips(grid.data(), uint32_t(grid.size() / 3), &indices, &lengths);
    SSceneMesh m;
    m.uiTriangleCount = uint32_t(ordered.size() / 3);
    WriteIndices32(m.sIndexData, ordered);
    BuildStrips(m);
    EXPECT_EQ(m.puiStripTriangles, lengths);
}

struct SBuildCase {
    const char* name;
    std::vector<uint32_t> faces;
    std::vector<uint32_t> lengths;
    std::vector<uint32_t> indices;
};

TEST(BuildStrips, JoinsTrianglesThatContinueTheStrip)
{
    const SBuildCase cases[] = {
        {"one triangle", {0, 1, 2}, {1}, {0, 1, 2}},
        // (2, 1, 3) continues (0, 1, 2): odd length, b = b and a = c.
        {"two", {0, 1, 2, 2, 1, 3}, {2}, {0, 1, 2, 3}},
        // Then (2, 3, 4): even length, a = a and b = c.
        {"three", {0, 1, 2, 2, 1, 3, 2, 3, 4}, {3}, {0, 1, 2, 3, 4}},
        // Wrong winding: a new strip.
        {"reversed", {0, 1, 2, 1, 2, 3}, {1, 1}, {0, 1, 2, 1, 2, 3}},
        {"apart", {0, 1, 2, 3, 4, 5}, {1, 1}, {0, 1, 2, 3, 4, 5}},
    };
    for (const SBuildCase& c : cases) {
        SSceneMesh m;
        m.uiTriangleCount = uint32_t(c.faces.size() / 3);
        WriteIndices32(m.sIndexData, c.faces);
        BuildStrips(m);
        EXPECT_EQ(m.puiStripTriangles, c.lengths) << c.name;
        EXPECT_EQ(ReadIndices(m.sIndexData, IndexCount(m)), c.indices) << c.name;
        EXPECT_EQ(m.sIndexData.pData.size(), IndexCount(m) * 4) << c.name;
        EXPECT_EQ(TriangleSet(TriangleList(m)), TriangleSet(c.faces)) << c.name;
    }
}

TEST(BuildStrips, NeverCrossesABoneBatch)
{
    // Four triangles of one strip, split into batches after the second.
    SSceneMesh m;
    const std::vector<uint32_t> faces = {0, 1, 2, 2, 1, 3, 2, 3, 4, 4, 3, 5};
    m.uiTriangleCount = 4;
    WriteIndices32(m.sIndexData, faces);
    m.uiBatchCount = 2;
    m.uiBatchCapacity = 4;
    m.puiBatchStartTriangle = {0, 2};
    m.puiBatchBoneTotals = {1, 1};
    m.puiBatchBoneList = {0, 0, 0, 0, 1, 0, 0, 0};
    BuildStrips(m);
    EXPECT_EQ(m.puiStripTriangles, std::vector<uint32_t>({2, 2}));
    EXPECT_EQ(ReadIndices(m.sIndexData, IndexCount(m)), std::vector<uint32_t>({0, 1, 2, 3, 2, 3, 4, 5}));
    EXPECT_EQ(TriangleSet(TriangleList(m)), TriangleSet(faces));

    // The same without batches is one strip.
    m.uiBatchCount = 0;
    m.puiBatchStartTriangle.clear();
    m.puiStripTriangles.clear();
    WriteIndices32(m.sIndexData, faces);
    BuildStrips(m);
    EXPECT_EQ(m.puiStripTriangles, std::vector<uint32_t>({4}));
}

TEST(FlipWinding, ReversesEveryTriangleInBothIndexTypes)
{
    SSceneMesh m;
    m.uiTriangleCount = 2;
    WriteIndices32(m.sIndexData, {0, 1, 2, 3, 4, 5});
    FlipWinding(m, 0, 2, 1);
    EXPECT_EQ(ReadIndices(m.sIndexData, 6), std::vector<uint32_t>({0, 2, 1, 3, 5, 4}));

    m.sIndexData.eType = eZGXTUShort;
    m.sIndexData.uiStride = 2;
    m.sIndexData.pData = {0, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0};
    FlipWinding(m, 0, 2, 1);
    EXPECT_EQ(ReadIndices(m.sIndexData, 6), std::vector<uint32_t>({0, 2, 1, 3, 5, 4}));
}

TEST(DeindexMesh, OneVertexPerIndexForListsAndStrips)
{
    for (bool strips : {false, true}) {
        SSceneMesh m = GridMesh(3, 2);
        if (strips)
            BuildStrips(m);
        const std::vector<uint32_t> indices = ReadIndices(m.sIndexData, IndexCount(m));
        const std::vector<float> before = Floats(m.sPosition, m.uiVertexCount);
        InterleaveMesh(m, 1);
        DeindexMesh(m);
        InterleaveMesh(m, 1);
        ASSERT_EQ(m.uiVertexCount, uint32_t(indices.size())) << strips;
        EXPECT_TRUE(m.sIndexData.pData.empty());
        EXPECT_EQ(m.sIndexData.uiComponentCount, 0u);
        EXPECT_EQ(m.sIndexData.uiStride, 0u);
        const std::vector<float> after = Floats(m.sPosition, m.uiVertexCount);
        for (size_t i = 0; i < indices.size(); ++i)
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(after[i * 3 + k], before[indices[i] * 3 + k]);
        EXPECT_EQ(m.puiStripTriangles.empty(), !strips);
    }
}

TEST(TriStrip, MatchesTheLiteralGeneratorOnTinyMeshes)
{
    // Meshes whose first strips no pass can change (the attempts are then
    // skipped) next to ones just big enough for a pass to change them.
    const std::vector<std::vector<uint32_t>> meshes = {
        {0, 1, 2},
        {0, 1, 2, 1, 3, 2},
        {0, 1, 2, 1, 3, 2, 4, 5, 6, 5, 7, 6},
        {0, 1, 2, 0, 2, 3, 0, 3, 4},
        {0, 1, 2, 0, 2, 3, 0, 3, 4, 0, 4, 5},
        {0, 1, 2, 2, 1, 0},
        {0, 1, 2, 0, 1, 2},
        {0, 0, 1, 0, 1, 2},
        ThinStripFaces(3),
        ThinStripFaces(5),
        ThinStripFaces(8),
        GridFaces(2, 2),
        GridFaces(3, 2),
        GridFaces(3, 3),
    };
    for (size_t i = 0; i < meshes.size(); ++i) {
        const uint32_t n = uint32_t(meshes[i].size() / 3);
        std::vector<uint32_t> indices, lengths, refIndices, refLengths;
        GenerateTriStrips(meshes[i].data(), n, &indices, &lengths);
        reference::LiteralTriStrips(meshes[i].data(), n, &refIndices, &refLengths);
        EXPECT_EQ(lengths, refLengths) << "mesh " << i;
        EXPECT_EQ(indices, refIndices) << "mesh " << i;
    }
}
