#include "cli/Profiles.h"

#include <QFileInfo>

#include "options/Options.h"
#include "prefs/ZGXPreferences.h"

namespace {

// Where the window keeps its profiles.
const char kProfilesPrefix[] = "Profiles/";
const char kStoreName[] = "Meshwright";

QString FromUtf8(const CZGXTString& s)
{
    return QString::fromUtf8(s.data(), int(s.size()));
}

} // namespace

CZGXTString ProfileKey(const CZGXTString& prefix, const CZGXTString& entry)
{
    return prefix + "/Custom/" + CZGXPreferences::EscapeKey(entry);
}

// Stores written before names were escaped hold a name with "/" or "%"
// under the raw path; those are still found there.
static CZGXTString ExistingProfileKey(CZGXPreferences& prefs, const CZGXTString& prefix, const CZGXTString& entry)
{
    const CZGXTString key = ProfileKey(prefix, entry);
    if (prefs.TypeOf(key) == ePrefDict)
        return key;
    const CZGXTString raw = prefix + "/Custom/" + entry;
    if (raw != key && prefs.TypeOf(raw) == ePrefDict)
        return raw;
    return CZGXTString();
}

std::vector<SSavedProfile> ReadSavedProfiles(CZGXPreferences& prefs, const CZGXTString& prefix, QStringList* missing)
{
    std::vector<CZGXTString> list;
    prefs.ReadStringArray(prefix + "/Custom/List/", list);
    std::vector<SSavedProfile> profiles;
    for (const CZGXTString& entry : list) {
        if (ExistingProfileKey(prefs, prefix, entry).empty()) {
            if (missing)
                *missing << FromUtf8(entry);
            continue;
        }
        const size_t colon = entry.find(':');
        profiles.push_back(SSavedProfile{entry, colon == CZGXTString::npos ? CZGXTString() : entry.substr(colon + 1)});
    }
    return profiles;
}

bool LoadSavedProfile(CZGXPreferences& prefs, const CZGXTString& prefix, const SSavedProfile& profile,
                      COptionsData& options)
{
    const CZGXTString key = ExistingProfileKey(prefs, prefix, profile.entry);
    if (key.empty())
        return false;
    // As the window loads a profile: defaults first, then what is stored.
    COptionsData loaded;
    loaded.LoadFromPreferences(prefs, (key + "/").c_str());
    options = loaded;
    return true;
}

const SSavedProfile* FindSavedProfile(const std::vector<SSavedProfile>& profiles, const QString& name)
{
    const CZGXTString wanted = name.toUtf8().toStdString();
    for (const SSavedProfile& p : profiles)
        if (!p.name.empty() && p.name == wanted)
            return &p;
    for (const SSavedProfile& p : profiles)
        if (p.entry == wanted)
            return &p;
    return nullptr;
}

QString ProfileLabel(const std::vector<SSavedProfile>& profiles, size_t index)
{
    const SSavedProfile& p = profiles[index];
    if (p.name.empty())
        return FromUtf8(p.entry);
    for (size_t i = 0; i < index; ++i)
        if (profiles[i].name == p.name)
            return FromUtf8(p.entry);
    return FromUtf8(p.name);
}

bool OpenProfileStore(CZGXPreferences& prefs, QString* error)
{
    // Without a store there are no profiles; reading must not create one.
    if (!QFileInfo::exists(FromUtf8(prefs.Path())))
        return true;
    CZGXTString text;
    if (prefs.Load(text, false))
        return true;
    if (error)
        *error = QStringLiteral("cannot read the saved profiles in '%1': %2")
                     .arg(FromUtf8(prefs.Path()), FromUtf8(text).trimmed());
    return false;
}

bool ApplyProfileByName(const QString& name, COptionsData& options, QString* error)
{
    CZGXPreferences prefs(kStoreName, ePrefUser);
    if (!OpenProfileStore(prefs, error))
        return false;
    const std::vector<SSavedProfile> profiles = ReadSavedProfiles(prefs, kProfilesPrefix);
    const SSavedProfile* profile = FindSavedProfile(profiles, name);
    if (!profile) {
        QStringList known;
        for (size_t i = 0; i < profiles.size(); ++i)
            known << QStringLiteral("'%1'").arg(ProfileLabel(profiles, i));
        if (error)
            *error = known.isEmpty() ? QStringLiteral("unknown profile '%1'; no profiles are saved").arg(name)
                                     : QStringLiteral("unknown profile '%1'; saved profiles: %2")
                                           .arg(name, known.join(QStringLiteral(", ")));
        return false;
    }
    return LoadSavedProfile(prefs, kProfilesPrefix, *profile, options);
}

bool ListProfileNames(QStringList* names, QStringList* warnings, QString* error)
{
    CZGXPreferences prefs(kStoreName, ePrefUser);
    if (!OpenProfileStore(prefs, error))
        return false;
    QStringList missing;
    const std::vector<SSavedProfile> profiles = ReadSavedProfiles(prefs, kProfilesPrefix, &missing);
    for (size_t i = 0; i < profiles.size(); ++i)
        *names << ProfileLabel(profiles, i);
    for (const QString& m : missing)
        *warnings << QStringLiteral("profile %1 has no stored options").arg(m);
    return true;
}
