#include "process/TangentSpace.h"

#include <cmath>
#include <cstring>

#include "base/Math.h"
#include "scene/VertexDataTypes.h"

namespace {

// A zero vector stays zero instead of turning into NaNs.
void Normalise(float v[3])
{
    const float lengthSq = Dot3(v, v);
    if (lengthSq == 0.0f)
        return;
    const float inv = 1.0f / std::sqrt(lengthSq);
    v[0] *= inv;
    v[1] *= inv;
    v[2] *= inv;
}

void ReadAttribute(float out[4], const uint8_t* vertex, const SVertexAttribute& a)
{
    if (a.uiCount == 0) {
        out[0] = out[1] = out[2] = 0.0f;
        out[3] = 1.0f;
        return;
    }
    // At most three values: a fourth would be padding or the next attribute.
    ReadVertex(out, vertex + a.uiOffset, a.eType, a.uiCount < 3 ? a.uiCount : 3);
    for (uint32_t k = a.uiCount; k < 3; ++k)
        out[k] = 0.0f;
}

struct SContribution {
    float T[3];
    float B[3];
    uint32_t uiTriangle;
};

} // namespace

void CornerTangent(float T[3], float B[3], const float N[3], const float pA[3], const float pB[3], const float pC[3],
                   const float uvA[2], const float uvB[2], const float uvC[2])
{
    const float uA = uvA[0], vA = uvA[1], uB = uvB[0], vB = uvB[1], uC = uvC[0], vC = uvC[1];
    if (Dot3(N, N) == 0.0f || (uA == uB && uA == uC)) {
        T[0] = T[1] = T[2] = 0.0f;
        B[0] = B[1] = B[2] = 0.0f;
        return;
    }
    const float eB[3] = {pB[0] - pA[0], pB[1] - pA[1], pB[2] - pA[2]};
    const float eC[3] = {pC[0] - pA[0], pC[1] - pA[1], pC[2] - pA[2]};
    // A direction in the triangle along which u does not change.
    float d[3];
    float dv;
    if (uA == uB) {
        std::memcpy(d, eB, sizeof(d));
        dv = vB - vA;
    } else if (uA == uC) {
        std::memcpy(d, eC, sizeof(d));
        dv = vC - vA;
    } else {
        const float r = -(uB - uA) / (uC - uA);
        for (int k = 0; k < 3; ++k)
            d[k] = eB[k] + r * eC[k];
        dv = (vB - vA) + r * (vC - vA);
    }
    if (dv < 0.0f) {
        d[0] = -d[0];
        d[1] = -d[1];
        d[2] = -d[2];
    }
    Normalise(d);
    Cross3(T, N, d);
    Cross3(B, T, N);
    // T must point where u grows. An edge that changes u tells: split into
    // parts along T and along d (where u stays), the edge's change of u and
    // its part along T have the same sign exactly when u grows along T. This
    // holds whatever the winding, so mirrored (DirectX) output with its
    // reversed triangles and flipped v gets the same frame as the texture.
    const float side = uB != uA ? (uB - uA) * Dot3(eB, T) : (uC - uA) * Dot3(eC, T);
    if (side < 0.0f) {
        T[0] = -T[0];
        T[1] = -T[1];
        T[2] = -T[2];
    }
    Normalise(T);
    Normalise(B);
}

int GenerateTangentSpace(uint32_t* outVertexCount, std::vector<uint8_t>* outVertices, uint32_t* faces,
                         uint32_t vertexCount, const uint8_t* vertices, uint32_t stride,
                         const SVertexAttribute& position, const SVertexAttribute& normal, const SVertexAttribute& uv,
                         const SVertexAttribute& tangent, const SVertexAttribute& binormal, uint32_t faceCount,
                         float splitThreshold)
{
    if (vertexCount == 0 || stride == 0 || !outVertexCount || !outVertices)
        return 1;
    const size_t cornerCount = size_t(faceCount) * 3;

    // Corners per vertex, so that each vertex's contributions sit together
    // in triangle order.
    std::vector<uint32_t> first(size_t(vertexCount) + 1, 0);
    for (size_t i = 0; i < cornerCount; ++i) {
        const uint32_t v = faces[i];
        if (v >= vertexCount)
            return 1;
        if (++first[v + 1] > kTangentSpaceMaxCorners)
            return 1;
    }
    for (uint32_t t = 0; t < faceCount; ++t) {
        const uint32_t* f = faces + size_t(t) * 3;
        if (f[0] == f[1] || f[1] == f[2] || f[2] == f[0])
            return 1;
    }
    for (uint32_t v = 0; v < vertexCount; ++v)
        first[v + 1] += first[v];
    std::vector<SContribution> contributions(cornerCount);
    std::vector<uint32_t> fill(first.begin(), first.end() - 1);

    for (uint32_t t = 0; t < faceCount; ++t) {
        const uint32_t* f = faces + size_t(t) * 3;
        float p[3][4], n[3][4], tc[3][4];
        for (int k = 0; k < 3; ++k) {
            const uint8_t* vertex = vertices + size_t(f[k]) * stride;
            ReadAttribute(p[k], vertex, position);
            ReadAttribute(n[k], vertex, normal);
            ReadAttribute(tc[k], vertex, uv);
        }
        for (int k = 0; k < 3; ++k) {
            const int k1 = (k + 1) % 3, k2 = (k + 2) % 3;
            SContribution& c = contributions[fill[f[k]]++];
            CornerTangent(c.T, c.B, n[k], p[k], p[k1], p[k2], tc[k], tc[k1], tc[k2]);
            c.uiTriangle = t;
        }
    }

    const uint64_t maxOut = uint64_t(vertexCount) * 3;
    std::vector<uint8_t> out;
    out.reserve(size_t(vertexCount) * stride);
    std::vector<uint32_t> newFaces(faces, faces + cornerCount);
    uint32_t outCount = 0;
    uint32_t group[kTangentSpaceMaxCorners];  // group of each contribution
    uint32_t leader[kTangentSpaceMaxCorners]; // first contribution of each group
    for (uint32_t v = 0; v < vertexCount; ++v) {
        const SContribution* c = contributions.data() + first[v];
        const uint32_t count = first[v + 1] - first[v];
        uint32_t groups = 0;
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t g = 0;
            for (; g < groups; ++g) {
                bool agrees = true;
                for (uint32_t m = leader[g]; m < i && agrees; ++m)
                    if (group[m] == g)
                        agrees = Dot3(c[i].T, c[m].T) >= splitThreshold && Dot3(c[i].B, c[m].B) >= splitThreshold;
                if (agrees)
                    break;
            }
            if (g == groups)
                leader[groups++] = i;
            group[i] = g;
        }
        for (uint32_t g = 0; g < groups; ++g) {
            if (outCount >= maxOut)
                return 1;
            float T[4] = {0, 0, 0, 0}, B[4] = {0, 0, 0, 0};
            for (uint32_t i = leader[g]; i < count; ++i) {
                if (group[i] != g)
                    continue;
                for (int k = 0; k < 3; ++k) {
                    T[k] += c[i].T[k];
                    B[k] += c[i].B[k];
                }
                uint32_t* f = &newFaces[size_t(c[i].uiTriangle) * 3];
                const uint32_t* old = faces + size_t(c[i].uiTriangle) * 3;
                for (int k = 0; k < 3; ++k)
                    if (old[k] == v)
                        f[k] = outCount;
            }
            Normalise(T);
            Normalise(B);
            const size_t at = out.size();
            out.resize(at + stride);
            std::memcpy(&out[at], vertices + size_t(v) * stride, stride);
            if (tangent.uiCount)
                WriteVertex(&out[at + tangent.uiOffset], tangent.eType, 3, T);
            if (binormal.uiCount)
                WriteVertex(&out[at + binormal.uiOffset], binormal.eType, 3, B);
            ++outCount;
        }
    }
    std::memcpy(faces, newFaces.data(), cornerCount * sizeof(uint32_t));
    out.shrink_to_fit();
    outVertices->swap(out);
    *outVertexCount = outCount;
    return 0;
}
