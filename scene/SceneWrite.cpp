#include "app/ConversionLog.h"
#include "process/SceneExporter.h"

// Placeholder until the scene file writer exists.
bool CSceneExporter::Write(const char*, const COptionsData&, const char*, bool)
{
    ConversionLog(eLogError, "Failed to write output file");
    return false;
}
