#include "process/VertexSort.h"

#include <cstring>
#include <vector>

#include <meshoptimizer.h>

#include "process/IndexList.h"
#include "scene/Scene.h"

void SortMeshVertices(SSceneMesh& mesh)
{
    const uint32_t vertexCount = mesh.uiVertexCount;
    if (vertexCount == 0 || !mesh.IsInterleaved() || !mesh.puiStripTriangles.empty())
        return;
    const uint64_t indexCount = uint64_t(mesh.uiTriangleCount) * 3;
    std::vector<uint32_t> indices = ReadIndices(mesh.sIndexData, indexCount);
    if (indices.size() != indexCount)
        return;
    for (uint32_t i : indices)
        if (i >= vertexCount)
            return;

    // meshoptimizer gives old -> new for the used vertices only; the unused
    // ones keep their relative order after them so that the result is a
    // permutation of all vertices.
    std::vector<uint32_t> inverse(vertexCount);
    const size_t used = meshopt_optimizeVertexFetchRemap(inverse.data(), indices.data(), indices.size(), vertexCount);
    uint32_t next = uint32_t(used);
    std::vector<uint32_t> remap(vertexCount); // new -> old
    for (uint32_t v = 0; v < vertexCount; ++v) {
        if (inverse[v] == ~0u)
            inverse[v] = next++;
        remap[inverse[v]] = v;
    }

    const size_t stride = mesh.pVertexBlock.size() / vertexCount;
    std::vector<uint8_t> block(mesh.pVertexBlock.size());
    for (uint32_t i = 0; i < vertexCount; ++i)
        std::memcpy(&block[i * stride], &mesh.pVertexBlock[size_t(remap[i]) * stride], stride);
    mesh.pVertexBlock.swap(block);

    const uint32_t type = mesh.sIndexData.eType;
    const uint32_t size = ComponentSize(type);
    const uint32_t indexStride = mesh.sIndexData.uiStride ? mesh.sIndexData.uiStride : size;
    uint8_t* p = mesh.sIndexData.pData.data();
    for (size_t i = indices.size(); i-- > 0;)
        WriteIndex(p + i * indexStride, type, inverse[indices[i]]);
}
