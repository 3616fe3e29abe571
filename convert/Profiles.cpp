#include "convert/Profiles.h"

#include <QFileInfo>

#include "options/Options.h"
#include "prefs/ZGXPreferences.h"

namespace {

QString FromUtf8(const CZGXTString& s)
{
    return QString::fromUtf8(s.data(), int(s.size()));
}

// The window's profiles, or false with a message when its store is unreadable.
bool ReadWindowProfiles(SProfileSet& set, std::vector<CZGXTString>* missing, QString* error)
{
    CZGXPreferences prefs(kProfileStoreName, ePrefUser);
    if (!OpenProfileStore(prefs, error))
        return false;
    LoadProfileSet(prefs, kProfilesPrefix, set, missing);
    return true;
}

} // namespace

const SProfileRecord* FindSavedProfile(const std::vector<SProfileRecord>& profiles, const QString& name)
{
    const CZGXTString wanted = name.toUtf8().toStdString();
    for (const SProfileRecord& p : profiles)
        if (!p.name.empty() && p.name == wanted)
            return &p;
    for (const SProfileRecord& p : profiles)
        if (p.entry == wanted)
            return &p;
    return nullptr;
}

QString ProfileLabel(const std::vector<SProfileRecord>& profiles, size_t index)
{
    const SProfileRecord& p = profiles[index];
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

QString ProfileStorePath()
{
    CZGXPreferences prefs(kProfileStoreName, ePrefUser);
    return FromUtf8(prefs.Path());
}

bool ApplyProfileByName(const QString& name, COptionsData& options, QString* error)
{
    SProfileSet set;
    if (!ReadWindowProfiles(set, nullptr, error))
        return false;
    const SProfileRecord* profile = FindSavedProfile(set.profiles, name);
    if (!profile) {
        QStringList known;
        for (size_t i = 0; i < set.profiles.size(); ++i)
            known << QStringLiteral("'%1'").arg(ProfileLabel(set.profiles, i));
        if (error)
            *error = known.isEmpty() ? QStringLiteral("unknown profile '%1'; no profiles are saved").arg(name)
                                     : QStringLiteral("unknown profile '%1'; saved profiles: %2")
                                           .arg(name, known.join(QStringLiteral(", ")));
        return false;
    }
    // As the window loads a profile: defaults first, then what is stored.
    options = profile->options;
    return true;
}

bool ListProfileNames(QStringList* names, QStringList* warnings, QString* error)
{
    SProfileSet set;
    std::vector<CZGXTString> missing;
    if (!ReadWindowProfiles(set, &missing, error))
        return false;
    for (size_t i = 0; i < set.profiles.size(); ++i)
        *names << ProfileLabel(set.profiles, i);
    for (const CZGXTString& m : missing)
        *warnings << QStringLiteral("profile %1 has no stored options").arg(FromUtf8(m));
    return true;
}
