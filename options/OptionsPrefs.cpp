#include "options/Options.h"

// Placeholder until the preference store exists.
bool COptionsData::SaveToPreferences(CZGXPreferences&, const char*) const
{
    return true;
}

bool COptionsData::LoadFromPreferences(CZGXPreferences&, const char*)
{
    return true;
}
