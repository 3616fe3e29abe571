#include "options/Options.h"

namespace {

struct SBoolDefault {
    const char* name;
    const char* legacy;
    const char* key;
    bool value;
};
const SBoolDefault kBoolDefaults[opt::eBoolCount] = {
    {"bFlipTextureV", nullptr, "/FlipTextureV", false},
    {"bIndexed", nullptr, "/Indexed", true},
    {"bInterleaved", nullptr, "/Interleaved", true},
    {"bSortVertices", "bSortVtx", "/SortVertices", true},
    {"bTangentSpace", nullptr, "/TangentSpace", false},
    {"bExportAnimations", "exportControllers", "/ExportAnimations", false},
    {"bIndexAnimations", nullptr, "/IndexAnimations", false},
    {"bExportGeometry", "exportGeom", "/ExportGeometry", true},
    {"bExportMatrices", "exportMatrices", "/ExportMatrices", false},
    {"bExportMappingChannels", "exportMappingChannel", "/ExportMappingChannels", false},
    {"bExportMaterials", "exportMaterials", "/ExportMaterials", true},
    {"bExportSkin", "exportSkin", "/ExportSkin", false},
    {"bInvertTransparency", "m_bInvertTransparency", "/InvertTransparency", false},
    {"bExportModelSpace", "exportObjectSpace", "/ExportModelSpace", true},
    {"bMerge", nullptr, "/Merge", false},
    {"bUseCustomOptSettings", nullptr, "/UseCustomOptSettings", false},
    {"bExportUserData", nullptr, "/ExportUserData", false},
    {"bUnpackMatrix", nullptr, "/UnpackMatrix", false},
    {"bExportBoneGeometry", "exportBoneGeometry", "/ExportBoneGeometry", false},
    {"bAlignData", nullptr, "/AlignData", true},
    {"bDisplayInVistrel", "m_bDisplayInVistrel", "/DisplayInVistrel", false},
    {"bUsePostExportCL", nullptr, "/UsePostExportCL", false},
    {"bApplyUnit", nullptr, "/ApplyUnit", false},
};

struct SStringDefault {
    const char* name;
    const char* legacy;
    const char* key;
};
const SStringDefault kStringDefaults[opt::eStringCount] = {
    {"sClPostTarget", nullptr, "/ClPostTarget"}, {"sClPostArgs", nullptr, "/ClPostArgs"},
    {"sClPostCWD", nullptr, "/ClPostCWD"},       {"sPathToVistrel", nullptr, "/PathToVistrel"},
    {"sMergeSrc", "m_sMergeSrc", "/MergeSrc"},   {"sScriptFile", "m_sScriptFile", "/ScriptFile"},
};

struct SUIntDefault {
    const char* name;
    const char* legacy;
    const char* key;
    uint32_t value;
};
const SUIntDefault kUIntDefaults[opt::eUIntCount] = {
    {"uiStaticFrame", "staticFrame", "/StaticFrame", 0},
    {"uiBoneLimit", "dwBoneLimit", "/BoneLimit", 9},
    {"uiPadDataTo", nullptr, "/PadDataTo", 4},
    {"uiTSUseUVW", nullptr, "/TSUseUVW", 0},
};

struct SVertexDefault {
    const char* name;
    const char* key;
    SVertexFormatEntry value;
};
const SVertexDefault kVertexDefaults[eVACount] = {
    {"sVcOptPos", "/Position", {true, 1, 135}},      {"sVcOptNor", "/Normal", {true, 1, 135}},
    {"sVcOptTan", "/Tangent", {true, 1, 135}},       {"sVcOptBin", "/Binormal", {true, 1, 135}},
    {"sVcOptCol", "/Colour", {false, 5, 15}},        {"sVcOptBoneInd", "/BoneIndices", {true, 10, 15}},
    {"sVcOptBoneWt", "/BoneWeights", {true, 1, 15}}, {"psVcOptUVW[0]", "/UVW0", {true, 1, 131}},
    {"psVcOptUVW[1]", "/UVW1", {false, 1, 131}},     {"psVcOptUVW[2]", "/UVW2", {false, 1, 131}},
    {"psVcOptUVW[3]", "/UVW3", {false, 1, 131}},     {"psVcOptUVW[4]", "/UVW4", {false, 1, 131}},
    {"psVcOptUVW[5]", "/UVW5", {false, 1, 131}},     {"psVcOptUVW[6]", "/UVW6", {false, 1, 131}},
    {"psVcOptUVW[7]", "/UVW7", {false, 1, 131}},
};

template <class T>
void SetSlot(SOptionRecord<T>& slot, const char* name, const char* legacy, const char* key, T value)
{
    slot.pszName = name;
    slot.pszLegacyName = legacy;
    slot.pszKey = key;
    slot.value = value;
}

} // namespace

COptionsData::COptionsData()
{
    // Names are fixed by the defaults routine; before it runs every attribute
    // is off, float, xyz.
    for (auto& v : m_aVtx)
        v = SVertexFormatEntry{false, 1, 135};
    ApplyDefaults();
}

COptionsData::COptionsData(const COptionsData& other) : COptionsData()
{
    CopyValues(other);
}

COptionsData& COptionsData::operator=(const COptionsData& other)
{
    if (this != &other)
        CopyValues(other);
    return *this;
}

COptionsData::~COptionsData() = default;

void COptionsData::ApplyDefaults()
{
    for (int i = 0; i < opt::eBoolCount; ++i) {
        const SBoolDefault& d = kBoolDefaults[i];
        SetSlot(m_aBool[i], d.name, d.legacy, d.key, d.value);
    }
    SetSlot(m_aFloat[opt::fTangentSpaceVtxSplit], "fTangentSpaceVtxSplit", nullptr, "/fTangentSpaceVtxSplit", 0.0f);
    SetSlot<int32_t>(m_eExpFormat, "eExpFormat", nullptr, "/ExportFormat", eExpFormatScene);
    SetSlot<int32_t>(m_cS, "cS", nullptr, "/CS", eCSOpenGL);
    SetSlot<int32_t>(m_eTriSort, "eTriSort", nullptr, "/TriangleSort", eTriSortGeometry);
    SetSlot<int32_t>(m_ePrimType, "ePrimType", nullptr, "/PrimitiveType", ePrimTriangleList);
    for (int i = 0; i < opt::eStringCount; ++i) {
        const SStringDefault& d = kStringDefaults[i];
        SetSlot(m_aString[i], d.name, d.legacy, d.key, CZGXTString());
    }
    for (int i = 0; i < opt::eUIntCount; ++i) {
        const SUIntDefault& d = kUIntDefaults[i];
        SetSlot(m_aUInt[i], d.name, d.legacy, d.key, d.value);
    }
    for (int a = 0; a < eVACount; ++a) {
        m_aVtxName[a] = SVertexFormatName{kVertexDefaults[a].name, nullptr, kVertexDefaults[a].key};
        m_aVtx[a] = kVertexDefaults[a].value;
    }
    ApplyAutoOptimisation();
    MaskVertexFormats();
}

void COptionsData::ResetToDefaults()
{
    ApplyDefaults();
}

void COptionsData::CopyValues(const COptionsData& other)
{
    for (int i = 0; i < opt::eBoolCount; ++i)
        m_aBool[i].value = other.m_aBool[i].value;
    for (int i = 0; i < opt::eFloatCount; ++i)
        m_aFloat[i].value = other.m_aFloat[i].value;
    m_eExpFormat.value = other.m_eExpFormat.value;
    m_cS.value = other.m_cS.value;
    m_eTriSort.value = other.m_eTriSort.value;
    m_ePrimType.value = other.m_ePrimType.value;
    for (int i = 0; i < opt::eStringCount; ++i)
        m_aString[i].value = other.m_aString[i].value;
    for (int i = 0; i < opt::eUIntCount; ++i)
        m_aUInt[i].value = other.m_aUInt[i].value;
    for (int a = 0; a < eVACount; ++a)
        m_aVtx[a] = other.m_aVtx[a];
    MaskVertexFormats();
}

void COptionsData::SetBool(int i, bool value)
{
    m_aBool[i].value = value;
    if (i == opt::bUseCustomOptSettings)
        ApplyAutoOptimisation();
    else if (i == opt::bIndexed && !m_aBool[opt::bUseCustomOptSettings].value)
        ApplyAutoOptimisation();
}

void COptionsData::SetPrimType(int32_t value)
{
    m_ePrimType.value = value;
    ApplyAutoOptimisation();
}

void COptionsData::ApplyAutoOptimisation()
{
    if (m_aBool[opt::bUseCustomOptSettings].value)
        return;
    m_aBool[opt::bSortVertices].value = m_aBool[opt::bIndexed].value;
    m_eTriSort.value = (m_ePrimType.value == ePrimTriangleStrip) ? eTriSortTriStrip : eTriSortGeometry;
}

int32_t COptionsData::AllowedEnableMask(int a)
{
    return (a == eVAColour || a == eVABoneIndices || a == eVABoneWeights) ? 15 : 143;
}

void COptionsData::MaskVertexFormats()
{
    for (int a = 0; a < eVACount; ++a)
        m_aVtx[a].nEnable &= AllowedEnableMask(a);
}

bool COptionsData::operator==(const COptionsData& o) const
{
    for (int i = 0; i < opt::eBoolCount; ++i)
        if (m_aBool[i].value != o.m_aBool[i].value)
            return false;
    for (int i = 0; i < opt::eFloatCount; ++i)
        if (m_aFloat[i].value != o.m_aFloat[i].value)
            return false;
    if (m_eExpFormat.value != o.m_eExpFormat.value || m_cS.value != o.m_cS.value ||
        m_eTriSort.value != o.m_eTriSort.value || m_ePrimType.value != o.m_ePrimType.value)
        return false;
    for (int i = 0; i < opt::eStringCount; ++i)
        if (m_aString[i].value != o.m_aString[i].value)
            return false;
    for (int i = 0; i < opt::eUIntCount; ++i)
        if (m_aUInt[i].value != o.m_aUInt[i].value)
            return false;
    for (int a = 0; a < eVACount; ++a)
        if (!(m_aVtx[a] == o.m_aVtx[a]))
            return false;
    return true;
}

COptions::COptions() = default;

COptions::COptions(const COptions& other) : COptionsData(other), m_sOutputPath(other.m_sOutputPath) {}

COptions& COptions::operator=(const COptions& other)
{
    if (this != &other) {
        COptionsData::operator=(other);
        m_sOutputPath = other.m_sOutputPath;
    }
    return *this;
}

COptions& COptions::operator=(const COptionsData& other)
{
    COptionsData::operator=(other);
    return *this;
}

COptions::~COptions() = default;

void COptions::ResetToDefaults()
{
    COptionsData::ResetToDefaults();
    m_sOutputPath.clear();
}
