#include "scene/SceneWrite.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cstring>
#include <new>

#include "base/ConversionLog.h"
#include "base/OutputPath.h"
#include "options/Options.h"
#include "scene/Scene.h"
#include "scene/SceneCheck.h"
#include "scene/SceneFileFormat.h"
#include "scene/SceneSource.h"
#include "scene/WriteAll.h"

using namespace qef;

namespace {

void StoreLE16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void StoreLE32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

uint32_t FloatBits(float f)
{
    uint32_t v;
    std::memcpy(&v, &f, 4);
    return v;
}

// Little-endian output through one buffer: flushed to the device in large
// writes, or kept whole when there is no device.
class CBlockWriter {
public:
    // Without a device the bytes are kept whole; sizeHint avoids regrowing.
    explicit CBlockWriter(QIODevice* device, size_t sizeHint = 4096) : m_device(device)
    {
        m_buf.resize(device ? kChunk : std::max<size_t>(sizeHint, 64));
    }

    bool Ok() const { return m_ok; }
    const QString& ErrorString() const { return m_error; }

    void U32(uint32_t v) { StoreLE32(Space(4), v); }
    void I32(int32_t v) { U32(uint32_t(v)); }
    void F32(float v) { U32(FloatBits(v)); }
    void F32s(const float* p, size_t n)
    {
        if (kHostLittleEndian) {
            Raw(p, n * 4);
            return;
        }
        for (size_t i = 0; i < n; ++i)
            F32(p[i]);
    }
    void U32s(const uint32_t* p, size_t n)
    {
        if (kHostLittleEndian) {
            Raw(p, n * 4);
            return;
        }
        for (size_t i = 0; i < n; ++i)
            U32(p[i]);
    }

    // Host-order components of the given size, stored little-endian.
    void Components(const uint8_t* p, size_t bytes, uint32_t componentSize)
    {
        if (kHostLittleEndian || componentSize == 1) {
            Raw(p, bytes);
            return;
        }
        for (size_t i = 0; i + componentSize <= bytes; i += componentSize) {
            if (componentSize == 2) {
                uint16_t v;
                std::memcpy(&v, p + i, 2);
                StoreLE16(Space(2), v);
            } else {
                uint32_t v;
                std::memcpy(&v, p + i, 4);
                StoreLE32(Space(4), v);
            }
        }
    }

    void Raw(const void* data, size_t n)
    {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        if (m_device && n >= kChunk / 2) {
            Flush();
            Emit(p, n);
            return;
        }
        while (n > 0) {
            const size_t room = m_buf.size() - m_used;
            if (room == 0) {
                Space(1);
                --m_used;
                continue;
            }
            const size_t take = std::min(room, n);
            std::memcpy(m_buf.data() + m_used, p, take);
            m_used += take;
            p += take;
            n -= take;
        }
    }

    // Writable space for n bytes (n small).
    uint8_t* Space(size_t n)
    {
        if (m_used + n > m_buf.size()) {
            if (m_device)
                Flush();
            else
                m_buf.resize(std::max(m_buf.size() * 2, m_used + n));
        }
        uint8_t* p = m_buf.data() + m_used;
        m_used += n;
        return p;
    }

    void Flush()
    {
        if (m_device && m_used) {
            Emit(m_buf.data(), m_used);
            m_used = 0;
        }
    }

    void Fail(const QString& why)
    {
        if (m_ok)
            m_error = why;
        m_ok = false;
    }

    std::vector<uint8_t> TakeMemory()
    {
        m_buf.resize(m_used);
        m_used = 0;
        return std::move(m_buf);
    }

private:
    static constexpr size_t kChunk = 1 << 20;

    void Emit(const uint8_t* p, size_t n)
    {
        if (!m_ok)
            return;
        QString why;
        if (!WriteAll(*m_device, p, n, &why))
            Fail(why);
    }

    QIODevice* m_device;
    std::vector<uint8_t> m_buf;
    size_t m_used = 0;
    bool m_ok = true;
    QString m_error;
};

class CSceneFileWriter {
public:
    explicit CSceneFileWriter(CBlockWriter& w) : m_w(w) {}

    void File(const SScene& scene, const char* optionsText, const char* historyText)
    {
        Leaf(eVersion, kVersionLength);
        m_w.Raw(kVersionText, kVersionLength);
        End(eVersion);
        if (optionsText && *optionsText)
            String(eOptionsText, optionsText);
        if (historyText && *historyText)
            String(eHistoryText, historyText);
        Scene(scene);
    }

private:
    void Leaf(uint32_t tag, uint64_t length)
    {
        if (length > UINT32_MAX) {
            m_w.Fail(QStringLiteral("block %1 of %2 bytes is too large for the file format").arg(tag).arg(length));
            length = 0;
        }
        m_w.U32(tag);
        m_w.U32(uint32_t(length));
    }
    void Group(uint32_t tag) { Leaf(tag, 0); }
    void End(uint32_t tag)
    {
        m_w.U32(EndTag(tag));
        m_w.U32(0);
    }

    void U32(uint32_t tag, uint32_t v)
    {
        Leaf(tag, 4);
        m_w.U32(v);
        End(tag);
    }
    void I32(uint32_t tag, int32_t v) { U32(tag, uint32_t(v)); }
    void F32(uint32_t tag, float v) { Floats(tag, &v, 1); }
    void Floats(uint32_t tag, const float* p, size_t n)
    {
        Leaf(tag, uint64_t(n) * 4);
        m_w.F32s(p, n);
        End(tag);
    }
    void U32s(uint32_t tag, const uint32_t* p, size_t n)
    {
        Leaf(tag, uint64_t(n) * 4);
        m_w.U32s(p, n);
        End(tag);
    }
    void Bytes(uint32_t tag, const std::vector<uint8_t>& bytes)
    {
        Leaf(tag, bytes.size());
        m_w.Raw(bytes.data(), bytes.size());
        End(tag);
    }
    // Stored with its NUL; text after an embedded NUL is not part of it.
    void String(uint32_t tag, const char* text)
    {
        const size_t n = std::strlen(text) + 1;
        Leaf(tag, n);
        m_w.Raw(text, n);
        End(tag);
    }

    void Scene(const SScene& s)
    {
        Group(eScene);
        Floats(eBackground, s.fBackgroundRGB, 3);
        Floats(eAmbient, s.fAmbientRGB, 3);
        U32(eCameraCount, uint32_t(s.pCameras.size()));
        U32(eLightCount, uint32_t(s.pLights.size()));
        U32(eMeshCount, uint32_t(s.pMeshes.size()));
        U32(eNodeCount, uint32_t(s.pNodes.size()));
        U32(eMeshNodeCount, s.uiMeshNodeCount);
        U32(eTextureCount, uint32_t(s.pTextures.size()));
        U32(eMaterialCount, uint32_t(s.pMaterials.size()));
        U32(eFrameCount, s.uiFrameCount);
        if (s.uiFrameCount != 0)
            U32(eFramesPerSecond, s.uiFramesPerSecond);
        U32(eFlags, s.uiFlags);
        if (!s.pUserData.empty())
            Bytes(eSceneUserData, s.pUserData);
        for (const SSceneCamera& c : s.pCameras)
            Camera(c, s.uiFrameCount);
        for (const SSceneLight& l : s.pLights)
            Light(l);
        for (const SSceneMaterial& m : s.pMaterials)
            Material(m);
        for (const SSceneMesh& m : s.pMeshes) {
            Mesh(m);
            if (!m_w.Ok())
                return;
        }
        for (const SSceneNode& n : s.pNodes)
            Node(n, s.uiFrameCount);
        for (const SSceneTexture& t : s.pTextures) {
            Group(eTexture);
            String(eTexName, t.pszName.c_str());
            End(eTexture);
        }
        End(eScene);
    }

    void Camera(const SSceneCamera& c, uint32_t frameCount)
    {
        Group(eCamera);
        I32(eCamTarget, c.nTargetIdx);
        F32(eCamFieldOfView, c.fFieldOfView);
        F32(eCamFarClip, c.fFarClip);
        F32(eCamNearClip, c.fNearClip);
        if (!c.pfFieldOfViewKeys.empty())
            Floats(eCamFieldOfViewKeys, c.pfFieldOfViewKeys.data(), frameCount);
        End(eCamera);
    }

    void Light(const SSceneLight& l)
    {
        Group(eLight);
        I32(eLightTarget, l.nTargetIdx);
        Floats(eLightColour, l.fColour, 3);
        U32(eLightType, l.eType);
        if (l.eType != eLightDirectional) {
            F32(eLightConstantAtt, l.fConstantAttenuation);
            F32(eLightLinearAtt, l.fLinearAttenuation);
            F32(eLightQuadraticAtt, l.fQuadraticAttenuation);
        }
        if (l.eType == eLightSpot) {
            F32(eLightFalloffAngle, l.fFalloffAngle);
            F32(eLightFalloffExponent, l.fFalloffExponent);
        }
        End(eLight);
    }

    void Material(const SSceneMaterial& m)
    {
        Group(eMaterial);
        U32(eMatFlags, m.uiMaterialFlags);
        String(eMatName, m.pszName.c_str());
        I32(eMatDiffuseTexture, m.nDiffuseTexture);
        for (int i = 1; i < SSceneMaterial::kTextureSlots; ++i)
            I32(eMatAmbientTexture + uint32_t(i - 1), m.TextureSlot(i));
        F32(eMatOpacity, m.fOpacity);
        Floats(eMatAmbient, m.fAmbient, 3);
        Floats(eMatDiffuse, m.fDiffuse, 3);
        Floats(eMatSpecular, m.fSpecular, 3);
        F32(eMatShininess, m.fShininess);
        if (!m.pszEffectFileName.empty())
            String(eMatEffectFile, m.pszEffectFileName.c_str());
        if (!m.pszEffectLabel.empty())
            String(eMatEffectLabel, m.pszEffectLabel.c_str());
        U32(eMatSrcColourFactor, m.eSrcColourFactor);
        U32(eMatSrcAlphaFactor, m.eSrcAlphaFactor);
        U32(eMatDstColourFactor, m.eDstColourFactor);
        U32(eMatDstAlphaFactor, m.eDstAlphaFactor);
        U32(eMatColourBlendOp, m.eColourBlendOp);
        U32(eMatAlphaBlendOp, m.eAlphaBlendOp);
        Floats(eMatBlendColour, m.fConstantBlendColour, 4);
        Floats(eMatBlendFactor, m.fBlendFactorRGBA, 4);
        if (!m.pUserData.empty())
            Bytes(eMatUserData, m.pUserData);
        End(eMaterial);
    }

    void Mesh(const SSceneMesh& m)
    {
        Group(eMesh);
        U32(eMeshVertexCount, m.uiVertexCount);
        U32(eMeshTriangleCount, m.uiTriangleCount);
        U32(eMeshTexCoordSets, m.TexCoordSets());
        if (!m.puiStripTriangles.empty())
            U32s(eMeshStripTriangles, m.puiStripTriangles.data(), m.puiStripTriangles.size());
        U32(eMeshStripCount, m.StripCount());
        const bool interleaved = m.IsInterleaved();
        if (interleaved)
            VertexBlock(m);
        U32(eMeshBatchCapacity, m.uiBatchCapacity);
        U32(eMeshBatchCount, m.uiBatchCount);
        if (!m.puiBatchBoneList.empty())
            U32s(eMeshBatchBoneList, m.puiBatchBoneList.data(), m.puiBatchBoneList.size());
        if (!m.puiBatchBoneTotals.empty())
            U32s(eMeshBatchBoneTotals, m.puiBatchBoneTotals.data(), m.puiBatchBoneTotals.size());
        if (!m.puiBatchStartTriangle.empty())
            U32s(eMeshBatchStartTriangle, m.puiBatchStartTriangle.data(), m.puiBatchStartTriangle.size());
        Floats(eMeshUnpackMatrix, m.fUnpackMatrix.data(), 16);
        Channel(eMeshIndexData, m.sIndexData, IndexCount(m), false);
        Channel(eMeshPosition, m.sPosition, m.uiVertexCount, interleaved);
        Channel(eMeshNormal, m.sNormal, m.uiVertexCount, interleaved);
        Channel(eMeshTangent, m.sTangent, m.uiVertexCount, interleaved);
        Channel(eMeshBinormal, m.sBinormal, m.uiVertexCount, interleaved);
        for (const SVertexChannel& c : m.psTexCoord)
            Channel(eMeshTexCoord, c, m.uiVertexCount, interleaved);
        Channel(eMeshColour, m.sColour, m.uiVertexCount, interleaved);
        Channel(eMeshBoneIndex, m.sBoneIndex, m.uiVertexCount, interleaved);
        Channel(eMeshBoneWeights, m.sBoneWeights, m.uiVertexCount, interleaved);
        End(eMesh);
    }

    void Channel(uint32_t tag, const SVertexChannel& c, uint64_t elements, bool asOffset)
    {
        Group(tag);
        U32(eChanType, c.eType);
        U32(eChanComponents, c.uiComponentCount);
        U32(eChanStride, c.uiStride);
        const uint32_t size = ComponentSize(c.eType);
        if (asOffset) {
            U32(eChanData, c.uiOffset);
        } else if (!c.pData.empty() && size != 0) {
            const uint64_t bytes = uint64_t(c.uiStride / size) * size * elements;
            Leaf(eChanData, bytes);
            m_w.Components(c.pData.data(), size_t(bytes), size);
            End(eChanData);
        }
        End(tag);
    }

    // Every vertex takes one stride: the present channels' components in
    // offset order, little-endian, with zeros in every gap.
    void VertexBlock(const SSceneMesh& m)
    {
        const uint32_t stride = InterleavedStride(m);
        Leaf(eMeshVertexBlock, uint64_t(stride) * m.uiVertexCount);
        std::vector<const SVertexChannel*> channels;
        for (const SVertexChannel* c : VertexChannels(m))
            if (c->IsPresent())
                channels.push_back(c);
        std::stable_sort(channels.begin(), channels.end(),
                         [](const SVertexChannel* a, const SVertexChannel* b) { return a->uiOffset < b->uiOffset; });
        // Bytes of the vertex that carry data; the rest is written as zero.
        std::vector<uint8_t> used(stride, 0);
        for (const SVertexChannel* c : channels)
            std::fill(used.begin() + c->uiOffset, used.begin() + c->uiOffset + ElementSize(*c), uint8_t(1));
        const bool tight = std::all_of(used.begin(), used.end(), [](uint8_t u) { return u != 0; });
        const uint8_t* block = m.pVertexBlock.data();
        const size_t n = m.uiVertexCount;

        if (kHostLittleEndian && tight) {
            m_w.Raw(block, size_t(stride) * n);
        } else if (kHostLittleEndian) {
            std::vector<std::pair<uint32_t, uint32_t>> gaps; // offset, length
            for (uint32_t i = 0; i < stride;) {
                if (used[i]) {
                    ++i;
                    continue;
                }
                uint32_t j = i;
                while (j < stride && !used[j])
                    ++j;
                gaps.emplace_back(i, j - i);
                i = j;
            }
            // Vertices in batches through one scratch buffer.
            const size_t batch = std::max<size_t>(1, (256 * 1024) / std::max<uint32_t>(stride, 1));
            std::vector<uint8_t> scratch;
            for (size_t v = 0; v < n; v += batch) {
                const size_t count = std::min(batch, n - v);
                scratch.assign(block + v * stride, block + (v + count) * stride);
                for (size_t k = 0; k < count; ++k)
                    for (const auto& g : gaps)
                        std::memset(&scratch[k * stride + g.first], 0, g.second);
                m_w.Raw(scratch.data(), scratch.size());
            }
        } else {
            for (size_t v = 0; v < n; ++v) {
                const uint8_t* vertex = block + v * stride;
                uint32_t at = 0;
                for (const SVertexChannel* c : channels) {
                    if (c->uiOffset > at)
                        Zeros(c->uiOffset - at);
                    const uint32_t size = ElementSize(*c);
                    m_w.Components(vertex + c->uiOffset, size, ComponentSize(c->eType));
                    at = c->uiOffset + size;
                }
                if (stride > at)
                    Zeros(stride - at);
            }
        }
        End(eMeshVertexBlock);
    }

    void Zeros(size_t n) { std::memset(m_w.Space(n), 0, n); }

    void KeyArrays(uint32_t idxTag, uint32_t keyTag, const std::vector<uint32_t>& keyIdx,
                   const std::vector<float>& keys, uint32_t mask, uint32_t bit, uint32_t keySize, uint32_t frameCount)
    {
        if (!keyIdx.empty())
            U32s(idxTag, keyIdx.data(), frameCount);
        if (!keys.empty())
            Floats(keyTag, keys.data(), size_t(AnimArrayLength(mask, bit, keyIdx, frameCount, keySize)));
    }

    void Node(const SSceneNode& n, uint32_t frameCount)
    {
        Group(eNode);
        I32(eNodeContent, n.nContentIdx);
        String(eNodeName, n.pszName.c_str());
        I32(eNodeMaterial, n.nMaterialIdx);
        I32(eNodeParent, n.nParentIdx);
        U32(eNodeAnimMask, n.uiAnimMask);
        KeyArrays(eNodePositionKeyIdx, eNodePositionKeys, n.puiPositionKeyIdx, n.pfPositionKeys, n.uiAnimMask, 0,
                  kPositionKeySize, frameCount);
        KeyArrays(eNodeRotationKeyIdx, eNodeRotationKeys, n.puiRotationKeyIdx, n.pfRotationKeys, n.uiAnimMask, 1,
                  kRotationKeySize, frameCount);
        KeyArrays(eNodeScaleKeyIdx, eNodeScaleKeys, n.puiScaleKeyIdx, n.pfScaleKeys, n.uiAnimMask, 2, kScaleKeySize,
                  frameCount);
        KeyArrays(eNodeMatrixKeyIdx, eNodeMatrixKeys, n.puiMatrixKeyIdx, n.pfMatrixKeys, n.uiAnimMask, 3,
                  kMatrixKeySize, frameCount);
        if (!n.pUserData.empty())
            Bytes(eNodeUserData, n.pUserData);
        End(eNode);
    }

    CBlockWriter& m_w;
};

// Close to the file size (a little above it), from the large arrays plus a
// generous allowance for headers and small fields.
size_t EstimatedFileSize(const SScene& scene, const char* optionsText, const char* historyText)
{
    size_t n = 4096 + (optionsText ? std::strlen(optionsText) : 0) + (historyText ? std::strlen(historyText) : 0);
    n += scene.pUserData.size();
    for (const SSceneMesh& m : scene.pMeshes) {
        n += 1024 + m.pVertexBlock.size() + m.sIndexData.pData.size();
        n += 4 * (m.puiStripTriangles.size() + m.puiBatchBoneList.size() + m.puiBatchBoneTotals.size() +
                  m.puiBatchStartTriangle.size());
        for (const SVertexChannel* c : VertexChannels(m))
            n += 128 + c->pData.size();
    }
    for (const SSceneNode& node : scene.pNodes)
        n += 256 + node.pszName.size() + node.pUserData.size() +
             4 * (node.pfPositionKeys.size() + node.pfRotationKeys.size() + node.pfScaleKeys.size() +
                  node.pfMatrixKeys.size() + node.puiPositionKeyIdx.size() + node.puiRotationKeyIdx.size() +
                  node.puiScaleKeyIdx.size() + node.puiMatrixKeyIdx.size());
    for (const SSceneMaterial& m : scene.pMaterials)
        n += 512 + m.pszName.size() + m.pszEffectFileName.size() + m.pszEffectLabel.size() + m.pUserData.size();
    for (const SSceneTexture& t : scene.pTextures)
        n += 32 + t.pszName.size();
    n += scene.pCameras.size() * 128 + scene.pLights.size() * 128;
    for (const SSceneCamera& c : scene.pCameras)
        n += 4 * c.pfFieldOfViewKeys.size();
    return n;
}

bool CheckBeforeWrite(const SScene& scene)
{
    CZGXTString why;
    if (CheckScene(scene, eCheckForWrite, &why))
        return true;
    ConversionLog(eLogError, "The scene cannot be written: %s.", why.c_str());
    return false;
}

} // namespace

int WriteSceneFileToMemory(const SScene& scene, const char* optionsText, const char* historyText,
                           std::vector<uint8_t>* out)
{
    if (!out || !CheckBeforeWrite(scene))
        return 1;
    try {
        CBlockWriter w(nullptr, EstimatedFileSize(scene, optionsText, historyText));
        CSceneFileWriter(w).File(scene, optionsText, historyText);
        if (!w.Ok()) {
            ConversionLog(eLogError, "The scene cannot be written: %s.", w.ErrorString().toUtf8().constData());
            return 1;
        }
        *out = w.TakeMemory();
    } catch (const std::bad_alloc&) {
        ConversionLog(eLogError, "Out of memory.");
        return 1;
    }
    return 0;
}

int WriteSceneFile(const SScene& scene, const char* path, const char* optionsText, const char* historyText)
{
    if (!path || !*path || !CheckBeforeWrite(scene))
        return 1;
    if (!IsReplaceableOutput(path)) {
        ConversionLog(eLogError, "Cannot create '%s': %s", path, "it exists and is not a regular file");
        return 1;
    }
    QSaveFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        ConversionLog(eLogError, "Cannot create '%s': %s", path, file.errorString().toUtf8().constData());
        return 1;
    }
    try {
        CBlockWriter w(&file);
        CSceneFileWriter(w).File(scene, optionsText, historyText);
        w.Flush();
        if (!w.Ok()) {
            ConversionLog(eLogError, "Cannot write '%s': %s", path, w.ErrorString().toUtf8().constData());
            file.cancelWriting();
            return 1;
        }
    } catch (const std::bad_alloc&) {
        file.cancelWriting();
        ConversionLog(eLogError, "Out of memory.");
        return 1;
    }
    if (!file.commit()) {
        ConversionLog(eLogError, "Cannot write '%s': %s", path, file.errorString().toUtf8().constData());
        return 1;
    }
    return 0;
}
