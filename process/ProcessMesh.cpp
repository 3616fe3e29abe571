#include "process/ProcessMesh.h"

// Placeholder until the per-mesh processing exists: meshes pass unchanged.
bool ProcessMesh(const COptionsData&, SSceneMesh&)
{
    return true;
}
