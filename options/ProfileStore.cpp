#include "options/ProfileStore.h"

#include "prefs/ZGXPreferences.h"

namespace {

// Stores written before names were escaped keep a name with "/" or "%"
// under the raw path; such a profile is still read from there.
CZGXTString StoredOptionsKey(CZGXPreferences& prefs, const CZGXTString& prefix, const CZGXTString& entry)
{
    const CZGXTString key = ProfileOptionsKey(prefix, entry);
    if (prefs.TypeOf(key) == ePrefDict)
        return key;
    const CZGXTString raw = prefix + "/Custom/" + entry;
    if (raw != key && prefs.TypeOf(raw) == ePrefDict)
        return raw;
    return CZGXTString();
}

} // namespace

CZGXTString ProfileListEntry(size_t index, const CZGXTString& name)
{
    return std::to_string(index) + ":" + name;
}

CZGXTString ProfileEntryName(const CZGXTString& entry)
{
    const size_t colon = entry.find(':');
    return colon == CZGXTString::npos ? CZGXTString() : entry.substr(colon + 1);
}

CZGXTString ProfileOptionsKey(const CZGXTString& prefix, const CZGXTString& entry)
{
    return prefix + "/Custom/" + CZGXPreferences::EscapeKey(entry);
}

void LoadProfileSet(CZGXPreferences& prefs, const CZGXTString& prefix, SProfileSet& set,
                    std::vector<CZGXTString>* missing)
{
    prefs.ReadString(prefix + "/LastImportPath/", set.lastImportPath, CZGXTString());
    prefs.ReadString(prefix + "/LastExportPath/", set.lastExportPath, CZGXTString());
    set.profiles.clear();
    std::vector<CZGXTString> list;
    prefs.ReadStringArray(prefix + "/Custom/List/", list);
    set.profiles.reserve(list.size());
    for (const CZGXTString& entry : list) {
        const CZGXTString key = StoredOptionsKey(prefs, prefix, entry);
        if (key.empty()) {
            if (missing)
                missing->push_back(entry);
            continue;
        }
        SProfileRecord record;
        record.name = ProfileEntryName(entry);
        record.entry = entry;
        record.options.LoadFromPreferences(prefs, (key + "/").c_str());
        set.profiles.push_back(std::move(record));
    }
}

bool SaveProfileSet(CZGXPreferences& prefs, const CZGXTString& prefix, const SProfileSet& set)
{
    int failed = 0;
    failed |= prefs.WriteString(prefix + "/LastImportPath/", set.lastImportPath);
    failed |= prefs.WriteString(prefix + "/LastExportPath/", set.lastExportPath);
    // Positions are renumbered on every save, so the stored order always
    // follows the list and no profile of an earlier save is left behind.
    prefs.RemoveKey(prefix + "/Custom/");
    std::vector<CZGXTString> list;
    list.reserve(set.profiles.size());
    for (size_t i = 0; i < set.profiles.size(); ++i)
        list.push_back(ProfileListEntry(i, set.profiles[i].name));
    failed |= prefs.WriteStringArray(prefix + "/Custom/List/", list);
    bool saved = true;
    for (size_t i = 0; i < set.profiles.size(); ++i)
        saved &= set.profiles[i].options.SaveToPreferences(prefs, (ProfileOptionsKey(prefix, list[i]) + "/").c_str());
    saved &= prefs.Save(false);
    return failed == 0 && saved;
}
