#include "scene/SceneRead.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <new>
#include <vector>

#include "base/ConversionLog.h"
#include "scene/Scene.h"
#include "scene/SceneCheck.h"
#include "scene/SceneFileFormat.h"

using namespace qef;

bool CSourceStream::Init(const char* name)
{
    m_file.Close();
    m_position = 0;
    return name && m_file.Open(name);
}

bool CSourceStream::Read(void* destination, size_t bytes)
{
    if (bytes > Remaining())
        return false;
    if (bytes)
        std::memcpy(destination, m_file.Data() + m_position, bytes);
    m_position += bytes;
    return true;
}

bool CSourceStream::Skip(size_t bytes)
{
    if (bytes > Remaining())
        return false;
    m_position += bytes;
    return true;
}

bool CMemorySource::Read(void* destination, size_t bytes)
{
    if (bytes > Remaining())
        return false;
    if (bytes)
        std::memcpy(destination, m_data + m_position, bytes);
    m_position += bytes;
    return true;
}

bool CMemorySource::Skip(size_t bytes)
{
    if (bytes > Remaining())
        return false;
    m_position += bytes;
    return true;
}

namespace {

constexpr char kByteOrderMessage[] = "Error: Endianness mismatch between the .qef file and the platform.";
constexpr char kFixedPointMessage[] =
    "Error: The QEF file is in fixed point format but the tools haven't been compiled with fixed point enabled.";

uint32_t LoadLE32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Little-endian components to host order (nothing to do on little-endian hosts).
void ToHostOrder(uint8_t* p, size_t bytes, uint32_t componentSize)
{
    if (kHostLittleEndian || componentSize < 2)
        return;
    for (size_t i = 0; i + componentSize <= bytes; i += componentSize)
        std::reverse(p + i, p + i + componentSize);
}

// What a child handler did with a block.
enum EChild { eChildFailed = 0, eChildDone = 1, eChildUnknown = 2 };

class CSceneFileReader {
public:
    CSceneFileReader(CSource& source, CZGXTString* error) : m_src(source), m_error(error) {}

    bool File(SScene* scene, CZGXTString* optionsText, uint32_t optionsMax, CZGXTString* historyText,
              uint32_t historyMax)
    {
        bool wantOptions = optionsText != nullptr;
        bool wantHistory = historyText != nullptr;
        const bool textMode = wantOptions || wantHistory;
        bool versionSeen = false, sceneRead = false;
        for (;;) {
            uint32_t tag = 0, len = 0;
            if (!Header(&tag, &len)) {
                if (textMode)
                    return true;
                return Finish(scene, versionSeen, sceneRead);
            }
            // Anything else at the very start is most likely not a scene
            // file at all; its failure says so rather than what its first
            // bytes would mean as a block.
            if (m_blockAt == 0 && tag != eVersion && tag != kSwappedVersionTag)
                m_notSceneFile = true;
            switch (tag) {
            case eVersion: {
                if (len != kVersionLength)
                    return Fail("the version block has %u bytes; it must have %u", len, kVersionLength);
                char text[kVersionLength];
                if (!ReadBytes(text, kVersionLength))
                    return false;
                if (std::memcmp(text, kVersionText, kVersionLength) != 0)
                    return Fail("the version text is not \"%s\"", kVersionText);
                versionSeen = true;
                break;
            }
            case eScene:
                // Without a scene the children are passed over one by one.
                if (!scene)
                    break;
                if (sceneRead)
                    return Fail("the file holds a second scene group");
                if (!SceneGroup(*scene))
                    return false;
                sceneRead = true;
                break;
            case eOptionsText:
                if (!wantOptions) {
                    if (!SkipOrFail(len))
                        return false;
                    break;
                }
                if (!Text(len, optionsMax, optionsText))
                    return false;
                wantOptions = false;
                break;
            case eHistoryText:
                if (!wantHistory) {
                    if (!SkipOrFail(len))
                        return false;
                    break;
                }
                if (!Text(len, historyMax, historyText))
                    return false;
                wantHistory = false;
                break;
            case EndTag(eScene):
                if (textMode)
                    return true;
                return Finish(scene, versionSeen, sceneRead);
            case kSwappedVersionTag: return Message(kByteOrderMessage);
            default:
                if (!SkipOrFail(len))
                    return false;
                break;
            }
            if (textMode && !wantOptions && !wantHistory)
                return true;
        }
    }

private:
    struct SWhere {
        const char* what;
        int64_t index;
        size_t offset;
    };

    // Marks the record being read for messages while it lives.
    class CScope {
    public:
        CScope(CSceneFileReader& r, const char* what, int64_t index) : m_r(r)
        {
            m_r.m_where.push_back({what, index, m_r.m_blockAt});
        }
        ~CScope() { m_r.m_where.pop_back(); }

    private:
        CSceneFileReader& m_r;
    };

    bool Finish(SScene* scene, bool versionSeen, bool sceneRead)
    {
        if (!scene)
            return Fail("no scene was asked for");
        if (scene->uiFlags & kSceneFlagFixedPoint)
            return Message(kFixedPointMessage);
        if (!versionSeen)
            return Fail("the file has no version block");
        if (!sceneRead)
            return Fail("the file has no scene group");
        return true;
    }

    // The two failures that have a message of their own.
    bool Message(const char* text)
    {
        if (m_error) {
            if (!m_failed)
                *m_error = text;
        } else {
            DebugOutput("%s", text);
        }
        m_failed = true;
        return false;
    }

    bool Fail(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
    {
        if (m_failed)
            return false;
        m_failed = true;
        if (!m_error)
            return false;
        char text[512];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof(text), format, args);
        va_end(args);
        if (m_notSceneFile) {
            *m_error = StrFormat("not a QEF scene file: it does not begin with the version block \"%s\"", kVersionText);
            return false;
        }
        CZGXTString where =
            m_tag ? StrFormat("block %u at byte %zu", m_tag, m_blockAt) : StrFormat("byte %zu", m_blockAt);
        for (const SWhere& w : m_where)
            where += w.index >= 0
                         ? StrFormat(", in %s %lld (byte %zu)", w.what, static_cast<long long>(w.index), w.offset)
                         : StrFormat(", in %s (byte %zu)", w.what, w.offset);
        *m_error = StrFormat("%s (%s)", text, where.c_str());
        return false;
    }

    bool Header(uint32_t* tag, uint32_t* len)
    {
        m_blockAt = m_src.Position();
        uint8_t b[8];
        if (!m_src.Read(b, 8)) {
            m_tag = 0;
            return false;
        }
        *tag = LoadLE32(b);
        *len = LoadLE32(b + 4);
        m_tag = *tag;
        return true;
    }

    bool Available(uint64_t bytes)
    {
        if (bytes > m_src.Remaining())
            return Fail("the block needs %llu bytes but only %zu remain in the file",
                        static_cast<unsigned long long>(bytes), m_src.Remaining());
        return true;
    }

    bool ReadBytes(void* out, size_t n)
    {
        return Available(n) && m_src.Read(out, n);
    }

    bool SkipOrFail(uint32_t len)
    {
        return Available(len) && m_src.Skip(len);
    }

    bool Expect(uint32_t len, uint32_t want)
    {
        if (len != want)
            return Fail("the block has %u bytes; it must have %u", len, want);
        return true;
    }

    int U32(uint32_t len, uint32_t* out)
    {
        uint8_t b[4];
        if (!Expect(len, 4) || !ReadBytes(b, 4))
            return eChildFailed;
        *out = LoadLE32(b);
        return eChildDone;
    }

    int I32(uint32_t len, int32_t* out)
    {
        uint32_t v = 0;
        if (!U32(len, &v))
            return eChildFailed;
        *out = static_cast<int32_t>(v);
        return eChildDone;
    }

    int Floats(uint32_t len, float* out, uint32_t n)
    {
        uint8_t b[64];
        if (!Expect(len, n * 4) || !ReadBytes(b, n * 4))
            return eChildFailed;
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t v = LoadLE32(b + i * 4);
            std::memcpy(&out[i], &v, 4);
        }
        return eChildDone;
    }

    int Bytes(uint32_t len, std::vector<uint8_t>* out, uint32_t unit = 1)
    {
        if (len % unit != 0) {
            Fail("the block has %u bytes, not a multiple of %u", len, unit);
            return eChildFailed;
        }
        if (!Available(len))
            return eChildFailed;
        std::vector<uint8_t> data(len);
        if (!m_src.Read(data.data(), len))
            return eChildFailed;
        ToHostOrder(data.data(), len, unit);
        out->swap(data);
        return eChildDone;
    }

    template <class T>
    int Array(uint32_t len, std::vector<T>* out)
    {
        static_assert(sizeof(T) == 4, "32-bit values only");
        if (len % 4 != 0) {
            Fail("the block has %u bytes, not a multiple of 4", len);
            return eChildFailed;
        }
        if (!Available(len))
            return eChildFailed;
        std::vector<T> data(len / 4);
        if (!m_src.Read(data.data(), len))
            return eChildFailed;
        ToHostOrder(reinterpret_cast<uint8_t*>(data.data()), len, 4);
        out->swap(data);
        return eChildDone;
    }

    int String(uint32_t len, std::string* out)
    {
        if (len == 0) {
            Fail("the string block is empty; it must hold at least its NUL");
            return eChildFailed;
        }
        std::vector<uint8_t> data;
        if (!Bytes(len, &data))
            return eChildFailed;
        if (data.back() != 0) {
            Fail("the string block does not end with a NUL");
            return eChildFailed;
        }
        out->assign(reinterpret_cast<const char*>(data.data()));
        return eChildDone;
    }

    bool Text(uint32_t len, uint32_t max, CZGXTString* out)
    {
        const uint32_t n = std::min(len, max);
        if (!Available(len))
            return false;
        std::vector<char> data(size_t(n) + 1, 0);
        if (!m_src.Read(data.data(), n) || !m_src.Skip(len - n))
            return false;
        out->assign(data.data());
        return true;
    }

    // Children until the group's end header; unknown blocks are skipped.
    template <class F>
    bool Group(uint32_t groupTag, F&& child)
    {
        for (;;) {
            uint32_t tag = 0, len = 0;
            if (!Header(&tag, &len))
                return Fail("the file ends before the end of group %u", groupTag);
            if (tag == EndTag(groupTag))
                return true;
            const int r = child(tag, len);
            if (r == eChildFailed)
                return false;
            if (r == eChildUnknown && !SkipOrFail(len))
                return false;
        }
    }

    // A record count; each record needs a group of at least 16 bytes.
    int Count(uint32_t len, uint32_t* declared, size_t alreadyRead, const char* kind)
    {
        if (!U32(len, declared))
            return eChildFailed;
        if (alreadyRead > 0) {
            Fail("the %s count comes after %s groups", kind, kind);
            return eChildFailed;
        }
        if (uint64_t(*declared) * kMinGroupBytes > m_src.Remaining()) {
            Fail("%u %s groups cannot fit in the %zu bytes left", *declared, kind, m_src.Remaining());
            return eChildFailed;
        }
        return eChildDone;
    }

    template <class T>
    T* NextRecord(std::vector<T>& records, uint32_t declared, const char* kind)
    {
        if (records.size() >= declared) {
            Fail("a %s group beyond the %u declared", kind, declared);
            return nullptr;
        }
        records.emplace_back();
        return &records.back();
    }

    bool SceneGroup(SScene& s)
    {
        s = SScene();
        CScope scope(*this, "scene", -1);
        uint32_t cameras = 0, lights = 0, meshes = 0, nodes = 0, textures = 0, materials = 0;
        std::vector<size_t> nodeAt, cameraAt;
        const bool ok = Group(eScene, [&](uint32_t tag, uint32_t len) -> int {
            switch (tag) {
            case eBackground: return Floats(len, s.fBackgroundRGB, 3);
            case eAmbient: return Floats(len, s.fAmbientRGB, 3);
            case eFrameCount: return U32(len, &s.uiFrameCount);
            case eFlags: return U32(len, &s.uiFlags);
            case eFramesPerSecond: return U32(len, &s.uiFramesPerSecond);
            case eMeshNodeCount: return U32(len, &s.uiMeshNodeCount);
            case eCameraCount: return Count(len, &cameras, s.pCameras.size(), "camera");
            case eLightCount: return Count(len, &lights, s.pLights.size(), "light");
            case eMeshCount: return Count(len, &meshes, s.pMeshes.size(), "mesh");
            case eNodeCount: return Count(len, &nodes, s.pNodes.size(), "node");
            case eTextureCount: return Count(len, &textures, s.pTextures.size(), "texture");
            case eMaterialCount: return Count(len, &materials, s.pMaterials.size(), "material");
            case eSceneUserData: return Bytes(len, &s.pUserData);
            case eCamera: {
                cameraAt.push_back(m_blockAt);
                SSceneCamera* c = NextRecord(s.pCameras, cameras, "camera");
                return c && Camera(*c, int64_t(s.pCameras.size() - 1));
            }
            case eLight: {
                SSceneLight* l = NextRecord(s.pLights, lights, "light");
                return l && Light(*l, int64_t(s.pLights.size() - 1));
            }
            case eMesh: {
                SSceneMesh* m = NextRecord(s.pMeshes, meshes, "mesh");
                return m && Mesh(*m, int64_t(s.pMeshes.size() - 1));
            }
            case eNode: {
                nodeAt.push_back(m_blockAt);
                SSceneNode* n = NextRecord(s.pNodes, nodes, "node");
                return n && Node(*n, int64_t(s.pNodes.size() - 1));
            }
            case eTexture: {
                SSceneTexture* t = NextRecord(s.pTextures, textures, "texture");
                return t && Texture(*t, int64_t(s.pTextures.size() - 1));
            }
            case eMaterial: {
                SSceneMaterial* m = NextRecord(s.pMaterials, materials, "material");
                return m && Material(*m, int64_t(s.pMaterials.size() - 1));
            }
            default: return eChildUnknown;
            }
        });
        if (!ok)
            return false;

        struct SCount {
            const char* kind;
            size_t read;
            uint32_t declared;
        };
        const SCount counts[] = {
            {"camera", s.pCameras.size(), cameras},       {"light", s.pLights.size(), lights},
            {"material", s.pMaterials.size(), materials}, {"mesh", s.pMeshes.size(), meshes},
            {"texture", s.pTextures.size(), textures},    {"node", s.pNodes.size(), nodes},
        };
        for (const SCount& c : counts)
            if (c.read != c.declared)
                return Fail("the scene declares %u %s groups but holds %zu", c.declared, c.kind, c.read);
        if (s.uiMeshNodeCount > s.pNodes.size())
            return Fail("the mesh node count %u exceeds the node count %zu", s.uiMeshNodeCount, s.pNodes.size());
        // Animation arrays depend on the frame count, known only now.
        CZGXTString why;
        for (size_t i = 0; i < s.pCameras.size(); ++i) {
            if (!CheckCameraKeys(s.pCameras[i], s.uiFrameCount, eCheckAsRead, &why)) {
                m_blockAt = cameraAt[i];
                m_tag = eCamera;
                return Fail("camera %zu: %s", i, why.c_str());
            }
        }
        for (size_t i = 0; i < s.pNodes.size(); ++i) {
            if (!CheckNodeArrays(s.pNodes[i], s.uiFrameCount, eCheckAsRead, &why)) {
                m_blockAt = nodeAt[i];
                m_tag = eNode;
                return Fail("node %zu: %s", i, why.c_str());
            }
        }
        return true;
    }

    bool Camera(SSceneCamera& c, int64_t index)
    {
        CScope scope(*this, "camera", index);
        return Group(eCamera, [&](uint32_t tag, uint32_t len) -> int {
            switch (tag) {
            case eCamTarget: return I32(len, &c.nTargetIdx);
            case eCamFieldOfView: return Floats(len, &c.fFieldOfView, 1);
            case eCamFarClip: return Floats(len, &c.fFarClip, 1);
            case eCamNearClip: return Floats(len, &c.fNearClip, 1);
            case eCamFieldOfViewKeys: return Array(len, &c.pfFieldOfViewKeys);
            default: return eChildUnknown;
            }
        });
    }

    bool Light(SSceneLight& l, int64_t index)
    {
        CScope scope(*this, "light", index);
        return Group(eLight, [&](uint32_t tag, uint32_t len) -> int {
            switch (tag) {
            case eLightTarget: return I32(len, &l.nTargetIdx);
            case eLightColour: return Floats(len, l.fColour, 3);
            case eLightType: return U32(len, &l.eType);
            case eLightConstantAtt: return Floats(len, &l.fConstantAttenuation, 1);
            case eLightLinearAtt: return Floats(len, &l.fLinearAttenuation, 1);
            case eLightQuadraticAtt: return Floats(len, &l.fQuadraticAttenuation, 1);
            case eLightFalloffAngle: return Floats(len, &l.fFalloffAngle, 1);
            case eLightFalloffExponent: return Floats(len, &l.fFalloffExponent, 1);
            default: return eChildUnknown;
            }
        });
    }

    bool Material(SSceneMaterial& m, int64_t index)
    {
        CScope scope(*this, "material", index);
        return Group(eMaterial, [&](uint32_t tag, uint32_t len) -> int {
            if (tag >= eMatAmbientTexture && tag <= eMatTextureSlot9)
                return I32(len, &m.TextureSlot(int(tag - eMatAmbientTexture) + 1));
            switch (tag) {
            case eMatName: return String(len, &m.pszName);
            case eMatDiffuseTexture: return I32(len, &m.nDiffuseTexture);
            case eMatOpacity: return Floats(len, &m.fOpacity, 1);
            case eMatAmbient: return Floats(len, m.fAmbient, 3);
            case eMatDiffuse: return Floats(len, m.fDiffuse, 3);
            case eMatSpecular: return Floats(len, m.fSpecular, 3);
            case eMatShininess: return Floats(len, &m.fShininess, 1);
            case eMatEffectFile: return String(len, &m.pszEffectFileName);
            case eMatEffectLabel: return String(len, &m.pszEffectLabel);
            case eMatSrcColourFactor: return U32(len, &m.eSrcColourFactor);
            case eMatSrcAlphaFactor: return U32(len, &m.eSrcAlphaFactor);
            case eMatDstColourFactor: return U32(len, &m.eDstColourFactor);
            case eMatDstAlphaFactor: return U32(len, &m.eDstAlphaFactor);
            case eMatColourBlendOp: return U32(len, &m.eColourBlendOp);
            case eMatAlphaBlendOp: return U32(len, &m.eAlphaBlendOp);
            case eMatBlendColour: return Floats(len, m.fConstantBlendColour, 4);
            case eMatBlendFactor: return Floats(len, m.fBlendFactorRGBA, 4);
            case eMatFlags: return U32(len, &m.uiMaterialFlags);
            case eMatUserData: return Bytes(len, &m.pUserData);
            default: return eChildUnknown;
            }
        });
    }

    bool Texture(SSceneTexture& t, int64_t index)
    {
        CScope scope(*this, "texture", index);
        return Group(eTexture, [&](uint32_t tag, uint32_t len) -> int {
            return tag == eTexName ? String(len, &t.pszName) : eChildUnknown;
        });
    }

    bool Node(SSceneNode& n, int64_t index)
    {
        CScope scope(*this, "node", index);
        // Older files store static values instead of one-key arrays.
        bool legacy = false;
        float position[3] = {0, 0, 0};
        float rotation[4] = {0, 0, 0, 1};
        float scale[7] = {1, 1, 1, 0, 0, 0, 0};
        const bool ok = Group(eNode, [&](uint32_t tag, uint32_t len) -> int {
            switch (tag) {
            case eNodeContent: return I32(len, &n.nContentIdx);
            case eNodeName: return String(len, &n.pszName);
            case eNodeMaterial: return I32(len, &n.nMaterialIdx);
            case eNodeParent: return I32(len, &n.nParentIdx);
            case eNodeAnimMask: return U32(len, &n.uiAnimMask);
            case eNodePositionKeyIdx: return Array(len, &n.puiPositionKeyIdx);
            case eNodeRotationKeyIdx: return Array(len, &n.puiRotationKeyIdx);
            case eNodeScaleKeyIdx: return Array(len, &n.puiScaleKeyIdx);
            case eNodeMatrixKeyIdx: return Array(len, &n.puiMatrixKeyIdx);
            case eNodePositionKeys: return Array(len, &n.pfPositionKeys);
            case eNodeRotationKeys: return Array(len, &n.pfRotationKeys);
            case eNodeScaleKeys: return Array(len, &n.pfScaleKeys);
            case eNodeMatrixKeys: return Array(len, &n.pfMatrixKeys);
            case eNodeUserData: return Bytes(len, &n.pUserData);
            case eNodeLegacyPosition: legacy = true; return Floats(len, position, 3);
            case eNodeLegacyRotation: legacy = true; return Floats(len, rotation, 4);
            case eNodeLegacyScale: legacy = true; return Floats(len, scale, 3);
            default: return eChildUnknown;
            }
        });
        if (!ok)
            return false;
        if (legacy) {
            struct SLegacy {
                std::vector<float>* keys;
                const float* value;
                uint32_t size;
                uint32_t bit;
            };
            const SLegacy arrays[] = {{&n.pfPositionKeys, position, 3, eAnimPosition},
                                      {&n.pfRotationKeys, rotation, 4, eAnimRotation},
                                      {&n.pfScaleKeys, scale, 7, eAnimScale}};
            for (const SLegacy& a : arrays) {
                if (a.keys->empty())
                    a.keys->assign(a.value, a.value + a.size);
                else
                    n.uiAnimMask |= a.bit;
            }
        }
        return true;
    }

    bool Channel(uint32_t groupTag, SVertexChannel& c, bool withData, const char* name)
    {
        CScope scope(*this, name, -1);
        return Group(groupTag, [&](uint32_t tag, uint32_t len) -> int {
            switch (tag) {
            case eChanType: {
                uint32_t type = 0;
                if (!U32(len, &type))
                    return eChildFailed;
                c.eType = static_cast<EZGXTDataType>(type);
                return eChildDone;
            }
            case eChanComponents: return U32(len, &c.uiComponentCount);
            case eChanStride: return U32(len, &c.uiStride);
            case eChanData: {
                if (!withData)
                    return U32(len, &c.uiOffset);
                const uint32_t size = ComponentSize(c.eType);
                if (size == 0)
                    return eChildUnknown; // a type without data: the payload is skipped
                return Bytes(len, &c.pData, size);
            }
            default: return eChildUnknown;
            }
        });
    }

    bool Mesh(SSceneMesh& m, int64_t index)
    {
        CScope scope(*this, "mesh", index);
        bool sawBlock = false, sawTexSets = false, sawStripCount = false;
        uint32_t stripCount = 0;
        size_t texRead = 0;
        const bool ok = Group(eMesh, [&](uint32_t tag, uint32_t len) -> int {
            switch (tag) {
            case eMeshVertexCount: return U32(len, &m.uiVertexCount);
            case eMeshTriangleCount: return U32(len, &m.uiTriangleCount);
            case eMeshTexCoordSets: {
                uint32_t sets = 0;
                if (!U32(len, &sets))
                    return eChildFailed;
                if (sawTexSets || texRead > 0)
                    return Fail("the texture coordinate set count is given twice or after the sets");
                if (uint64_t(sets) * kMinGroupBytes > m_src.Remaining())
                    return Fail("%u texture coordinate sets cannot fit in the %zu bytes left", sets, m_src.Remaining());
                m.psTexCoord.resize(sets);
                sawTexSets = true;
                return eChildDone;
            }
            case eMeshStripTriangles: return Array(len, &m.puiStripTriangles);
            case eMeshStripCount: sawStripCount = true; return U32(len, &stripCount);
            case eMeshVertexBlock:
                if (sawBlock)
                    return Fail("the mesh has a second interleaved vertex block");
                sawBlock = true;
                return Bytes(len, &m.pVertexBlock);
            case eMeshBatchBoneList: return Array(len, &m.puiBatchBoneList);
            case eMeshBatchBoneTotals: return Array(len, &m.puiBatchBoneTotals);
            case eMeshBatchStartTriangle: return Array(len, &m.puiBatchStartTriangle);
            case eMeshBatchCapacity: return U32(len, &m.uiBatchCapacity);
            case eMeshBatchCount: return U32(len, &m.uiBatchCount);
            case eMeshUnpackMatrix: return Floats(len, m.fUnpackMatrix.data(), 16);
            case eMeshIndexData: return Channel(tag, m.sIndexData, true, "index channel");
            case eMeshPosition: return Channel(tag, m.sPosition, !sawBlock, "position channel");
            case eMeshNormal: return Channel(tag, m.sNormal, !sawBlock, "normal channel");
            case eMeshTangent: return Channel(tag, m.sTangent, !sawBlock, "tangent channel");
            case eMeshBinormal: return Channel(tag, m.sBinormal, !sawBlock, "binormal channel");
            case eMeshColour: return Channel(tag, m.sColour, !sawBlock, "colour channel");
            case eMeshBoneIndex: return Channel(tag, m.sBoneIndex, !sawBlock, "bone index channel");
            case eMeshBoneWeights: return Channel(tag, m.sBoneWeights, !sawBlock, "bone weight channel");
            case eMeshTexCoord:
                if (texRead >= m.psTexCoord.size())
                    return Fail("a texture coordinate set beyond the %zu declared", m.psTexCoord.size());
                ++texRead;
                return Channel(tag, m.psTexCoord[texRead - 1], !sawBlock, "texture coordinate channel");
            default: return eChildUnknown;
            }
        });
        if (!ok)
            return false;
        if (texRead != m.psTexCoord.size())
            return Fail("the mesh declares %zu texture coordinate sets but holds %zu", m.psTexCoord.size(), texRead);
        if (sawStripCount && stripCount != m.puiStripTriangles.size())
            return Fail("the strip count %u does not match the %zu strip lengths stored", stripCount,
                        m.puiStripTriangles.size());
        CZGXTString why;
        if (!CheckMesh(m, &why))
            return Fail("%s", why.c_str());
        if (!kHostLittleEndian && m.IsInterleaved()) {
            const uint32_t stride = InterleavedStride(m);
            for (const SVertexChannel* c : VertexChannels(m)) {
                if (!c->IsPresent())
                    continue;
                for (uint32_t v = 0; v < m.uiVertexCount; ++v)
                    ToHostOrder(m.pVertexBlock.data() + size_t(v) * stride + c->uiOffset, ElementSize(*c),
                                ComponentSize(c->eType));
            }
        }
        return true;
    }

    CSource& m_src;
    CZGXTString* m_error;
    std::vector<SWhere> m_where;
    size_t m_blockAt = 0;
    uint32_t m_tag = 0;
    bool m_failed = false;
    bool m_notSceneFile = false; // the first block is not the version block
};

} // namespace

bool ReadSceneFile(SScene* scene, CZGXTString* optionsText, uint32_t optionsMax, CZGXTString* historyText,
                   uint32_t historyMax, CSource& source, CZGXTString* error)
{
    try {
        return CSceneFileReader(source, error).File(scene, optionsText, optionsMax, historyText, historyMax);
    } catch (const std::bad_alloc&) {
        if (error)
            *error = "out of memory while reading the scene file";
        return false;
    }
}

namespace {

// The whole scene (or the texts only) from source, with the animation cache.
int LoadScene(SScene& scene, CSource& source, CZGXTString* optionsText, uint32_t optionsMax, CZGXTString* historyText,
              uint32_t historyMax, CZGXTString* error)
{
    Destroy(scene);
    const bool textsOnly = optionsText || historyText;
    if (!ReadSceneFile(textsOnly ? nullptr : &scene, optionsText, optionsMax, historyText, historyMax, source, error))
        return 1;
    if (CreateAnimCache(scene) != 0) {
        if (error)
            *error = "out of memory while preparing the animation cache";
        return 1;
    }
    return 0;
}

} // namespace

int LoadSceneFile(SScene& scene, const char* path, CZGXTString* optionsText, uint32_t optionsMax,
                  CZGXTString* historyText, uint32_t historyMax, CZGXTString* error)
{
    CSourceStream source;
    if (!source.Init(path)) {
        if (error)
            *error = StrFormat("cannot open '%s' as a file", path ? path : "");
        return 1;
    }
    return LoadScene(scene, source, optionsText, optionsMax, historyText, historyMax, error);
}

int LoadSceneBytes(SScene& scene, const uint8_t* data, size_t size, CZGXTString* error)
{
    CMemorySource source(data, size);
    return LoadScene(scene, source, nullptr, 0, nullptr, 0, error);
}

bool ReadOptionsTextOfSceneFile(const char* path, size_t maxBytes, CZGXTString* text)
{
    if (!text)
        return false;
    SScene unused;
    const uint32_t max = maxBytes > UINT32_MAX ? UINT32_MAX : uint32_t(maxBytes);
    return LoadSceneFile(unused, path, text, max, nullptr, 0) == 0;
}
