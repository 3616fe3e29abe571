#include "process/IndexList.h"

#include <algorithm>
#include <cstring>

#include "scene/Scene.h"

void WriteIndices32(SVertexChannel& channel, const std::vector<uint32_t>& indices)
{
    std::vector<uint8_t> data(indices.size() * 4);
    if (!indices.empty())
        std::memcpy(data.data(), indices.data(), data.size());
    channel.pData.swap(data);
    channel.eType = eZGXTUInt;
    channel.uiComponentCount = 1;
    channel.uiStride = 4;
    channel.uiOffset = 0;
}

uint32_t CompactIndices(const uint32_t* indices, size_t indexCount, uint32_t vertexCount,
                        std::vector<uint32_t>* compact)
{
    compact->clear();
    std::vector<uint32_t> number(vertexCount, 0);
    for (size_t i = 0; i < indexCount; ++i)
        number[indices[i]] = 1;
    uint32_t used = 0;
    for (uint32_t& n : number)
        n = n ? used++ : ~0u;
    if (uint64_t(used) * 4 >= uint64_t(vertexCount) * 3)
        return vertexCount;
    compact->resize(indexCount);
    for (size_t i = 0; i < indexCount; ++i)
        (*compact)[i] = number[indices[i]];
    return used;
}

void FlipWinding(SSceneMesh& mesh, int c0, int c1, int c2)
{
    SVertexChannel& ind = mesh.sIndexData;
    if (!mesh.puiStripTriangles.empty() || (ind.eType != eZGXTUShort && ind.eType != eZGXTUInt))
        return;
    if (c0 < 0 || c0 > 2 || c1 < 0 || c1 > 2 || c2 < 0 || c2 > 2)
        return;
    const uint32_t size = ComponentSize(ind.eType);
    const uint32_t stride = ind.uiStride ? ind.uiStride : size;
    if (stride < size)
        return;
    const uint64_t available = ind.pData.size() / (uint64_t(stride) * 3);
    const uint64_t triangles = std::min<uint64_t>(mesh.uiTriangleCount, available);
    uint8_t* p = ind.pData.data();
    const int corner[3] = {c0, c1, c2};
    for (uint64_t t = 0; t < triangles; ++t) {
        uint8_t* tri = p + t * 3 * stride;
        const uint32_t old[3] = {ReadIndex(tri, ind.eType), ReadIndex(tri + stride, ind.eType),
                                 ReadIndex(tri + 2 * stride, ind.eType)};
        for (int k = 0; k < 3; ++k)
            WriteIndex(tri + k * stride, ind.eType, old[corner[k]]);
    }
}

std::vector<uint32_t> BatchRangeStarts(const SSceneMesh& mesh)
{
    const uint32_t faceCount = mesh.uiTriangleCount;
    std::vector<uint32_t> starts;
    for (uint32_t b = 0; b < mesh.uiBatchCount && b < mesh.puiBatchStartTriangle.size(); ++b)
        starts.push_back(std::min(mesh.puiBatchStartTriangle[b], faceCount));
    if (starts.empty())
        starts.push_back(0);
    starts.push_back(faceCount);
    return starts;
}

void BuildStrips(SSceneMesh& mesh)
{
    if (!mesh.puiStripTriangles.empty() || mesh.uiTriangleCount == 0)
        return;
    const uint32_t faceCount = mesh.uiTriangleCount;
    const std::vector<uint32_t> faces = ReadIndices(mesh.sIndexData, uint64_t(faceCount) * 3);
    if (faces.size() != size_t(faceCount) * 3)
        return;

    // Strips do not cross a bone batch boundary.
    const std::vector<uint32_t> starts = BatchRangeStarts(mesh);

    std::vector<uint32_t> out;
    out.reserve(faces.size());
    std::vector<uint32_t> lengths;
    for (size_t r = 0; r + 1 < starts.size(); ++r) {
        uint32_t pa = 0, pb = 0, pc = 0;
        uint32_t length = 0; // of the current strip; 0: none in this range
        for (uint32_t t = starts[r]; t < starts[r + 1] && t < faceCount; ++t) {
            const uint32_t a = faces[t * 3], b = faces[t * 3 + 1], c = faces[t * 3 + 2];
            const bool continues =
                length != 0 && ((length % 2 == 1 && pb == b && pc == a) || (length % 2 == 0 && pc == b && pa == a));
            if (continues) {
                out.push_back(c);
                ++lengths.back();
                ++length;
            } else {
                out.push_back(a);
                out.push_back(b);
                out.push_back(c);
                lengths.push_back(1);
                length = 1;
            }
            pa = a;
            pb = b;
            pc = c;
        }
    }
    WriteIndices32(mesh.sIndexData, out);
    mesh.puiStripTriangles.swap(lengths);
}

void DeindexMesh(SSceneMesh& mesh)
{
    if (mesh.uiVertexCount == 0 || !mesh.IsInterleaved())
        return;
    const uint64_t count = IndexCount(mesh);
    if (count > UINT32_MAX)
        return;
    const std::vector<uint32_t> indices = ReadIndices(mesh.sIndexData, count);
    const size_t stride = mesh.pVertexBlock.size() / mesh.uiVertexCount;
    std::vector<uint8_t> block(size_t(count) * stride);
    for (size_t i = 0; i < indices.size(); ++i) {
        // An index past the vertices gives a zero vertex rather than a read
        // outside the buffer.
        if (indices[i] < mesh.uiVertexCount)
            std::memcpy(&block[i * stride], &mesh.pVertexBlock[size_t(indices[i]) * stride], stride);
    }
    mesh.pVertexBlock.swap(block);
    mesh.uiVertexCount = uint32_t(count);
    mesh.sIndexData.pData = std::vector<uint8_t>();
    mesh.sIndexData.uiComponentCount = 0;
    mesh.sIndexData.uiStride = 0;
}
