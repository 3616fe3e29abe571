#pragma once
// Saved profiles in the preference store, below a prefix chosen by the
// caller (the window uses "Profiles/"):
//   prefix/LastImportPath/, prefix/LastExportPath/   folders of the dialogs
//   prefix/Custom/List/                               "%i:%s" per profile, in order
//   prefix/Custom/<entry>/...                         that profile's options
// The entry keeps the raw name in the list; as a key component it is
// escaped, so a name with "/" adds no levels to the path.
#include <vector>

#include "options/Options.h"
#include "base/ZGXTString.h"

class CZGXPreferences;

struct SProfileRecord {
    CZGXTString name; // empty when the list string has no ':'
    COptionsData options;
};

struct SProfileSet {
    CZGXTString lastImportPath;
    CZGXTString lastExportPath;
    std::vector<SProfileRecord> profiles; // list order
};

// The list string of the profile at a 0-based position: "0:Mobile".
CZGXTString ProfileListEntry(size_t index, const CZGXTString& name);
// The name in a list string: the text after the first ':', or empty.
CZGXTString ProfileEntryName(const CZGXTString& entry);
// Key of a profile's options (without a trailing slash).
CZGXTString ProfileOptionsKey(const CZGXTString& prefix, const CZGXTString& entry);

// Reads the paths and every listed profile that has stored options; the list
// strings of the others go to missing. Options start from the defaults.
void LoadProfileSet(CZGXPreferences& prefs, const CZGXTString& prefix, SProfileSet& set,
                    std::vector<CZGXTString>* missing = nullptr);

// Replaces everything below prefix/Custom/ with the given profiles, numbered
// by their position, writes the paths and saves the store. False when the
// store could not take the values or be written.
bool SaveProfileSet(CZGXPreferences& prefs, const CZGXTString& prefix, const SProfileSet& set);
