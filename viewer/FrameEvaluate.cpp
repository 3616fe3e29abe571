// Evaluating node matrices and skinned vertices at one frame.
#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "scene/Scene.h"
#include "viewer/DrawList.h"

namespace {

// Skins one item: every vertex is the weighted sum of its bones' skinning
// matrices applied to it (the result is in world space). Weights are
// normalised; a vertex without bones stays where its node puts it.
void SkinItem(SScene& scene, const SDrawMesh& mesh, uint32_t meshNode, const SMatrix44& nodeWorld,
              std::vector<float>& pos, std::vector<float>& norm)
{
    std::unordered_map<uint32_t, SMatrix44> palette;
    for (size_t i = 0; i < mesh.puiBoneNodes.size(); ++i)
        if (mesh.pfBoneWeights[i] > 0 && !palette.count(mesh.puiBoneNodes[i]))
            palette.emplace(mesh.puiBoneNodes[i], BoneSkinMatrix(scene, meshNode, mesh.puiBoneNodes[i]));

    const size_t n = mesh.uiVertexCount;
    const bool normals = !mesh.pfNormals.empty();
    pos.assign(n * 3, 0.0f);
    norm.assign(normals ? n * 3 : 0, 0.0f);
    for (size_t v = 0; v < n; ++v) {
        const float* p = &mesh.pfPositions[v * 3];
        float total = 0;
        for (int k = 0; k < 4; ++k)
            total += mesh.pfBoneWeights[v * 4 + k];
        float* out = &pos[v * 3];
        float* outN = normals ? &norm[v * 3] : nullptr;
        if (!(total > 0)) {
            TransformPoint(nodeWorld, p, out);
            if (outN)
                TransformDirection(nodeWorld, &mesh.pfNormals[v * 3], outN);
            continue;
        }
        for (int k = 0; k < 4; ++k) {
            const float w = mesh.pfBoneWeights[v * 4 + k] / total;
            if (!(w > 0))
                continue;
            const SMatrix44& m = palette[mesh.puiBoneNodes[v * 4 + k]];
            float q[3];
            TransformPoint(m, p, q);
            for (int c = 0; c < 3; ++c)
                out[c] += w * q[c];
            if (outN) {
                TransformDirection(m, &mesh.pfNormals[v * 3], q);
                for (int c = 0; c < 3; ++c)
                    outN[c] += w * q[c];
            }
        }
    }
}

} // namespace

void EvaluateFrame(SScene& scene, const SDrawList& list, float frame, SDrawFrame& out)
{
    const float last = list.uiFrameCount ? float(list.uiFrameCount - 1) : 0.0f;
    frame = std::isfinite(frame) ? std::clamp(frame, 0.0f, last) : 0.0f;
    out.fFrame = frame;
    SelectFrame(scene, frame);
    out.pmWorld.resize(scene.pNodes.size());
    for (size_t i = 0; i < scene.pNodes.size(); ++i)
        out.pmWorld[i] = WorldMatrixAt(scene, uint32_t(i));
    out.pfSkinnedPos.resize(list.pItems.size());
    out.pfSkinnedNorm.resize(list.pItems.size());
    for (size_t i = 0; i < list.pItems.size(); ++i) {
        const SDrawItem& item = list.pItems[i];
        const SDrawMesh& mesh = list.pMeshes[item.uiMesh];
        if (mesh.IsSkinned())
            SkinItem(scene, mesh, item.uiNode, out.pmWorld[item.uiNode], out.pfSkinnedPos[i], out.pfSkinnedNorm[i]);
        else {
            out.pfSkinnedPos[i].clear();
            out.pfSkinnedNorm[i].clear();
        }
    }
}

bool ItemBounds(const SDrawList& list, const SDrawFrame& frame, size_t item, SBox& box)
{
    if (item >= list.pItems.size() || item >= frame.pfSkinnedPos.size())
        return false;
    const SDrawItem& it = list.pItems[item];
    const SDrawMesh& mesh = list.pMeshes[it.uiMesh];
    SBox own;
    const std::vector<float>& skinned = frame.pfSkinnedPos[item];
    if (!skinned.empty()) {
        for (size_t v = 0; v + 2 < skinned.size(); v += 3)
            own.Add(&skinned[v]);
    } else if (mesh.sBounds.bAny) {
        // The eight corners of the mesh's box through the node's matrix.
        const SMatrix44& world = it.uiNode < frame.pmWorld.size() ? frame.pmWorld[it.uiNode] : MatrixIdentity();
        const SBox& b = mesh.sBounds;
        for (int corner = 0; corner < 8; ++corner) {
            const float p[3] = {(corner & 1) ? b.fMax[0] : b.fMin[0], (corner & 2) ? b.fMax[1] : b.fMin[1],
                                (corner & 4) ? b.fMax[2] : b.fMin[2]};
            float q[3];
            TransformPoint(world, p, q);
            own.Add(q);
        }
    }
    if (own.bAny) {
        box.Add(own.fMin);
        box.Add(own.fMax);
    }
    return own.bAny;
}

SBox AnimationBounds(SScene& scene, const SDrawList& list, uint32_t maxFrames)
{
    const float was = scene.sAnimCache.fFrame;
    const uint32_t frames = std::max(list.uiFrameCount, 1u);
    // Skinning every vertex is the cost of a frame: big skinned scenes get
    // fewer frames (about 8 million skinned vertices in all).
    uint64_t skinned = 0;
    for (const SDrawItem& item : list.pItems)
        if (list.pMeshes[item.uiMesh].IsSkinned())
            skinned += list.pMeshes[item.uiMesh].uiVertexCount;
    const uint64_t affordable = std::max<uint64_t>(2, 8000000 / std::max<uint64_t>(skinned, 1));
    const uint32_t samples =
        frames == 1 ? 1u : std::clamp(uint32_t(std::min<uint64_t>(maxFrames, affordable)), 2u, frames);
    SBox box;
    SDrawFrame at;
    for (uint32_t i = 0; i < samples; ++i) {
        const uint32_t frame = samples > 1 ? uint32_t(uint64_t(i) * (frames - 1) / (samples - 1)) : 0;
        EvaluateFrame(scene, list, float(frame), at);
        for (size_t item = 0; item < list.pItems.size(); ++item)
            ItemBounds(list, at, item, box);
    }
    SelectFrame(scene, was);
    return box;
}
