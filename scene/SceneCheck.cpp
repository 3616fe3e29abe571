#include "scene/SceneCheck.h"

#include <algorithm>
#include <cinttypes>

namespace {

bool Fail(CZGXTString* error, CZGXTString text)
{
    if (error)
        *error = std::move(text);
    return false;
}

bool CheckSize(uint64_t size, uint64_t expected, ESceneCheck mode)
{
    return mode == eCheckAsRead ? size == expected : size >= expected;
}

bool CheckIndexChannel(const SSceneMesh& mesh, CZGXTString* error)
{
    const SVertexChannel& c = mesh.sIndexData;
    const uint64_t count = IndexCount(mesh);
    if (count == 0) {
        if (!c.pData.empty())
            return Fail(error, StrFormat("index data holds %zu bytes but the mesh has no indices", c.pData.size()));
        return true;
    }
    if (c.uiComponentCount == 0 && c.pData.empty()) {
        // Not indexed: the vertices are the corners, taken in order.
        if (count > mesh.uiVertexCount)
            return Fail(error,
                        StrFormat("the mesh is not indexed and its %" PRIu64 " corners need more than its %u vertices",
                                  count, mesh.uiVertexCount));
        return true;
    }
    if (c.eType != eZGXTUShort && c.eType != eZGXTUInt)
        return Fail(error,
                    StrFormat("index type is %u; only 3 (16-bit) and 17 (32-bit) are allowed", unsigned(c.eType)));
    const uint32_t size = ComponentSize(c.eType);
    if (c.uiComponentCount != 1 || c.uiStride != size)
        return Fail(error, StrFormat("index channel has %u components and stride %u; expected 1 and %u",
                                     c.uiComponentCount, c.uiStride, size));
    if (c.pData.size() != count * size)
        return Fail(error, StrFormat("index data holds %zu bytes; %" PRIu64 " indices of %u bytes need %" PRIu64,
                                     c.pData.size(), count, size, count * size));
    const uint8_t* p = c.pData.data();
    for (uint64_t i = 0; i < count; ++i) {
        const uint32_t v = ReadIndex(p + i * size, c.eType);
        if (v >= mesh.uiVertexCount)
            return Fail(error,
                        StrFormat("index %" PRIu64 " is %u, not below the vertex count %u", i, v, mesh.uiVertexCount));
    }
    return true;
}

bool CheckOwnChannel(const SSceneMesh& mesh, const SVertexChannel& c, CZGXTString* error)
{
    const CZGXTString name = VertexChannelName(mesh, &c);
    const uint32_t size = ComponentSize(c.eType);
    if (c.pData.empty()) {
        if (c.IsPresent() && size != 0 && mesh.uiVertexCount != 0)
            return Fail(error, name + " channel has components but no data");
        return true;
    }
    if (size == 0)
        return Fail(error, StrFormat("%s channel of type %u cannot hold data", name.c_str(), unsigned(c.eType)));
    if (c.uiStride % size != 0)
        return Fail(error, StrFormat("%s channel stride %u is not a multiple of its component size %u", name.c_str(),
                                     c.uiStride, size));
    const uint64_t expected = uint64_t(c.uiStride) * mesh.uiVertexCount;
    if (c.pData.size() != expected)
        return Fail(error, StrFormat("%s channel data holds %zu bytes; stride %u x %u vertices needs %" PRIu64,
                                     name.c_str(), c.pData.size(), c.uiStride, mesh.uiVertexCount, expected));
    if (c.IsPresent() && ElementSize(c) > c.uiStride)
        return Fail(error, StrFormat("%s channel elements of %u bytes do not fit its stride %u", name.c_str(),
                                     ElementSize(c), c.uiStride));
    return true;
}

bool CheckInterleaved(const SSceneMesh& mesh, CZGXTString* error)
{
    if (mesh.uiVertexCount == 0 || mesh.pVertexBlock.size() % mesh.uiVertexCount != 0)
        return Fail(error, StrFormat("interleaved vertex block of %zu bytes is not a whole number of %u vertices",
                                     mesh.pVertexBlock.size(), mesh.uiVertexCount));
    const uint64_t stride = mesh.pVertexBlock.size() / mesh.uiVertexCount;
    struct SSpan {
        uint64_t begin, end;
        const SVertexChannel* channel;
    };
    std::vector<SSpan> spans;
    for (const SVertexChannel* c : VertexChannels(mesh)) {
        const CZGXTString name = VertexChannelName(mesh, c);
        if (!c->pData.empty())
            return Fail(error, name + " channel has its own data in an interleaved mesh");
        if (!c->IsPresent())
            continue;
        if (c->uiStride != stride)
            return Fail(error, StrFormat("%s channel stride %u differs from the interleaved vertex size %" PRIu64,
                                         name.c_str(), c->uiStride, stride));
        const uint64_t end = uint64_t(c->uiOffset) + ElementSize(*c);
        if (end > stride)
            return Fail(error, StrFormat("%s channel at offset %u with %u bytes does not fit the vertex size %" PRIu64,
                                         name.c_str(), c->uiOffset, ElementSize(*c), stride));
        spans.push_back({c->uiOffset, end, c});
    }
    std::stable_sort(spans.begin(), spans.end(), [](const SSpan& a, const SSpan& b) { return a.begin < b.begin; });
    for (size_t i = 1; i < spans.size(); ++i)
        if (spans[i].begin < spans[i - 1].end)
            return Fail(error, StrFormat("%s and %s channels overlap inside the interleaved vertex",
                                         VertexChannelName(mesh, spans[i - 1].channel).c_str(),
                                         VertexChannelName(mesh, spans[i].channel).c_str()));
    return true;
}

bool CheckKeyArray(const char* what, const std::vector<uint32_t>& keyIdx, const std::vector<float>& keys,
                   uint32_t animMask, uint32_t bit, uint32_t keySize, uint32_t frameCount, ESceneCheck mode,
                   CZGXTString* error)
{
    if (!keyIdx.empty() && !CheckSize(keyIdx.size(), frameCount, mode))
        return Fail(error,
                    StrFormat("%s key index array has %zu entries for %u frames", what, keyIdx.size(), frameCount));
    if (keys.empty())
        return true;
    const uint64_t expected = AnimArrayLength(animMask, bit, keyIdx, frameCount, keySize);
    if (!CheckSize(keys.size(), expected, mode))
        return Fail(error, StrFormat("%s keys hold %zu floats; the animation flags and %u frames need %" PRIu64, what,
                                     keys.size(), frameCount, expected));
    return true;
}

} // namespace

uint32_t InterleavedStride(const SSceneMesh& mesh)
{
    if (mesh.uiVertexCount == 0)
        return 0;
    return static_cast<uint32_t>(mesh.pVertexBlock.size() / mesh.uiVertexCount);
}

CZGXTString VertexChannelName(const SSceneMesh& mesh, const SVertexChannel* c)
{
    if (c == &mesh.sIndexData)
        return "index";
    if (c == &mesh.sPosition)
        return "position";
    if (c == &mesh.sNormal)
        return "normal";
    if (c == &mesh.sTangent)
        return "tangent";
    if (c == &mesh.sBinormal)
        return "binormal";
    if (c == &mesh.sColour)
        return "colour";
    if (c == &mesh.sBoneIndex)
        return "bone index";
    if (c == &mesh.sBoneWeights)
        return "bone weight";
    for (size_t i = 0; i < mesh.psTexCoord.size(); ++i)
        if (c == &mesh.psTexCoord[i])
            return StrFormat("texture coordinate set %zu", i);
    return "vertex";
}

bool CheckMesh(const SSceneMesh& mesh, CZGXTString* error)
{
    for (const SVertexChannel* c : VertexChannels(mesh))
        if (!IsValidDataType(c->eType))
            return Fail(error, StrFormat("%s channel has the unknown type %u", VertexChannelName(mesh, c).c_str(),
                                         unsigned(c->eType)));
    if (!IsValidDataType(mesh.sIndexData.eType))
        return Fail(error, StrFormat("index channel has the unknown type %u", unsigned(mesh.sIndexData.eType)));

    uint64_t stripTriangles = 0;
    for (uint32_t t : mesh.puiStripTriangles)
        stripTriangles += t;
    if (!mesh.puiStripTriangles.empty() && stripTriangles != mesh.uiTriangleCount)
        return Fail(error, StrFormat("strips hold %" PRIu64 " triangles; the mesh has %u", stripTriangles,
                                     mesh.uiTriangleCount));
    if (!CheckIndexChannel(mesh, error))
        return false;

    if (mesh.IsInterleaved()) {
        if (!CheckInterleaved(mesh, error))
            return false;
    } else {
        for (const SVertexChannel* c : VertexChannels(mesh))
            if (!CheckOwnChannel(mesh, *c, error))
                return false;
    }

    // Bone batches: written with the sizes their counts give.
    const uint64_t batches = mesh.uiBatchCount;
    const uint64_t listSize = uint64_t(mesh.uiBatchCapacity) * batches;
    if (!mesh.puiBatchBoneList.empty() && mesh.puiBatchBoneList.size() != listSize)
        return Fail(error, StrFormat("batch bone list holds %zu entries; %u batches of %u need %" PRIu64,
                                     mesh.puiBatchBoneList.size(), mesh.uiBatchCount, mesh.uiBatchCapacity, listSize));
    if (!mesh.puiBatchBoneTotals.empty() && mesh.puiBatchBoneTotals.size() != batches)
        return Fail(error, StrFormat("batch bone totals hold %zu entries for %u batches",
                                     mesh.puiBatchBoneTotals.size(), mesh.uiBatchCount));
    if (!mesh.puiBatchStartTriangle.empty() && mesh.puiBatchStartTriangle.size() != batches)
        return Fail(error, StrFormat("batch start triangles hold %zu entries for %u batches",
                                     mesh.puiBatchStartTriangle.size(), mesh.uiBatchCount));
    return true;
}

bool CheckNodeArrays(const SSceneNode& node, uint32_t frameCount, ESceneCheck mode, CZGXTString* error)
{
    const uint32_t mask = node.uiAnimMask;
    return CheckKeyArray("position", node.puiPositionKeyIdx, node.pfPositionKeys, mask, 0, kPositionKeySize, frameCount,
                         mode, error) &&
           CheckKeyArray("rotation", node.puiRotationKeyIdx, node.pfRotationKeys, mask, 1, kRotationKeySize, frameCount,
                         mode, error) &&
           CheckKeyArray("scale", node.puiScaleKeyIdx, node.pfScaleKeys, mask, 2, kScaleKeySize, frameCount, mode,
                         error) &&
           CheckKeyArray("matrix", node.puiMatrixKeyIdx, node.pfMatrixKeys, mask, 3, kMatrixKeySize, frameCount, mode,
                         error);
}

bool CheckCameraKeys(const SSceneCamera& camera, uint32_t frameCount, ESceneCheck mode, CZGXTString* error)
{
    if (!camera.pfFieldOfViewKeys.empty() && !CheckSize(camera.pfFieldOfViewKeys.size(), frameCount, mode))
        return Fail(error, StrFormat("field of view keys hold %zu values for %u frames",
                                     camera.pfFieldOfViewKeys.size(), frameCount));
    return true;
}

bool CheckScene(const SScene& scene, ESceneCheck mode, CZGXTString* error)
{
    CZGXTString why;
    if (scene.uiMeshNodeCount > scene.pNodes.size())
        return Fail(error, StrFormat("mesh node count %u exceeds the node count %zu", scene.uiMeshNodeCount,
                                     scene.pNodes.size()));
    for (size_t i = 0; i < scene.pCameras.size(); ++i)
        if (!CheckCameraKeys(scene.pCameras[i], scene.uiFrameCount, mode, &why))
            return Fail(error, StrFormat("camera %zu: %s", i, why.c_str()));
    for (size_t i = 0; i < scene.pMeshes.size(); ++i)
        if (!CheckMesh(scene.pMeshes[i], &why))
            return Fail(error, StrFormat("mesh %zu: %s", i, why.c_str()));
    for (size_t i = 0; i < scene.pNodes.size(); ++i)
        if (!CheckNodeArrays(scene.pNodes[i], scene.uiFrameCount, mode, &why))
            return Fail(error, StrFormat("node %zu: %s", i, why.c_str()));
    return true;
}
