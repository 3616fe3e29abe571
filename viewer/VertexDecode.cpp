// Decoding one mesh into flat float arrays and a triangle list.
#include <meshoptimizer.h>

#include <algorithm>
#include <cmath>

#include "scene/MeshTriangles.h"
#include "scene/Scene.h"
#include "scene/VertexDataTypes.h"
#include "viewer/DrawList.h"

namespace {

// Reads up to `want` values of every vertex of a channel into out (want per
// vertex, missing values 0, the fourth 1). False when the channel is absent
// or its bytes do not cover every vertex.
bool ReadChannel(const SSceneMesh& mesh, const SVertexChannel& c, uint32_t want, std::vector<float>& out)
{
    if (!c.IsPresent() || !IsValidDataType(c.eType) || ComponentSize(c.eType) == 0 || c.uiStride == 0)
        return false;
    const bool interleaved = mesh.IsInterleaved();
    const std::vector<uint8_t>& bytes = interleaved ? mesh.pVertexBlock : c.pData;
    const size_t base = interleaved ? c.uiOffset : 0;
    const uint32_t count = std::min(c.uiComponentCount, 4u);
    const size_t element = IsPackedType(c.eType) ? ComponentSize(c.eType) : size_t(count) * ComponentSize(c.eType);
    const size_t n = mesh.uiVertexCount;
    if (n == 0 || base + (n - 1) * size_t(c.uiStride) + element > bytes.size())
        return false;
    out.resize(n * want);
    float v[4];
    for (size_t i = 0; i < n; ++i) {
        ReadVertex(v, &bytes[base + i * c.uiStride], c.eType, count);
        for (uint32_t k = 0; k < want; ++k)
            out[i * want + k] = v[k];
    }
    return true;
}

bool IsIdentity(const SMatrix44& m)
{
    return m == MatrixIdentity();
}

} // namespace

void SBox::Add(const float p[3])
{
    if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
        return;
    bAny = true;
    for (int c = 0; c < 3; ++c) {
        fMin[c] = std::min(fMin[c], p[c]);
        fMax[c] = std::max(fMax[c], p[c]);
    }
}

void TransformPoint(const SMatrix44& m, const float in[3], float out[3])
{
    float r[3];
    for (int c = 0; c < 3; ++c)
        r[c] = in[0] * m[c] + in[1] * m[4 + c] + in[2] * m[8 + c] + m[12 + c];
    out[0] = r[0];
    out[1] = r[1];
    out[2] = r[2];
}

void TransformDirection(const SMatrix44& m, const float in[3], float out[3])
{
    float r[3];
    for (int c = 0; c < 3; ++c)
        r[c] = in[0] * m[c] + in[1] * m[4 + c] + in[2] * m[8 + c];
    out[0] = r[0];
    out[1] = r[1];
    out[2] = r[2];
}

float ListAcmr(const std::vector<uint32_t>& indices, uint32_t vertexCount)
{
    if (indices.empty() || vertexCount == 0)
        return 0;
    return meshopt_analyzeVertexCache(indices.data(), indices.size(), vertexCount, 16, 0, 0).acmr;
}

void DecodeMesh(const SSceneMesh& mesh, uint32_t nodeCount, SDrawMesh& out)
{
    out = SDrawMesh();
    out.uiVertexCount = mesh.uiVertexCount;
    if (!ReadChannel(mesh, mesh.sPosition, 3, out.pfPositions)) {
        out.uiVertexCount = 0;
        return;
    }
    const size_t n = out.uiVertexCount;
    if (!IsIdentity(mesh.fUnpackMatrix))
        for (size_t i = 0; i < n; ++i)
            TransformPoint(mesh.fUnpackMatrix, &out.pfPositions[i * 3], &out.pfPositions[i * 3]);

    if (ReadChannel(mesh, mesh.sNormal, 3, out.pfNormals)) {
        for (size_t i = 0; i < n; ++i) {
            float* p = &out.pfNormals[i * 3];
            const float length = std::sqrt(Dot3(p, p));
            const float s = length > 1e-20f && std::isfinite(length) ? 1.0f / length : 0.0f;
            p[0] *= s;
            p[1] *= s;
            p[2] *= s;
        }
    }
    if (ReadChannel(mesh, mesh.sColour, 4, out.pfColours))
        for (float& v : out.pfColours)
            v = std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : 0.0f;
    if (!mesh.psTexCoord.empty())
        ReadChannel(mesh, mesh.psTexCoord[0], 2, out.pfTexCoords);

    // Triangles: out-of-range corners (only possible in a scene that did not
    // come through the reader) drop the triangle.
    std::vector<uint32_t> list = TriangleList(mesh);
    size_t kept = 0;
    std::vector<uint32_t> triangleOf; // source triangle of each kept one, for the batches
    const bool batched = mesh.uiBatchCount != 0 && !mesh.puiBatchStartTriangle.empty();
    if (batched)
        triangleOf.reserve(list.size() / 3);
    for (size_t t = 0; t + 2 < list.size(); t += 3) {
        if (list[t] >= n || list[t + 1] >= n || list[t + 2] >= n)
            continue;
        list[kept] = list[t];
        list[kept + 1] = list[t + 1];
        list[kept + 2] = list[t + 2];
        kept += 3;
        if (batched)
            triangleOf.push_back(uint32_t(t / 3));
    }
    list.resize(kept);
    out.puiIndices.swap(list);

    // Skinning: bone slots of a batched mesh are places in the palette of the
    // batch that holds the vertex's triangles; otherwise they are node indices.
    std::vector<float> bones, weights;
    if (ReadChannel(mesh, mesh.sBoneIndex, 4, bones)) {
        const uint32_t per = std::min(mesh.sBoneIndex.uiComponentCount, 4u);
        if (!ReadChannel(mesh, mesh.sBoneWeights, 4, weights)) {
            // One bone per vertex needs no weights.
            weights.assign(n * 4, 0.0f);
            for (size_t i = 0; i < n; ++i)
                weights[i * 4] = 1;
        }
        std::vector<uint32_t> batchOf;
        if (batched) {
            // Batch of each triangle: batches start in ascending order of
            // their first triangle (the file may list them in any order).
            std::vector<uint32_t> order(mesh.uiBatchCount);
            for (uint32_t b = 0; b < mesh.uiBatchCount; ++b)
                order[b] = b;
            const auto startOf = [&](uint32_t b) {
                return b < mesh.puiBatchStartTriangle.size() ? mesh.puiBatchStartTriangle[b] : UINT32_MAX;
            };
            std::stable_sort(order.begin(), order.end(),
                             [&](uint32_t a, uint32_t b) { return startOf(a) < startOf(b); });
            batchOf.assign(n, UINT32_MAX);
            size_t o = 0;
            for (size_t k = 0; k < triangleOf.size(); ++k) {
                while (o + 1 < order.size() && startOf(order[o + 1]) <= triangleOf[k])
                    ++o;
                for (int c = 0; c < 3; ++c)
                    batchOf[out.puiIndices[k * 3 + c]] = order[o];
            }
        }
        out.puiBoneNodes.assign(n * 4, 0);
        out.pfBoneWeights.assign(n * 4, 0.0f);
        for (size_t i = 0; i < n; ++i) {
            for (uint32_t k = 0; k < per; ++k) {
                const float w = weights[i * 4 + k];
                const float slot = bones[i * 4 + k];
                if (!(w > 0) || !std::isfinite(w) || !(slot >= 0) || slot > float(UINT32_MAX))
                    continue;
                uint64_t node = uint64_t(slot);
                if (batched) {
                    const uint32_t b = batchOf[i];
                    const uint64_t at = uint64_t(b) * mesh.uiBatchCapacity + node;
                    if (b == UINT32_MAX || node >= mesh.uiBatchCapacity || at >= mesh.puiBatchBoneList.size())
                        continue;
                    node = mesh.puiBatchBoneList[size_t(at)];
                }
                if (node >= nodeCount)
                    continue;
                out.puiBoneNodes[i * 4 + k] = uint32_t(node);
                out.pfBoneWeights[i * 4 + k] = w;
            }
        }
        out.uiBatchCount = mesh.uiBatchCount;
    }

    for (size_t i = 0; i < n; ++i)
        out.sBounds.Add(&out.pfPositions[i * 3]);
    out.fAcmr = ListAcmr(out.puiIndices, out.uiVertexCount);
}
