// Triangle sorting: every method keeps the triangles, the geometry sort
// matches its literal description, batches stay apart.
#include <gtest/gtest.h>

#include <meshoptimizer.h>

#include <random>

#include "AdversarialShapes.h"
#include "GeometrySortReference.h"
#include "PerMeshTestUtil.h"
#include "options/Options.h"
#include "process/GeometrySort.h"
#include "process/TriStrip.h"
#include "process/TriangleSort.h"
#include "process/VertexCacheOrder.h"

using namespace permesh;

namespace {

float Acmr(const std::vector<uint32_t>& faces, uint32_t vertexCount)
{
    return meshopt_analyzeVertexCache(faces.data(), faces.size(), vertexCount, 16, 0, 0).acmr;
}

// The sort equals the literal one on the shape, with the default block
// limits and with small ones.
void ExpectLiteralGeometrySort(const SShapeCase& shape)
{
    for (const auto& limits :
         {std::make_pair(kGeometrySortMaxBlockVertices, kGeometrySortMaxBlockTriangles), std::make_pair(9u, 12u)}) {
        std::vector<uint32_t> sorted = shape.faces;
        GeometrySort(nullptr, sorted.data(), 0, shape.vertexCount, uint32_t(sorted.size() / 3), limits.first,
                     limits.second, kGeometrySortKeepVertexOrder);
        ASSERT_EQ(sorted, reference::LiteralGeometrySort(shape.faces, shape.vertexCount, limits.first, limits.second))
            << shape.name << ", blocks of " << limits.first;
    }
}

// The mesh's indices after SortMeshTriangles with this method.
std::vector<uint32_t> SortedIndices(const SSceneMesh& m, int method)
{
    COptionsData options;
    options.SetTriSort(method);
    SSceneMesh sorted = m;
    SortMeshTriangles(options, sorted);
    return ReadIndices(sorted.sIndexData, IndexCount(sorted));
}

} // namespace

class TriangleSortMethod : public ::testing::TestWithParam<int> {};

TEST_P(TriangleSortMethod, KeepsEveryTriangleWithItsWinding)
{
    std::mt19937 rng(77 + GetParam());
    for (int i = 0; i < 60; ++i) {
        uint32_t vertexCount = 0;
        const std::vector<uint32_t> faces = RandomFaces(rng, &vertexCount);
        std::vector<uint32_t> sorted = faces;
        SortTriangles(GetParam(), nullptr, sorted.data(), 0, vertexCount, uint32_t(faces.size() / 3));
        ASSERT_EQ(TriangleSet(sorted), TriangleSet(faces)) << "method " << GetParam() << ", mesh " << i;
    }
}

TEST_P(TriangleSortMethod, ShuffledGridComesOutCacheFriendly)
{
    std::mt19937 rng(5);
    const uint32_t side = 30, vertexCount = (side + 1) * (side + 1);
    std::vector<uint32_t> faces = GridFaces(side, side, true);
    ShuffleTriangles(faces, rng);
    std::vector<uint32_t> sorted = faces;
    SortTriangles(GetParam(), nullptr, sorted.data(), 0, vertexCount, uint32_t(faces.size() / 3));
    EXPECT_EQ(TriangleSet(sorted), TriangleSet(faces));
    if (GetParam() == eTriSortNone)
        EXPECT_EQ(sorted, faces);
    else
        EXPECT_LT(Acmr(sorted, vertexCount), 0.85f * Acmr(faces, vertexCount)) << "method " << GetParam();
    // The same input always gives the same order.
    std::vector<uint32_t> again = faces;
    SortTriangles(GetParam(), nullptr, again.data(), 0, vertexCount, uint32_t(faces.size() / 3));
    EXPECT_EQ(again, sorted);
}

INSTANTIATE_TEST_SUITE_P(AllMethods, TriangleSortMethod,
                         ::testing::Values(eTriSortNone, eTriSortGeometry, eTriSortD3DX, eTriSortTriStrip));

TEST(GeometrySort, MatchesTheLiteralSortOnRandomMeshes)
{
    std::mt19937 rng(4242);
    for (int i = 0; i < 300; ++i) {
        std::vector<uint32_t> faces;
        uint32_t vertexCount = 0;
        if (i % 3 == 0) {
            faces = RandomFaces(rng, &vertexCount);
        } else {
            // Big enough for groups over the block size, in pieces.
            const uint32_t w = 2 + rng() % 12, h = 2 + rng() % 12;
            vertexCount = (w + 1) * (h + 1);
            for (uint32_t t = 0; t < w * h; ++t) {
                if (rng() % 5 == 0)
                    continue; // holes split the grid into pieces of all sizes
                const uint32_t x = t % w, y = t / w, a = y * (w + 1) + x, b = a + 1, c = a + w + 1, d = c + 1;
                faces.insert(faces.end(), {a, b, c, b, d, c});
            }
            ShuffleTriangles(faces, rng);
        }
        // Small blocks as well, so that the block limits are met often.
        const uint32_t maxV = i % 4 == 0 ? 6 + rng() % 10 : kGeometrySortMaxBlockVertices;
        const uint32_t maxT = i % 4 == 0 ? 4 + rng() % 16 : kGeometrySortMaxBlockTriangles;
        std::vector<uint32_t> sorted = faces;
        GeometrySort(nullptr, sorted.data(), 0, vertexCount, uint32_t(faces.size() / 3), maxV, maxT,
                     kGeometrySortKeepVertexOrder);
        ASSERT_EQ(sorted, reference::LiteralGeometrySort(faces, vertexCount, maxV, maxT)) << "mesh " << i;
    }
}

TEST(GeometrySort, MatchesTheLiteralSortOnAdversarialShapes)
{
    for (const SShapeCase& shape : AdversarialShapes())
        ExpectLiteralGeometrySort(shape);
}

// Meshes of many blocks in the shapes that make the sort's cached blocks go
// stale in different ways: random soups (sparse, dense, and with vertices
// that stay apart), grids in order and shuffled, many separate quads, and a
// soup with repeated corners.
TEST(GeometrySort, MatchesTheLiteralSortOnSoupsAndGridsOfManyBlocks)
{
    std::mt19937 rng(1401);
    auto soup = [&](uint32_t triangles, uint32_t vertices) { return SoupFaces(triangles, vertices, rng); };
    std::vector<SShapeCase> cases = {
        {"soup", soup(1200, 600), 600},
        {"dense soup", soup(1200, 150), 150},
        {"sparse soup", soup(500, 1200), 1200},
        {"grid", GridFaces(30, 20), 31 * 21},
        {"grid of mixed diagonals", GridFaces(24, 24, true), 25 * 25},
    };
    {
        std::vector<uint32_t> f = GridFaces(30, 20);
        ShuffleTriangles(f, rng);
        cases.push_back({"shuffled grid", f, 31 * 21});
    }
    {
        std::vector<uint32_t> f;
        for (uint32_t q = 0; q < 300; ++q)
            f.insert(f.end(), {4 * q, 4 * q + 1, 4 * q + 2, 4 * q + 2, 4 * q + 1, 4 * q + 3});
        ShuffleTriangles(f, rng);
        cases.push_back({"separate quads", f, 1200});
    }
    {
        // Some triangles with a corner twice: their vertices count them once.
        std::vector<uint32_t> f = soup(1200, 600);
        for (size_t t = 0; t < f.size() / 3; t += 7)
            f[t * 3 + 2] = f[t * 3 + t % 2];
        cases.push_back({"soup with repeated corners", f, 600});
    }
    for (const SShapeCase& shape : cases)
        ExpectLiteralGeometrySort(shape);
}

TEST(GeometrySort, KeepsTrianglesThatNoBlockTakes)
{
    // A lone triangle with a repeated index makes a piece of two vertices.
    std::vector<uint32_t> faces = GridFaces(3, 3);
    faces.insert(faces.end(), {20, 20, 21});
    std::vector<uint32_t> sorted = faces;
    GeometrySort(nullptr, sorted.data(), 0, 22, uint32_t(faces.size() / 3), 32, 64, kGeometrySortKeepVertexOrder);
    EXPECT_EQ(TriangleSet(sorted), TriangleSet(faces));
    EXPECT_EQ(std::vector<uint32_t>(sorted.end() - 3, sorted.end()), std::vector<uint32_t>({20, 20, 21}));
}

TEST(GeometrySort, WithoutKeepingVerticesRenumbersByFirstUse)
{
    const uint32_t vertexCount = 16;
    std::vector<uint32_t> faces = GridFaces(3, 3);
    std::vector<float> vertices(vertexCount);
    for (uint32_t v = 0; v < vertexCount; ++v)
        vertices[v] = float(v);
    std::vector<uint32_t> sorted = faces;
    GeometrySort(reinterpret_cast<uint8_t*>(vertices.data()), sorted.data(), 4, vertexCount, uint32_t(faces.size() / 3),
                 32, 64, kGeometrySortTriangles);
    uint32_t next = 0;
    std::vector<uint32_t> original;
    for (uint32_t i : sorted) {
        ASSERT_LE(i, next);
        if (i == next)
            ++next;
        original.push_back(uint32_t(vertices[i]));
    }
    // Through the moved vertex data, the triangles are the old ones.
    EXPECT_EQ(TriangleSet(original), TriangleSet(faces));
}

TEST(OptimiseFaceOrder, MovesWholeTrianglesOnly)
{
    std::mt19937 rng(8);
    std::vector<uint32_t> faces = GridFaces(16, 16);
    ShuffleTriangles(faces, rng);
    std::vector<uint32_t> sorted = faces;
    ASSERT_TRUE(OptimiseFaceOrder(sorted.data(), uint32_t(faces.size() / 3), 17 * 17));
    // Each new triangle is an old one with its corners in the same order.
    std::vector<std::array<uint32_t, 3>> oldTris, newTris;
    for (size_t i = 0; i < faces.size(); i += 3) {
        oldTris.push_back({faces[i], faces[i + 1], faces[i + 2]});
        newTris.push_back({sorted[i], sorted[i + 1], sorted[i + 2]});
    }
    std::sort(oldTris.begin(), oldTris.end());
    std::sort(newTris.begin(), newTris.end());
    EXPECT_EQ(newTris, oldTris);
    EXPECT_LT(Acmr(sorted, 17 * 17), Acmr(faces, 17 * 17));

    // An index past the vertices leaves the order alone.
    std::vector<uint32_t> bad = {0, 1, 2, 2, 1, 9};
    EXPECT_FALSE(OptimiseFaceOrder(bad.data(), 2, 4));
    EXPECT_EQ(bad, std::vector<uint32_t>({0, 1, 2, 2, 1, 9}));
}

TEST(OptimiseFaceOrder, TakesTheFirstUnusedOfEqualTriangles)
{
    // Repeated and rotated triangles: each optimiser triangle is matched to
    // the earliest unused input triangle with the same corners in the same
    // cyclic order, as a plain search finds it.
    auto rotated = [](const uint32_t* a, const uint32_t* b) {
        for (int r = 0; r < 3; ++r)
            if (a[0] == b[r] && a[1] == b[(r + 1) % 3] && a[2] == b[(r + 2) % 3])
                return true;
        return false;
    };
    std::vector<SShapeCase> shapes = AdversarialShapes();
    // Also as a bone batch would be: a few of many vertices, numbered apart.
    for (size_t i = 0, count = shapes.size(); i < count; ++i) {
        SShapeCase batch = shapes[i];
        batch.name += " among more vertices";
        for (uint32_t& index : batch.faces)
            index = 700 + 3 * index;
        batch.vertexCount = 700 + 3 * batch.vertexCount + 500;
        shapes.push_back(batch);
    }
    for (const SShapeCase& shape : shapes) {
        const uint32_t n = uint32_t(shape.faces.size() / 3);
        std::vector<uint32_t> optimised(shape.faces.size());
        meshopt_optimizeVertexCache(optimised.data(), shape.faces.data(), shape.faces.size(), shape.vertexCount);
        std::vector<uint32_t> expected;
        std::vector<bool> used(n, false);
        for (uint32_t i = 0; i < n; ++i)
            for (uint32_t t = 0; t < n; ++t)
                if (!used[t] && rotated(&optimised[i * 3], &shape.faces[t * 3])) {
                    used[t] = true;
                    expected.insert(expected.end(), shape.faces.begin() + t * 3, shape.faces.begin() + t * 3 + 3);
                    break;
                }
        std::vector<uint32_t> sorted = shape.faces;
        ASSERT_TRUE(OptimiseFaceOrder(sorted.data(), n, shape.vertexCount)) << shape.name;
        EXPECT_EQ(sorted, expected) << shape.name;
    }
}

TEST(VertexCacheOrder, EmitsWhatMeshoptimizerEmits)
{
    // meshoptimizer's own optimiser is the reference: the same triangles in
    // the same order, on shapes where vertices with many triangles keep
    // their triangles in classes of equal score (fans with the centre at one
    // corner or at each in turn, caps whose rim has been through the cache,
    // centres that share triangles or sit at two corners of one, a hub with
    // too many classes), on those that walk their lists instead (one edge of
    // many triangles, a fan welded at its centre, soups where most vertices
    // have dozens of triangles) and on random small meshes with repeated
    // corners.
    std::mt19937 rng(2026);
    std::vector<SShapeCase> shapes = AdversarialShapes();
    auto add = [&](const std::string& name, std::vector<uint32_t> f) {
        const uint32_t largest = *std::max_element(f.begin(), f.end());
        shapes.push_back({name, f, largest + 1});
        ShuffleTriangles(f, rng);
        shapes.push_back({name + " shuffled", f, largest + 1});
    };
    add("fan of 3,000", FanFaces(3000));
    {
        std::vector<uint32_t> f = FanFaces(3000);
        for (size_t t = 0; t < f.size() / 3; ++t)
            std::rotate(f.begin() + t * 3, f.begin() + t * 3 + t % 3, f.begin() + t * 3 + 3);
        add("fan of 3,000, centre at each corner in turn", f);
    }
    {
        // A cylinder of 1,500 sides, side first: its rim vertices have been
        // in the cache long before the caps come, whose triangles start at
        // each corner in turn.
        const uint32_t n = 1500;
        std::vector<uint32_t> f;
        for (uint32_t i = 0; i < n; ++i)
            f.insert(f.end(), {i, (i + 1) % n, n + i, (i + 1) % n, n + (i + 1) % n, n + i});
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t top[3] = {2 * n, (i + 1) % n, i}, bottom[3] = {2 * n + 1, n + i, n + (i + 1) % n};
            std::rotate(top, top + i % 3, top + 3);
            std::rotate(bottom, bottom + (i + 1) % 3, bottom + 3);
            f.insert(f.end(), top, top + 3);
            f.insert(f.end(), bottom, bottom + 3);
        }
        add("cylinder with turned caps", f);
    }
    {
        // Two turned fans of 1,000 whose centres share 50 triangles, and a
        // centre at two corners of 10.
        std::vector<uint32_t> f;
        for (uint32_t i = 0; i < 1000; ++i) {
            uint32_t a[3] = {0, 2 + i, 3 + i}, b[3] = {1, 1100 + i, 1101 + i};
            std::rotate(a, a + i % 3, a + 3);
            std::rotate(b, b + (i + 2) % 3, b + 3);
            f.insert(f.end(), a, a + 3);
            f.insert(f.end(), b, b + 3);
        }
        for (uint32_t i = 0; i < 50; ++i)
            f.insert(f.end(), {0, 1, 2 + 19 * i});
        for (uint32_t i = 0; i < 10; ++i)
            f.insert(f.end(), {1, 1100 + 9 * i, 1});
        add("two turned fans sharing triangles", f);
    }
    {
        // 400 triangles on one edge: its two vertices share every triangle.
        std::vector<uint32_t> f;
        for (uint32_t i = 0; i < 400; ++i) {
            uint32_t t[3] = {0, 1, 2 + i};
            std::rotate(t, t + i % 3, t + 3);
            f.insert(f.end(), t, t + 3);
        }
        add("one edge of many triangles", f);
    }
    {
        // A fan of 600 welded at its centre: every triangle has the centre
        // at two corners.
        std::vector<uint32_t> f;
        for (uint32_t i = 0; i < 600; ++i)
            f.insert(f.end(), {0, i % 2 ? 0 : 1 + i, i % 2 ? 1 + i : 0});
        add("fan welded at its centre", f);
    }
    {
        // A hub of about 1,000 triangles over a soup of 300 vertices: so many
        // different scores at the hub that it goes back to walking its list.
        std::mt19937 hubRng(1);
        std::vector<uint32_t> f;
        for (int i = 0; i < 1000; ++i) {
            const uint32_t a = 1 + hubRng() % 300, b = 1 + hubRng() % 300;
            if (a == b)
                continue;
            uint32_t t[3] = {0, a, b};
            std::rotate(t, t + hubRng() % 3, t + 3);
            f.insert(f.end(), t, t + 3);
        }
        for (int i = 0; i < 1500; ++i) {
            const uint32_t a = 1 + hubRng() % 300, b = 1 + hubRng() % 300, c = 1 + hubRng() % 300;
            if (a != b && b != c && a != c)
                f.insert(f.end(), {a, b, c});
        }
        ShuffleTriangles(f, hubRng);
        shapes.push_back({"hub over a soup", f, 301});
    }
    add("soup over few vertices", SoupFaces(6000, 300, rng));
    add("grid", GridFaces(40, 40, true));
    for (int i = 0; i < 60; ++i) {
        uint32_t vertexCount = 0;
        std::vector<uint32_t> f = RandomFaces(rng, &vertexCount);
        shapes.push_back({"random mesh " + std::to_string(i), f, vertexCount});
    }
    for (int i = 0; i < 40; ++i) {
        // A few hubs and a rim, in random pieces: fans, triangles at two
        // hubs, hubs at two corners, strays; each triangle turned at random.
        const uint32_t hubs = 1 + rng() % 4, rim = 20 + rng() % 200, vertices = hubs + rim;
        std::vector<uint32_t> f;
        for (int piece = 1 + int(rng() % 4); piece > 0; --piece) {
            const uint32_t kind = rng() % 4;
            for (uint32_t j = 0, count = 20 + rng() % 300; j < count; ++j) {
                const uint32_t hub = rng() % hubs;
                uint32_t t[3] = {hub, hubs + j % rim, hubs + (j + 1) % rim};
                if (kind == 1)
                    t[1] = rng() % hubs;
                else if (kind == 2)
                    t[1] = rng() % 4 == 0 ? hub : hubs + rng() % rim;
                else if (kind == 3)
                    t[0] = rng() % vertices, t[1] = rng() % vertices, t[2] = rng() % vertices;
                std::rotate(t, t + rng() % 3, t + 3);
                f.insert(f.end(), t, t + 3);
            }
        }
        shapes.push_back({"random hubs " + std::to_string(i), f, vertices});
    }
    for (const SShapeCase& shape : shapes) {
        const uint32_t n = uint32_t(shape.faces.size() / 3);
        if (n == 0)
            continue;
        std::vector<uint32_t> expected(shape.faces.size());
        meshopt_optimizeVertexCache(expected.data(), shape.faces.data(), shape.faces.size(), shape.vertexCount);
        std::vector<uint32_t> order(n), got;
        VertexCacheOrder(shape.faces.data(), n, shape.vertexCount, order.data());
        for (uint32_t t : order)
            got.insert(got.end(), shape.faces.begin() + t * 3, shape.faces.begin() + t * 3 + 3);
        EXPECT_EQ(got, expected) << shape.name;
    }
}

TEST(SortMeshTriangles, NeverMovesATriangleIntoAnotherBatch)
{
    // Two batches, each half of a shuffled grid.
    std::mt19937 rng(12);
    SSceneMesh m = GridMesh(10, 10);
    std::vector<uint32_t> faces = ReadIndices(m.sIndexData, IndexCount(m));
    ShuffleTriangles(faces, rng);
    WriteIndices32(m.sIndexData, faces);
    const uint32_t split = 77;
    m.uiBatchCount = 2;
    m.uiBatchCapacity = 2;
    m.puiBatchStartTriangle = {0, split};
    m.puiBatchBoneTotals = {1, 1};
    m.puiBatchBoneList = {0, 0, 1, 0};
    const std::vector<uint32_t> first(faces.begin(), faces.begin() + split * 3);
    const std::vector<uint32_t> second(faces.begin() + split * 3, faces.end());
    for (int method : {eTriSortGeometry, eTriSortD3DX, eTriSortTriStrip}) {
        const std::vector<uint32_t> out = SortedIndices(m, method);
        EXPECT_EQ(TriangleSet(std::vector<uint32_t>(out.begin(), out.begin() + split * 3)), TriangleSet(first))
            << "method " << method;
        EXPECT_EQ(TriangleSet(std::vector<uint32_t>(out.begin() + split * 3, out.end())), TriangleSet(second))
            << "method " << method;
        EXPECT_NE(out, faces) << "method " << method;
    }
}

TEST(SortMeshTriangles, BatchesSortedSideBySideAsOneAfterAnother)
{
    // A 50 x 50 grid in four batches of whole rows, each shuffled: each
    // batch uses about a quarter of the vertices, and the mesh is big enough
    // for its batches to be sorted side by side.
    std::mt19937 rng(4097);
    SSceneMesh m = GridMesh(50, 50);
    std::vector<uint32_t> faces = ReadIndices(m.sIndexData, IndexCount(m));
    const std::vector<uint32_t> starts = {0, 1100, 2500, 3700, 5000};
    for (size_t b = 0; b + 1 < starts.size(); ++b) {
        std::vector<uint32_t> part(faces.begin() + starts[b] * 3, faces.begin() + starts[b + 1] * 3);
        ShuffleTriangles(part, rng);
        std::copy(part.begin(), part.end(), faces.begin() + starts[b] * 3);
    }
    WriteIndices32(m.sIndexData, faces);
    m.uiBatchCount = 4;
    m.uiBatchCapacity = 1;
    m.puiBatchStartTriangle = {starts[0], starts[1], starts[2], starts[3]};
    m.puiBatchBoneTotals = {1, 1, 1, 1};
    m.puiBatchBoneList = {0, 1, 2, 3};
    for (int method : {eTriSortGeometry, eTriSortD3DX, eTriSortTriStrip}) {
        const std::vector<uint32_t> out = SortedIndices(m, method);
        for (size_t b = 0; b + 1 < starts.size(); ++b) {
            std::vector<uint32_t> part(faces.begin() + starts[b] * 3, faces.begin() + starts[b + 1] * 3);
            if (method == eTriSortGeometry)
                part = reference::LiteralGeometrySort(part, m.uiVertexCount, kGeometrySortMaxBlockVertices,
                                                      kGeometrySortMaxBlockTriangles);
            else if (method == eTriSortD3DX)
                ASSERT_TRUE(OptimiseFaceOrder(part.data(), uint32_t(part.size() / 3), m.uiVertexCount));
            else
                TriStripOrder(part.data(), uint32_t(part.size() / 3));
            EXPECT_EQ(std::vector<uint32_t>(out.begin() + starts[b] * 3, out.begin() + starts[b + 1] * 3), part)
                << "method " << method << ", batch " << b;
        }
    }
}
