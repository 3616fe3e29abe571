#include "process/TriangleSort.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "base/ConversionLog.h"
#include "base/Parallel.h"
#include "options/Options.h"
#include "process/GeometrySort.h"
#include "process/IndexList.h"
#include "process/TriStrip.h"
#include "process/VertexCacheOrder.h"
#include "scene/Scene.h"

namespace {

// Triangle (a, b, c) rotated so that its smallest index comes first; the
// winding is kept, so rotations of one triangle compare equal.
void Canonical(uint32_t out[3], const uint32_t* t)
{
    int k = 0;
    if (t[1] < t[k])
        k = 1;
    if (t[2] < t[k])
        k = 2;
    out[0] = t[k];
    out[1] = t[(k + 1) % 3];
    out[2] = t[(k + 2) % 3];
}

// Whether every triangle has the corners of the first in the same cyclic
// order.
bool AllOneTriangle(const uint32_t* faces, uint32_t faceCount)
{
    uint32_t first[3], other[3];
    Canonical(first, faces);
    for (uint32_t t = 1; t < faceCount; ++t) {
        Canonical(other, faces + size_t(t) * 3);
        if (!std::equal(first, first + 3, other))
            return false;
    }
    return true;
}

// Below this many triangles a mesh's batches are sorted one after another:
// a thread would cost more than it saves.
constexpr uint32_t kSideBySideTriangles = 4096;

} // namespace

bool OptimiseFaceOrder(uint32_t* faces, uint32_t faceCount, uint32_t vertexCount)
{
    if (faceCount < 2)
        return true;
    const size_t indexCount = size_t(faceCount) * 3;
    for (size_t i = 0; i < indexCount; ++i)
        if (faces[i] >= vertexCount)
            return false;
    // When every triangle is the same one, any order the optimiser hands
    // back maps onto the triangles in their old order below: nothing to do
    // (and the optimiser would be slow round such vertices).
    if (AllOneTriangle(faces, faceCount))
        return true;
    // The orderer numbers corners in 32 bits; no mesh that fits in memory
    // comes near.
    if (indexCount > UINT32_MAX)
        return false;
    // On a bone batch the tables per vertex below are kept to its vertices,
    // renumbered in their old order (which keeps every comparison).
    std::vector<uint32_t> compact;
    const uint32_t used = CompactIndices(faces, indexCount, vertexCount, &compact);
    const uint32_t* numbered = compact.empty() ? faces : compact.data();
    std::vector<uint32_t> order(faceCount);
    VertexCacheOrder(numbered, faceCount, used, order.data());

    // Equal triangles (the same corners in the same cyclic order) are laid
    // out in their old order: the k-th of a kind in the new order is the
    // k-th of that kind in the old. Triangles are grouped by their smallest
    // corner (in triangle order), then sorted within a group by the other
    // two and their number, so that each kind is a run in old order.
    std::vector<std::array<uint32_t, 3>> key(faceCount);
    std::vector<uint32_t> start(size_t(used) + 1, 0);
    for (uint32_t t = 0; t < faceCount; ++t) {
        Canonical(key[t].data(), numbered + size_t(t) * 3);
        ++start[key[t][0] + 1];
    }
    for (uint32_t v = 0; v < used; ++v)
        start[v + 1] += start[v];
    std::vector<uint32_t> byKey(faceCount);
    for (uint32_t t = 0; t < faceCount; ++t)
        byKey[start[key[t][0]]++] = t;
    // start[v] is now the end of v's group.
    uint32_t groupStart = 0;
    for (uint32_t v = 0; v < used; ++v) {
        if (start[v] - groupStart > 1)
            std::sort(byKey.begin() + groupStart, byKey.begin() + start[v], [&](uint32_t a, uint32_t b) {
                return key[a][1] != key[b][1]   ? key[a][1] < key[b][1]
                       : key[a][2] != key[b][2] ? key[a][2] < key[b][2]
                                                : a < b;
            });
        groupStart = start[v];
    }
    start = std::vector<uint32_t>();
    // Per triangle, the place in byKey of its kind's next unused one.
    std::vector<uint32_t> runOf(faceCount), next(faceCount);
    for (uint32_t i = 0; i < faceCount; ++i) {
        const bool same = i > 0 && key[byKey[i]] == key[byKey[i - 1]];
        next[i] = i;
        runOf[byKey[i]] = same ? runOf[byKey[i - 1]] : i;
    }
    std::vector<uint32_t> remap(faceCount);
    for (uint32_t i = 0; i < faceCount; ++i)
        remap[i] = byKey[next[runOf[order[i]]]++];
    std::vector<uint32_t> reordered(indexCount);
    for (uint32_t i = 0; i < faceCount; ++i)
        std::memcpy(&reordered[size_t(i) * 3], faces + size_t(remap[i]) * 3, 3 * sizeof(uint32_t));
    std::memcpy(faces, reordered.data(), indexCount * sizeof(uint32_t));
    return true;
}

bool SortTriangles(int method, uint8_t* vertices, uint32_t* faces, uint32_t stride, uint32_t vertexCount,
                   uint32_t faceCount)
{
    switch (method) {
    case eTriSortGeometry:
        return GeometrySort(vertices, faces, stride, vertexCount, faceCount, kGeometrySortMaxBlockVertices,
                            kGeometrySortMaxBlockTriangles, kGeometrySortKeepVertexOrder) != faceCount;
    case eTriSortD3DX: OptimiseFaceOrder(faces, faceCount, vertexCount); return false;
    case eTriSortTriStrip: return TriStripOrder(faces, faceCount);
    default: return false;
    }
}

bool SortTriangles(const COptionsData& options, uint8_t* vertices, uint32_t* faces, uint32_t stride,
                   uint32_t vertexCount, uint32_t faceCount)
{
    return SortTriangles(options.GetTriSort(), vertices, faces, stride, vertexCount, faceCount);
}

void SortMeshTriangles(const COptionsData& options, SSceneMesh& mesh)
{
    const uint32_t faceCount = mesh.uiTriangleCount;
    if (faceCount == 0 || !mesh.puiStripTriangles.empty() || options.GetTriSort() == eTriSortNone)
        return;
    std::vector<uint32_t> faces = ReadIndices(mesh.sIndexData, uint64_t(faceCount) * 3);
    if (faces.size() != size_t(faceCount) * 3)
        return;
    uint8_t* vertices = mesh.IsInterleaved() ? mesh.pVertexBlock.data() : nullptr;
    const uint32_t stride = mesh.IsInterleaved() ? uint32_t(mesh.pVertexBlock.size() / mesh.uiVertexCount) : 0;

    const std::vector<uint32_t> starts = BatchRangeStarts(mesh);
    // Starts out of order leave that batch as it is.
    std::vector<size_t> batches;
    for (size_t r = 0; r + 1 < starts.size(); ++r)
        if (starts[r + 1] > starts[r])
            batches.push_back(r);
    // Per batch: whether its sort ran out of its work budget (one byte
    // each, as batches may be sorted side by side).
    std::vector<uint8_t> budgetReached(batches.size(), 0);
    auto sortBatch = [&](size_t i) {
        const size_t r = batches[i];
        budgetReached[i] = SortTriangles(options, vertices, &faces[size_t(starts[r]) * 3], stride, mesh.uiVertexCount,
                                         starts[r + 1] - starts[r]);
    };
    // Batches in order own disjoint ranges, so they may be sorted side by
    // side with the same result: every method reorders only the faces it is
    // given (the geometry sort keeps the vertex order).
    const bool sideBySide =
        batches.size() > 1 && std::is_sorted(starts.begin(), starts.end()) && faceCount >= kSideBySideTriangles;
    if (sideBySide) {
        ParallelFor(batches.size(), sortBatch);
    } else {
        for (size_t i = 0; i < batches.size(); ++i)
            sortBatch(i);
    }
    // One line per mesh, after the batches, so that it comes in the same
    // place however the batches ran.
    if (std::find(budgetReached.begin(), budgetReached.end(), 1) != budgetReached.end())
        ConversionLog(
            eLogVerbose,
            options.GetTriSort() == eTriSortTriStrip
                ? "Triangle strips: the improvement passes reached their work budget; strips kept as they stood."
                : "Triangle order: the geometry sort reached its work budget; the rest of the triangles follow the "
                  "vertex-cache order.");
    const uint32_t type = mesh.sIndexData.eType;
    if (type == eZGXTUInt && mesh.sIndexData.uiStride == 4) {
        std::memcpy(mesh.sIndexData.pData.data(), faces.data(), faces.size() * 4);
    } else {
        const uint32_t indexStride = mesh.sIndexData.uiStride;
        for (size_t i = 0; i < faces.size(); ++i)
            WriteIndex(&mesh.sIndexData.pData[i * indexStride], type, faces[i]);
    }
}
