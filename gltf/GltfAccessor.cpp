#include "gltf/GltfAccessor.h"

#include <algorithm>
#include <cstring>

#include <meshoptimizer.h>

namespace {

enum : int {
    kByte = 5120,
    kUByte = 5121,
    kShort = 5122,
    kUShort = 5123,
    kUInt = 5125,
    kFloat = 5126,
};

// Accessors without a buffer view are zeros (plus sparse values); no bytes
// bound their count, so this does.
constexpr size_t kMaxViewlessCount = size_t(1) << 24;
// A compressed view decodes to at most this many times its compressed size
// (plus a little): more is a lie about its count.
constexpr uint64_t kMaxMeshoptRatio = 128;

int ComponentSize(int type)
{
    switch (type) {
    case kByte:
    case kUByte: return 1;
    case kShort:
    case kUShort: return 2;
    case kUInt:
    case kFloat: return 4;
    default: return 0;
    }
}

int TypeComponents(const std::string& type)
{
    static const struct {
        const char* name;
        int n;
    } kTypes[] = {{"SCALAR", 1}, {"VEC2", 2}, {"VEC3", 3}, {"VEC4", 4}, {"MAT2", 4}, {"MAT3", 9}, {"MAT4", 16}};
    for (const auto& t : kTypes)
        if (type == t.name)
            return t.n;
    return 0;
}

const char* UseName(EGltfUse use)
{
    static const char* const kNames[] = {"POSITION",
                                         "NORMAL",
                                         "TANGENT",
                                         "TEXCOORD",
                                         "COLOR",
                                         "JOINTS",
                                         "WEIGHTS",
                                         "indices",
                                         "inverseBindMatrices",
                                         "animation input",
                                         "animation output",
                                         "animation output",
                                         "morph weights"};
    return kNames[use];
}

// Element types a use admits (bit n: n components) and its component types.
struct SUseRule {
    unsigned componentCounts;
    bool floats, bytes, shorts, uints;
    bool integersNormalised; // integer types must be normalised
    bool integersPlain;      // integer types must not be normalised
    bool unsignedOnly;       // counts and indices: no signed types
};

SUseRule RuleOf(EGltfUse use)
{
    switch (use) {
    case eGltfPosition: return {1u << 3, true, true, true, false, false, false, false};
    case eGltfNormal: return {1u << 3, true, true, true, false, true, false, false};
    case eGltfTangent: return {1u << 4, true, true, true, false, true, false, false};
    case eGltfTexcoord: return {1u << 2, true, true, true, false, false, false, false};
    case eGltfColour: return {1u << 3 | 1u << 4, true, true, true, false, true, false, false};
    case eGltfJoints: return {1u << 4, false, true, true, false, false, true, true};
    case eGltfWeights: return {1u << 4, true, true, true, false, true, false, false};
    case eGltfIndices: return {1u << 1, false, true, true, true, false, true, true};
    case eGltfMatrix: return {1u << 16, true, false, false, false, false, false, false};
    case eGltfTime: return {1u << 1, true, false, false, false, false, false, false};
    case eGltfVector3: return {1u << 3, true, true, true, false, false, false, false};
    case eGltfRotation: return {1u << 4, true, true, true, false, true, false, false};
    case eGltfMorphWeight: return {1u << 1, true, true, true, false, false, false, false};
    }
    return {};
}

double Plain(int type, const uint8_t* p)
{
    switch (type) {
    case kByte: return int8_t(*p);
    case kUByte: return *p;
    case kShort: {
        int16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    case kUShort: {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    case kUInt: {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    case kFloat: {
        float v;
        std::memcpy(&v, p, 4);
        return v;
    }
    default: return 0;
    }
}

// Converts n elements of c components starting at src (stride bytes apart)
// into out. One loop per component type keeps big meshes fast.
template <typename T>
void ConvertRun(const uint8_t* src, size_t stride, size_t n, int c, bool normalised, float scale, float lo, float* out)
{
    for (size_t i = 0; i < n; ++i, src += stride)
        for (int k = 0; k < c; ++k) {
            T v;
            std::memcpy(&v, src + size_t(k) * sizeof(T), sizeof(T));
            out[i * size_t(c) + size_t(k)] = normalised ? std::max(float(v) / scale, lo) : float(v);
        }
}

void ConvertFloats(int type, const uint8_t* src, size_t stride, size_t n, int c, bool normalised, float* out)
{
    switch (type) {
    case kFloat: ConvertRun<float>(src, stride, n, c, false, 1, 0, out); break;
    case kByte: ConvertRun<int8_t>(src, stride, n, c, normalised, 127.0f, -1.0f, out); break;
    case kUByte: ConvertRun<uint8_t>(src, stride, n, c, normalised, 255.0f, 0.0f, out); break;
    case kShort: ConvertRun<int16_t>(src, stride, n, c, normalised, 32767.0f, -1.0f, out); break;
    case kUShort: ConvertRun<uint16_t>(src, stride, n, c, normalised, 65535.0f, 0.0f, out); break;
    case kUInt: ConvertRun<uint32_t>(src, stride, n, c, false, 1, 0, out); break;
    default: break;
    }
}

} // namespace

CGltfAccessors::CGltfAccessors(const SGltfDocument& doc)
    : m_doc(doc), m_accessors(GltfArray(doc.root, "accessors", "accessors")),
      m_views(GltfArray(doc.root, "bufferViews", "bufferViews"))
{
    m_decoded.resize(m_views.size());
    m_isDecoded.resize(m_views.size(), 0);
}

CGltfAccessors::SView CGltfAccessors::View(int32_t index)
{
    const json& view = m_views[size_t(index)];
    const std::string what = GltfItem("bufferViews", size_t(index));
    if (const json* ext = GltfObject(view, "extensions", what + ".extensions"))
        if (const json* meshopt =
                GltfObject(*ext, "EXT_meshopt_compression", what + ".extensions.EXT_meshopt_compression"))
            return DecodeMeshopt(index, view, *meshopt);
    const int32_t buffer = GltfIndex(view, "buffer", m_doc.buffers.size(), what + ".buffer");
    if (buffer < 0)
        GltfFail("%s has no buffer", what.c_str());
    const uint64_t offset = uint64_t(GltfInt(view, "byteOffset", 0, 0, INT64_MAX, what + ".byteOffset"));
    const uint64_t length = uint64_t(GltfInt(view, "byteLength", -1, 1, INT64_MAX, what + ".byteLength"));
    const SGltfBuffer& bytes = m_doc.buffers[size_t(buffer)];
    if (length == uint64_t(-1))
        GltfFail("%s has no byteLength", what.c_str());
    if (offset > bytes.size() || length > bytes.size() - offset)
        GltfFail("%s (offset %llu, length %llu) runs past the end of buffer %d (%zu bytes)", what.c_str(),
                 static_cast<unsigned long long>(offset), static_cast<unsigned long long>(length), buffer,
                 bytes.size());
    const int64_t stride = GltfInt(view, "byteStride", 0, 4, 252, what + ".byteStride");
    if (stride % 4 != 0)
        GltfFail("%s has a byteStride of %lld, not a multiple of 4", what.c_str(), static_cast<long long>(stride));
    return {bytes.data() + offset, size_t(length), size_t(stride), size_t(offset)};
}

CGltfAccessors::SView CGltfAccessors::DecodeMeshopt(int32_t index, const json& view, const json& ext)
{
    const std::string what = GltfItem("bufferViews", size_t(index)) + ".extensions.EXT_meshopt_compression";
    const uint64_t length = uint64_t(GltfInt(view, "byteLength", 0, 1, INT64_MAX, what));
    const int64_t viewStride = GltfInt(view, "byteStride", 0, 4, 252, what);
    if (m_isDecoded[size_t(index)])
        return {m_decoded[size_t(index)].data(), m_decoded[size_t(index)].size(), size_t(viewStride), 0};

    const int32_t buffer = GltfIndex(ext, "buffer", m_doc.buffers.size(), what + ".buffer");
    const uint64_t offset = uint64_t(GltfInt(ext, "byteOffset", 0, 0, INT64_MAX, what + ".byteOffset"));
    const uint64_t size = uint64_t(GltfInt(ext, "byteLength", 0, 1, INT64_MAX, what + ".byteLength"));
    const uint64_t stride = uint64_t(GltfInt(ext, "byteStride", 0, 1, 256, what + ".byteStride"));
    const uint64_t count = uint64_t(GltfInt(ext, "count", 0, 1, INT32_MAX, what + ".count"));
    const std::string mode = GltfString(ext, "mode", "", what + ".mode");
    const std::string filter = GltfString(ext, "filter", "NONE", what + ".filter");
    if (buffer < 0)
        GltfFail("%s has no buffer", what.c_str());
    const SGltfBuffer& bytes = m_doc.buffers[size_t(buffer)];
    if (offset > bytes.size() || size > bytes.size() - offset)
        GltfFail("%s runs past the end of buffer %d", what.c_str(), buffer);
    if (count * stride > length)
        GltfFail("%s decodes to %llu bytes, more than the view's %llu", what.c_str(),
                 static_cast<unsigned long long>(count * stride), static_cast<unsigned long long>(length));
    if (length > kMaxMeshoptRatio * size + (1u << 20))
        GltfFail("%s claims %llu bytes from %llu compressed bytes", what.c_str(),
                 static_cast<unsigned long long>(length), static_cast<unsigned long long>(size));
    std::vector<uint8_t>& out = m_decoded[size_t(index)];
    out.assign(size_t(length), 0);
    const uint8_t* src = bytes.data() + offset;
    int rc = -1;
    if (mode == "ATTRIBUTES") {
        if (stride % 4 != 0)
            GltfFail("%s has a byteStride that is not a multiple of 4", what.c_str());
        rc = meshopt_decodeVertexBuffer(out.data(), size_t(count), size_t(stride), src, size_t(size));
        if (rc == 0 && filter == "OCTAHEDRAL" && (stride == 4 || stride == 8))
            meshopt_decodeFilterOct(out.data(), size_t(count), size_t(stride));
        else if (rc == 0 && filter == "QUATERNION" && stride == 8)
            meshopt_decodeFilterQuat(out.data(), size_t(count), size_t(stride));
        else if (rc == 0 && filter == "EXPONENTIAL")
            meshopt_decodeFilterExp(out.data(), size_t(count), size_t(stride));
        else if (rc == 0 && filter != "NONE")
            GltfFail("%s has the filter '%s' with a byteStride of %llu", what.c_str(), filter.c_str(),
                     static_cast<unsigned long long>(stride));
    } else if (mode == "TRIANGLES" || mode == "INDICES") {
        if ((stride != 2 && stride != 4) || (mode == "TRIANGLES" && count % 3 != 0))
            GltfFail("%s has a byteStride or count that its mode does not allow", what.c_str());
        rc = mode == "TRIANGLES"
                 ? meshopt_decodeIndexBuffer(out.data(), size_t(count), size_t(stride), src, size_t(size))
                 : meshopt_decodeIndexSequence(out.data(), size_t(count), size_t(stride), src, size_t(size));
    } else {
        GltfFail("%s has the unknown mode '%s'", what.c_str(), mode.c_str());
    }
    if (rc != 0)
        GltfFail("%s cannot be decoded (meshoptimizer error %d)", what.c_str(), rc);
    m_isDecoded[size_t(index)] = 1;
    return {out.data(), out.size(), size_t(viewStride), 0};
}

CGltfAccessors::SBytes CGltfAccessors::ViewBytes(int32_t index)
{
    const SView v = View(index);
    return {v.data, v.length};
}

size_t CGltfAccessors::Count(int32_t accessor)
{
    const std::string what = GltfItem("accessors", size_t(accessor));
    const int64_t count = GltfInt(m_accessors[size_t(accessor)], "count", -1, 1, INT32_MAX, what + ".count");
    if (count < 0)
        GltfFail("%s has no count", what.c_str());
    return size_t(count);
}

int CGltfAccessors::Components(int32_t accessor, EGltfUse use)
{
    return Layout(accessor, use).components;
}

CGltfAccessors::SLayout CGltfAccessors::Layout(int32_t index, EGltfUse use)
{
    if (index < 0 || size_t(index) >= m_accessors.size())
        GltfFail("the %s accessor %d does not exist", UseName(use), index);
    const json& a = m_accessors[size_t(index)];
    const std::string what = GltfItem("accessors", size_t(index));
    SLayout l;
    l.accessor = &a;
    l.count = Count(index);
    l.componentType = int(GltfInt(a, "componentType", 0, 0, INT32_MAX, what + ".componentType"));
    l.componentSize = ComponentSize(l.componentType);
    l.components = TypeComponents(GltfString(a, "type", "", what + ".type"));
    if (const json* n = GltfMember(a, "normalized")) {
        if (!n->is_boolean())
            GltfFail("%s.normalized is not true or false", what.c_str());
        l.normalised = n->get<bool>();
    }
    if (!l.componentSize || !l.components)
        GltfFail("%s has an unknown componentType or type", what.c_str());

    const SUseRule rule = RuleOf(use);
    const bool isFloat = l.componentType == kFloat;
    const bool typeOk = (isFloat && rule.floats) || (l.componentSize == 1 && rule.bytes) ||
                        (l.componentSize == 2 && rule.shorts) || (l.componentType == kUInt && rule.uints);
    if (!(rule.componentCounts & (1u << l.components)) || !typeOk || (isFloat && l.normalised) ||
        (l.componentType == kUInt && l.normalised) || (!isFloat && rule.integersNormalised && !l.normalised) ||
        (!isFloat && rule.integersPlain && l.normalised) ||
        (rule.unsignedOnly && (l.componentType == kByte || l.componentType == kShort)))
        GltfFail("%s has a componentType or type that %s data cannot have", what.c_str(), UseName(use));

    const size_t elementSize = size_t(l.componentSize) * size_t(l.components);
    const int32_t viewIndex = GltfIndex(a, "bufferView", m_views.size(), what + ".bufferView");
    if (viewIndex < 0) {
        if (l.count > kMaxViewlessCount)
            GltfFail("%s has no buffer view but a count of %zu", what.c_str(), l.count);
        return l;
    }
    const SView view = View(viewIndex);
    const uint64_t offset = uint64_t(GltfInt(a, "byteOffset", 0, 0, INT64_MAX, what + ".byteOffset"));
    l.stride = view.stride ? view.stride : elementSize;
    if (l.stride < elementSize)
        GltfFail("%s has elements of %zu bytes in a view whose byteStride is %zu", what.c_str(), elementSize, l.stride);
    if ((offset + view.bufferOffset) % uint64_t(l.componentSize) != 0 || l.stride % size_t(l.componentSize) != 0)
        GltfFail("%s is not aligned to its %d-byte components", what.c_str(), l.componentSize);
    const uint64_t needed = offset + uint64_t(l.count - 1) * l.stride + elementSize;
    if (offset > view.length || needed > view.length)
        GltfFail("%s needs %llu bytes (offset %llu + %zu elements of stride %zu) but its buffer view holds %zu",
                 what.c_str(), static_cast<unsigned long long>(needed), static_cast<unsigned long long>(offset),
                 l.count, l.stride, view.length);
    l.data = view.data + offset;
    return l;
}

template <typename F>
void CGltfAccessors::ForSparse(int32_t index, const SLayout& l, F set)
{
    const std::string what = GltfItem("accessors", size_t(index)) + ".sparse";
    const json* sparse = GltfObject(*l.accessor, "sparse", what);
    if (!sparse)
        return;
    const size_t count = size_t(GltfInt(*sparse, "count", -1, 1, int64_t(l.count), what + ".count"));
    const json* indices = GltfObject(*sparse, "indices", what + ".indices");
    const json* values = GltfObject(*sparse, "values", what + ".values");
    if (count == size_t(-1) || !indices || !values)
        GltfFail("%s lacks its count, indices or values", what.c_str());
    const int32_t iv = GltfIndex(*indices, "bufferView", m_views.size(), what + ".indices.bufferView");
    const int32_t vv = GltfIndex(*values, "bufferView", m_views.size(), what + ".values.bufferView");
    if (iv < 0 || vv < 0)
        GltfFail("%s lacks a buffer view", what.c_str());
    const int itype = int(GltfInt(*indices, "componentType", 0, 0, INT32_MAX, what + ".indices.componentType"));
    const int isize = ComponentSize(itype);
    if (itype != kUByte && itype != kUShort && itype != kUInt)
        GltfFail("%s.indices has a componentType indices cannot have", what.c_str());
    const uint64_t ioff = uint64_t(GltfInt(*indices, "byteOffset", 0, 0, INT64_MAX, what + ".indices.byteOffset"));
    const uint64_t voff = uint64_t(GltfInt(*values, "byteOffset", 0, 0, INT64_MAX, what + ".values.byteOffset"));
    const SView ivw = View(iv);
    const SView vvw = View(vv);
    const size_t elementSize = size_t(l.componentSize) * size_t(l.components);
    if ((ioff + ivw.bufferOffset) % uint64_t(isize) || (voff + vvw.bufferOffset) % uint64_t(l.componentSize))
        GltfFail("%s is not aligned to its components", what.c_str());
    if (ioff > ivw.length || uint64_t(count) * uint64_t(isize) > ivw.length - ioff || voff > vvw.length ||
        uint64_t(count) * elementSize > vvw.length - voff)
        GltfFail("%s needs more bytes than its buffer views hold", what.c_str());
    uint64_t previous = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint64_t at = uint64_t(Plain(itype, ivw.data + ioff + i * size_t(isize)));
        if (at >= l.count || (i > 0 && at <= previous))
            GltfFail("%s has an index that is out of range or out of order", what.c_str());
        previous = at;
        set(size_t(at), vvw.data + voff + i * elementSize);
    }
}

void CGltfAccessors::ReadFloats(int32_t index, EGltfUse use, std::vector<float>& out, int& components)
{
    const SLayout l = Layout(index, use);
    components = l.components;
    const size_t c = size_t(l.components);
    out.assign(l.count * c, 0.0f);
    if (l.data)
        ConvertFloats(l.componentType, l.data, l.stride, l.count, l.components, l.normalised, out.data());
    ForSparse(index, l, [&](size_t at, const uint8_t* src) {
        ConvertFloats(l.componentType, src, 0, 1, l.components, l.normalised, out.data() + at * c);
    });
}

void CGltfAccessors::ReadUInts(int32_t index, EGltfUse use, std::vector<uint32_t>& out, int& components)
{
    const SLayout l = Layout(index, use);
    components = l.components;
    const size_t c = size_t(l.components);
    out.assign(l.count * c, 0u);
    auto convert = [&](const uint8_t* src, uint32_t* dst) {
        for (size_t k = 0; k < c; ++k) {
            const double v = Plain(l.componentType, src + k * size_t(l.componentSize));
            dst[k] = v >= 0 && v <= double(UINT32_MAX) ? uint32_t(v) : UINT32_MAX; // never in range of anything
        }
    };
    // Unsigned components (all that indices and joints may be) widen as
    // they are; the rest go through their value.
    auto widen = [&](auto type) {
        using T = decltype(type);
        const uint8_t* src = l.data;
        uint32_t* dst = out.data();
        for (size_t i = 0; i < l.count; ++i, src += l.stride)
            for (size_t k = 0; k < c; ++k) {
                T v;
                std::memcpy(&v, src + k * sizeof(T), sizeof(T));
                *dst++ = v;
            }
    };
    if (l.data && l.componentType == kUByte)
        widen(uint8_t());
    else if (l.data && l.componentType == kUShort)
        widen(uint16_t());
    else if (l.data && l.componentType == kUInt)
        widen(uint32_t());
    else if (l.data) {
        const uint8_t* src = l.data;
        for (size_t i = 0; i < l.count; ++i, src += l.stride)
            convert(src, out.data() + i * c);
    }
    ForSparse(index, l, [&](size_t at, const uint8_t* src) { convert(src, out.data() + at * c); });
}
