#include "process/SceneExporter.h"

#include "app/ConversionLog.h"
#include "scene/Scene.h"

CSceneExporter::CSceneExporter() = default;
CSceneExporter::~CSceneExporter() = default;

// Placeholder until the processing pipeline exists.
bool CSceneExporter::Process(const SImportScene&, const COptionsData&)
{
    ConversionLog(eLogError, "Scene processing is not available in this build.");
    return false;
}
