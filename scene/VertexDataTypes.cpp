#include "scene/VertexDataTypes.h"

#include <cstring>

namespace {

struct STypeInfo {
    uint8_t componentSize;
    uint8_t valuesPerElement;
    const char* name;
};

const STypeInfo kTypes[eZGXTTypeCount] = {
    {0, 0, "none"},
    {4, 1, "float"},
    {4, 1, "int"},
    {2, 1, "unsigned short"},
    {4, 4, "RGBA"},
    {4, 4, "ARGB"},
    {4, 4, "D3DCOLOR"},
    {4, 4, "UBYTE4"},
    {4, 3, "DEC3N"},
    {4, 1, "fixed 16.16"},
    {1, 1, "unsigned byte"},
    {2, 1, "short"},
    {2, 1, "short, normalised"},
    {1, 1, "byte"},
    {1, 1, "byte, normalised"},
    {1, 1, "unsigned byte, normalised"},
    {2, 1, "unsigned short, normalised"},
    {4, 1, "unsigned int"},
};

template <class T>
T Load(const void* p)
{
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}

template <class T>
void Store(void* p, T v)
{
    std::memcpy(p, &v, sizeof(T));
}

// Truncation toward zero without undefined behaviour: NaN gives 0 and values
// beyond the 64-bit range saturate; callers keep the low bits they need.
int64_t Truncate(float v)
{
    if (!(v == v))
        return 0;
    if (v >= 9.2233720368547758e18f)
        return INT64_MAX;
    if (v <= -9.2233720368547758e18f)
        return INT64_MIN;
    return static_cast<int64_t>(v);
}

uint32_t LowBits32(float v)
{
    return static_cast<uint32_t>(static_cast<uint64_t>(Truncate(v)));
}

// Clamped to 0..255 and truncated; NaN counts as 0.
uint32_t ClampedByte(float v)
{
    if (!(v > 0.0f))
        return 0;
    if (v > 255.0f)
        return 255;
    return static_cast<uint32_t>(v);
}

// Colour channels clamp after scaling.
uint32_t ColourByte(float v)
{
    return ClampedByte(v * 255.0f);
}

uint32_t Dec3NField(float v)
{
    int64_t i = Truncate(v * 511.0f);
    if (i > 511)
        i = 511;
    if (i < -511)
        i = -511;
    return static_cast<uint32_t>(i) & 0x3FFu;
}

float Dec3NValue(uint32_t bits)
{
    int32_t i = static_cast<int32_t>(bits & 0x3FFu);
    if (i & 0x200)
        i -= 0x400;
    return static_cast<float>(i) * (1.0f / 511.0f);
}

float ByteValue(uint32_t v, int shift)
{
    return static_cast<float>((v >> shift) & 0xFFu);
}

} // namespace

uint32_t ComponentSize(uint32_t type)
{
    return type < eZGXTTypeCount ? kTypes[type].componentSize : 0;
}

uint32_t ValuesPerElement(uint32_t type)
{
    return type < eZGXTTypeCount ? kTypes[type].valuesPerElement : 0;
}

const char* DataTypeName(uint32_t type)
{
    return type < eZGXTTypeCount ? kTypes[type].name : "unknown";
}

float ReadComponent(const void* p, uint32_t type)
{
    switch (type) {
    case eZGXTFloat: return Load<float>(p);
    case eZGXTInt: return static_cast<float>(Load<int32_t>(p));
    case eZGXTUShort: return static_cast<float>(Load<uint16_t>(p));
    case eZGXTFixed16: return static_cast<float>(Load<int32_t>(p)) / 65536.0f;
    case eZGXTUByte: return static_cast<float>(Load<uint8_t>(p));
    case eZGXTShort: return static_cast<float>(Load<int16_t>(p));
    case eZGXTShortNorm: return static_cast<float>(Load<int16_t>(p)) / 32767.0f;
    case eZGXTByte: return static_cast<float>(Load<int8_t>(p));
    case eZGXTByteNorm: return static_cast<float>(Load<int8_t>(p)) / 127.0f;
    case eZGXTUByteNorm: return static_cast<float>(Load<uint8_t>(p)) / 255.0f;
    case eZGXTUShortNorm: return static_cast<float>(Load<uint16_t>(p)) / 65535.0f;
    case eZGXTUInt: return static_cast<float>(Load<uint32_t>(p));
    default: return 0.0f;
    }
}

void WriteComponent(void* p, uint32_t type, float v)
{
    switch (type) {
    case eZGXTFloat: Store<float>(p, v); break;
    case eZGXTInt: Store<uint32_t>(p, LowBits32(v)); break;
    case eZGXTUShort: Store<uint16_t>(p, static_cast<uint16_t>(LowBits32(v))); break;
    case eZGXTFixed16: Store<uint32_t>(p, LowBits32(v * 65536.0f)); break;
    case eZGXTUByte: Store<uint8_t>(p, static_cast<uint8_t>(LowBits32(v))); break;
    case eZGXTShort: Store<uint16_t>(p, static_cast<uint16_t>(LowBits32(v))); break;
    case eZGXTShortNorm: Store<uint16_t>(p, static_cast<uint16_t>(LowBits32(v * 32767.0f))); break;
    case eZGXTByte: Store<uint8_t>(p, static_cast<uint8_t>(LowBits32(v))); break;
    case eZGXTByteNorm: Store<uint8_t>(p, static_cast<uint8_t>(LowBits32(v * 127.0f))); break;
    case eZGXTUByteNorm: Store<uint8_t>(p, static_cast<uint8_t>(LowBits32(v * 255.0f))); break;
    case eZGXTUShortNorm: Store<uint16_t>(p, static_cast<uint16_t>(LowBits32(v * 65535.0f))); break;
    case eZGXTUInt: Store<uint32_t>(p, LowBits32(v)); break;
    default: break;
    }
}

void ReadVertex(float out[4], const void* element, uint32_t type, uint32_t count)
{
    out[0] = out[1] = out[2] = 0.0f;
    out[3] = 1.0f;
    if (type >= eZGXTTypeCount || type == eZGXTNone)
        return;
    if (IsPackedType(type)) {
        const uint32_t v = Load<uint32_t>(element);
        switch (type) {
        case eZGXTRGBA:
            out[0] = ByteValue(v, 24) / 255.0f;
            out[1] = ByteValue(v, 16) / 255.0f;
            out[2] = ByteValue(v, 8) / 255.0f;
            out[3] = ByteValue(v, 0) / 255.0f;
            break;
        case eZGXTARGB:
        case eZGXTD3DColour:
            out[0] = ByteValue(v, 16) / 255.0f;
            out[1] = ByteValue(v, 8) / 255.0f;
            out[2] = ByteValue(v, 0) / 255.0f;
            out[3] = ByteValue(v, 24) / 255.0f;
            break;
        case eZGXTUByte4:
            out[0] = ByteValue(v, 0);
            out[1] = ByteValue(v, 8);
            out[2] = ByteValue(v, 16);
            out[3] = ByteValue(v, 24);
            break;
        default: // DEC3N
            out[0] = Dec3NValue(v);
            out[1] = Dec3NValue(v >> 10);
            out[2] = Dec3NValue(v >> 20);
            break;
        }
        return;
    }
    const uint32_t size = ComponentSize(type);
    const uint8_t* p = static_cast<const uint8_t*>(element);
    if (count > 4)
        count = 4;
    // The common cases, read per vertex by the processing stages, without a
    // call per component.
    if (type == eZGXTFloat) {
        for (uint32_t i = 0; i < count; ++i)
            out[i] = Load<float>(p + 4 * i);
        return;
    }
    if (type == eZGXTInt) {
        for (uint32_t i = 0; i < count; ++i)
            out[i] = static_cast<float>(Load<int32_t>(p + 4 * i));
        return;
    }
    for (uint32_t i = 0; i < count; ++i)
        out[i] = ReadComponent(p + i * size, type);
}

void WriteVertex(void* element, uint32_t type, uint32_t count, const float in[4])
{
    if (type >= eZGXTTypeCount || type == eZGXTNone)
        return;
    if (count > 4)
        count = 4;
    if (IsPackedType(type)) {
        float v[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        for (uint32_t i = 0; i < count; ++i)
            v[i] = in[i];
        uint32_t packed = 0;
        switch (type) {
        case eZGXTRGBA:
            packed = ColourByte(v[0]) << 24 | ColourByte(v[1]) << 16 | ColourByte(v[2]) << 8 | ColourByte(v[3]);
            break;
        case eZGXTARGB:
        case eZGXTD3DColour:
            packed = ColourByte(v[3]) << 24 | ColourByte(v[0]) << 16 | ColourByte(v[1]) << 8 | ColourByte(v[2]);
            break;
        case eZGXTUByte4:
            packed = ClampedByte(v[0]) | ClampedByte(v[1]) << 8 | ClampedByte(v[2]) << 16 | ClampedByte(v[3]) << 24;
            break;
        default: // DEC3N
            packed = Dec3NField(v[0]) | Dec3NField(v[1]) << 10 | Dec3NField(v[2]) << 20;
            break;
        }
        Store<uint32_t>(element, packed);
        return;
    }
    const uint32_t size = ComponentSize(type);
    uint8_t* p = static_cast<uint8_t*>(element);
    for (uint32_t i = 0; i < count; ++i)
        WriteComponent(p + i * size, type, in[i]);
}

uint32_t ReadIndex(const void* address, uint32_t type)
{
    if (type == eZGXTUShort)
        return Load<uint16_t>(address);
    if (type == eZGXTUInt)
        return Load<uint32_t>(address);
    return 0;
}

void WriteIndex(void* address, uint32_t type, uint32_t value)
{
    if (type == eZGXTUShort)
        Store<uint16_t>(address, static_cast<uint16_t>(value));
    else if (type == eZGXTUInt)
        Store<uint32_t>(address, value);
}
