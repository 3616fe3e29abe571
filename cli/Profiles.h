#pragma once
// Profiles saved by the window, read for the command line: the list at
// "Profiles//Custom/List/" of the store "Meshwright" and each profile's
// options below "Profiles//Custom/" + its list entry.
#include <QString>
#include <QStringList>

#include <vector>

#include "base/ZGXTString.h"

class COptionsData;
class CZGXPreferences;

struct SSavedProfile {
    CZGXTString entry; // the list string, "%i:%s": position and name
    CZGXTString name;  // text after the first ':' (empty without one)
};

// Key of a profile's options; the entry is one key component, so a name
// with "/" adds no levels.
CZGXTString ProfileKey(const CZGXTString& prefix, const CZGXTString& entry);

// The saved profiles that have stored options, in list order. Entries whose
// options are missing are reported in missing (list strings).
std::vector<SSavedProfile> ReadSavedProfiles(CZGXPreferences& prefs, const CZGXTString& prefix,
                                             QStringList* missing = nullptr);

// Loads a profile's options over the given ones; false when none are stored.
bool LoadSavedProfile(CZGXPreferences& prefs, const CZGXTString& prefix, const SSavedProfile& profile,
                      COptionsData& options);

// Finds a profile by name, or else by its list string ("0:Mobile"), which
// tells apart two profiles of one name. Null when there is none.
const SSavedProfile* FindSavedProfile(const std::vector<SSavedProfile>& profiles, const QString& name);

// What a user types to pick the profile: its name, or its list string when
// the name is empty or shared with an earlier profile.
QString ProfileLabel(const std::vector<SSavedProfile>& profiles, size_t index);

// Loads the application store when it exists (a missing store is not
// created and holds no profiles). False with a message when it cannot be
// read.
bool OpenProfileStore(CZGXPreferences& prefs, QString* error);

// Applies the named profile from the application store to options. On
// failure returns false with a message (an unknown name lists the known).
bool ApplyProfileByName(const QString& name, COptionsData& options, QString* error);

// The names a user can give to --profile, one per saved profile.
bool ListProfileNames(QStringList* names, QStringList* warnings, QString* error);
