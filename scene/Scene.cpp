#include "scene/Scene.h"

#include <cmath>
#include <cstring>
#include <new>
#include <unordered_map>

namespace {

// Floats compare by bit pattern, so a round trip is checked exactly (NaN
// payloads included).
bool SameBits(const float* a, const float* b, size_t n)
{
    return std::memcmp(a, b, n * sizeof(float)) == 0;
}

bool SameBits(float a, float b)
{
    return SameBits(&a, &b, 1);
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && (a.empty() || SameBits(a.data(), b.data(), a.size()));
}

// Float offsets of the two keys around the selected frame (key B is key A at
// the last frame). False when the array cannot hold them.
bool LocateKeys(const SScene& scene, const std::vector<float>& keys, const std::vector<uint32_t>& keyIdx, uint32_t k,
                size_t* a, size_t* b)
{
    const uint32_t frameCount = scene.uiFrameCount;
    uint32_t frame = scene.sAnimCache.uiFrame;
    if (frameCount == 0)
        frame = 0;
    else if (frame >= frameCount)
        frame = frameCount - 1;
    const bool last = frameCount == 0 || frame + 1 >= frameCount;
    if (!keyIdx.empty()) {
        if (frame >= keyIdx.size())
            return false;
        *a = keyIdx[frame];
        *b = (last || frame + 1 >= keyIdx.size()) ? *a : keyIdx[frame + 1];
    } else {
        *a = size_t(frame) * k;
        *b = last ? *a : size_t(frame + 1) * k;
    }
    return *a + k <= keys.size() && *b + k <= keys.size();
}

// The interpolation fraction, or 0 when the selected frame lies beyond the
// last key (the last key is then used as it stands).
float BlendFraction(const SScene& scene)
{
    if (scene.uiFrameCount == 0 || scene.sAnimCache.uiFrame >= scene.uiFrameCount)
        return 0.0f;
    return scene.sAnimCache.fBlend;
}

SMatrix44 LocalMatrix(const SScene& scene, uint32_t node)
{
    if (!scene.pNodes[node].pfMatrixKeys.empty())
        return EvalMatrixKey(scene, node);
    return MatrixMultiply(MatrixMultiply(EvalScaleMatrix(scene, node), EvalRotationMatrix(scene, node)),
                          EvalTranslationMatrix(scene, node));
}

// Parent of every node for evaluation: out-of-range parents and the links of
// parent cycles count as absent, so evaluation always ends (linear time).
std::vector<int32_t> EffectiveParents(const SScene& scene)
{
    const size_t n = scene.pNodes.size();
    std::vector<int32_t> parent(n, -1);
    for (size_t i = 0; i < n; ++i) {
        const int32_t p = scene.pNodes[i].nParentIdx;
        parent[i] = (p >= 0 && size_t(p) < n) ? p : -1;
    }
    std::vector<uint8_t> state(n, 0); // 0 new, 1 on the current path, 2 done
    std::vector<size_t> path;
    for (size_t start = 0; start < n; ++start) {
        if (state[start] != 0)
            continue;
        path.clear();
        size_t cur = start;
        for (;;) {
            state[cur] = 1;
            path.push_back(cur);
            const int32_t p = parent[cur];
            if (p < 0 || state[size_t(p)] == 2)
                break;
            if (state[size_t(p)] == 1) {
                // Every node of the cycle becomes a root.
                size_t i = path.size();
                do {
                    --i;
                    parent[path[i]] = -1;
                } while (path[i] != size_t(p));
                break;
            }
            cur = size_t(p);
        }
        for (size_t v : path)
            state[v] = 2;
    }
    return parent;
}

} // namespace

uint32_t ElementSize(const SVertexChannel& channel)
{
    return ComponentSize(channel.eType) * channel.uiComponentCount;
}

bool SVertexChannel::operator==(const SVertexChannel& o) const
{
    return eType == o.eType && uiComponentCount == o.uiComponentCount && uiStride == o.uiStride && pData == o.pData &&
           uiOffset == o.uiOffset;
}

bool SSceneMesh::operator==(const SSceneMesh& o) const
{
    return uiVertexCount == o.uiVertexCount && uiTriangleCount == o.uiTriangleCount && sIndexData == o.sIndexData &&
           puiStripTriangles == o.puiStripTriangles && sPosition == o.sPosition && sNormal == o.sNormal &&
           sTangent == o.sTangent && sBinormal == o.sBinormal && psTexCoord == o.psTexCoord && sColour == o.sColour &&
           sBoneIndex == o.sBoneIndex && sBoneWeights == o.sBoneWeights && pVertexBlock == o.pVertexBlock &&
           puiBatchBoneList == o.puiBatchBoneList && puiBatchBoneTotals == o.puiBatchBoneTotals &&
           puiBatchStartTriangle == o.puiBatchStartTriangle && uiBatchCapacity == o.uiBatchCapacity &&
           uiBatchCount == o.uiBatchCount && SameBits(fUnpackMatrix.data(), o.fUnpackMatrix.data(), 16);
}

std::vector<const SVertexChannel*> VertexChannels(const SSceneMesh& mesh)
{
    std::vector<const SVertexChannel*> out = {&mesh.sPosition, &mesh.sNormal, &mesh.sTangent, &mesh.sBinormal};
    for (const SVertexChannel& c : mesh.psTexCoord)
        out.push_back(&c);
    out.push_back(&mesh.sColour);
    out.push_back(&mesh.sBoneIndex);
    out.push_back(&mesh.sBoneWeights);
    return out;
}

std::vector<SVertexChannel*> VertexChannels(SSceneMesh& mesh)
{
    std::vector<SVertexChannel*> out = {&mesh.sPosition, &mesh.sNormal, &mesh.sTangent, &mesh.sBinormal};
    for (SVertexChannel& c : mesh.psTexCoord)
        out.push_back(&c);
    out.push_back(&mesh.sColour);
    out.push_back(&mesh.sBoneIndex);
    out.push_back(&mesh.sBoneWeights);
    return out;
}

bool SSceneNode::operator==(const SSceneNode& o) const
{
    return nContentIdx == o.nContentIdx && pszName == o.pszName && nMaterialIdx == o.nMaterialIdx &&
           nParentIdx == o.nParentIdx && uiAnimMask == o.uiAnimMask && puiPositionKeyIdx == o.puiPositionKeyIdx &&
           SameBits(pfPositionKeys, o.pfPositionKeys) && puiRotationKeyIdx == o.puiRotationKeyIdx &&
           SameBits(pfRotationKeys, o.pfRotationKeys) && puiScaleKeyIdx == o.puiScaleKeyIdx &&
           SameBits(pfScaleKeys, o.pfScaleKeys) && puiMatrixKeyIdx == o.puiMatrixKeyIdx &&
           SameBits(pfMatrixKeys, o.pfMatrixKeys) && pUserData == o.pUserData;
}

bool SSceneCamera::operator==(const SSceneCamera& o) const
{
    return nTargetIdx == o.nTargetIdx && SameBits(fFieldOfView, o.fFieldOfView) && SameBits(fFarClip, o.fFarClip) &&
           SameBits(fNearClip, o.fNearClip) && SameBits(pfFieldOfViewKeys, o.pfFieldOfViewKeys);
}

bool SSceneLight::operator==(const SSceneLight& o) const
{
    return nTargetIdx == o.nTargetIdx && SameBits(fColour, o.fColour, 3) && eType == o.eType &&
           SameBits(fConstantAttenuation, o.fConstantAttenuation) &&
           SameBits(fLinearAttenuation, o.fLinearAttenuation) &&
           SameBits(fQuadraticAttenuation, o.fQuadraticAttenuation) && SameBits(fFalloffAngle, o.fFalloffAngle) &&
           SameBits(fFalloffExponent, o.fFalloffExponent);
}

int32_t& SSceneMaterial::TextureSlot(int i)
{
    int32_t* slots[kTextureSlots] = {&nDiffuseTexture,    &nAmbientTexture,  &nSpecularTexture, &nTextureSlot3,
                                     &nTextureSlot4,      &nEmissiveTexture, &nTextureSlot6,    &nTextureSlot7,
                                     &nReflectionTexture, &nTextureSlot9};
    return *slots[i];
}

int32_t SSceneMaterial::TextureSlot(int i) const
{
    return const_cast<SSceneMaterial*>(this)->TextureSlot(i);
}

bool SSceneMaterial::operator==(const SSceneMaterial& o) const
{
    for (int i = 0; i < kTextureSlots; ++i)
        if (TextureSlot(i) != o.TextureSlot(i))
            return false;
    return pszName == o.pszName && SameBits(fOpacity, o.fOpacity) && SameBits(fAmbient, o.fAmbient, 3) &&
           SameBits(fDiffuse, o.fDiffuse, 3) && SameBits(fSpecular, o.fSpecular, 3) &&
           SameBits(fShininess, o.fShininess) && pszEffectFileName == o.pszEffectFileName &&
           pszEffectLabel == o.pszEffectLabel && eSrcColourFactor == o.eSrcColourFactor &&
           eSrcAlphaFactor == o.eSrcAlphaFactor && eDstColourFactor == o.eDstColourFactor &&
           eDstAlphaFactor == o.eDstAlphaFactor && eColourBlendOp == o.eColourBlendOp &&
           eAlphaBlendOp == o.eAlphaBlendOp && SameBits(fConstantBlendColour, o.fConstantBlendColour, 4) &&
           SameBits(fBlendFactorRGBA, o.fBlendFactorRGBA, 4) && uiMaterialFlags == o.uiMaterialFlags &&
           pUserData == o.pUserData;
}

bool SScene::operator==(const SScene& o) const
{
    return SameBits(fBackgroundRGB, o.fBackgroundRGB, 3) && SameBits(fAmbientRGB, o.fAmbientRGB, 3) &&
           pCameras == o.pCameras && pLights == o.pLights && pMeshes == o.pMeshes &&
           uiMeshNodeCount == o.uiMeshNodeCount && pNodes == o.pNodes && pTextures == o.pTextures &&
           pMaterials == o.pMaterials && uiFrameCount == o.uiFrameCount && uiFramesPerSecond == o.uiFramesPerSecond &&
           uiFlags == o.uiFlags && pUserData == o.pUserData;
}

void Destroy(SScene& scene)
{
    scene = SScene();
}

uint64_t IndexCount(const SSceneMesh& mesh)
{
    if (mesh.puiStripTriangles.empty())
        return uint64_t(mesh.uiTriangleCount) * 3;
    return uint64_t(mesh.uiTriangleCount) + 2 * uint64_t(mesh.puiStripTriangles.size());
}

uint64_t AnimArrayLength(uint32_t animMask, uint32_t bit, const std::vector<uint32_t>& keyIdx, uint32_t frameCount,
                         uint32_t keySize)
{
    if ((animMask & (1u << bit)) == 0)
        return keySize;
    if (keyIdx.empty())
        return uint64_t(frameCount) * keySize;
    // Only the first frameCount entries are part of the scene.
    const size_t n = keyIdx.size() < frameCount ? keyIdx.size() : frameCount;
    uint32_t largest = 0;
    for (size_t i = 0; i < n; ++i)
        largest = keyIdx[i] > largest ? keyIdx[i] : largest;
    return uint64_t(largest) + keySize;
}

int CreateAnimCache(SScene& scene)
{
    SSceneAnimCache& cache = scene.sAnimCache;
    try {
        cache = SSceneAnimCache();
        const size_t n = scene.pNodes.size();
        cache.pfCachedFrame.assign(n, 0.0f);
        cache.pmWorldCurrent.assign(n, MatrixIdentity());
        cache.pmWorldFrame0.assign(n, MatrixIdentity());
    } catch (const std::bad_alloc&) {
        cache = SSceneAnimCache();
        return 1;
    }
    ResetAnimCache(scene);
    return 0;
}

void ResetAnimCache(SScene& scene)
{
    SelectFrame(scene, 0.0f);
    SSceneAnimCache& cache = scene.sAnimCache;
    const size_t n = scene.pNodes.size();
    if (cache.pmWorldFrame0.size() != n || cache.pmWorldCurrent.size() != n || cache.pfCachedFrame.size() != n)
        return;
    // Each world matrix is the node's local matrix times its parent's world
    // matrix; computing parents first keeps this linear in the node count.
    const std::vector<int32_t> parent = EffectiveParents(scene);
    std::vector<uint8_t> done(n, 0);
    std::vector<uint32_t> chain;
    for (size_t start = 0; start < n; ++start) {
        chain.clear();
        for (int64_t cur = int64_t(start); cur >= 0 && !done[size_t(cur)]; cur = parent[size_t(cur)])
            chain.push_back(uint32_t(cur));
        for (size_t i = chain.size(); i-- > 0;) {
            const uint32_t node = chain[i];
            const SMatrix44 local = LocalMatrix(scene, node);
            const int32_t p = parent[node];
            cache.pmWorldFrame0[node] = p >= 0 ? MatrixMultiply(local, cache.pmWorldFrame0[size_t(p)]) : local;
            done[node] = 1;
        }
    }
    cache.pmWorldCurrent = cache.pmWorldFrame0;
    std::fill(cache.pfCachedFrame.begin(), cache.pfCachedFrame.end(), 0.0f);
}

void SelectFrame(SScene& scene, float frame)
{
    SSceneAnimCache& cache = scene.sAnimCache;
    cache.fFrame = frame;
    if (scene.uiFrameCount == 0) {
        cache.uiFrame = 0;
        cache.fBlend = 0.0f;
        return;
    }
    // Negative and huge frames saturate instead of wrapping.
    if (!(frame > 0.0f))
        cache.uiFrame = 0;
    else if (frame >= 4294967295.0f)
        cache.uiFrame = UINT32_MAX;
    else
        cache.uiFrame = static_cast<uint32_t>(frame);
    cache.fBlend = frame - static_cast<float>(cache.uiFrame);
}

void QuaternionSlerp(float out[4], const float a[4], const float b[4], float t)
{
    if (t < 0.0f || t > 1.0f) {
        out[0] = out[1] = out[2] = 0.0f;
        out[3] = 1.0f;
        return;
    }
    float bb[4] = {b[0], b[1], b[2], b[3]};
    float dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
    if (dot < 0.0f) {
        for (float& v : bb)
            v = -v;
        dot = -dot;
    }
    if (dot > 1.0f)
        dot = 1.0f;
    const float theta = std::acos(dot);
    if (theta == 0.0f) {
        for (int i = 0; i < 4; ++i)
            out[i] = a[i];
        return;
    }
    const float s = std::sin(theta);
    const float wa = std::sin((1.0f - t) * theta) / s;
    const float wb = std::sin(t * theta) / s;
    float len2 = 0.0f;
    for (int i = 0; i < 4; ++i) {
        out[i] = a[i] * wa + bb[i] * wb;
        len2 += out[i] * out[i];
    }
    if (len2 > 0.0f) {
        const float inv = 1.0f / std::sqrt(len2);
        for (int i = 0; i < 4; ++i)
            out[i] *= inv;
    }
}

SMatrix44 EvalScaleMatrix(const SScene& scene, uint32_t node)
{
    if (node >= scene.pNodes.size())
        return MatrixIdentity();
    const SSceneNode& n = scene.pNodes[node];
    const std::vector<float>& keys = n.pfScaleKeys;
    if (keys.size() < 3)
        return MatrixIdentity();
    size_t a = 0, b = 0;
    if (!(n.uiAnimMask & eAnimScale) || !LocateKeys(scene, keys, n.puiScaleKeyIdx, kScaleKeySize, &a, &b))
        return ScaleMatrix(keys[0], keys[1], keys[2]);
    const float t = BlendFraction(scene);
    return ScaleMatrix(keys[a] + (keys[b] - keys[a]) * t, keys[a + 1] + (keys[b + 1] - keys[a + 1]) * t,
                       keys[a + 2] + (keys[b + 2] - keys[a + 2]) * t);
}

SMatrix44 EvalRotationMatrix(const SScene& scene, uint32_t node)
{
    if (node >= scene.pNodes.size())
        return MatrixIdentity();
    const SSceneNode& n = scene.pNodes[node];
    const std::vector<float>& keys = n.pfRotationKeys;
    if (keys.size() < 4)
        return MatrixIdentity();
    size_t a = 0, b = 0;
    if (!(n.uiAnimMask & eAnimRotation) || !LocateKeys(scene, keys, n.puiRotationKeyIdx, kRotationKeySize, &a, &b))
        return QuaternionMatrix(keys.data());
    float q[4];
    QuaternionSlerp(q, &keys[a], &keys[b], BlendFraction(scene));
    return QuaternionMatrix(q);
}

SMatrix44 EvalTranslationMatrix(const SScene& scene, uint32_t node)
{
    if (node >= scene.pNodes.size())
        return MatrixIdentity();
    const SSceneNode& n = scene.pNodes[node];
    const std::vector<float>& keys = n.pfPositionKeys;
    if (keys.size() < 3)
        return MatrixIdentity();
    size_t a = 0, b = 0;
    if (!(n.uiAnimMask & eAnimPosition) || !LocateKeys(scene, keys, n.puiPositionKeyIdx, kPositionKeySize, &a, &b))
        return TranslationMatrix(keys[0], keys[1], keys[2]);
    const float t = BlendFraction(scene);
    return TranslationMatrix(keys[a] + (keys[b] - keys[a]) * t, keys[a + 1] + (keys[b + 1] - keys[a + 1]) * t,
                             keys[a + 2] + (keys[b + 2] - keys[a + 2]) * t);
}

SMatrix44 EvalMatrixKey(const SScene& scene, uint32_t node)
{
    if (node >= scene.pNodes.size())
        return MatrixIdentity();
    const SSceneNode& n = scene.pNodes[node];
    const std::vector<float>& keys = n.pfMatrixKeys;
    if (keys.size() < 16)
        return MatrixIdentity();
    size_t a = 0, b = 0;
    if (!(n.uiAnimMask & eAnimMatrix) || !LocateKeys(scene, keys, n.puiMatrixKeyIdx, kMatrixKeySize, &a, &b))
        a = 0;
    SMatrix44 m;
    std::memcpy(m.data(), &keys[a], sizeof(m));
    return m;
}

SMatrix44 ComputeWorldMatrix(const SScene& scene, uint32_t node)
{
    const size_t n = scene.pNodes.size();
    if (node >= n)
        return MatrixIdentity();
    // Walk up to the root. A chain longer than the node count has a cycle:
    // then the cycle's first node met counts as the root (as in the cache).
    std::vector<uint32_t> chain;
    for (uint32_t cur = node;;) {
        chain.push_back(cur);
        const int32_t p = scene.pNodes[cur].nParentIdx;
        if (p < 0 || size_t(p) >= n)
            break;
        if (chain.size() > n) {
            std::unordered_map<uint32_t, size_t> seen;
            for (size_t i = 0; i < chain.size(); ++i) {
                if (!seen.emplace(chain[i], i).second) {
                    chain.resize(seen[chain[i]] + 1);
                    break;
                }
            }
            break;
        }
        cur = uint32_t(p);
    }
    SMatrix44 world = LocalMatrix(scene, chain.back());
    for (size_t i = chain.size() - 1; i-- > 0;)
        world = MatrixMultiply(LocalMatrix(scene, chain[i]), world);
    return world;
}

SMatrix44 WorldMatrixAt(SScene& scene, uint32_t node)
{
    SSceneAnimCache& cache = scene.sAnimCache;
    const size_t n = scene.pNodes.size();
    if (node >= n)
        return MatrixIdentity();
    if (cache.pmWorldFrame0.size() != n || cache.pmWorldCurrent.size() != n || cache.pfCachedFrame.size() != n)
        return ComputeWorldMatrix(scene, node);
    if (cache.fFrame == 0.0f)
        return cache.pmWorldFrame0[node];
    if (cache.pfCachedFrame[node] == cache.fFrame)
        return cache.pmWorldCurrent[node];
    const SMatrix44 m = ComputeWorldMatrix(scene, node);
    cache.pmWorldCurrent[node] = m;
    cache.pfCachedFrame[node] = cache.fFrame;
    return m;
}

bool AffineInverse(const SMatrix44& m, SMatrix44* out)
{
    const float a = m[0], b = m[1], c = m[2];
    const float d = m[4], e = m[5], f = m[6];
    const float g = m[8], h = m[9], i = m[10];
    const double terms[6] = {double(a) * e * i,  double(b) * f * g,  double(c) * d * h,
                             -double(c) * e * g, -double(b) * d * i, -double(a) * f * h};
    double det = 0.0, magnitude = 0.0;
    for (double t : terms) {
        det += t;
        magnitude += std::fabs(t);
    }
    if (det == 0.0 || std::fabs(det) < 1e-15 * magnitude)
        return false;
    const double inv = 1.0 / det;
    SMatrix44 r = MatrixIdentity();
    r[0] = float((e * i - f * h) * inv);
    r[1] = float((c * h - b * i) * inv);
    r[2] = float((b * f - c * e) * inv);
    r[4] = float((f * g - d * i) * inv);
    r[5] = float((a * i - c * g) * inv);
    r[6] = float((c * d - a * f) * inv);
    r[8] = float((d * h - e * g) * inv);
    r[9] = float((b * g - a * h) * inv);
    r[10] = float((a * e - b * d) * inv);
    for (int col = 0; col < 3; ++col)
        r[12 + col] = -(m[12] * r[col] + m[13] * r[4 + col] + m[14] * r[8 + col]);
    r[3] = r[7] = r[11] = 0.0f;
    r[15] = 1.0f;
    *out = r;
    return true;
}

SMatrix44 BoneSkinMatrix(SScene& scene, uint32_t meshNode, uint32_t boneNode)
{
    const float frame = scene.sAnimCache.fFrame;
    SelectFrame(scene, 0.0f);
    SMatrix44 m = WorldMatrixAt(scene, meshNode);
    SMatrix44 inverse;
    // A singular bone matrix has no inverse; the bind part is then left out.
    if (AffineInverse(WorldMatrixAt(scene, boneNode), &inverse))
        m = MatrixMultiply(m, inverse);
    SelectFrame(scene, frame);
    return MatrixMultiply(m, WorldMatrixAt(scene, boneNode));
}
