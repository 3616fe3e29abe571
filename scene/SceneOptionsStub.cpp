#include "options/SceneOptionsSource.h"

// Placeholder until the scene file reader exists: no scene file can be read.
bool ReadSceneFileOptionsText(const char*, size_t, CZGXTString*)
{
    return false;
}
