#include "process/SceneExporter.h"

#include "base/ConversionLog.h"
#include "options/Options.h"
#include "scene/Scene.h"
#include "scene/SceneSource.h"
#include "scene/SceneWrite.h"

void CSceneExporter::SetScene(std::unique_ptr<SScene> scene)
{
    m_pScene = std::move(scene);
}

bool CSceneExporter::Write(const char* outputPath, const COptionsData& options, const char* versionString)
{
    ConversionProgress(95, "Saving");
    int result = 1;
    if (m_pScene) {
        switch (options.GetExpFormat()) {
        case eExpFormatScene:
            result = WriteSceneFile(*m_pScene, outputPath, options.ToText().c_str(), versionString);
            break;
        case eExpFormatHeader:
        case eExpFormatSource: result = WriteSceneSource(outputPath, options, versionString, *m_pScene); break;
        default: break;
        }
    }
    if (result != 0) {
        ConversionLog(eLogError, "Failed to write output file");
        return false;
    }
    ConversionProgress(100, "Complete");
    return true;
}
