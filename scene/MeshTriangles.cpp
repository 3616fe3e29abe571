#include "scene/MeshTriangles.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "scene/Scene.h"

std::vector<uint32_t> ReadIndices(const SVertexChannel& channel, uint64_t count)
{
    std::vector<uint32_t> out;
    const uint32_t type = channel.eType;
    if (type != eZGXTUShort && type != eZGXTUInt)
        return out;
    const uint32_t stride = channel.uiStride ? channel.uiStride : ComponentSize(type);
    if (stride < ComponentSize(type))
        return out;
    const uint64_t held =
        channel.pData.size() < ComponentSize(type) ? 0 : (channel.pData.size() - ComponentSize(type)) / stride + 1;
    const size_t n = size_t(std::min(count, held));
    out.resize(n);
    const uint8_t* p = channel.pData.data();
    if (type == eZGXTUInt && stride == 4) {
        if (n)
            std::memcpy(out.data(), p, n * 4);
    } else {
        for (size_t i = 0; i < n; ++i)
            out[i] = ReadIndex(p + i * stride, type);
    }
    return out;
}

std::vector<uint32_t> TriangleList(const SSceneMesh& mesh)
{
    std::vector<uint32_t> indices;
    if (mesh.sIndexData.uiComponentCount == 0 && mesh.sIndexData.pData.empty()) {
        // Not indexed: corner i is vertex i.
        indices.resize(size_t(std::min<uint64_t>(IndexCount(mesh), mesh.uiVertexCount)));
        std::iota(indices.begin(), indices.end(), 0u);
    } else {
        indices = ReadIndices(mesh.sIndexData, IndexCount(mesh));
    }
    if (mesh.puiStripTriangles.empty())
        return indices;
    std::vector<uint32_t> out;
    out.reserve(size_t(mesh.uiTriangleCount) * 3);
    size_t base = 0;
    for (uint32_t length : mesh.puiStripTriangles) {
        for (uint32_t k = 0; k < length; ++k) {
            if (base + k + 2 >= indices.size())
                return out;
            const uint32_t* s = &indices[base + k];
            if (k % 2 == 0)
                out.insert(out.end(), {s[0], s[1], s[2]});
            else
                out.insert(out.end(), {s[1], s[0], s[2]});
        }
        base += length + 2;
    }
    return out;
}
