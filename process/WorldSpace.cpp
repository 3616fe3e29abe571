#include "process/WorldSpace.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "process/VertexData.h"
#include "scene/Scene.h"

namespace {

// Directions follow the inverse transpose of the 3x3 part: the cofactor
// matrix over the determinant. A singular part keeps its cofactors, which
// still carry the directions that survive.
SMatrix44 DirectionMatrix(const SMatrix44& m)
{
    auto a = [&m](int r, int c) { return double(m[size_t(r * 4 + c)]); };
    double cof[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const int r0 = (r + 1) % 3, r1 = (r + 2) % 3, c0 = (c + 1) % 3, c1 = (c + 2) % 3;
            cof[r][c] = a(r0, c0) * a(r1, c1) - a(r0, c1) * a(r1, c0);
        }
    const double det = a(0, 0) * cof[0][0] + a(0, 1) * cof[0][1] + a(0, 2) * cof[0][2];
    const double scale = (det != 0.0 && std::isfinite(det)) ? 1.0 / det : 1.0;
    SMatrix44 out = MatrixIdentity();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[size_t(r * 4 + c)] = float(cof[r][c] * scale);
    return out;
}

void TransformPoint(float p[3], const SMatrix44& m)
{
    const float x = p[0], y = p[1], z = p[2];
    for (int c = 0; c < 3; ++c)
        p[c] = x * m[size_t(c)] + y * m[size_t(4 + c)] + z * m[size_t(8 + c)] + m[size_t(12 + c)];
}

// Unit length afterwards (a zero direction stays zero).
void TransformDirection(float d[3], const SMatrix44& m)
{
    const float x = d[0], y = d[1], z = d[2];
    for (int c = 0; c < 3; ++c)
        d[c] = x * m[size_t(c)] + y * m[size_t(4 + c)] + z * m[size_t(8 + c)];
    const float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (len > 0.0f && std::isfinite(len))
        for (int c = 0; c < 3; ++c)
            d[c] /= len;
}

// Where one vertex element of a channel lives, wherever the data is held.
struct SChannelView {
    uint8_t* base = nullptr;
    uint32_t stride = 0;
    uint32_t type = 0;
    uint32_t count = 0;
    bool Valid() const { return base != nullptr; }
    uint8_t* At(uint32_t v) const { return base + size_t(v) * stride; }
};

SChannelView View(SSceneMesh& mesh, SVertexChannel& c)
{
    SChannelView view;
    const uint32_t size = ElementSize(c);
    if (!c.IsPresent() || size == 0 || c.uiStride < size || mesh.uiVertexCount == 0)
        return view;
    const uint64_t need = uint64_t(c.uiStride) * (mesh.uiVertexCount - 1);
    if (mesh.IsInterleaved()) {
        if (need + c.uiOffset + size > mesh.pVertexBlock.size())
            return view;
        view.base = mesh.pVertexBlock.data() + c.uiOffset;
    } else {
        if (need + size > c.pData.size())
            return view;
        view.base = c.pData.data();
    }
    view.stride = c.uiStride;
    view.type = c.eType;
    view.count = c.uiComponentCount;
    return view;
}

// The bone batch of every vertex (-1 for a vertex no triangle uses).
std::vector<int32_t> VertexBatches(const SSceneMesh& mesh)
{
    std::vector<int32_t> batchOf(mesh.uiVertexCount, -1);
    const std::vector<uint32_t>& starts = mesh.puiBatchStartTriangle;
    const SVertexChannel& ind = mesh.sIndexData;
    const uint32_t size = ComponentSize(ind.eType);
    const bool indexed = !ind.pData.empty() && (ind.eType == eZGXTUShort || ind.eType == eZGXTUInt);
    const uint64_t indexCount = IndexCount(mesh);
    auto vertexAt = [&](uint64_t i) -> uint64_t {
        if (!indexed)
            return i; // de-indexed: vertices follow the triangles
        if ((i + 1) * size > ind.pData.size())
            return UINT64_MAX;
        return ReadIndex(&ind.pData[size_t(i) * size], ind.eType);
    };
    auto batchOfTriangle = [&](uint64_t t) -> int32_t {
        const auto it = std::upper_bound(starts.begin(), starts.end(), t);
        return it == starts.begin() ? 0 : int32_t(it - starts.begin() - 1);
    };
    auto mark = [&](uint64_t position, uint64_t triangle) {
        const uint64_t v = vertexAt(position);
        if (v < batchOf.size())
            batchOf[size_t(v)] = batchOfTriangle(triangle);
    };
    if (mesh.puiStripTriangles.empty()) {
        for (uint64_t i = 0; i < indexCount; ++i)
            mark(i, i / 3);
    } else {
        uint64_t position = 0, triangle = 0;
        for (uint32_t length : mesh.puiStripTriangles) {
            for (uint64_t k = 0; k < uint64_t(length) + 2 && position + k < indexCount; ++k)
                mark(position + k, triangle + (k >= 2 ? k - 2 : 0));
            position += uint64_t(length) + 2;
            triangle += length;
        }
    }
    return batchOf;
}

SMatrix44 WeightedSum(const std::vector<std::pair<float, const SMatrix44*>>& terms)
{
    SMatrix44 sum{};
    for (const auto& t : terms)
        for (size_t i = 0; i < 16; ++i)
            sum[i] += t.first * (*t.second)[i];
    return sum;
}

// Moves one mesh's vertices into world space: by the node's world matrix, or
// for a batched skinned mesh by each vertex's blend of skinning matrices.
void MeshToWorld(SScene& scene, uint32_t nodeIndex, SSceneMesh& mesh)
{
    const uint32_t n = mesh.uiVertexCount;
    if (!mesh.IsInterleaved())
        for (SVertexChannel* c : {&mesh.sPosition, &mesh.sNormal, &mesh.sTangent, &mesh.sBinormal})
            ConvertChannel(*c, n, eZGXTFloat);

    const SMatrix44 world = WorldMatrixAt(scene, nodeIndex);
    const SMatrix44 worldDir = DirectionMatrix(world);
    std::vector<SMatrix44> pointMatrix, dirMatrix; // per vertex, when skinned
    const SChannelView bones = View(mesh, mesh.sBoneIndex);
    const SChannelView weights = View(mesh, mesh.sBoneWeights);
    const uint32_t capacity = mesh.uiBatchCapacity;
    const bool batched = mesh.uiBatchCount != 0 && capacity != 0 && bones.Valid() && weights.Valid() &&
                         mesh.puiBatchBoneList.size() >= uint64_t(capacity) * mesh.uiBatchCount &&
                         mesh.puiBatchStartTriangle.size() >= mesh.uiBatchCount;
    if (batched) {
        std::unordered_map<uint32_t, std::pair<SMatrix44, SMatrix44>> skin; // bone -> point, direction
        const std::vector<int32_t> batchOf = VertexBatches(mesh);
        pointMatrix.assign(n, world);
        dirMatrix.assign(n, worldDir);
        const uint32_t slots = std::min(bones.count, weights.count);
        std::vector<std::pair<float, const SMatrix44*>> points, dirs;
        for (uint32_t v = 0; v < n; ++v) {
            const int32_t b = batchOf[v];
            if (b < 0 || uint32_t(b) >= mesh.uiBatchCount)
                continue;
            const uint32_t total = mesh.puiBatchBoneTotals.size() > size_t(b)
                                       ? std::min(mesh.puiBatchBoneTotals[size_t(b)], capacity)
                                       : capacity;
            points.clear();
            dirs.clear();
            float weightSum = 0.0f;
            for (uint32_t k = 0; k < slots; ++k) {
                const float w = ReadComponent(weights.At(v) + k * ComponentSize(weights.type), weights.type);
                const float slot = ReadComponent(bones.At(v) + k * ComponentSize(bones.type), bones.type);
                if (w == 0.0f || !(slot >= 0.0f) || uint32_t(slot) >= total)
                    continue;
                const uint32_t bone = mesh.puiBatchBoneList[size_t(b) * capacity + uint32_t(slot)];
                auto it = skin.find(bone);
                if (it == skin.end()) {
                    const SMatrix44 m = BoneSkinMatrix(scene, nodeIndex, bone);
                    it = skin.emplace(bone, std::make_pair(m, DirectionMatrix(m))).first;
                }
                points.emplace_back(w, &it->second.first);
                dirs.emplace_back(w, &it->second.second);
                weightSum += w;
            }
            // A vertex that no bone moves stays with its node.
            if (points.empty() || weightSum == 0.0f)
                continue;
            pointMatrix[v] = WeightedSum(points);
            dirMatrix[v] = WeightedSum(dirs);
        }
    }

    auto transform = [&](SVertexChannel& c, bool point) {
        const SChannelView view = View(mesh, c);
        if (!view.Valid())
            return;
        const uint32_t count = std::min(view.count, 3u);
        for (uint32_t v = 0; v < n; ++v) {
            float value[4];
            ReadVertex(value, view.At(v), view.type, count);
            if (point)
                TransformPoint(value, batched ? pointMatrix[v] : world);
            else
                TransformDirection(value, batched ? dirMatrix[v] : worldDir);
            WriteVertex(view.At(v), view.type, count * ValuesPerElement(view.type), value);
        }
    };
    transform(mesh.sPosition, true);
    transform(mesh.sNormal, false);
    transform(mesh.sTangent, false);
    transform(mesh.sBinormal, false);

    // Skinning is baked in: no bones, no batches.
    mesh.puiBatchBoneList.clear();
    mesh.puiBatchBoneTotals.clear();
    mesh.puiBatchStartTriangle.clear();
    mesh.uiBatchCount = 0;
    mesh.uiBatchCapacity = 0;
    for (SVertexChannel* c : {&mesh.sBoneIndex, &mesh.sBoneWeights}) {
        c->eType = eZGXTFloat;
        c->uiComponentCount = 0;
        c->uiStride = 0;
        c->uiOffset = 0;
        c->pData = std::vector<uint8_t>();
    }
}

void ReleaseTransforms(SSceneNode& node)
{
    node.nParentIdx = -1;
    node.uiAnimMask = 0;
    for (std::vector<float>* keys : {&node.pfPositionKeys, &node.pfRotationKeys, &node.pfScaleKeys, &node.pfMatrixKeys})
        *keys = std::vector<float>();
    for (std::vector<uint32_t>* idx :
         {&node.puiPositionKeyIdx, &node.puiRotationKeyIdx, &node.puiScaleKeyIdx, &node.puiMatrixKeyIdx})
        *idx = std::vector<uint32_t>();
}

// Floats of one transform array that belong to the scene.
size_t ArrayLength(const SSceneNode& node, uint32_t bit, const std::vector<uint32_t>& index,
                   const std::vector<float>& keys, uint32_t frames, uint32_t k)
{
    const uint64_t len = AnimArrayLength(node.uiAnimMask, bit, index, frames, k);
    return size_t(std::min<uint64_t>(len, keys.size()));
}

} // namespace

void ConvertToWorldSpace(SScene& source, SScene& out)
{
    out = SScene();
    for (int i = 0; i < 3; ++i) {
        out.fBackgroundRGB[i] = source.fBackgroundRGB[i];
        out.fAmbientRGB[i] = source.fAmbientRGB[i];
    }
    out.uiFlags = source.uiFlags;
    out.pUserData = source.pUserData;
    out.uiFrameCount = 0;

    const size_t nodeCount = source.pNodes.size();
    const uint32_t meshNodes = uint32_t(std::min<size_t>(source.uiMeshNodeCount, nodeCount));
    out.uiMeshNodeCount = meshNodes;
    out.pNodes.resize(nodeCount);
    out.pMeshes.resize(meshNodes);
    for (uint32_t i = 0; i < meshNodes; ++i) {
        SSceneNode& node = out.pNodes[i];
        node = source.pNodes[i];
        const int32_t content = node.nContentIdx;
        node.nContentIdx = int32_t(i);
        ReleaseTransforms(node);
        // Instanced meshes are duplicated: each node's vertices move differently.
        if (content >= 0 && size_t(content) < source.pMeshes.size()) {
            out.pMeshes[i] = source.pMeshes[size_t(content)];
            MeshToWorld(source, i, out.pMeshes[i]);
        }
    }
    for (size_t i = meshNodes; i < nodeCount; ++i) {
        SSceneNode& node = out.pNodes[i];
        node = source.pNodes[i];
        ReleaseTransforms(node);
        const SMatrix44 world = WorldMatrixAt(source, uint32_t(i));
        node.pfMatrixKeys.assign(world.begin(), world.end());
    }
    out.pCameras = source.pCameras;
    out.pLights = source.pLights;
    out.pTextures = source.pTextures;
    out.pMaterials = source.pMaterials;
}

void MirrorNodeAnimation(SScene& scene)
{
    const uint32_t frames = scene.uiFrameCount;
    for (SSceneNode& node : scene.pNodes) {
        std::vector<float>& pos = node.pfPositionKeys;
        size_t len = ArrayLength(node, 0, node.puiPositionKeyIdx, pos, frames, kPositionKeySize);
        if (len > 2)
            for (size_t i = 2; i < len; i += kPositionKeySize)
                pos[i] = -pos[i];

        // Mirroring z turns a rotation about (x, y, z) by an angle into one
        // about (-x, -y, z) by the same angle: the quaternion's x and y flip.
        std::vector<float>& rot = node.pfRotationKeys;
        len = ArrayLength(node, 1, node.puiRotationKeyIdx, rot, frames, kRotationKeySize);
        if (len > 2)
            for (size_t i = 0; i + 1 < len; i += kRotationKeySize) {
                rot[i] = -rot[i];
                rot[i + 1] = -rot[i + 1];
            }

        std::vector<float>& mat = node.pfMatrixKeys;
        len = ArrayLength(node, 3, node.puiMatrixKeyIdx, mat, frames, kMatrixKeySize);
        if (len > 2)
            for (size_t i = 0; i < len; i += kMatrixKeySize)
                for (size_t e : {2, 6, 8, 9, 11, 14})
                    if (i + e < len)
                        mat[i + e] = -mat[i + e];
    }
}
