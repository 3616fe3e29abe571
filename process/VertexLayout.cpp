#include "process/VertexLayout.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "scene/Scene.h"

uint32_t AttributePadding(uint32_t elementSize, uint32_t unit)
{
    if (elementSize == 0 || unit == 0)
        return 0;
    return (unit - elementSize % unit) % unit;
}

namespace {

bool Placeable(const SVertexChannel& c)
{
    return c.uiStride != 0 && c.uiComponentCount != 0 && ComponentSize(c.eType) != 0;
}

} // namespace

void InterleaveChannels(SSceneMesh& mesh, uint32_t padUnit)
{
    if (mesh.uiVertexCount == 0 || mesh.IsInterleaved())
        return;
    const size_t vertexCount = mesh.uiVertexCount;
    const std::vector<SVertexChannel*> channels = VertexChannels(mesh);

    uint64_t recordSize = 0;
    for (const SVertexChannel* c : channels) {
        if (!Placeable(*c))
            continue;
        const uint32_t e = ElementSize(*c);
        recordSize += e + AttributePadding(e, padUnit);
    }
    if (recordSize == 0 || recordSize > UINT32_MAX)
        return;
    const uint32_t stride = uint32_t(recordSize);
    std::vector<uint8_t> block(vertexCount * stride);

    // Widest components first, so that with padding to 4 every 4-byte
    // attribute starts on a multiple of 4.
    uint32_t offset = 0;
    for (uint32_t componentSize : {4u, 2u, 1u}) {
        for (SVertexChannel* c : channels) {
            if (ComponentSize(c->eType) != componentSize)
                continue;
            if (!Placeable(*c)) {
                // Nothing to place: the channel ends absent.
                c->pData = std::vector<uint8_t>();
                c->uiComponentCount = 0;
                c->uiStride = 0;
                c->uiOffset = 0;
                continue;
            }
            const uint32_t e = ElementSize(*c);
            const uint32_t slot = e + AttributePadding(e, padUnit);
            // Never more than the slot, whatever stride the channel had.
            const size_t copy = std::min(c->uiStride, slot);
            const size_t held = c->pData.size() / c->uiStride;
            const size_t n = std::min(held, vertexCount);
            for (size_t v = 0; v < n; ++v)
                std::memcpy(&block[v * stride + offset], &c->pData[v * c->uiStride], copy);
            c->pData = std::vector<uint8_t>();
            c->uiStride = stride;
            c->uiOffset = offset;
            offset += slot;
        }
    }
    // Channels of no known type have no place in the record.
    for (SVertexChannel* c : channels) {
        if (ComponentSize(c->eType) == 0) {
            c->pData = std::vector<uint8_t>();
            c->uiComponentCount = 0;
            c->uiStride = 0;
            c->uiOffset = 0;
        }
    }
    mesh.pVertexBlock.swap(block);
}

void DeinterleaveChannels(SSceneMesh& mesh, uint32_t padUnit)
{
    if (mesh.uiVertexCount == 0 || !mesh.IsInterleaved())
        return;
    const size_t vertexCount = mesh.uiVertexCount;
    const size_t oldStride = mesh.pVertexBlock.size() / vertexCount;
    for (SVertexChannel* c : VertexChannels(mesh)) {
        if (c->uiStride == 0)
            continue;
        const uint32_t e = ElementSize(*c);
        const uint32_t stride = e + AttributePadding(e, padUnit);
        std::vector<uint8_t> data(vertexCount * stride);
        // An element that would reach outside the record is not copied.
        if (e != 0 && uint64_t(c->uiOffset) + e <= oldStride) {
            for (size_t v = 0; v < vertexCount; ++v)
                std::memcpy(&data[v * stride], &mesh.pVertexBlock[v * oldStride + c->uiOffset], e);
        }
        c->uiStride = stride;
        c->uiOffset = 0;
        c->pData.swap(data);
    }
    mesh.pVertexBlock = std::vector<uint8_t>();
}

void InterleaveMesh(SSceneMesh& mesh, uint32_t padUnit)
{
    if (mesh.uiVertexCount == 0)
        return;
    if (mesh.IsInterleaved())
        DeinterleaveChannels(mesh, padUnit);
    else
        InterleaveChannels(mesh, padUnit);
}
