// The loader: a structural walk that counts the records (qef_measure), then
// one pass that checks every block against the bytes that hold it and fills
// the tables with views into the caller's bytes. Built without exceptions or
// run-time type information; nothing here needs the C++ run-time library.
#include "qef/qef.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "qef/SceneFileFormat.h"

using namespace qef;

namespace {

// ---- Little-endian numbers at any address ---------------------------------

inline uint32_t LoadU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline uint16_t LoadU16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

inline float LoadF32(const uint8_t* p)
{
    const uint32_t u = LoadU32(p);
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

inline void StoreF32(uint8_t* p, float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    p[0] = uint8_t(u);
    p[1] = uint8_t(u >> 8);
    p[2] = uint8_t(u >> 16);
    p[3] = uint8_t(u >> 24);
}

// The largest of n unsigned T in file byte order; on a little-endian host a
// plain loop the compiler vectorises.
template <typename T, T (*Load)(const uint8_t*)>
uint32_t Largest(const uint8_t* p, size_t n)
{
    T big = 0;
    if (kHostLittleEndian) {
        for (size_t i = 0; i < n; ++i) {
            T v;
            std::memcpy(&v, p + sizeof(T) * i, sizeof(T));
            big = v > big ? v : big;
        }
    } else {
        for (size_t i = 0; i < n; ++i)
            big = std::max(big, Load(p + sizeof(T) * i));
    }
    return big;
}

constexpr uint8_t kComponentSize[18] = {0, 4, 4, 2, 4, 4, 4, 4, 4, 4, 1, 2, 2, 1, 1, 1, 2, 4};
constexpr uint8_t kValuesPerElement[18] = {0, 1, 1, 1, 4, 4, 4, 4, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1};
constexpr uint32_t kTypeCount = 18;

inline uint32_t ComponentSize(uint32_t type)
{
    return type < kTypeCount ? kComponentSize[type] : 0;
}

// Bytes of one element, without wrapping for any component count.
inline uint64_t ElementBytes(const qef_channel& c)
{
    return uint64_t(ComponentSize(c.type)) * c.components;
}

constexpr size_t kAlign = 16;

inline size_t AlignUp(size_t n)
{
    return (n + kAlign - 1) & ~(kAlign - 1);
}

// ---- Memory -------------------------------------------------------------

void* DefaultAlloc(void*, size_t size)
{
    return std::malloc(size);
}

void DefaultRelease(void*, void* p)
{
    std::free(p);
}

const qef_allocator kDefaultAllocator = {DefaultAlloc, DefaultRelease, nullptr};

const qef_allocator* AllocatorOf(const qef_options* options)
{
    return options && options->allocator && options->allocator->alloc && options->allocator->release
               ? options->allocator
               : &kDefaultAllocator;
}

// ---- Errors -------------------------------------------------------------

void SetError(qef_error* error, qef_result result, size_t offset, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;

void SetError(qef_error* error, qef_result result, size_t offset, const char* format, ...)
{
    if (!error)
        return;
    error->result = result;
    error->offset = offset;
    va_list args;
    va_start(args, format);
    std::vsnprintf(error->message, sizeof(error->message), format, args);
    va_end(args);
}

void ClearError(qef_error* error)
{
    if (!error)
        return;
    error->result = QEF_OK;
    error->offset = 0;
    error->bytes_needed = 0;
    error->message[0] = 0;
}

// ---- The walk -----------------------------------------------------------

// Record counts found by the structural walk: they size the tables.
struct SCounts {
    uint32_t cameras = 0, lights = 0, meshes = 0, nodes = 0, textures = 0, materials = 0;
    uint64_t texCoordSets = 0;
    uint64_t maxSetsPerMesh = 0;
};

// Where the tables go inside the one block.
struct SLayout {
    size_t scene, cameras, lights, meshes, nodes, textures, materials, texCoords, spans, total;
};

struct SSpan {
    uint64_t begin, end;
    uint32_t channel;
};

SLayout Layout(const SCounts& c)
{
    SLayout l;
    size_t at = 0;
    auto place = [&at](size_t bytes) {
        const size_t here = at;
        at = AlignUp(at + bytes);
        return here;
    };
    l.scene = place(sizeof(qef_scene));
    l.cameras = place(sizeof(qef_camera) * c.cameras);
    l.lights = place(sizeof(qef_light) * c.lights);
    l.meshes = place(sizeof(qef_mesh) * c.meshes);
    l.nodes = place(sizeof(qef_node) * c.nodes);
    l.textures = place(sizeof(qef_texture) * c.textures);
    l.materials = place(sizeof(qef_material) * c.materials);
    l.texCoords = place(sizeof(qef_channel) * size_t(c.texCoordSets));
    l.spans = place(sizeof(SSpan) * size_t(c.maxSetsPerMesh + 8));
    l.total = at;
    return l;
}

enum EChild { eChildFailed = 0, eChildDone = 1, eChildUnknown = 2 };

enum EKind { eKindCamera, eKindLight, eKindMesh, eKindNode, eKindTexture, eKindMaterial, eKindCount };
const char* const kKindName[eKindCount] = {"camera", "light", "mesh", "node", "texture", "material"};

const char* const kChannelNames[] = {"index",    "position", "normal",     "tangent",
                                     "binormal", "colour",   "bone index", "bone weight"};
enum EChannelName {
    eChanIndex,
    eChanPosition,
    eChanNormal,
    eChanTangent,
    eChanBinormal,
    eChanColour,
    eChanBoneIndex,
    eChanBoneWeights,
    eChanTexCoord
};

class CWalk {
public:
    // Counting walk (fill false) or the checking, filling pass (fill true,
    // with the tables laid out in memory).
    CWalk(const uint8_t* data, size_t size, qef_error* error, bool fill, uint8_t* memory, const SLayout* layout)
        : m_p(data), m_size(size), m_error(error), m_fill(fill), m_mem(memory), m_layout(layout)
    {
    }

    bool File(qef_scene* scene)
    {
        m_scene = scene;
        bool versionSeen = false, sceneRead = false, optionsSeen = false, historySeen = false;
        for (;;) {
            uint32_t tag = 0, len = 0;
            if (!Header(&tag, &len))
                return Finish(versionSeen, sceneRead);
            // Anything else at the very start is most likely not a scene
            // file at all; a refusal then says so rather than what its first
            // bytes would mean as a block.
            if (m_blockAt == 0 && tag != eVersion && tag != kSwappedVersionTag)
                m_notSceneFile = true;
            switch (tag) {
            case eVersion:
                if (len != kVersionLength)
                    return Fail(QEF_WRONG_VERSION, "the version block has %u bytes; it must have %u", len,
                                kVersionLength);
                if (!Need(len))
                    return false;
                if (std::memcmp(m_p + m_pos, kVersionText, kVersionLength) != 0)
                    return Fail(QEF_WRONG_VERSION, "the version text is not \"%s\"", kVersionText);
                m_pos += len;
                versionSeen = true;
                break;
            case eScene:
                if (sceneRead)
                    return Fail(QEF_MALFORMED, "the file holds a second scene group");
                if (!SceneGroup())
                    return false;
                m_inScene = false;
                sceneRead = true;
                break;
            case eOptionsText:
            case eHistoryText: {
                if (!Need(len))
                    return false;
                bool& seen = tag == eOptionsText ? optionsSeen : historySeen;
                if (!seen) {
                    const char* text = reinterpret_cast<const char*>(m_p + m_pos);
                    const void* nul = std::memchr(text, 0, len);
                    const uint32_t n = nul ? uint32_t(static_cast<const char*>(nul) - text) : len;
                    (tag == eOptionsText ? m_scene->options_text : m_scene->history_text) = text;
                    (tag == eOptionsText ? m_scene->options_text_size : m_scene->history_text_size) = n;
                    seen = true;
                }
                m_pos += len;
                break;
            }
            case EndTag(eScene): return Finish(versionSeen, sceneRead);
            case kSwappedVersionTag:
                return Fail(QEF_WRONG_BYTE_ORDER, "the file was written in the opposite byte order");
            default:
                if (!Skip(len))
                    return false;
                break;
            }
        }
    }

    const SCounts& Counts() const { return m_counts; }

private:
    // ---- Messages ----

    struct SWhere {
        int kind = -1;
        int64_t index = -1;
        int channel = -1;
        int64_t channelIndex = -1;
    };

    bool Fail(qef_result result, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
    {
        if (!m_error)
            return false;
        if (m_notSceneFile && result != QEF_WRONG_VERSION) {
            SetError(m_error, QEF_WRONG_VERSION, 0,
                     "file: not a QEF scene file: it does not begin with the version block \"%s\" (at byte 0)",
                     kVersionText);
            return false;
        }
        char text[200];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof(text), format, args);
        va_end(args);
        char where[96] = "";
        if (m_where.kind >= 0) {
            int n = std::snprintf(where, sizeof(where), "%s %" PRId64, kKindName[m_where.kind], m_where.index);
            if (m_where.channel >= 0 && n > 0 && size_t(n) < sizeof(where)) {
                if (m_where.channel == eChanTexCoord)
                    std::snprintf(where + n, sizeof(where) - size_t(n), " channel texture coordinate %" PRId64,
                                  m_where.channelIndex);
                else
                    std::snprintf(where + n, sizeof(where) - size_t(n), " channel %s", kChannelNames[m_where.channel]);
            }
        } else {
            std::snprintf(where, sizeof(where), "%s", m_inScene ? "scene" : "file");
        }
        // Where in the file: the block being read, or the end of the bytes.
        const uint32_t tag = BlockTag();
        if (m_blockAt + 8 <= m_size && (tag & kEndTagBit))
            SetError(m_error, result, m_blockAt, "%s: %s (end of block %u at byte %zu)", where, text, tag & ~kEndTagBit,
                     m_blockAt);
        else if (m_blockAt + 8 <= m_size)
            SetError(m_error, result, m_blockAt, "%s: %s (block %u at byte %zu)", where, text, tag, m_blockAt);
        else
            SetError(m_error, result, m_blockAt, "%s: %s (at byte %zu)", where, text, m_blockAt);
        return false;
    }

    // ---- Blocks ----

    size_t Remaining() const
    {
        return m_size - m_pos;
    }

    bool Header(uint32_t* tag, uint32_t* len)
    {
        m_blockAt = m_pos;
        if (Remaining() < 8)
            return false;
        *tag = LoadU32(m_p + m_pos);
        *len = LoadU32(m_p + m_pos + 4);
        m_pos += 8;
        return true;
    }

    bool Need(uint64_t bytes)
    {
        if (bytes > Remaining())
            return Fail(QEF_TRUNCATED, "%" PRIu64 " bytes needed past offset %zu, %zu remain", bytes, m_pos,
                        Remaining());
        return true;
    }

    bool Skip(uint32_t len)
    {
        if (!Need(len))
            return false;
        m_pos += len;
        return true;
    }

    bool Exact(uint32_t len, uint32_t want)
    {
        if (len != want)
            return Fail(QEF_MALFORMED, "block %u has %u bytes; it must have %u", BlockTag(), len, want);
        return Need(len);
    }

    uint32_t BlockTag() const
    {
        return m_blockAt + 4 <= m_size ? LoadU32(m_p + m_blockAt) : 0;
    }

    int U32(uint32_t len, uint32_t* out)
    {
        if (!Exact(len, 4))
            return eChildFailed;
        *out = LoadU32(m_p + m_pos);
        m_pos += 4;
        return eChildDone;
    }

    int I32(uint32_t len, int32_t* out)
    {
        uint32_t v = 0;
        if (!U32(len, &v))
            return eChildFailed;
        std::memcpy(out, &v, 4);
        return eChildDone;
    }

    int Floats(uint32_t len, float* out, uint32_t n)
    {
        if (!Exact(len, n * 4))
            return eChildFailed;
        for (uint32_t i = 0; i < n; ++i)
            out[i] = LoadF32(m_p + m_pos + 4 * i);
        m_pos += len;
        return eChildDone;
    }

    // Raw bytes (null for an empty block).
    int Bytes(uint32_t len, const void** out, uint32_t* size, uint32_t unit = 1)
    {
        if (len % unit != 0) {
            Fail(QEF_MALFORMED, "block %u has %u bytes, not a multiple of %u", BlockTag(), len, unit);
            return eChildFailed;
        }
        if (!Need(len))
            return eChildFailed;
        *out = len ? m_p + m_pos : nullptr;
        *size = len / unit;
        m_pos += len;
        return eChildDone;
    }

    int String(uint32_t len, const char** out)
    {
        if (len == 0) {
            Fail(QEF_MALFORMED, "the string block is empty; it must hold at least its NUL");
            return eChildFailed;
        }
        if (!Need(len))
            return eChildFailed;
        if (m_p[m_pos + len - 1] != 0) {
            Fail(QEF_MALFORMED, "the string block does not end with a NUL");
            return eChildFailed;
        }
        *out = reinterpret_cast<const char*>(m_p + m_pos);
        m_pos += len;
        return eChildDone;
    }

    // Children until the group's end header; unknown blocks are passed over.
    template <class F>
    bool Group(uint32_t groupTag, F&& child)
    {
        for (;;) {
            uint32_t tag = 0, len = 0;
            if (!Header(&tag, &len))
                return Fail(QEF_TRUNCATED, "the file ends at offset %zu before the end of group %u", m_pos, groupTag);
            if (tag == EndTag(groupTag))
                return true;
            const int r = child(tag, len);
            if (r == eChildFailed)
                return false;
            if (r == eChildUnknown && !Skip(len))
                return false;
        }
    }

    bool Finish(bool versionSeen, bool sceneRead)
    {
        if (m_scene->flags & 1u)
            return Fail(QEF_FIXED_POINT, "the scene's numbers are in fixed point (flag bit 0)");
        if (!versionSeen)
            return Fail(QEF_WRONG_VERSION, "the file has no version block");
        if (!sceneRead)
            return Fail(QEF_MALFORMED, "the file has no scene group");
        return true;
    }

    // ---- Scene ----

    template <class T>
    T* Table(size_t offset)
    {
        return reinterpret_cast<T*>(m_mem + offset);
    }

    int Count(uint32_t len, uint32_t* declared, uint32_t alreadyRead, const char* kind)
    {
        if (!U32(len, declared))
            return eChildFailed;
        if (alreadyRead > 0) {
            Fail(QEF_MALFORMED, "the %s count comes after %s groups", kind, kind);
            return eChildFailed;
        }
        if (uint64_t(*declared) * kMinGroupBytes > Remaining()) {
            Fail(QEF_TRUNCATED, "%u %s groups cannot fit in the %zu bytes left", *declared, kind, Remaining());
            return eChildFailed;
        }
        return eChildDone;
    }

    bool SceneGroup()
    {
        qef_scene& s = *m_scene;
        s.frames_per_second = 30;
        m_inScene = true;
        uint32_t declared[eKindCount] = {0, 0, 0, 0, 0, 0};
        uint32_t read[eKindCount] = {0, 0, 0, 0, 0, 0};
        uint64_t texCoordsUsed = 0;
        auto next = [&](EKind kind) -> int64_t {
            if (read[kind] >= declared[kind]) {
                Fail(QEF_MALFORMED, "a %s group beyond the %u declared", kKindName[kind], declared[kind]);
                return -1;
            }
            return read[kind]++;
        };
        const bool ok = Group(eScene, [&](uint32_t tag, uint32_t len) -> int {
            switch (tag) {
            case eBackground: return Floats(len, s.background, 3);
            case eAmbient: return Floats(len, s.ambient, 3);
            case eCameraCount: return Count(len, &declared[eKindCamera], read[eKindCamera], "camera");
            case eLightCount: return Count(len, &declared[eKindLight], read[eKindLight], "light");
            case eMeshCount: return Count(len, &declared[eKindMesh], read[eKindMesh], "mesh");
            case eNodeCount: return Count(len, &declared[eKindNode], read[eKindNode], "node");
            case eTextureCount: return Count(len, &declared[eKindTexture], read[eKindTexture], "texture");
            case eMaterialCount: return Count(len, &declared[eKindMaterial], read[eKindMaterial], "material");
            case eMeshNodeCount: return U32(len, &s.mesh_node_count);
            case eFrameCount: return U32(len, &s.frame_count);
            case eFlags: return U32(len, &s.flags);
            case eFramesPerSecond: return U32(len, &s.frames_per_second);
            case eSceneUserData: return Bytes(len, &s.user_data, &s.user_data_size);
            case eCamera: {
                const int64_t i = next(eKindCamera);
                if (i < 0)
                    return eChildFailed;
                qef_camera local;
                return Camera(m_fill ? Table<qef_camera>(m_layout->cameras)[i] : local, i);
            }
            case eLight: {
                const int64_t i = next(eKindLight);
                if (i < 0)
                    return eChildFailed;
                qef_light local;
                return Light(m_fill ? Table<qef_light>(m_layout->lights)[i] : local, i);
            }
            case eMesh: {
                const int64_t i = next(eKindMesh);
                if (i < 0)
                    return eChildFailed;
                qef_mesh local;
                return Mesh(m_fill ? Table<qef_mesh>(m_layout->meshes)[i] : local, i, &texCoordsUsed);
            }
            case eNode: {
                const int64_t i = next(eKindNode);
                if (i < 0)
                    return eChildFailed;
                qef_node local;
                return Node(m_fill ? Table<qef_node>(m_layout->nodes)[i] : local, i);
            }
            case eTexture: {
                const int64_t i = next(eKindTexture);
                if (i < 0)
                    return eChildFailed;
                qef_texture local;
                return Texture(m_fill ? Table<qef_texture>(m_layout->textures)[i] : local, i);
            }
            case eMaterial: {
                const int64_t i = next(eKindMaterial);
                if (i < 0)
                    return eChildFailed;
                qef_material local;
                return Material(m_fill ? Table<qef_material>(m_layout->materials)[i] : local, i);
            }
            default: return eChildUnknown;
            }
        });
        if (!ok)
            return false;
        for (int k = 0; k < eKindCount; ++k)
            if (read[k] != declared[k])
                return Fail(QEF_MALFORMED, "the scene declares %u %s groups but holds %u", declared[k], kKindName[k],
                            read[k]);
        if (s.mesh_node_count > read[eKindNode])
            return Fail(QEF_MALFORMED, "the mesh node count %u exceeds the node count %u", s.mesh_node_count,
                        read[eKindNode]);
        m_counts.cameras = read[eKindCamera];
        m_counts.lights = read[eKindLight];
        m_counts.meshes = read[eKindMesh];
        m_counts.nodes = read[eKindNode];
        m_counts.textures = read[eKindTexture];
        m_counts.materials = read[eKindMaterial];
        m_counts.texCoordSets = texCoordsUsed;
        s.camera_count = read[eKindCamera];
        s.light_count = read[eKindLight];
        s.mesh_count = read[eKindMesh];
        s.node_count = read[eKindNode];
        s.texture_count = read[eKindTexture];
        s.material_count = read[eKindMaterial];
        if (!m_fill)
            return true;
        s.cameras = Table<qef_camera>(m_layout->cameras);
        s.lights = Table<qef_light>(m_layout->lights);
        s.meshes = Table<qef_mesh>(m_layout->meshes);
        s.nodes = Table<qef_node>(m_layout->nodes);
        s.textures = Table<qef_texture>(m_layout->textures);
        s.materials = Table<qef_material>(m_layout->materials);
        // Animation arrays depend on the frame count, known only now.
        for (uint32_t i = 0; i < s.camera_count; ++i)
            if (!CheckCamera(s.cameras[i], i))
                return false;
        for (uint32_t i = 0; i < s.node_count; ++i)
            if (!CheckNode(s.nodes[i], i))
                return false;
        return true;
    }

    // ---- Records ----

    struct CScope {
        CScope(CWalk& w, int kind, int64_t index) : m_w(w), m_saved(w.m_where)
        {
            m_w.m_where.kind = kind;
            m_w.m_where.index = index;
            m_w.m_where.channel = -1;
        }
        ~CScope() { m_w.m_where = m_saved; }
        CWalk& m_w;
        SWhere m_saved;
    };

    int Camera(qef_camera& c, int64_t index)
    {
        CScope scope(*this, eKindCamera, index);
        c = qef_camera();
        c.target = -1;
        const bool ok = Group(eCamera, [&](uint32_t tag, uint32_t len) -> int {
            switch (tag) {
            case eCamTarget: return I32(len, &c.target);
            case eCamFieldOfView: return Floats(len, &c.field_of_view, 1);
            case eCamFarClip: return Floats(len, &c.far_clip, 1);
            case eCamNearClip: return Floats(len, &c.near_clip, 1);
            case eCamFieldOfViewKeys: return Bytes(len, &c.field_of_view_keys, &c.field_of_view_key_count, 4);
            default: return eChildUnknown;
            }
        });
        return ok ? eChildDone : eChildFailed;
    }

    bool CheckCamera(const qef_camera& c, uint32_t index)
    {
        if (c.field_of_view_keys && c.field_of_view_key_count != m_scene->frame_count) {
            m_where.kind = eKindCamera;
            m_where.index = index;
            return Fail(QEF_MALFORMED, "field of view keys hold %u values for %u frames", c.field_of_view_key_count,
                        m_scene->frame_count);
        }
        return true;
    }

    int Light(qef_light& l, int64_t index)
    {
        CScope scope(*this, eKindLight, index);
        l = qef_light();
        l.target = -1;
        const bool ok = Group(eLight, [&](uint32_t tag, uint32_t len) -> int {
            switch (tag) {
            case eLightTarget: return I32(len, &l.target);
            case eLightColour: return Floats(len, l.colour, 3);
            case eLightType: return U32(len, &l.type);
            case eLightConstantAtt: return Floats(len, &l.constant_attenuation, 1);
            case eLightLinearAtt: return Floats(len, &l.linear_attenuation, 1);
            case eLightQuadraticAtt: return Floats(len, &l.quadratic_attenuation, 1);
            case eLightFalloffAngle: return Floats(len, &l.falloff_angle, 1);
            case eLightFalloffExponent: return Floats(len, &l.falloff_exponent, 1);
            default: return eChildUnknown;
            }
        });
        return ok ? eChildDone : eChildFailed;
    }

    int Material(qef_material& m, int64_t index)
    {
        CScope scope(*this, eKindMaterial, index);
        m = qef_material();
        for (int32_t& t : m.textures)
            t = -1;
        m.opacity = 1;
        m.src_colour_factor = m.src_alpha_factor = 1;
        m.colour_blend_op = m.alpha_blend_op = 0x8006;
        const bool ok = Group(eMaterial, [&](uint32_t tag, uint32_t len) -> int {
            if (tag >= eMatAmbientTexture && tag <= eMatTextureSlot9)
                return I32(len, &m.textures[tag - eMatAmbientTexture + 1]);
            switch (tag) {
            case eMatName: return String(len, &m.name);
            case eMatDiffuseTexture: return I32(len, &m.textures[0]);
            case eMatOpacity: return Floats(len, &m.opacity, 1);
            case eMatAmbient: return Floats(len, m.ambient, 3);
            case eMatDiffuse: return Floats(len, m.diffuse, 3);
            case eMatSpecular: return Floats(len, m.specular, 3);
            case eMatShininess: return Floats(len, &m.shininess, 1);
            case eMatEffectFile: return String(len, &m.effect_file_name);
            case eMatEffectLabel: return String(len, &m.effect_label);
            case eMatSrcColourFactor: return U32(len, &m.src_colour_factor);
            case eMatSrcAlphaFactor: return U32(len, &m.src_alpha_factor);
            case eMatDstColourFactor: return U32(len, &m.dst_colour_factor);
            case eMatDstAlphaFactor: return U32(len, &m.dst_alpha_factor);
            case eMatColourBlendOp: return U32(len, &m.colour_blend_op);
            case eMatAlphaBlendOp: return U32(len, &m.alpha_blend_op);
            case eMatBlendColour: return Floats(len, m.constant_blend_colour, 4);
            case eMatBlendFactor: return Floats(len, m.blend_factor, 4);
            case eMatFlags: return U32(len, &m.flags);
            case eMatUserData: return Bytes(len, &m.user_data, &m.user_data_size);
            default: return eChildUnknown;
            }
        });
        if (ok && !m.name)
            m.name = "";
        return ok ? eChildDone : eChildFailed;
    }

    int Texture(qef_texture& t, int64_t index)
    {
        CScope scope(*this, eKindTexture, index);
        t.name = "";
        const bool ok = Group(eTexture, [&](uint32_t tag, uint32_t len) -> int {
            return tag == eTexName ? String(len, &t.name) : eChildUnknown;
        });
        return ok ? eChildDone : eChildFailed;
    }

    int Node(qef_node& n, int64_t index)
    {
        CScope scope(*this, eKindNode, index);
        n = qef_node();
        n.name = "";
        n.content = n.material = n.parent = -1;
        // Older files store static values instead of one-key tracks.
        bool legacy = false;
        float position[3] = {0, 0, 0};
        float rotation[4] = {0, 0, 0, 1};
        float scale[7] = {1, 1, 1, 0, 0, 0, 0};
        auto track = [&](qef_track& t, uint32_t len, bool frameIndex) {
            uint32_t count = 0;
            const int r = Bytes(len, frameIndex ? &t.frame_index : &t.keys, &count, 4);
            (frameIndex ? t.frame_index_count : t.key_count) = count;
            return r;
        };
        const bool ok = Group(eNode, [&](uint32_t tag, uint32_t len) -> int {
            switch (tag) {
            case eNodeContent: return I32(len, &n.content);
            case eNodeName: return String(len, &n.name);
            case eNodeMaterial: return I32(len, &n.material);
            case eNodeParent: return I32(len, &n.parent);
            case eNodeAnimMask: return U32(len, &n.anim_mask);
            case eNodePositionKeyIdx: return track(n.position, len, true);
            case eNodeRotationKeyIdx: return track(n.rotation, len, true);
            case eNodeScaleKeyIdx: return track(n.scale, len, true);
            case eNodeMatrixKeyIdx: return track(n.matrix, len, true);
            case eNodePositionKeys: return track(n.position, len, false);
            case eNodeRotationKeys: return track(n.rotation, len, false);
            case eNodeScaleKeys: return track(n.scale, len, false);
            case eNodeMatrixKeys: return track(n.matrix, len, false);
            case eNodeUserData: return Bytes(len, &n.user_data, &n.user_data_size);
            case eNodeLegacyPosition: legacy = true; return Floats(len, position, 3);
            case eNodeLegacyRotation: legacy = true; return Floats(len, rotation, 4);
            case eNodeLegacyScale: legacy = true; return Floats(len, scale, 3);
            default: return eChildUnknown;
            }
        });
        if (!ok)
            return eChildFailed;
        if (legacy) {
            // The static values are kept in the node, little-endian like the
            // file, and the tracks without keys point at them.
            for (int i = 0; i < 3; ++i)
                StoreF32(n.legacy_keys + 4 * i, position[i]);
            for (int i = 0; i < 4; ++i)
                StoreF32(n.legacy_keys + 12 + 4 * i, rotation[i]);
            for (int i = 0; i < 7; ++i)
                StoreF32(n.legacy_keys + 28 + 4 * i, scale[i]);
            struct SLegacy {
                qef_track* t;
                uint32_t at, size, bit;
            };
            const SLegacy tracks[] = {{&n.position, 0, 3, QEF_ANIM_POSITION},
                                      {&n.rotation, 12, 4, QEF_ANIM_ROTATION},
                                      {&n.scale, 28, 7, QEF_ANIM_SCALE}};
            for (const SLegacy& l : tracks) {
                if (!l.t->keys) {
                    l.t->keys = n.legacy_keys + l.at;
                    l.t->key_count = l.size;
                } else {
                    n.anim_mask |= l.bit;
                }
            }
        }
        return eChildDone;
    }

    bool CheckTrack(const qef_node& n, const qef_track& t, const char* what, uint32_t bit, uint32_t keySize,
                    uint32_t index)
    {
        const uint32_t frames = m_scene->frame_count;
        if (t.frame_index && t.frame_index_count != frames)
            return NodeFail(index, "%s key index array has %u entries for %u frames", what, t.frame_index_count,
                            frames);
        if (!t.keys)
            return true;
        uint64_t expected = keySize;
        if (n.anim_mask & (1u << bit)) {
            if (!t.frame_index) {
                expected = uint64_t(frames) * keySize;
            } else {
                uint32_t largest = 0;
                const uint8_t* p = static_cast<const uint8_t*>(t.frame_index);
                for (uint32_t f = 0; f < frames; ++f)
                    largest = std::max(largest, LoadU32(p + 4 * size_t(f)));
                expected = uint64_t(largest) + keySize;
            }
        }
        if (t.key_count != expected)
            return NodeFail(index, "%s keys hold %u floats; the animation flags and %u frames need %" PRIu64, what,
                            t.key_count, frames, expected);
        return true;
    }

    bool NodeFail(uint32_t index, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
    {
        char text[200];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof(text), format, args);
        va_end(args);
        m_where.kind = eKindNode;
        m_where.index = index;
        m_where.channel = -1;
        return Fail(QEF_MALFORMED, "%s", text);
    }

    bool CheckNode(const qef_node& n, uint32_t index)
    {
        return CheckTrack(n, n.position, "position", 0, 3, index) &&
               CheckTrack(n, n.rotation, "rotation", 1, 4, index) && CheckTrack(n, n.scale, "scale", 2, 7, index) &&
               CheckTrack(n, n.matrix, "matrix", 3, 16, index);
    }

    // ---- Meshes ----

    // A channel as read: own data (bytes in count) or an offset.
    int Channel(uint32_t groupTag, qef_channel& c, bool withData, int name, int64_t texIndex)
    {
        const SWhere saved = m_where;
        m_where.channel = name;
        m_where.channelIndex = texIndex;
        c = qef_channel();
        const bool ok = Group(groupTag, [&](uint32_t tag, uint32_t len) -> int {
            switch (tag) {
            case eChanType: return U32(len, &c.type);
            case eChanComponents: return U32(len, &c.components);
            case eChanStride: return U32(len, &c.stride);
            case eChanData: {
                if (!withData)
                    return U32(len, &c.offset);
                const uint32_t size = ComponentSize(c.type);
                if (size == 0)
                    return eChildUnknown; // a type without data: the payload is passed over
                return Bytes(len, &c.data, &c.count, 1) == eChildDone && CheckUnit(len, size) ? eChildDone
                                                                                              : eChildFailed;
            }
            default: return eChildUnknown;
            }
        });
        m_where = saved;
        return ok ? eChildDone : eChildFailed;
    }

    bool CheckUnit(uint32_t len, uint32_t size)
    {
        if (len % size != 0)
            return Fail(QEF_MALFORMED, "channel data of %u bytes is not a whole number of %u-byte components", len,
                        size);
        return true;
    }

    int Mesh(qef_mesh& m, int64_t index, uint64_t* texCoordsUsed)
    {
        CScope scope(*this, eKindMesh, index);
        m = qef_mesh();
        for (int i = 0; i < 16; ++i)
            m.unpack_matrix[i] = i % 5 == 0 ? 1.0f : 0.0f;
        bool sawBlock = false, sawSets = false, sawStripCount = false;
        uint32_t stripCount = 0, sets = 0, setsRead = 0, blockBytes = 0, listLen = 0, totalsLen = 0, startLen = 0;
        qef_channel* tex = m_fill ? Table<qef_channel>(m_layout->texCoords) + *texCoordsUsed : nullptr;
        qef_channel scratch;
        const bool ok = Group(eMesh, [&](uint32_t tag, uint32_t len) -> int {
            switch (tag) {
            case eMeshVertexCount: return U32(len, &m.vertex_count);
            case eMeshTriangleCount: return U32(len, &m.triangle_count);
            case eMeshTexCoordSets:
                if (!U32(len, &sets))
                    return eChildFailed;
                if (sawSets || setsRead > 0) {
                    Fail(QEF_MALFORMED, "the texture coordinate set count is given twice or after the sets");
                    return eChildFailed;
                }
                if (uint64_t(sets) * kMinGroupBytes > Remaining()) {
                    Fail(QEF_TRUNCATED, "%u texture coordinate sets cannot fit in the %zu bytes left", sets,
                         Remaining());
                    return eChildFailed;
                }
                sawSets = true;
                return eChildDone;
            case eMeshStripTriangles: return Bytes(len, &m.strip_triangles, &m.strip_count, 4);
            case eMeshStripCount: sawStripCount = true; return U32(len, &stripCount);
            case eMeshVertexBlock:
                if (sawBlock) {
                    Fail(QEF_MALFORMED, "the mesh has a second interleaved vertex block");
                    return eChildFailed;
                }
                sawBlock = true;
                return Bytes(len, &m.vertex_block, &blockBytes);
            case eMeshBatchBoneList: return Bytes(len, &m.batch_bone_list, &listLen, 4);
            case eMeshBatchBoneTotals: return Bytes(len, &m.batch_bone_totals, &totalsLen, 4);
            case eMeshBatchStartTriangle: return Bytes(len, &m.batch_start_triangle, &startLen, 4);
            case eMeshBatchCapacity: return U32(len, &m.batch_capacity);
            case eMeshBatchCount: return U32(len, &m.batch_count);
            case eMeshUnpackMatrix: return Floats(len, m.unpack_matrix, 16);
            case eMeshIndexData: return Channel(tag, m.indices, true, eChanIndex, -1);
            case eMeshPosition: return Channel(tag, m.position, !sawBlock, eChanPosition, -1);
            case eMeshNormal: return Channel(tag, m.normal, !sawBlock, eChanNormal, -1);
            case eMeshTangent: return Channel(tag, m.tangent, !sawBlock, eChanTangent, -1);
            case eMeshBinormal: return Channel(tag, m.binormal, !sawBlock, eChanBinormal, -1);
            case eMeshColour: return Channel(tag, m.colour, !sawBlock, eChanColour, -1);
            case eMeshBoneIndex: return Channel(tag, m.bone_index, !sawBlock, eChanBoneIndex, -1);
            case eMeshBoneWeights: return Channel(tag, m.bone_weights, !sawBlock, eChanBoneWeights, -1);
            case eMeshTexCoord:
                if (setsRead >= sets) {
                    Fail(QEF_MALFORMED, "a texture coordinate set beyond the %u declared", sets);
                    return eChildFailed;
                }
                ++setsRead;
                return Channel(tag, m_fill ? tex[setsRead - 1] : scratch, !sawBlock, eChanTexCoord, setsRead - 1);
            default: return eChildUnknown;
            }
        });
        if (!ok)
            return eChildFailed;
        if (setsRead != sets)
            return Fail(QEF_MALFORMED, "the mesh declares %u texture coordinate sets but holds %u", sets, setsRead);
        if (sawStripCount && stripCount != m.strip_count)
            return Fail(QEF_MALFORMED, "the strip count %u does not match the %u strip lengths stored", stripCount,
                        m.strip_count);
        *texCoordsUsed += sets;
        m_counts.maxSetsPerMesh = std::max<uint64_t>(m_counts.maxSetsPerMesh, sets);
        m.tex_coord_count = sets;
        m.tex_coords = tex;
        if (!m_fill)
            return eChildDone;
        if (!CheckMesh(m, blockBytes, listLen, totalsLen, startLen))
            return eChildFailed;
        return eChildDone;
    }

    bool ChannelFail(int name, int64_t texIndex, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 4, 5)))
#endif
    {
        char text[200];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof(text), format, args);
        va_end(args);
        const SWhere saved = m_where;
        m_where.channel = name;
        m_where.channelIndex = texIndex;
        Fail(QEF_MALFORMED, "%s", text);
        m_where = saved;
        return false;
    }

    // The vertex channels with their names for messages.
    struct SNamed {
        qef_channel* c;
        int name;
        int64_t tex;
    };

    template <class F>
    bool EachVertexChannel(qef_mesh& m, F&& f)
    {
        const SNamed fixed[] = {{&m.position, eChanPosition, -1},       {&m.normal, eChanNormal, -1},
                                {&m.tangent, eChanTangent, -1},         {&m.binormal, eChanBinormal, -1},
                                {&m.colour, eChanColour, -1},           {&m.bone_index, eChanBoneIndex, -1},
                                {&m.bone_weights, eChanBoneWeights, -1}};
        for (const SNamed& n : fixed)
            if (!f(n))
                return false;
        qef_channel* tex = const_cast<qef_channel*>(m.tex_coords);
        for (uint32_t i = 0; i < m.tex_coord_count; ++i)
            if (!f(SNamed{&tex[i], eChanTexCoord, int64_t(i)}))
                return false;
        return true;
    }

    bool CheckIndices(qef_mesh& m)
    {
        qef_channel& c = m.indices;
        const uint64_t count = m.strip_triangles ? uint64_t(m.triangle_count) + 2 * uint64_t(m.strip_count)
                                                 : uint64_t(m.triangle_count) * 3;
        const uint32_t bytes = c.count;
        if (count == 0) {
            if (c.data)
                return ChannelFail(eChanIndex, -1, "index data holds %u bytes but the mesh has no indices", bytes);
            c.count = 0;
            return true;
        }
        if (count > UINT32_MAX)
            return ChannelFail(eChanIndex, -1, "%" PRIu64 " indices are more than a mesh can hold", count);
        if (c.components == 0 && !c.data) {
            if (count > m.vertex_count)
                return ChannelFail(eChanIndex, -1,
                                   "the mesh is not indexed and its %" PRIu64 " corners need more than its %u vertices",
                                   count, m.vertex_count);
            c.count = uint32_t(count);
            return true;
        }
        if (c.type != QEF_TYPE_USHORT && c.type != QEF_TYPE_UINT)
            return ChannelFail(eChanIndex, -1, "index type is %u; only 3 (16-bit) and 17 (32-bit) are allowed", c.type);
        const uint32_t size = ComponentSize(c.type);
        if (c.components != 1 || c.stride != size)
            return ChannelFail(eChanIndex, -1, "index channel has %u components and stride %u; expected 1 and %u",
                               c.components, c.stride, size);
        if (bytes != count * size)
            return ChannelFail(eChanIndex, -1,
                               "index data holds %u bytes; %" PRIu64 " indices of %u bytes need %" PRIu64, bytes, count,
                               size, count * size);
        // The largest index, in one branch-free sweep (host-order loads
        // through memcpy where the host is little-endian, so that it runs as
        // vector code).
        const uint8_t* p = static_cast<const uint8_t*>(c.data);
        const size_t n = size_t(count);
        const uint32_t largest = size == 2 ? Largest<uint16_t, LoadU16>(p, n) : Largest<uint32_t, LoadU32>(p, n);
        if (n && largest >= m.vertex_count) {
            for (size_t i = 0; i < n; ++i) {
                const uint32_t v = size == 2 ? LoadU16(p + 2 * i) : LoadU32(p + 4 * i);
                if (v >= m.vertex_count)
                    return ChannelFail(eChanIndex, -1, "index %zu is %u, not below the vertex count %u", i, v,
                                       m.vertex_count);
            }
        }
        c.count = uint32_t(count);
        return true;
    }

    bool CheckMesh(qef_mesh& m, uint32_t blockBytes, uint32_t listLen, uint32_t totalsLen, uint32_t startLen)
    {
        bool ok = EachVertexChannel(m, [&](const SNamed& n) {
            if (n.c->type >= kTypeCount)
                return ChannelFail(n.name, n.tex, "the channel has the unknown type %u", n.c->type);
            return true;
        });
        if (!ok)
            return false;
        if (m.indices.type >= kTypeCount)
            return ChannelFail(eChanIndex, -1, "the channel has the unknown type %u", m.indices.type);
        if (m.strip_triangles) {
            uint64_t sum = 0;
            const uint8_t* p = static_cast<const uint8_t*>(m.strip_triangles);
            for (uint32_t i = 0; i < m.strip_count; ++i)
                sum += LoadU32(p + 4 * size_t(i));
            if (sum != m.triangle_count)
                return Fail(QEF_MALFORMED, "strips hold %" PRIu64 " triangles; the mesh has %u", sum, m.triangle_count);
        }
        if (!CheckIndices(m))
            return false;

        const uint32_t vertices = m.vertex_count;
        if (m.vertex_block) {
            if (vertices == 0 || blockBytes % vertices != 0)
                return Fail(QEF_MALFORMED,
                            "the interleaved vertex block of %u bytes is not a whole number of %u vertices", blockBytes,
                            vertices);
            const uint32_t stride = blockBytes / vertices;
            m.vertex_stride = stride;
            SSpan* spans = Table<SSpan>(m_layout->spans);
            uint32_t spanCount = 0;
            ok = EachVertexChannel(m, [&](const SNamed& n) {
                qef_channel& c = *n.c;
                if (c.data)
                    return ChannelFail(n.name, n.tex, "the channel has its own data in an interleaved mesh");
                if (c.components == 0) {
                    c.count = 0;
                    c.offset = 0;
                    return true;
                }
                if (c.stride != stride)
                    return ChannelFail(n.name, n.tex, "channel stride %u differs from the interleaved vertex size %u",
                                       c.stride, stride);
                const uint64_t end = uint64_t(c.offset) + ElementBytes(c);
                if (end > stride)
                    return ChannelFail(n.name, n.tex,
                                       "%" PRIu64 " bytes at offset %u do not fit the interleaved vertex of %u bytes",
                                       ElementBytes(c), c.offset, stride);
                spans[spanCount++] = SSpan{c.offset, end, uint32_t(n.name == eChanTexCoord ? 100 + n.tex : n.name)};
                c.data = static_cast<const uint8_t*>(m.vertex_block) + c.offset;
                c.count = vertices;
                return true;
            });
            if (!ok)
                return false;
            std::sort(spans, spans + spanCount, [](const SSpan& a, const SSpan& b) {
                return a.begin != b.begin ? a.begin < b.begin : a.channel < b.channel;
            });
            for (uint32_t i = 1; i < spanCount; ++i)
                if (spans[i].begin < spans[i - 1].end)
                    return Fail(QEF_MALFORMED, "two channels overlap inside the interleaved vertex at byte %" PRIu64,
                                spans[i].begin);
        } else {
            ok = EachVertexChannel(m, [&](const SNamed& n) {
                qef_channel& c = *n.c;
                const uint32_t size = ComponentSize(c.type);
                const uint32_t bytes = c.count;
                c.offset = 0;
                if (!c.data) {
                    c.count = 0;
                    if (c.components != 0 && size != 0 && vertices != 0)
                        return ChannelFail(n.name, n.tex, "the channel has components but no data");
                    return true;
                }
                if (size == 0)
                    return ChannelFail(n.name, n.tex, "a channel of type %u cannot hold data", c.type);
                if (c.stride % size != 0)
                    return ChannelFail(n.name, n.tex, "channel stride %u is not a multiple of its component size %u",
                                       c.stride, size);
                const uint64_t expected = uint64_t(c.stride) * vertices;
                if (bytes != expected)
                    return ChannelFail(n.name, n.tex,
                                       "%" PRIu64 " bytes needed (stride %u x %u vertices), the data holds %u",
                                       expected, c.stride, vertices, bytes);
                if (c.components != 0 && ElementBytes(c) > c.stride)
                    return ChannelFail(n.name, n.tex, "elements of %" PRIu64 " bytes do not fit the stride %u",
                                       ElementBytes(c), c.stride);
                c.count = vertices;
                return true;
            });
            if (!ok)
                return false;
        }

        const uint64_t listSize = uint64_t(m.batch_capacity) * m.batch_count;
        if (m.batch_bone_list && listLen != listSize)
            return Fail(QEF_MALFORMED, "the batch bone list holds %u entries; %u batches of %u need %" PRIu64, listLen,
                        m.batch_count, m.batch_capacity, listSize);
        if (m.batch_bone_totals && totalsLen != m.batch_count)
            return Fail(QEF_MALFORMED, "the batch bone totals hold %u entries for %u batches", totalsLen,
                        m.batch_count);
        if (m.batch_start_triangle && startLen != m.batch_count)
            return Fail(QEF_MALFORMED, "the batch start triangles hold %u entries for %u batches", startLen,
                        m.batch_count);
        return true;
    }

    const uint8_t* m_p;
    size_t m_size;
    size_t m_pos = 0;
    size_t m_blockAt = 0;
    qef_error* m_error;
    bool m_fill;
    bool m_inScene = false;
    bool m_notSceneFile = false; // the first block is not the version block
    uint8_t* m_mem;
    const SLayout* m_layout;
    qef_scene* m_scene = nullptr;
    SCounts m_counts;
    SWhere m_where;
};

} // namespace

// ---- Loading ----------------------------------------------------------------

namespace {

bool Walk(const void* data, size_t size, qef_error* error, SCounts* counts)
{
    qef_scene scratch = qef_scene();
    CWalk walk(static_cast<const uint8_t*>(data), size, error, false, nullptr, nullptr);
    if (!walk.File(&scratch))
        return false;
    *counts = walk.Counts();
    return true;
}

// Builds the scene into memory laid out for counts; the checking pass.
qef_result Fill(const void* data, size_t size, const SLayout& layout, void* memory, qef_scene** out, qef_error* error)
{
    uint8_t* mem = static_cast<uint8_t*>(memory);
    std::memset(mem, 0, layout.total);
    qef_scene* scene = reinterpret_cast<qef_scene*>(mem + layout.scene);
    CWalk walk(static_cast<const uint8_t*>(data), size, error, true, mem, &layout);
    if (!walk.File(scene))
        return QEF_MALFORMED;
    scene->file_data = data;
    scene->file_size = size;
    *out = scene;
    return QEF_OK;
}

} // namespace

extern "C" {

qef_result qef_measure(const void* data, size_t size, const qef_options*, size_t* bytes_needed, qef_error* error)
{
    ClearError(error);
    if ((!data && size) || !bytes_needed) {
        SetError(error, QEF_INVALID_ARGUMENT, 0, "qef_measure: no data or no place for the size");
        return QEF_INVALID_ARGUMENT;
    }
    qef_error local;
    qef_error* e = error ? error : &local;
    SCounts counts;
    if (!Walk(data, size, e, &counts))
        return e->result;
    *bytes_needed = Layout(counts).total;
    return QEF_OK;
}

qef_result qef_load_into(const void* data, size_t size, const qef_options*, void* memory, size_t memory_size,
                         qef_scene** scene, qef_error* error)
{
    ClearError(error);
    if ((!data && size) || !scene) {
        SetError(error, QEF_INVALID_ARGUMENT, 0, "qef_load_into: no data or no place for the scene");
        return QEF_INVALID_ARGUMENT;
    }
    *scene = nullptr;
    qef_error local;
    qef_error* e = error ? error : &local;
    SCounts counts;
    if (!Walk(data, size, e, &counts))
        return e->result;
    const SLayout layout = Layout(counts);
    if (!memory || memory_size < layout.total) {
        e->bytes_needed = layout.total;
        SetError(e, QEF_BUFFER_TOO_SMALL, 0, "the scene needs %zu bytes of memory; %zu were given", layout.total,
                 memory ? memory_size : size_t(0));
        return QEF_BUFFER_TOO_SMALL;
    }
    if (Fill(data, size, layout, memory, scene, e) != QEF_OK) {
        *scene = nullptr;
        return e->result;
    }
    return QEF_OK;
}

qef_result qef_load(const void* data, size_t size, const qef_options* options, qef_scene** scene, qef_error* error)
{
    ClearError(error);
    if ((!data && size) || !scene) {
        SetError(error, QEF_INVALID_ARGUMENT, 0, "qef_load: no data or no place for the scene");
        return QEF_INVALID_ARGUMENT;
    }
    *scene = nullptr;
    qef_error local;
    qef_error* e = error ? error : &local;
    SCounts counts;
    if (!Walk(data, size, e, &counts))
        return e->result;
    const SLayout layout = Layout(counts);
    const qef_allocator* allocator = AllocatorOf(options);
    void* memory = allocator->alloc(allocator->user, layout.total);
    if (!memory) {
        SetError(e, QEF_OUT_OF_MEMORY, 0, "%zu bytes for the scene tables could not be allocated", layout.total);
        return QEF_OUT_OF_MEMORY;
    }
    qef_scene* out = nullptr;
    if (Fill(data, size, layout, memory, &out, e) != QEF_OK) {
        allocator->release(allocator->user, memory);
        return e->result;
    }
    out->internal_allocator = allocator;
    out->internal_owned = 1;
    *scene = out;
    return QEF_OK;
}

qef_result qef_load_file(const char* path, const qef_options* options, qef_scene** scene, qef_error* error)
{
    ClearError(error);
    if (!path || !scene) {
        SetError(error, QEF_INVALID_ARGUMENT, 0, "qef_load_file: no path or no place for the scene");
        return QEF_INVALID_ARGUMENT;
    }
    *scene = nullptr;
    const void* registered = nullptr;
    size_t registeredSize = 0;
    if (qef_find_memory_file(path, &registered, &registeredSize))
        return qef_load(registered, registeredSize, options, scene, error);

    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        SetError(error, QEF_FILE_ERROR, 0, "cannot open '%s': %s", path, std::strerror(errno));
        return QEF_FILE_ERROR;
    }
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0)
        size = std::ftell(f);
    if (size < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
        SetError(error, QEF_FILE_ERROR, 0, "cannot read '%s': it has no size", path);
        std::fclose(f);
        return QEF_FILE_ERROR;
    }
    const qef_allocator* allocator = AllocatorOf(options);
    void* bytes = allocator->alloc(allocator->user, size_t(size) ? size_t(size) : 1);
    if (!bytes) {
        SetError(error, QEF_OUT_OF_MEMORY, 0, "%ld bytes for '%s' could not be allocated", size, path);
        std::fclose(f);
        return QEF_OUT_OF_MEMORY;
    }
    const size_t got = std::fread(bytes, 1, size_t(size), f);
    std::fclose(f);
    if (got != size_t(size)) {
        SetError(error, QEF_FILE_ERROR, 0, "cannot read '%s': %zu of %ld bytes read", path, got, size);
        allocator->release(allocator->user, bytes);
        return QEF_FILE_ERROR;
    }
    const qef_result r = qef_load(bytes, size_t(size), options, scene, error);
    if (r != QEF_OK) {
        allocator->release(allocator->user, bytes);
        return r;
    }
    (*scene)->internal_file_copy = bytes;
    return QEF_OK;
}

void qef_free(qef_scene* scene)
{
    if (!scene || !scene->internal_owned)
        return;
    const qef_allocator* allocator = scene->internal_allocator;
    void* copy = scene->internal_file_copy;
    allocator->release(allocator->user, scene);
    if (copy)
        allocator->release(allocator->user, copy);
}

const char* qef_result_text(qef_result result)
{
    switch (result) {
    case QEF_OK: return "loaded";
    case QEF_INVALID_ARGUMENT: return "invalid argument";
    case QEF_TRUNCATED: return "the file is cut short";
    case QEF_MALFORMED: return "the file is malformed";
    case QEF_WRONG_VERSION: return "not a scene file of version AB.QEF.2.0";
    case QEF_WRONG_BYTE_ORDER: return "the file has the opposite byte order";
    case QEF_FIXED_POINT: return "the file is in fixed point";
    case QEF_OUT_OF_MEMORY: return "out of memory";
    case QEF_BUFFER_TOO_SMALL: return "the memory given is too small";
    case QEF_FILE_ERROR: return "the file cannot be read";
    }
    return "unknown result";
}

// ---- Decoding ---------------------------------------------------------------

uint32_t qef_component_size(uint32_t type)
{
    return ComponentSize(type);
}

uint32_t qef_values_per_element(uint32_t type)
{
    return type < kTypeCount ? kValuesPerElement[type] : 0;
}

} // extern "C"

namespace {

float Dec3NValue(uint32_t bits)
{
    int32_t i = int32_t(bits & 0x3FFu);
    if (i & 0x200)
        i -= 0x400;
    return float(i) * (1.0f / 511.0f);
}

float ByteValue(uint32_t v, int shift)
{
    return float((v >> shift) & 0xFFu);
}

float Component(const uint8_t* p, uint32_t type)
{
    switch (type) {
    case QEF_TYPE_FLOAT: return LoadF32(p);
    case QEF_TYPE_INT: return float(int32_t(LoadU32(p)));
    case QEF_TYPE_USHORT: return float(LoadU16(p));
    case QEF_TYPE_FIXED16: return float(int32_t(LoadU32(p))) / 65536.0f;
    case QEF_TYPE_UBYTE: return float(p[0]);
    case QEF_TYPE_SHORT: return float(int16_t(LoadU16(p)));
    case QEF_TYPE_SHORT_NORM: return float(int16_t(LoadU16(p))) / 32767.0f;
    case QEF_TYPE_BYTE: return float(int8_t(p[0]));
    case QEF_TYPE_BYTE_NORM: return float(int8_t(p[0])) / 127.0f;
    case QEF_TYPE_UBYTE_NORM: return float(p[0]) / 255.0f;
    case QEF_TYPE_USHORT_NORM: return float(LoadU16(p)) / 65535.0f;
    case QEF_TYPE_UINT: return float(LoadU32(p));
    default: return 0.0f;
    }
}

// One element as (0, 0, 0, 1) with its values over it.
void Element(float out[4], const uint8_t* p, uint32_t type, uint32_t count)
{
    out[0] = out[1] = out[2] = 0.0f;
    out[3] = 1.0f;
    if (type >= QEF_TYPE_RGBA && type <= QEF_TYPE_DEC3N) {
        const uint32_t v = LoadU32(p);
        switch (type) {
        case QEF_TYPE_RGBA:
            out[0] = ByteValue(v, 24) / 255.0f;
            out[1] = ByteValue(v, 16) / 255.0f;
            out[2] = ByteValue(v, 8) / 255.0f;
            out[3] = ByteValue(v, 0) / 255.0f;
            break;
        case QEF_TYPE_ARGB:
        case QEF_TYPE_D3DCOLOR:
            out[0] = ByteValue(v, 16) / 255.0f;
            out[1] = ByteValue(v, 8) / 255.0f;
            out[2] = ByteValue(v, 0) / 255.0f;
            out[3] = ByteValue(v, 24) / 255.0f;
            break;
        case QEF_TYPE_UBYTE4:
            out[0] = ByteValue(v, 0);
            out[1] = ByteValue(v, 8);
            out[2] = ByteValue(v, 16);
            out[3] = ByteValue(v, 24);
            break;
        default:
            out[0] = Dec3NValue(v);
            out[1] = Dec3NValue(v >> 10);
            out[2] = Dec3NValue(v >> 20);
            break;
        }
        return;
    }
    const uint32_t size = ComponentSize(type);
    for (uint32_t i = 0; i < count && i < 4; ++i)
        out[i] = Component(p + i * size, type);
}

} // namespace

extern "C" {

qef_result qef_decode(const qef_channel* channel, uint32_t first, uint32_t count, uint32_t out_size,
                      const float* unpack, float* out)
{
    if (!channel || (!out && count) || out_size < 1 || out_size > 4)
        return QEF_INVALID_ARGUMENT;
    if (count == 0)
        return QEF_OK;
    if (!channel->data || channel->components == 0 || ComponentSize(channel->type) == 0 ||
        uint64_t(first) + count > channel->count)
        return QEF_INVALID_ARGUMENT;
    const uint8_t* p = static_cast<const uint8_t*>(channel->data) + size_t(first) * channel->stride;
    for (uint32_t i = 0; i < count; ++i, p += channel->stride) {
        float v[4];
        Element(v, p, channel->type, channel->components);
        if (unpack) {
            float r[3];
            for (int c = 0; c < 3; ++c)
                r[c] = v[0] * unpack[c] + v[1] * unpack[4 + c] + v[2] * unpack[8 + c] + unpack[12 + c];
            v[0] = r[0];
            v[1] = r[1];
            v[2] = r[2];
        }
        for (uint32_t k = 0; k < out_size; ++k)
            out[size_t(i) * out_size + k] = v[k];
    }
    return QEF_OK;
}

uint32_t qef_index(const qef_mesh* mesh, uint32_t i)
{
    if (!mesh || i >= mesh->indices.count)
        return 0;
    if (!mesh->indices.data)
        return i;
    const uint8_t* p = static_cast<const uint8_t*>(mesh->indices.data);
    return mesh->indices.type == QEF_TYPE_USHORT ? LoadU16(p + 2 * size_t(i)) : LoadU32(p + 4 * size_t(i));
}

qef_result qef_triangle_list(const qef_mesh* mesh, uint32_t* out, size_t out_count)
{
    if (!mesh || (!out && mesh->triangle_count))
        return QEF_INVALID_ARGUMENT;
    const size_t need = size_t(mesh->triangle_count) * 3;
    if (out_count < need)
        return QEF_BUFFER_TOO_SMALL;
    const uint32_t n = mesh->indices.count;
    if (!mesh->strip_triangles) {
        const size_t take = std::min<size_t>(need, n);
        if (mesh->indices.data && mesh->indices.type == QEF_TYPE_UINT) {
            std::memcpy(out, mesh->indices.data, take * 4);
            if (!kHostLittleEndian)
                for (size_t i = 0; i < take; ++i)
                    out[i] = qef_index(mesh, uint32_t(i));
        } else {
            for (size_t i = 0; i < take; ++i)
                out[i] = qef_index(mesh, uint32_t(i));
        }
        for (size_t i = take; i < need; ++i)
            out[i] = 0;
        return QEF_OK;
    }
    size_t at = 0;
    uint64_t base = 0;
    for (uint32_t s = 0; s < mesh->strip_count && at < need; ++s) {
        const uint32_t length = qef_u32(mesh->strip_triangles, s);
        for (uint32_t k = 0; k < length && at < need; ++k) {
            if (base + k + 2 >= n)
                break;
            const uint32_t a = qef_index(mesh, uint32_t(base + k)), b = qef_index(mesh, uint32_t(base + k + 1)),
                           c = qef_index(mesh, uint32_t(base + k + 2));
            out[at++] = k % 2 == 0 ? a : b;
            out[at++] = k % 2 == 0 ? b : a;
            out[at++] = c;
        }
        base += uint64_t(length) + 2;
    }
    for (; at < need; ++at)
        out[at] = 0;
    return QEF_OK;
}

} // extern "C"

// ---- Evaluation -------------------------------------------------------------

namespace {

struct SMatrix {
    float m[16];
};

SMatrix Identity()
{
    SMatrix r;
    for (int i = 0; i < 16; ++i)
        r.m[i] = i % 5 == 0 ? 1.0f : 0.0f;
    return r;
}

SMatrix Multiply(const SMatrix& a, const SMatrix& b)
{
    SMatrix out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out.m[r * 4 + c] = a.m[r * 4 + 0] * b.m[0 * 4 + c] + a.m[r * 4 + 1] * b.m[1 * 4 + c] +
                               a.m[r * 4 + 2] * b.m[2 * 4 + c] + a.m[r * 4 + 3] * b.m[3 * 4 + c];
    return out;
}

SMatrix Translation(float x, float y, float z)
{
    SMatrix m = Identity();
    m.m[12] = x;
    m.m[13] = y;
    m.m[14] = z;
    return m;
}

SMatrix Scaling(float x, float y, float z)
{
    SMatrix m = Identity();
    m.m[0] = x;
    m.m[5] = y;
    m.m[10] = z;
    return m;
}

SMatrix QuaternionMatrix(const float q[4])
{
    const float x = q[0], y = q[1], z = q[2], w = q[3];
    return SMatrix{{1 - 2 * y * y - 2 * z * z, 2 * x * y - 2 * z * w, 2 * y * w + 2 * x * z, 0, 2 * x * y + 2 * z * w,
                    1 - 2 * x * x - 2 * z * z, 2 * y * z - 2 * x * w, 0, 2 * x * z - 2 * y * w, 2 * x * w + 2 * y * z,
                    1 - 2 * x * x - 2 * y * y, 0, 0, 0, 0, 1}};
}

void Slerp(float out[4], const float a[4], const float b[4], float t)
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

// The selected frame: whole frame and fraction, as the converter selects it.
struct SFrame {
    uint32_t frame;
    float blend;
};

SFrame SelectFrame(const qef_scene& scene, float f)
{
    SFrame s;
    if (scene.frame_count == 0)
        return SFrame{0, 0.0f};
    if (!(f > 0.0f))
        s.frame = 0;
    else if (f >= 4294967295.0f)
        s.frame = UINT32_MAX;
    else
        s.frame = uint32_t(f);
    s.blend = f - float(s.frame);
    return s;
}

float BlendFraction(const qef_scene& scene, const SFrame& f)
{
    if (scene.frame_count == 0 || f.frame >= scene.frame_count)
        return 0.0f;
    return f.blend;
}

// Float offsets of the two keys around the selected frame.
bool LocateKeys(const qef_scene& scene, const SFrame& sel, const qef_track& t, uint32_t k, size_t* a, size_t* b)
{
    const uint32_t frameCount = scene.frame_count;
    uint32_t frame = sel.frame;
    if (frameCount == 0)
        frame = 0;
    else if (frame >= frameCount)
        frame = frameCount - 1;
    const bool last = frameCount == 0 || frame + 1 >= frameCount;
    if (t.frame_index) {
        if (frame >= t.frame_index_count)
            return false;
        *a = qef_u32(t.frame_index, frame);
        *b = (last || frame + 1 >= t.frame_index_count) ? *a : qef_u32(t.frame_index, frame + 1);
    } else {
        *a = size_t(frame) * k;
        *b = last ? *a : size_t(frame + 1) * k;
    }
    return *a + k <= t.key_count && *b + k <= t.key_count;
}

float Key(const qef_track& t, size_t i)
{
    return qef_f32(t.keys, i);
}

// The three values of a position or scale track at the frame: its first key
// when the track is not animated (animated bit clear or no keys for the
// frame), else the blend of the frame's two keys. False for a track with
// fewer than three values.
bool Vector3At(const qef_scene& s, const qef_node& n, const qef_track& t, uint32_t animated, size_t stride,
               const SFrame& f, float out[3])
{
    if (!t.keys || t.key_count < 3)
        return false;
    size_t a = 0, b = 0;
    if (!(n.anim_mask & animated) || !LocateKeys(s, f, t, stride, &a, &b)) {
        for (size_t i = 0; i < 3; ++i)
            out[i] = Key(t, i);
        return true;
    }
    const float w = BlendFraction(s, f);
    for (size_t i = 0; i < 3; ++i)
        out[i] = Key(t, a + i) + (Key(t, b + i) - Key(t, a + i)) * w;
    return true;
}

SMatrix ScaleOf(const qef_scene& s, const qef_node& n, const SFrame& f)
{
    float v[3];
    return Vector3At(s, n, n.scale, QEF_ANIM_SCALE, 7, f, v) ? Scaling(v[0], v[1], v[2]) : Identity();
}

SMatrix RotationOf(const qef_scene& s, const qef_node& n, const SFrame& f)
{
    const qef_track& t = n.rotation;
    if (!t.keys || t.key_count < 4)
        return Identity();
    size_t a = 0, b = 0;
    float qa[4], qb[4];
    if (!(n.anim_mask & QEF_ANIM_ROTATION) || !LocateKeys(s, f, t, 4, &a, &b)) {
        for (int i = 0; i < 4; ++i)
            qa[i] = Key(t, size_t(i));
        return QuaternionMatrix(qa);
    }
    for (int i = 0; i < 4; ++i) {
        qa[i] = Key(t, a + size_t(i));
        qb[i] = Key(t, b + size_t(i));
    }
    float q[4];
    Slerp(q, qa, qb, BlendFraction(s, f));
    return QuaternionMatrix(q);
}

SMatrix TranslationOf(const qef_scene& s, const qef_node& n, const SFrame& f)
{
    float v[3];
    return Vector3At(s, n, n.position, QEF_ANIM_POSITION, 3, f, v) ? Translation(v[0], v[1], v[2]) : Identity();
}

SMatrix MatrixOf(const qef_scene& s, const qef_node& n, const SFrame& f)
{
    const qef_track& t = n.matrix;
    size_t a = 0, b = 0;
    if (!(n.anim_mask & QEF_ANIM_MATRIX) || !LocateKeys(s, f, t, 16, &a, &b))
        a = 0;
    SMatrix m;
    for (int i = 0; i < 16; ++i)
        m.m[i] = Key(t, a + size_t(i));
    return m;
}

SMatrix Local(const qef_scene& s, uint32_t node, const SFrame& f)
{
    const qef_node& n = s.nodes[node];
    if (n.matrix.keys) {
        if (n.matrix.key_count < 16)
            return Identity();
        return MatrixOf(s, n, f);
    }
    return Multiply(Multiply(ScaleOf(s, n, f), RotationOf(s, n, f)), TranslationOf(s, n, f));
}

int64_t ParentOf(const qef_scene& s, uint32_t node)
{
    const int32_t p = s.nodes[node].parent;
    return (p >= 0 && uint32_t(p) < s.node_count) ? p : -1;
}

uint32_t Step(const qef_scene& s, uint32_t node)
{
    return uint32_t(ParentOf(s, node));
}

// The chain from node towards the root has last + 1 nodes: up to the root,
// or, when the parents loop, up to the first node of the loop met.
bool ChainEnd(const qef_scene& s, uint32_t node, uint64_t* last)
{
    uint64_t steps = 0;
    for (uint32_t cur = node;; cur = Step(s, cur), ++steps) {
        if (ParentOf(s, cur) < 0) {
            *last = steps;
            return true;
        }
        if (steps > s.node_count)
            break;
    }
    // A loop: Floyd's search for the index of its first node (mu).
    uint32_t slow = Step(s, node), fast = Step(s, Step(s, node));
    while (slow != fast) {
        slow = Step(s, slow);
        fast = Step(s, Step(s, fast));
    }
    uint64_t mu = 0;
    slow = node;
    while (slow != fast) {
        slow = Step(s, slow);
        fast = Step(s, fast);
        ++mu;
    }
    *last = mu;
    return true;
}

// World = local(x0) x (local(x1) x (... x local(xlast))), folded from the
// root end as the converter does, in chunks so that no chain needs memory.
qef_result World(const qef_scene& s, uint32_t node, const SFrame& f, SMatrix* out)
{
    constexpr uint32_t kChunk = 1024;
    uint64_t last = 0;
    ChainEnd(s, node, &last);
    if (last >= uint64_t(kChunk) * kChunk)
        return QEF_MALFORMED;
    uint32_t checkpoints[kChunk];
    uint32_t cur = node;
    for (uint64_t i = 0; i <= last; ++i) {
        if (i % kChunk == 0)
            checkpoints[i / kChunk] = cur;
        if (i < last)
            cur = Step(s, cur);
    }
    uint32_t chunk[kChunk];
    bool first = true;
    SMatrix world = Identity();
    for (int64_t c = int64_t(last / kChunk); c >= 0; --c) {
        const uint64_t begin = uint64_t(c) * kChunk;
        const uint64_t end = std::min<uint64_t>(last + 1, begin + kChunk);
        cur = checkpoints[c];
        for (uint64_t i = begin; i < end; ++i) {
            chunk[i - begin] = cur;
            if (i + 1 < end)
                cur = Step(s, cur);
        }
        for (uint64_t i = end; i-- > begin;) {
            const SMatrix local = Local(s, chunk[i - begin], f);
            world = first ? local : Multiply(local, world);
            first = false;
        }
    }
    *out = world;
    return QEF_OK;
}

bool AffineInverse(const SMatrix& mm, SMatrix* out)
{
    const float* m = mm.m;
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
    SMatrix r = Identity();
    r.m[0] = float((e * i - f * h) * inv);
    r.m[1] = float((c * h - b * i) * inv);
    r.m[2] = float((b * f - c * e) * inv);
    r.m[4] = float((f * g - d * i) * inv);
    r.m[5] = float((a * i - c * g) * inv);
    r.m[6] = float((c * d - a * f) * inv);
    r.m[8] = float((d * h - e * g) * inv);
    r.m[9] = float((b * g - a * h) * inv);
    r.m[10] = float((a * e - b * d) * inv);
    for (int col = 0; col < 3; ++col)
        r.m[12 + col] = -(m[12] * r.m[col] + m[13] * r.m[4 + col] + m[14] * r.m[8 + col]);
    r.m[3] = r.m[7] = r.m[11] = 0.0f;
    r.m[15] = 1.0f;
    *out = r;
    return true;
}

void Copy(const SMatrix& m, float out[16])
{
    std::memcpy(out, m.m, sizeof(m.m));
}

qef_result View(const qef_scene* scene, uint32_t node, int32_t target, float frame, qef_view* out)
{
    if (node >= scene->node_count)
        return QEF_MALFORMED;
    const SFrame f = SelectFrame(*scene, frame);
    SMatrix world;
    qef_result r = World(*scene, node, f, &world);
    if (r != QEF_OK)
        return r;
    out->node = node;
    Copy(world, out->world);
    for (int c = 0; c < 3; ++c) {
        out->position[c] = world.m[12 + c];
        out->direction[c] = -world.m[8 + c];
        out->up[c] = world.m[4 + c];
    }
    if (target >= 0 && uint32_t(target) < scene->node_count) {
        SMatrix t;
        r = World(*scene, uint32_t(target), f, &t);
        if (r != QEF_OK)
            return r;
        for (int c = 0; c < 3; ++c)
            out->direction[c] = t.m[12 + c] - world.m[12 + c];
    }
    return QEF_OK;
}

} // namespace

extern "C" {

qef_result qef_world_matrix(const qef_scene* scene, uint32_t node, float frame, float out[16])
{
    if (!scene || !out || node >= scene->node_count)
        return QEF_INVALID_ARGUMENT;
    SMatrix m;
    const qef_result r = World(*scene, node, SelectFrame(*scene, frame), &m);
    if (r == QEF_OK)
        Copy(m, out);
    return r;
}

qef_result qef_bone_matrix(const qef_scene* scene, uint32_t mesh_node, uint32_t bone_node, float frame, float out[16])
{
    if (!scene || !out || mesh_node >= scene->node_count || bone_node >= scene->node_count)
        return QEF_INVALID_ARGUMENT;
    const SFrame zero = SelectFrame(*scene, 0.0f);
    SMatrix mesh, bone0, bone;
    qef_result r = World(*scene, mesh_node, zero, &mesh);
    if (r == QEF_OK)
        r = World(*scene, bone_node, zero, &bone0);
    if (r == QEF_OK)
        r = World(*scene, bone_node, SelectFrame(*scene, frame), &bone);
    if (r != QEF_OK)
        return r;
    SMatrix inverse;
    // A singular bone matrix has no inverse; the bind part is then left out.
    if (AffineInverse(bone0, &inverse))
        mesh = Multiply(mesh, inverse);
    Copy(Multiply(mesh, bone), out);
    return QEF_OK;
}

qef_result qef_camera_at(const qef_scene* scene, uint32_t camera, float frame, qef_view* out)
{
    if (!scene || !out || camera >= scene->camera_count)
        return QEF_INVALID_ARGUMENT;
    const qef_camera& c = scene->cameras[camera];
    const uint64_t node = uint64_t(scene->mesh_node_count) + scene->light_count + camera;
    if (node >= scene->node_count)
        return QEF_MALFORMED;
    const qef_result r = View(scene, uint32_t(node), c.target, frame, out);
    if (r != QEF_OK)
        return r;
    out->field_of_view = c.field_of_view;
    if (c.field_of_view_keys && c.field_of_view_key_count == scene->frame_count && scene->frame_count) {
        // The key of the frame, blended towards the next like the position keys.
        const SFrame f = SelectFrame(*scene, frame);
        const uint32_t a = std::min(f.frame, scene->frame_count - 1);
        const uint32_t b = a + 1 < scene->frame_count ? a + 1 : a;
        const float ka = qef_f32(c.field_of_view_keys, a), kb = qef_f32(c.field_of_view_keys, b);
        out->field_of_view = ka + (kb - ka) * BlendFraction(*scene, f);
    }
    return QEF_OK;
}

qef_result qef_light_at(const qef_scene* scene, uint32_t light, float frame, qef_view* out)
{
    if (!scene || !out || light >= scene->light_count)
        return QEF_INVALID_ARGUMENT;
    const uint64_t node = uint64_t(scene->mesh_node_count) + light;
    if (node >= scene->node_count)
        return QEF_MALFORMED;
    const qef_result r = View(scene, uint32_t(node), scene->lights[light].target, frame, out);
    if (r == QEF_OK)
        out->field_of_view = 0.0f;
    return r;
}

} // extern "C"

// ---- In-memory files --------------------------------------------------------

namespace {

// The registry: entries the callers own, linked in registration order. A
// spin lock that needs no run-time library and no initialisation order.
qef_memory_file* g_first = nullptr;
std::atomic_flag g_lock = ATOMIC_FLAG_INIT;

class CRegistryLock {
public:
    CRegistryLock()
    {
        while (g_lock.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~CRegistryLock() { g_lock.clear(std::memory_order_release); }
};

} // namespace

extern "C" {

void qef_register_memory_file(qef_memory_file* entry)
{
    if (!entry || !entry->name)
        return;
    CRegistryLock lock;
    entry->next = nullptr;
    qef_memory_file** at = &g_first;
    while (*at) {
        if (*at == entry)
            return;
        at = &(*at)->next;
    }
    *at = entry;
}

void qef_unregister_memory_file(qef_memory_file* entry)
{
    if (!entry)
        return;
    CRegistryLock lock;
    for (qef_memory_file** at = &g_first; *at; at = &(*at)->next) {
        if (*at == entry) {
            *at = entry->next;
            entry->next = nullptr;
            return;
        }
    }
}

int qef_find_memory_file(const char* name, const void** data, size_t* size)
{
    if (!name)
        return 0;
    CRegistryLock lock;
    for (const qef_memory_file* e = g_first; e; e = e->next) {
        if (std::strcmp(e->name, name) == 0) {
            if (data)
                *data = e->data;
            if (size)
                *size = e->size;
            return 1;
        }
    }
    return 0;
}

} // extern "C"
