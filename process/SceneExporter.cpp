#include "process/SceneExporter.h"

#include "base/ConversionLog.h"
#include "scene/ImportScene.h"
#include "options/Options.h"
#include "process/AnimationReduce.h"
#include "process/ProcessMesh.h"
#include "process/SceneBuild.h"
#include "process/VertexData.h"
#include "process/VertexLayout.h"
#include "process/WorldSpace.h"
#include "scene/Scene.h"
#include "scene/SceneRead.h"

CSceneExporter::CSceneExporter() = default;
CSceneExporter::~CSceneExporter() = default;

COptionsData ExportOptions(const COptionsData& options, const SImportScene& scene)
{
    COptionsData effective = options;
    if (!scene.animated)
        effective.SetBool(opt::bExportAnimations, false);
    return effective;
}

bool CSceneExporter::Process(const SImportScene& source, const COptionsData& given)
{
    return Process(source, given, nullptr);
}

bool CSceneExporter::Process(SImportScene&& source, const COptionsData& given)
{
    return Process(source, given, &source);
}

bool CSceneExporter::Process(const SImportScene& source, const COptionsData& given, SImportScene* release)
{
    const COptionsData options = ExportOptions(given, source);
    m_pScene = std::make_unique<SScene>();
    SScene& scene = *m_pScene;

    ConversionProgress(0, "Export stage 1");
    SWorkScene work;
    BuildScene(source, options, scene, work, release);

    ConversionLog(eLogInfo, "Complete");
    ConversionProgress(40, "Export stage 2");
    ResolveReferences(work);

    ConversionLog(eLogInfo, "Complete");
    ConversionProgress(50, "Export stage 3");
    ReduceAnimation(scene, work, options);

    ConversionLog(eLogInfo, "Complete");
    ConversionProgress(75, "Final export stage");
    if (!ProcessMeshes(options, scene.pMeshes))
        return false;

    if (!options.GetBool(opt::bExportModelSpace)) {
        CreateAnimCache(scene);
        const uint32_t frame = options.GetUInt(opt::uiStaticFrame);
        SelectFrame(scene, frame < scene.uiFrameCount ? float(frame) : 0.0f);
        auto world = std::make_unique<SScene>();
        ConvertToWorldSpace(scene, *world);
        m_pScene = std::move(world);
    }
    SScene& out = *m_pScene;

    if (options.GetCS() == eCSDirectX)
        MirrorNodeAnimation(out);

    const bool interleave = options.GetBool(opt::bInterleaved);
    const uint32_t padUnit = options.GetBool(opt::bAlignData) ? options.GetUInt(opt::uiPadDataTo) : 1;
    for (SSceneMesh& mesh : out.pMeshes) {
        ConvertMeshVertexData(options, mesh);
        if (interleave)
            InterleaveChannels(mesh, padUnit);
    }

    if (options.GetBool(opt::bMerge)) {
        const std::string& path =
            options.String(opt::sMergeSrc).empty() ? m_outputPath : options.String(opt::sMergeSrc);
        // A missing or unreadable merge source is skipped without a word.
        SScene from;
        if (!path.empty() && LoadSceneFile(from, path.c_str()) == 0)
            MergeMaterials(out, from);
    }

    ConversionLog(eLogInfo, "Complete");
    CreateAnimCache(out);
    return true;
}
