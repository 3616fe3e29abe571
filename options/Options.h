#pragma once
// The export options of one conversion: every option is a slot that carries
// its text name, an optional legacy name, its preference key suffix and its
// value. The names are the same in every record; only the values differ.
#include <cstdint>

#include "base/ZGXTString.h"

class CZGXPreferences;

template <class T>
struct SOptionRecord {
    const char* pszName = nullptr;       // name in the options text
    const char* pszLegacyName = nullptr; // second name accepted when reading
    const char* pszKey = nullptr;        // preference key suffix, "/..."
    T value{};
};

struct SVertexFormatName {
    const char* pszName = nullptr;
    const char* pszLegacyName = nullptr;
    const char* pszKey = nullptr;
};

struct SVertexFormatEntry {
    bool bExport = false;
    int32_t eType = 1;     // an EZGXTDataType value
    int32_t nEnable = 135; // component mask: bits 0-3 xyzw, bit 7 "no w"
    bool operator==(const SVertexFormatEntry& o) const
    {
        return bExport == o.bExport && eType == o.eType && nEnable == o.nEnable;
    }
};

// Indices of the option slots, named after the options themselves.
namespace opt {
enum EBool : int {
    bFlipTextureV,
    bIndexed,
    bInterleaved,
    bSortVertices,
    bTangentSpace,
    bExportAnimations,
    bIndexAnimations,
    bExportGeometry,
    bExportMatrices,
    bExportMappingChannels,
    bExportMaterials,
    bExportSkin,
    bInvertTransparency,
    bExportModelSpace,
    bMerge,
    bUseCustomOptSettings,
    bExportUserData,
    bUnpackMatrix,
    bExportBoneGeometry,
    bAlignData,
    bDisplayInVistrel,
    bUsePostExportCL,
    bApplyUnit, // scale Collada documents to metres by their unit
    eBoolCount
};
enum EFloat : int { fTangentSpaceVtxSplit, eFloatCount };
enum EString : int { sClPostTarget, sClPostArgs, sClPostCWD, sPathToVistrel, sMergeSrc, sScriptFile, eStringCount };
enum EUInt : int { uiStaticFrame, uiBoneLimit, uiPadDataTo, uiTSUseUVW, eUIntCount };
} // namespace opt

enum EVertexAttrib : int {
    eVAPosition,
    eVANormal,
    eVATangent,
    eVABinormal,
    eVAColour,
    eVABoneIndices,
    eVABoneWeights,
    eVAUVW0,
    eVAUVW1,
    eVAUVW2,
    eVAUVW3,
    eVAUVW4,
    eVAUVW5,
    eVAUVW6,
    eVAUVW7,
    eVACount
};

// Values of the enumerated choices.
enum EExpFormat : int32_t { eExpFormatScene = 0, eExpFormatHeader = 1, eExpFormatSource = 2 };
enum ECoordSystem : int32_t { eCSDirectX = 1, eCSOpenGL = 2 };
enum ETriSort : int32_t { eTriSortNone = 0, eTriSortGeometry = 1, eTriSortD3DX = 2, eTriSortTriStrip = 3 };
enum EPrimType : int32_t { ePrimTriangleList = 0, ePrimTriangleStrip = 1 };

class COptionsData {
public:
    COptionsData();
    COptionsData(const COptionsData& other);
    COptionsData& operator=(const COptionsData& other);
    virtual ~COptionsData();

    // Preference form (the store's own file is saved afterwards).
    virtual bool SaveToPreferences(CZGXPreferences& prefs, const char* keyPrefix) const;
    virtual bool LoadFromPreferences(CZGXPreferences& prefs, const char* keyPrefix);

    // Options text: one "name=value" line per option.
    virtual CZGXTString ToText() const;
    virtual int FromText(const CZGXTString& text);

    virtual void ApplyAutoOptimisation();
    virtual void ResetToDefaults();

    // Reads options from a profile text (.txt, .cfg, ...), a generated header
    // (.h) or a scene file (.qef); returns the number of recognised entries.
    int LoadFromFile(const char* path);
    bool SaveToFile(const char* path) const;

    void MaskVertexFormats();

    bool GetBool(int i) const { return m_aBool[i].value; }
    void SetBool(int i, bool value);
    float GetFloat(int i) const { return m_aFloat[i].value; }
    void SetFloat(int i, float value) { m_aFloat[i].value = value; }

    int32_t GetExpFormat() const { return m_eExpFormat.value; }
    int32_t GetCS() const { return m_cS.value; }
    int32_t GetTriSort() const { return m_eTriSort.value; }
    int32_t GetPrimType() const { return m_ePrimType.value; }
    void SetExpFormat(int32_t value) { m_eExpFormat.value = value; }
    void SetCS(int32_t value) { m_cS.value = value; }
    void SetTriSort(int32_t value) { m_eTriSort.value = value; }
    void SetPrimType(int32_t value);

    CZGXTString GetString(int i) const { return m_aString[i].value; }
    const CZGXTString& String(int i) const { return m_aString[i].value; }
    void SetString(int i, const CZGXTString& value) { m_aString[i].value = value; }

    uint32_t GetUInt(int i) const { return m_aUInt[i].value; }
    void SetUInt(int i, uint32_t value) { m_aUInt[i].value = value; }

    bool GetExport(int a) const { return m_aVtx[a].bExport; }
    int32_t GetType(int a) const { return m_aVtx[a].eType; }
    int32_t GetEnable(int a) const { return m_aVtx[a].nEnable; }
    void SetExport(int a, bool value) { m_aVtx[a].bExport = value; }
    void SetType(int a, int32_t value) { m_aVtx[a].eType = value; }
    void SetEnable(int a, int32_t value) { m_aVtx[a].nEnable = value; }

    // The names under which each slot travels (same in every record).
    const SOptionRecord<bool>& BoolSlot(int i) const { return m_aBool[i]; }
    const SOptionRecord<CZGXTString>& StringSlot(int i) const { return m_aString[i]; }
    const SOptionRecord<uint32_t>& UIntSlot(int i) const { return m_aUInt[i]; }
    const SOptionRecord<int32_t>& TriSortSlot() const { return m_eTriSort; }
    const SVertexFormatName& VertexName(int a) const { return m_aVtxName[a]; }
    static int32_t AllowedEnableMask(int a);

    // Whether the conversion reads animation frames beyond frame 0: when it
    // exports animations, or converts to world space at the static frame.
    // Otherwise only frame 0 matters (it places skins).
    bool UsesFrames() const { return GetBool(opt::bExportAnimations) || !GetBool(opt::bExportModelSpace); }

    bool operator==(const COptionsData& other) const;
    bool operator!=(const COptionsData& other) const { return !(*this == other); }

protected:
    void CopyValues(const COptionsData& other);
    void ApplyDefaults();

    SOptionRecord<bool> m_aBool[opt::eBoolCount];
    SOptionRecord<float> m_aFloat[opt::eFloatCount];
    SOptionRecord<int32_t> m_eExpFormat;
    SOptionRecord<int32_t> m_cS;
    SOptionRecord<int32_t> m_eTriSort;
    SOptionRecord<int32_t> m_ePrimType;
    SOptionRecord<CZGXTString> m_aString[opt::eStringCount];
    SOptionRecord<uint32_t> m_aUInt[opt::eUIntCount];
    SVertexFormatName m_aVtxName[eVACount];
    SVertexFormatEntry m_aVtx[eVACount];
};

// The options of one export plus the file it writes.
class COptions : public COptionsData {
public:
    COptions();
    COptions(const COptions& other);
    COptions& operator=(const COptions& other);
    COptions& operator=(const COptionsData& other);
    ~COptions() override;

    void ResetToDefaults() override;

    const CZGXTString& OutputPath() const { return m_sOutputPath; }
    void SetOutputPath(const CZGXTString& path) { m_sOutputPath = path; }

private:
    CZGXTString m_sOutputPath;
};
