#include "app/RecentFiles.h"

// Placeholder until the preference store exists: nothing is recorded.
void RecordExportedFile(const char*)
{
}
