#pragma once
// The profiles saved by the window, for --profile of the command line and the
// Python module and for `profiles`: read from the window's store through the
// options profile store.
#include <QString>
#include <QStringList>

#include <vector>

#include "options/ProfileStore.h"

class COptionsData;
class CZGXPreferences;

// Finds a profile by name, or else by its list string ("0:Mobile"), which
// tells apart two profiles of one name. Null when there is none.
const SProfileRecord* FindSavedProfile(const std::vector<SProfileRecord>& profiles, const QString& name);

// What a user types to pick the profile: its name, or its list string when
// the name is empty or shared with an earlier profile.
QString ProfileLabel(const std::vector<SProfileRecord>& profiles, size_t index);

// Loads the application store when it exists (a missing store is not
// created and holds no profiles). False with a message when it cannot be
// read.
bool OpenProfileStore(CZGXPreferences& prefs, QString* error);

// Applies the named profile from the application store to options. On
// failure returns false with a message (an unknown name lists the known).
bool ApplyProfileByName(const QString& name, COptionsData& options, QString* error);

// The file of the application store that holds the profiles (a conversion
// with --profile depends on it).
QString ProfileStorePath();

// The names a user can give to --profile, one per saved profile.
bool ListProfileNames(QStringList* names, QStringList* warnings, QString* error);
