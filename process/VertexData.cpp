#include "process/VertexData.h"

#include <cmath>
#include <vector>

#include "options/Options.h"

namespace {

uint32_t CodeCount(const SComponentCodes& codes)
{
    uint32_t n = 0;
    while (n < 4 && codes[n] != 0)
        ++n;
    return n;
}

// Elements that the channel's array really holds, so that a count larger than
// the data never reads past it.
uint32_t UsableElements(const SVertexChannel& channel, uint32_t vertexCount)
{
    if (channel.uiStride == 0)
        return 0;
    const uint64_t held = channel.pData.size() / channel.uiStride;
    return held < vertexCount ? static_cast<uint32_t>(held) : vertexCount;
}

void ConvertIndices(SSceneMesh& mesh)
{
    SVertexChannel& ind = mesh.sIndexData;
    if (ind.pData.empty() || ind.eType != eZGXTUInt)
        return;
    const uint64_t count = IndexCount(mesh);
    const uint64_t held = ind.pData.size() / 4;
    const size_t n = size_t(count < held ? count : held);
    std::vector<uint8_t> data(n * 2);
    for (size_t i = 0; i < n; ++i)
        WriteIndex(&data[i * 2], eZGXTUShort, ReadIndex(&ind.pData[i * 4], eZGXTUInt));
    ind.pData.swap(data);
    ind.eType = eZGXTUShort;
    ind.uiComponentCount = 1;
    ind.uiStride = 2;
}

} // namespace

SComponentCodes MakeComponentCodes(bool exported, int32_t mask)
{
    SComponentCodes codes = {0, 0, 0, 0};
    if (!exported)
        mask = 0;
    int n = 0;
    for (int c = 0; c < 4; ++c) {
        if (c == 3 && (mask & 0x80))
            break;
        if (mask & (1 << c))
            codes[size_t(n++)] = int8_t(c + 1);
    }
    return codes;
}

void ConvertChannel(SVertexChannel& channel, uint32_t vertexCount, uint32_t newType)
{
    const uint32_t oldType = channel.eType;
    if (channel.pData.empty() || oldType == newType)
        return;
    // Unknown targets and sources that cannot be read leave the data alone.
    if (newType == eZGXTNone || !IsValidDataType(newType) || oldType == eZGXTNone || !IsValidDataType(oldType))
        return;
    const uint32_t oldCount = channel.uiComponentCount;
    const uint32_t oldStride = channel.uiStride;
    const uint32_t oldSize = ComponentSize(oldType);
    const bool oldPacked = IsPackedType(oldType);
    const uint32_t newCount = IsPackedType(newType) ? 1 : oldCount * ValuesPerElement(oldType);
    const uint32_t newStride = ComponentSize(newType) * newCount;
    const uint32_t elements = UsableElements(channel, vertexCount);
    if (!oldPacked && uint64_t(oldSize) * oldCount > oldStride)
        return; // the element does not fit its stride: nothing safe to read

    // Values of one element; at least four so packed reads and writes fit.
    const uint32_t valueCount = oldPacked ? 4 : (oldCount > 4 ? oldCount : 4);
    std::vector<float> values(valueCount);
    std::vector<uint8_t> converted;
    const bool inPlace = newStride == oldStride;
    if (!inPlace)
        converted.resize(size_t(elements) * newStride);
    uint8_t* out = inPlace ? channel.pData.data() : converted.data();
    for (uint32_t v = 0; v < elements; ++v) {
        const uint8_t* src = channel.pData.data() + size_t(v) * oldStride;
        if (oldPacked) {
            ReadVertex(values.data(), src, oldType, 1);
        } else {
            values[0] = values[1] = values[2] = 0.0f;
            values[3] = 1.0f;
            for (uint32_t c = 0; c < oldCount; ++c)
                values[c] = ReadComponent(src + c * oldSize, oldType);
        }
        uint8_t* dst = out + size_t(v) * newStride;
        if (IsPackedType(newType)) {
            WriteVertex(dst, newType, ValuesPerElement(newType), values.data());
        } else {
            const uint32_t size = ComponentSize(newType);
            for (uint32_t c = 0; c < newCount; ++c)
                WriteComponent(dst + c * size, newType, values[c]);
        }
    }
    channel.eType = static_cast<EZGXTDataType>(newType);
    channel.uiComponentCount = newCount;
    channel.uiStride = newStride;
    if (!inPlace)
        channel.pData.swap(converted);
}

void SwizzleChannel(SVertexChannel& channel, uint32_t vertexCount, const SComponentCodes& codes)
{
    if (channel.pData.empty())
        return;
    const uint32_t type = channel.eType;
    const uint32_t codeCount = CodeCount(codes);
    const uint32_t newCount = codeCount < channel.uiComponentCount ? codeCount : channel.uiComponentCount;
    const uint32_t newStride = newCount * ComponentSize(type);
    if (newStride == 0) {
        channel.pData = std::vector<uint8_t>();
        channel.uiComponentCount = 0;
        channel.uiStride = 0;
        return;
    }
    const uint32_t elements = UsableElements(channel, vertexCount);
    if (type == eZGXTFloat && newCount == channel.uiComponentCount && newStride == channel.uiStride &&
        channel.pData.size() == size_t(elements) * newStride) {
        // Floats kept in their own order are copied as they are: nothing to do.
        bool same = true;
        for (uint32_t k = 0; k < newCount; ++k)
            same &= codes[k] == int8_t(k + 1);
        if (same)
            return;
    }
    const uint32_t readCount = channel.uiComponentCount < 4 ? channel.uiComponentCount : 4;
    if (!IsPackedType(type) && uint64_t(ComponentSize(type)) * readCount > channel.uiStride)
        return;
    std::vector<uint8_t> out(size_t(elements) * newStride);
    for (uint32_t v = 0; v < elements; ++v) {
        float in[4];
        ReadVertex(in, channel.pData.data() + size_t(v) * channel.uiStride, type, readCount);
        float values[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        for (uint32_t k = 0; k < codeCount; ++k) {
            const int code = codes[k];
            const float value = in[(code < 0 ? -code : code) - 1];
            values[k] = code < 0 ? -value : value;
        }
        WriteVertex(out.data() + size_t(v) * newStride, type, newCount * ValuesPerElement(type), values);
    }
    channel.pData.swap(out);
    channel.uiComponentCount = newCount;
    channel.uiStride = newStride;
}

bool ComputeUnpackMatrix(SSceneMesh& mesh, uint32_t type)
{
    mesh.fUnpackMatrix = MatrixIdentity();
    if (mesh.uiVertexCount == 0)
        return false;
    SVertexChannel& pos = mesh.sPosition;
    if ((pos.eType != eZGXTFloat && mesh.IsInterleaved()) || type == eZGXTFloat)
        return true;
    // Interleaved or absent positions have no array of their own to pack.
    if (pos.pData.empty())
        return true;

    float lo = 0.0f, hi = 0.0f;
    switch (type) {
    case eZGXTInt:
        lo = -1073741824.0f;
        hi = 1073741824.0f;
        break;
    case eZGXTUShort:
        lo = 0.0f;
        hi = 65535.0f;
        break;
    case eZGXTRGBA:
    case eZGXTARGB:
    case eZGXTD3DColour:
        lo = 0.0f;
        hi = 1.0f;
        break;
    case eZGXTUByte4:
    case eZGXTUByte:
        lo = 0.0f;
        hi = 255.0f;
        break;
    case eZGXTDec3N:
        lo = -511.0f;
        hi = 511.0f;
        break;
    case eZGXTFixed16:
    case eZGXTShort:
        lo = -32767.0f;
        hi = 32767.0f;
        break;
    case eZGXTShortNorm:
    case eZGXTByteNorm:
        lo = -1.0f;
        hi = 1.0f;
        break;
    case eZGXTByte:
        lo = -127.0f;
        hi = 127.0f;
        break;
    case eZGXTUByteNorm:
    case eZGXTUShortNorm:
        lo = 0.0f;
        hi = 1.0f;
        break;
    case eZGXTUInt:
        lo = 0.0f;
        hi = 1073741824.0f;
        break;
    default: return true;
    }

    const uint32_t elements = UsableElements(pos, mesh.uiVertexCount);
    const uint32_t count = pos.uiComponentCount < 4 ? pos.uiComponentCount : 4;
    if (elements == 0 || (!IsPackedType(pos.eType) && uint64_t(ComponentSize(pos.eType)) * count > pos.uiStride))
        return true;
    float mn[3], mx[3];
    for (uint32_t v = 0; v < elements; ++v) {
        float p[4];
        ReadVertex(p, pos.pData.data() + size_t(v) * pos.uiStride, pos.eType, count);
        for (int a = 0; a < 3; ++a) {
            if (v == 0 || p[a] < mn[a])
                mn[a] = p[a];
            if (v == 0 || p[a] > mx[a])
                mx[a] = p[a];
        }
    }
    float scale[3];
    for (int a = 0; a < 3; ++a) {
        // A flat (or unusable) axis stays unscaled instead of dividing by zero.
        const float s = (hi - lo) / (mx[a] - mn[a]);
        scale[a] = (std::isfinite(s) && s > 0.0f) ? s : 1.0f;
    }
    SMatrix44& m = mesh.fUnpackMatrix;
    for (int a = 0; a < 3; ++a) {
        m[size_t(a * 5)] = 1.0f / scale[a];
        m[size_t(12 + a)] = -lo * (1.0f / scale[a]) + mn[a];
    }
    for (uint32_t v = 0; v < elements; ++v) {
        uint8_t* element = pos.pData.data() + size_t(v) * pos.uiStride;
        float p[4];
        ReadVertex(p, element, pos.eType, count);
        for (int a = 0; a < 3; ++a)
            p[a] = (p[a] - mn[a]) * scale[a] + lo;
        WriteVertex(element, pos.eType, count * ValuesPerElement(pos.eType), p);
    }
    ConvertChannel(pos, mesh.uiVertexCount, type);
    return false;
}

void ConvertMeshVertexData(const COptionsData& options, SSceneMesh& mesh)
{
    const uint32_t n = mesh.uiVertexCount;
    const bool directX = options.GetCS() == eCSDirectX;

    // 1. Positions, through the unpack matrix when asked.
    const uint32_t posType = uint32_t(options.GetType(eVAPosition));
    if (!options.GetBool(opt::bUnpackMatrix) || ComputeUnpackMatrix(mesh, posType))
        ConvertChannel(mesh.sPosition, n, posType);

    // 2. Small meshes get 16-bit indices.
    if (mesh.uiTriangleCount != 0 && n <= 0x10000)
        ConvertIndices(mesh);

    // 3. The other attributes' types.
    struct SAttr {
        SVertexChannel* channel;
        EVertexAttrib attrib;
        bool mirror; // takes the DirectX z negation
    };
    const SAttr attrs[] = {
        {&mesh.sPosition, eVAPosition, true},        {&mesh.sNormal, eVANormal, true},
        {&mesh.sTangent, eVATangent, true},          {&mesh.sBinormal, eVABinormal, true},
        {&mesh.sColour, eVAColour, false},           {&mesh.sBoneIndex, eVABoneIndices, false},
        {&mesh.sBoneWeights, eVABoneWeights, false},
    };
    for (const SAttr& a : attrs)
        if (a.attrib != eVAPosition)
            ConvertChannel(*a.channel, n, uint32_t(options.GetType(a.attrib)));

    // 4. Components, with z mirrored for DirectX.
    for (const SAttr& a : attrs) {
        SComponentCodes codes = MakeComponentCodes(options.GetExport(a.attrib), options.GetEnable(a.attrib));
        if (a.mirror && directX) {
            for (int8_t& c : codes) {
                if (c == 0)
                    break;
                if (c == 3) {
                    c = -3;
                    break;
                }
            }
        }
        SwizzleChannel(*a.channel, n, codes);
    }

    // 5. The unpack matrix follows the mirrored positions.
    if (directX)
        mesh.fUnpackMatrix[14] = -mesh.fUnpackMatrix[14];

    // 6. Texture coordinates, last to first, dropping sets left without data.
    const size_t sets = mesh.psTexCoord.size() < 8 ? mesh.psTexCoord.size() : 8;
    for (size_t i = sets; i-- > 0;) {
        const int attrib = eVAUVW0 + int(i);
        SVertexChannel& c = mesh.psTexCoord[i];
        ConvertChannel(c, n, uint32_t(options.GetType(attrib)));
        SwizzleChannel(c, n, MakeComponentCodes(options.GetExport(attrib), options.GetEnable(attrib)));
        if (c.pData.empty())
            mesh.psTexCoord.erase(mesh.psTexCoord.begin() + std::ptrdiff_t(i));
    }
}
