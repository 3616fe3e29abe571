// The preference form of the options: one typed value per option under
// prefix + the slot's key, e.g. Profiles/[Current]//FlipTextureV.
#include "options/Options.h"
#include "prefs/ZGXPreferences.h"

bool COptionsData::SaveToPreferences(CZGXPreferences& prefs, const char* keyPrefix) const
{
    const CZGXTString prefix = keyPrefix ? keyPrefix : "";
    int failed = 0;
    for (int i = 0; i < opt::eBoolCount; ++i)
        failed |= prefs.WriteBool(prefix + m_aBool[i].pszKey, m_aBool[i].value);
    for (int i = 0; i < opt::eFloatCount; ++i)
        failed |= prefs.WriteReal(prefix + m_aFloat[i].pszKey, m_aFloat[i].value);
    for (const SOptionRecord<int32_t>* choice : {&m_eExpFormat, &m_cS, &m_eTriSort, &m_ePrimType})
        failed |= prefs.WriteInt(prefix + choice->pszKey, choice->value);
    for (int i = 0; i < opt::eStringCount; ++i)
        failed |= prefs.WriteString(prefix + m_aString[i].pszKey, m_aString[i].value);
    // Unsigned numbers travel as the store's 32-bit integers, bit for bit.
    for (int i = 0; i < opt::eUIntCount; ++i)
        failed |= prefs.WriteInt(prefix + m_aUInt[i].pszKey, int32_t(m_aUInt[i].value));
    for (int a = 0; a < eVACount; ++a) {
        const CZGXTString key = prefix + m_aVtxName[a].pszKey;
        failed |= prefs.WriteBool(key + "/Export", m_aVtx[a].bExport);
        failed |= prefs.WriteInt(key + "/DataType", m_aVtx[a].eType);
        failed |= prefs.WriteInt(key + "/Enable", m_aVtx[a].nEnable);
    }
    // A store that could not take the values or be written is reported, so
    // that a caller saving a profile does not take it for saved.
    const bool saved = prefs.Save(false);
    return failed == 0 && saved;
}

bool COptionsData::LoadFromPreferences(CZGXPreferences& prefs, const char* keyPrefix)
{
    const CZGXTString prefix = keyPrefix ? keyPrefix : "";
    // A missing key, or one of another type, leaves the value as it is.
    for (int i = 0; i < opt::eBoolCount; ++i)
        prefs.ReadBool(prefix + m_aBool[i].pszKey, m_aBool[i].value);
    for (int i = 0; i < opt::eFloatCount; ++i) {
        double value = 0.0;
        if (prefs.ReadReal(prefix + m_aFloat[i].pszKey, value))
            m_aFloat[i].value = float(value);
    }
    for (SOptionRecord<int32_t>* choice : {&m_eExpFormat, &m_cS, &m_eTriSort, &m_ePrimType})
        prefs.ReadInt(prefix + choice->pszKey, choice->value);
    for (int i = 0; i < opt::eStringCount; ++i)
        prefs.ReadString(prefix + m_aString[i].pszKey, m_aString[i].value);
    for (int i = 0; i < opt::eUIntCount; ++i) {
        int32_t value = 0;
        if (prefs.ReadInt(prefix + m_aUInt[i].pszKey, value))
            m_aUInt[i].value = uint32_t(value);
    }
    for (int a = 0; a < eVACount; ++a) {
        const CZGXTString key = prefix + m_aVtxName[a].pszKey;
        prefs.ReadBool(key + "/Export", m_aVtx[a].bExport);
        prefs.ReadInt(key + "/DataType", m_aVtx[a].eType);
        prefs.ReadInt(key + "/Enable", m_aVtx[a].nEnable);
    }
    ApplyAutoOptimisation();
    MaskVertexFormats();
    return true;
}
