// Bone batching: the batch table, local bone indices, copied vertices, the
// failures, and agreement with a plain rendering of the batch walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <list>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "process/BoneBatch.h"
#include "scene/Scene.h"

namespace {

// One test vertex: an identifying number, four weights, four bone numbers.
struct SVertex {
    float id = 0;
    float w[4] = {0, 0, 0, 0};
    int32_t b[4] = {0, 0, 0, 0};
};
static_assert(sizeof(SVertex) == 36, "packed test vertex");
constexpr uint32_t kStride = sizeof(SVertex);
constexpr uint32_t kWeightOffset = 4;
constexpr uint32_t kIndexOffset = 20;

SVertex V(float id, std::vector<std::pair<int32_t, float>> influences)
{
    SVertex v;
    v.id = id;
    for (size_t k = 0; k < influences.size() && k < 4; ++k) {
        v.b[k] = influences[k].first;
        v.w[k] = influences[k].second;
    }
    return v;
}

struct SResult {
    int result = -1;
    SBoneBatchTable table;
    uint32_t vertexCount = 0;
    std::vector<SVertex> vertices;
    std::vector<uint32_t> faces;
};

SResult Batch(const std::vector<SVertex>& vertices, std::vector<uint32_t> faces, uint32_t limit, uint32_t n = 4)
{
    SResult r;
    std::vector<uint8_t> out;
    r.result = GenerateBoneBatches(r.table, r.vertexCount, out, faces.data(), uint32_t(vertices.size()),
                                   reinterpret_cast<const uint8_t*>(vertices.data()), kStride, kWeightOffset,
                                   eZGXTFloat, kIndexOffset, eZGXTInt, uint32_t(faces.size() / 3), limit, n);
    r.faces = faces;
    r.vertices.resize(out.size() / kStride);
    if (!out.empty())
        std::memcpy(r.vertices.data(), out.data(), out.size());
    return r;
}

uint32_t BatchOfTriangle(const SBoneBatchTable& t, uint32_t triangle)
{
    uint32_t b = 0;
    while (b + 1 < t.count && t.startTriangle[b + 1] <= triangle)
        ++b;
    return b;
}

// Every batch within the palette, every index local to its batch and naming
// the bone the source vertex named, every source triangle exactly once.
void ExpectBatchInvariants(const std::vector<SVertex>& source, const std::vector<uint32_t>& sourceFaces,
                           const SResult& r, uint32_t limit, uint32_t n, const std::string& what)
{
    ASSERT_EQ(r.result, 0) << what;
    ASSERT_EQ(r.vertices.size(), r.vertexCount) << what;
    ASSERT_EQ(r.faces.size(), sourceFaces.size()) << what;
    const SBoneBatchTable& t = r.table;
    ASSERT_EQ(t.boneList.size(), size_t(t.count) * t.capacity) << what;
    ASSERT_GE(t.count, 1u) << what;
    EXPECT_EQ(t.startTriangle[0], 0u) << what;
    for (uint32_t b = 0; b < t.count; ++b) {
        EXPECT_LE(t.boneTotals[b], limit) << what;
        if (b) {
            EXPECT_LE(t.startTriangle[b - 1], t.startTriangle[b]) << what;
        }
        for (uint32_t k = t.boneTotals[b]; k < t.capacity; ++k)
            EXPECT_EQ(t.boneList[size_t(b) * t.capacity + k], 0u) << what;
    }
    std::multiset<std::vector<float>> expected, actual;
    for (size_t i = 0; i < sourceFaces.size(); i += 3)
        expected.insert({source[sourceFaces[i]].id, source[sourceFaces[i + 1]].id, source[sourceFaces[i + 2]].id});
    std::vector<int> vertexBatch(r.vertices.size(), -1);
    for (uint32_t tri = 0; tri < r.faces.size() / 3; ++tri) {
        const uint32_t b = BatchOfTriangle(t, tri);
        std::vector<float> ids;
        for (int c = 0; c < 3; ++c) {
            const uint32_t v = r.faces[3 * tri + c];
            ASSERT_LT(v, r.vertices.size()) << what;
            const SVertex& out = r.vertices[v];
            ids.push_back(out.id);
            // The source vertex with this id names the same bones through the
            // batch's list.
            const SVertex& src = source[size_t(out.id)];
            for (uint32_t k = 0; k < n; ++k) {
                if (src.w[k] == 0) {
                    EXPECT_EQ(out.b[k], 0) << what;
                    continue;
                }
                ASSERT_GE(out.b[k], 0) << what;
                ASSERT_LT(uint32_t(out.b[k]), t.boneTotals[b]) << what;
                EXPECT_EQ(t.boneList[size_t(b) * t.capacity + uint32_t(out.b[k])], uint32_t(src.b[k])) << what;
            }
        }
        actual.insert(ids);
    }
    EXPECT_EQ(actual, expected) << what;
}

// The batch walk as plainly as it can be written: a list, linear searches.
SResult ReferenceBatch(const std::vector<SVertex>& vertices, std::vector<uint32_t> faces, uint32_t limit, uint32_t n)
{
    SResult r;
    const size_t count = faces.size() / 3;
    auto bonesOf = [&](size_t t, std::vector<int32_t>& s) {
        s.clear();
        for (int c = 0; c < 3; ++c)
            for (uint32_t k = 0; k < n; ++k) {
                const SVertex& v = vertices[faces[3 * t + c]];
                if (v.w[k] == 0)
                    continue;
                if (v.b[k] < 0)
                    return false;
                if (std::find(s.begin(), s.end(), v.b[k]) != s.end())
                    continue;
                if (s.size() >= limit)
                    return false;
                s.push_back(v.b[k]);
            }
        return true;
    };
    auto holds = [](const std::vector<int32_t>& outer, const std::vector<int32_t>& inner) {
        for (int32_t b : inner)
            if (std::find(outer.begin(), outer.end(), b) == outer.end())
                return false;
        return true;
    };
    std::list<std::vector<int32_t>> batches;
    std::vector<int32_t> s;
    for (size_t t = 0; t < count; ++t) {
        if (!bonesOf(t, s)) {
            r.result = 1;
            return r;
        }
        bool placed = false;
        for (auto& b : batches) {
            if (holds(b, s)) {
                placed = true;
                break;
            }
            if (holds(s, b)) {
                b = s;
                placed = true;
                break;
            }
        }
        if (!placed)
            batches.push_back(s);
    }
    for (auto a = batches.begin(); a != batches.end(); ++a) {
        for (;;) {
            auto best = batches.end();
            size_t bestExtra = SIZE_MAX;
            for (auto b = std::next(a); b != batches.end(); ++b) {
                size_t extra = 0;
                for (int32_t bone : *b)
                    extra += std::find(a->begin(), a->end(), bone) == a->end();
                if (extra < limit && a->size() + extra <= limit && extra < bestExtra) {
                    best = b;
                    bestExtra = extra;
                }
            }
            if (best == batches.end())
                break;
            for (int32_t bone : *best)
                if (std::find(a->begin(), a->end(), bone) == a->end())
                    a->push_back(bone);
            batches.erase(best);
        }
    }
    std::vector<std::vector<int32_t>> list(batches.begin(), batches.end());
    std::vector<std::vector<size_t>> given(list.size());
    for (size_t t = 0; t < count; ++t) {
        bonesOf(t, s);
        for (size_t b = 0; b < list.size(); ++b)
            if (holds(list[b], s)) {
                given[b].push_back(t);
                break;
            }
    }
    r.table.capacity = limit;
    r.table.count = uint32_t(list.size());
    r.table.boneList.assign(list.size() * limit, 0);
    std::vector<uint32_t> newFaces;
    std::vector<std::vector<uint32_t>> copies(vertices.size());
    for (size_t b = 0; b < list.size(); ++b) {
        std::copy(list[b].begin(), list[b].end(), r.table.boneList.begin() + b * limit);
        r.table.boneTotals.push_back(uint32_t(list[b].size()));
        r.table.startTriangle.push_back(uint32_t(newFaces.size() / 3));
        for (size_t t : given[b])
            for (int c = 0; c < 3; ++c) {
                const uint32_t v = faces[3 * t + c];
                SVertex copy = vertices[v];
                for (uint32_t k = 0; k < n; ++k) {
                    if (copy.w[k] == 0) {
                        copy.b[k] = 0;
                        continue;
                    }
                    const auto at = std::find(list[b].begin(), list[b].end(), copy.b[k]);
                    if (at != list[b].end())
                        copy.b[k] = int32_t(at - list[b].begin());
                }
                uint32_t use = UINT32_MAX;
                for (uint32_t c2 : copies[v])
                    if (std::equal(copy.b, copy.b + n, r.vertices[c2].b))
                        use = c2;
                if (use == UINT32_MAX) {
                    use = uint32_t(r.vertices.size());
                    r.vertices.push_back(copy);
                    copies[v].push_back(use);
                }
                newFaces.push_back(use);
            }
    }
    r.result = 0;
    r.faces = newFaces;
    r.vertexCount = uint32_t(r.vertices.size());
    return r;
}

// A tube around the y axis whose rings follow a chain of bones: each vertex
// leans on up to four neighbouring bones, as a skinned limb does.
void Tube(uint32_t rings, uint32_t segments, uint32_t bones, std::vector<SVertex>& vertices,
          std::vector<uint32_t>& faces)
{
    vertices.clear();
    faces.clear();
    for (uint32_t r = 0; r < rings; ++r)
        for (uint32_t s = 0; s < segments; ++s) {
            const float along = float(r) / float(rings - 1) * float(bones - 1);
            const int32_t b0 = std::min<int32_t>(int32_t(along), int32_t(bones) - 1);
            std::vector<std::pair<int32_t, float>> inf;
            float total = 0;
            for (int32_t k = -1; k <= 2; ++k) {
                const int32_t b = b0 + k;
                if (b < 0 || b >= int32_t(bones))
                    continue;
                const float w = 1.0f / (1.0f + std::fabs(along - float(b)) + 0.1f * float(s % 3));
                inf.push_back({b, w});
                total += w;
            }
            for (auto& i : inf)
                i.second /= total;
            vertices.push_back(V(float(vertices.size()), inf));
        }
    for (uint32_t r = 0; r + 1 < rings; ++r)
        for (uint32_t s = 0; s < segments; ++s) {
            const uint32_t a = r * segments + s, b = r * segments + (s + 1) % segments;
            const uint32_t c = a + segments, d = b + segments;
            faces.insert(faces.end(), {a, b, c, b, d, c});
        }
}

// Batches the mesh and checks the result against the plain walk; false
// when the walk rejects the mesh (and the batching did too).
bool ExpectPlainWalk(const std::vector<SVertex>& v, const std::vector<uint32_t>& faces, uint32_t limit, uint32_t n,
                     const std::string& what)
{
    const SResult expected = ReferenceBatch(v, faces, limit, n);
    const SResult actual = Batch(v, faces, limit, n);
    EXPECT_EQ(actual.result, expected.result) << what;
    if (expected.result != 0 || actual.result != 0)
        return false;
    EXPECT_EQ(actual.table.count, expected.table.count) << what;
    EXPECT_EQ(actual.table.boneList, expected.table.boneList) << what;
    EXPECT_EQ(actual.table.boneTotals, expected.table.boneTotals) << what;
    EXPECT_EQ(actual.table.startTriangle, expected.table.startTriangle) << what;
    EXPECT_EQ(actual.faces, expected.faces) << what;
    EXPECT_EQ(actual.vertexCount, expected.vertexCount) << what;
    if (actual.vertices.size() == expected.vertices.size()) {
        for (size_t i = 0; i < actual.vertices.size(); ++i)
            EXPECT_EQ(std::memcmp(&actual.vertices[i], &expected.vertices[i], kStride), 0) << what;
    }
    ExpectBatchInvariants(v, faces, actual, limit, n, what);
    return true;
}

} // namespace

TEST(BoneBatch, FewBonesMakeOneBatch)
{
    const std::vector<SVertex> v = {V(0, {{7, 1}}), V(1, {{7, 0.5f}, {3, 0.5f}}), V(2, {{3, 1}}), V(3, {{11, 1}}),
                                    V(4, {{3, 0.2f}, {11, 0.8f}})};
    const std::vector<uint32_t> faces = {0, 1, 2, 2, 3, 4};
    const SResult r = Batch(v, faces, 9);
    ExpectBatchInvariants(v, faces, r, 9, 4, "one batch");
    ASSERT_EQ(r.table.count, 1u);
    EXPECT_EQ(r.table.capacity, 9u);
    EXPECT_EQ(r.table.boneTotals[0], 3u);
    EXPECT_EQ(r.table.startTriangle[0], 0u);
    // Bones in the order the triangles met them: 7, 3, 11.
    EXPECT_EQ(std::vector<uint32_t>(r.table.boneList.begin(), r.table.boneList.begin() + 3),
              (std::vector<uint32_t>{7, 3, 11}));
    EXPECT_EQ(r.vertexCount, 5u);
    EXPECT_EQ(r.vertices[1].b[0], 0); // bone 7
    EXPECT_EQ(r.vertices[1].b[1], 1); // bone 3
    EXPECT_EQ(r.vertices[1].b[2], 0); // weight 0
}

TEST(BoneBatch, SharedVerticesAreCopiedPerBatch)
{
    // Two triangles on disjoint bone pairs sharing vertex 2, palette 2: the
    // shared vertex exists once per batch, each copy with its own indices.
    const std::vector<SVertex> v = {V(0, {{0, 1}}), V(1, {{1, 1}}), V(2, {{1, 0.5f}, {5, 0.5f}}),
                                    V(3, {{5, 1}}), V(4, {{6, 1}}), V(5, {{9, 1}})};
    const std::vector<uint32_t> faces = {0, 1, 2, 2, 3, 4};
    // Triangle 0 needs bones 0 1 5, triangle 1 needs 1 5 6: palette 3 cannot
    // hold both, so there are two batches.
    const SResult r = Batch(v, faces, 3);
    ExpectBatchInvariants(v, faces, r, 3, 4, "two batches");
    ASSERT_EQ(r.table.count, 2u);
    EXPECT_EQ(r.table.startTriangle[1], 1u);
    EXPECT_EQ(r.vertexCount, 6u); // five used vertices, the shared one twice; vertex 5 dropped
    EXPECT_NE(r.faces[2], r.faces[3]);
    EXPECT_EQ(r.vertices[r.faces[2]].id, 2.0f);
    EXPECT_EQ(r.vertices[r.faces[3]].id, 2.0f);
}

TEST(BoneBatch, Failures)
{
    const std::vector<SVertex> ten = {V(0, {{0, .25f}, {1, .25f}, {2, .25f}, {3, .25f}}),
                                      V(1, {{3, .25f}, {4, .25f}, {5, .25f}, {6, .25f}}),
                                      V(2, {{6, .25f}, {7, .25f}, {8, .25f}, {9, .25f}})};
    const std::vector<uint32_t> faces = {0, 1, 2};
    EXPECT_EQ(Batch(ten, faces, 9).result, 1) << "ten bones, palette 9";
    EXPECT_EQ(Batch(ten, faces, 10).result, 0) << "ten bones, palette 10";
    EXPECT_EQ(Batch(ten, faces, 9, 0).result, 1) << "no bones per vertex";
    EXPECT_EQ(Batch(ten, faces, 9, 5).result, 1) << "five bones per vertex";
    EXPECT_EQ(Batch(ten, {0, 1, 3}, 10).result, 1) << "face past the vertices";
    const std::vector<SVertex> negative = {V(0, {{-1, 1}}), V(1, {{0, 1}}), V(2, {{0, 1}})};
    EXPECT_EQ(Batch(negative, faces, 9).result, 1) << "negative bone";
    const std::vector<SVertex> unweighted = {V(0, {{0, 1}, {-1, 0}}), V(1, {{0, 1}}), V(2, {{0, 1}})};
    EXPECT_EQ(Batch(unweighted, faces, 9).result, 0) << "negative bone of weight 0";
    std::vector<SVertex> unused = unweighted;
    unused.push_back(V(3, {{-1, 1}}));
    EXPECT_EQ(Batch(unused, faces, 9).result, 0) << "negative bone on a vertex no triangle uses";

    // On failure nothing changes.
    std::vector<uint32_t> list = {0, 1, 2};
    SBoneBatchTable table;
    table.count = 77;
    uint32_t count = 5;
    std::vector<uint8_t> out(3, 1);
    EXPECT_EQ(GenerateBoneBatches(table, count, out, list.data(), 3, reinterpret_cast<const uint8_t*>(ten.data()),
                                  kStride, kWeightOffset, eZGXTFloat, kIndexOffset, eZGXTInt, 1, 9, 4),
              1);
    EXPECT_EQ(list, (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(table.count, 77u);
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(out.size(), 3u);
}

TEST(BoneBatch, TubesStayWithinThePalette)
{
    for (uint32_t limit : {6u, 9u, 32u}) {
        std::vector<SVertex> v;
        std::vector<uint32_t> faces;
        Tube(64, 16, 40, v, faces);
        const SResult r = Batch(v, faces, limit);
        ExpectBatchInvariants(v, faces, r, limit, 4, "tube, palette " + std::to_string(limit));
        // Rings on the boundary of two batches are copied; nothing else is.
        EXPECT_GE(r.vertexCount, v.size());
        EXPECT_LT(r.vertexCount, v.size() * 2);
        if (limit == 32) {
            EXPECT_LE(r.table.count, 2u);
        }
    }
}

TEST(BoneBatch, AgreesWithThePlainWalk)
{
    // Few bones; then bone numbers that need one to four 64-bit masks, and
    // more than that (merging by masks and by sorted lists), on meshes big
    // enough for many batches to merge.
    struct SCase {
        uint32_t bones, vertices, faces, rounds;
    };
    const SCase cases[] = {
        {16, 40, 60, 300}, {60, 200, 400, 40}, {130, 300, 500, 30}, {250, 400, 600, 30}, {400, 500, 600, 20}};
    std::mt19937 random(12345);
    for (const SCase& c : cases) {
        int compared = 0;
        for (uint32_t round = 0; round < c.rounds; ++round) {
            const std::string what = std::to_string(c.bones) + " bones, round " + std::to_string(round);
            const uint32_t n = 1 + random() % 4;
            const uint32_t bones = 3 + random() % (c.bones - 2);
            const uint32_t limit = 2 + random() % 10;
            std::vector<SVertex> v(8 + random() % c.vertices);
            for (size_t i = 0; i < v.size(); ++i) {
                v[i].id = float(i);
                for (uint32_t k = 0; k < n; ++k) {
                    // With many bones, neighbouring vertices mostly share
                    // theirs, as in a real mesh.
                    v[i].b[k] = int32_t(c.bones > 16 ? (i / 5 + random() % 6) % bones : random() % bones);
                    v[i].w[k] = random() % 5 == 0 ? 0.0f : float(1 + random() % 9) / 10;
                }
            }
            std::vector<uint32_t> faces(3 * (1 + random() % c.faces));
            // Mostly neighbouring vertices, as in a real mesh.
            for (size_t i = 0; i < faces.size(); i += 3) {
                const uint32_t base = uint32_t(random() % v.size());
                for (int k = 0; k < 3; ++k)
                    faces[i + k] = (base + random() % 4) % uint32_t(v.size());
            }
            compared += ExpectPlainWalk(v, faces, limit, n, what) ? 1 : 0;
        }
        EXPECT_GT(compared, int(c.rounds / 3)) << c.bones;
    }
}

TEST(BoneBatch, AgreesWithThePlainWalkOnManyBoneSets)
{
    // The benchmark's shapes at sizes the plain walk can still check: every
    // vertex leans on four of 40 bones, which change from vertex to vertex,
    // so a grid and above all a random soup make very many distinct sets; a
    // fan shares one vertex among all its triangles.
    const uint32_t kSide = 31, kBones = 40;
    std::vector<SVertex> v(kSide * kSide);
    for (uint32_t i = 0; i < v.size(); ++i)
        v[i] = V(float(i), {{int32_t(i % kBones), 0.4f},
                            {int32_t((i / 3 + 1) % kBones), 0.3f},
                            {int32_t((i / 7 + 2) % kBones), 0.2f},
                            {int32_t((i / 11 + 3) % kBones), 0.1f}});
    std::vector<uint32_t> grid, soup, fan;
    for (uint32_t y = 0; y + 1 < kSide; ++y)
        for (uint32_t x = 0; x + 1 < kSide; ++x) {
            const uint32_t a = y * kSide + x, b = a + 1, c = a + kSide, d = c + 1;
            grid.insert(grid.end(), {a, b, c, b, d, c});
        }
    std::mt19937 random(777);
    for (uint32_t i = 0; i < 3 * 2000; ++i)
        soup.push_back(uint32_t(random() % v.size()));
    for (uint32_t i = 1; i + 1 < v.size(); ++i)
        fan.insert(fan.end(), {0, i, i + 1});
    for (uint32_t limit : {12u, 16u, 24u}) {
        EXPECT_TRUE(ExpectPlainWalk(v, grid, limit, 4, "grid, palette " + std::to_string(limit)));
        EXPECT_TRUE(ExpectPlainWalk(v, soup, limit, 4, "soup, palette " + std::to_string(limit)));
        EXPECT_TRUE(ExpectPlainWalk(v, fan, limit, 4, "fan, palette " + std::to_string(limit)));
    }
}

TEST(BoneBatch, InterleavedMesh)
{
    // The mesh form: interleaved floats and ints, 32-bit triangle list.
    std::vector<SVertex> v;
    std::vector<uint32_t> faces;
    Tube(8, 6, 12, v, faces);
    SSceneMesh mesh;
    mesh.uiVertexCount = uint32_t(v.size());
    mesh.uiTriangleCount = uint32_t(faces.size() / 3);
    mesh.pVertexBlock.resize(v.size() * kStride);
    std::memcpy(mesh.pVertexBlock.data(), v.data(), mesh.pVertexBlock.size());
    mesh.sPosition = {eZGXTFloat, 1, kStride, {}, 0};
    mesh.sBoneWeights = {eZGXTFloat, 4, kStride, {}, kWeightOffset};
    mesh.sBoneIndex = {eZGXTInt, 4, kStride, {}, kIndexOffset};
    mesh.sIndexData = {eZGXTUInt, 1, 4, {}, 0};
    mesh.sIndexData.pData.resize(faces.size() * 4);
    std::memcpy(mesh.sIndexData.pData.data(), faces.data(), mesh.sIndexData.pData.size());

    SSceneMesh failing = mesh;
    EXPECT_EQ(GenerateMeshBoneBatches(failing, 3), 1);
    EXPECT_EQ(failing, mesh);

    ASSERT_EQ(GenerateMeshBoneBatches(mesh, 7), 0);
    EXPECT_EQ(mesh.uiBatchCapacity, 7u);
    EXPECT_GT(mesh.uiBatchCount, 1u);
    EXPECT_EQ(mesh.puiBatchBoneTotals.size(), mesh.uiBatchCount);
    EXPECT_EQ(mesh.pVertexBlock.size(), size_t(mesh.uiVertexCount) * kStride);
    const SResult direct = Batch(v, faces, 7);
    EXPECT_EQ(mesh.uiVertexCount, direct.vertexCount);
    EXPECT_EQ(mesh.puiBatchStartTriangle, direct.table.startTriangle);
}
