#include "convert/Convert.h"

#include <QFileInfo>
#include <QString>

#include <memory>
#include <new>

#include "base/Version.h"
#include "collada/Collada2QEF.h"
#include "convert/PostExport.h"
#include "convert/SceneImages.h"
#include "gltf/Gltf2QEF.h"
#include "gltf/ImportFormat.h"
#include "options/Options.h"
#include "process/SceneExporter.h"
#include "scene/ImportScene.h"

namespace {

// What a failed run says when no step has said why: the user always reads a
// reason, in the window and on the command line.
const char* FallbackReason(int code)
{
    switch (code) {
    case E2QEF_READ_FAILED: return "Error: '%s' cannot be read.";
    case E2QEF_PROCESS_FAILED: return "Error: The scene from '%s' could not be processed.";
    case E2QEF_WRITE_FAILED: return "Error: The output of '%s' could not be written.";
    case E2QEF_OUT_OF_MEMORY: return "Error: Out of memory while converting '%s'.";
    case E2QEF_NO_SCENE: return "Error: No scene found in %s.";
    default: return "Error: The conversion of '%s' stopped on an unexpected error.";
    }
}

// The run's sink on its thread: hands every message to the caller's sink and
// counts the error lines. The caller's sink and file trace come back when it
// ends.
class CRunScope : public ILogSink {
public:
    CRunScope(ILogSink* sink, SConvertResult& result)
        : m_sink(sink), m_result(result), m_outerSink(CurrentLogSink()), m_outerTrace(SetFileTrace(&result.files))
    {
        SetLogSink(this);
    }
    ~CRunScope() override
    {
        SetLogSink(m_outerSink);
        SetFileTrace(m_outerTrace);
    }
    CRunScope(const CRunScope&) = delete;
    CRunScope& operator=(const CRunScope&) = delete;

    void LogMessage(int level, const char* text) override
    {
        if (level == eLogError)
            ++m_result.errorLines;
        if (m_sink)
            m_sink->LogMessage(level, text);
    }
    void LogProgress(int percent, const char* text) override
    {
        if (m_sink)
            m_sink->LogProgress(percent, text);
    }

private:
    ILogSink* m_sink;
    SConvertResult& m_result;
    ILogSink* m_outerSink;
    SFileTrace* m_outerTrace;
};

// The import step; an exception leaving it ends the run with its reason.
int Import(I2QEF& importer, const std::string& inputPath, SImportScene& scene, const COptions& options,
           const SImportSettings& settings)
{
    try {
        return importer.Import(inputPath.c_str(), &scene, &options, settings);
    } catch (const std::bad_alloc&) {
        ConversionLog(eLogError, "Out of memory.");
    } catch (const std::exception& e) {
        ConversionLog(eLogError, "Unexpected error: %s", e.what());
    } catch (...) {
    }
    return E2QEF_EXCEPTION;
}

// A texture without texture coordinates can never be mapped: said once, with
// the option that exports them.
void WarnUnmappedTextures(const SImportScene& scene, const COptionsData& options)
{
    if (options.GetBool(opt::bExportMappingChannels) || !options.GetBool(opt::bExportGeometry))
        return;
    for (const SMaterial& m : scene.materials)
        for (const std::string& texture : m.textures)
            if (!texture.empty()) {
                ConversionLog(eLogWarning,
                              "Warning: Material '%s' names the texture '%s', but mapping channels are not exported "
                              "(bExportMappingChannels=0): no texture can be mapped.",
                              m.name.c_str(), texture.c_str());
                return;
            }
}

int Run(const std::string& inputPath, const COptions& options, SImportSettings settings)
{
    const QString input = QString::fromStdString(inputPath);
    const QFileInfo info(input);
    // Every failure says why in the log, where the window shows it in red.
    if (inputPath.empty() || !info.exists() || !info.isFile()) {
        ConversionLog(eLogError, "Error: There is no file at '%s'.", inputPath.c_str());
        return E2QEF_READ_FAILED;
    }
    const EImportFormat format = ImportFormatOf(info.fileName());
    if (format == eImportFormatNone) {
        ConversionLog(eLogError, "Error: '%s' is not a Collada (.dae) or glTF (.gltf, .glb) file.", inputPath.c_str());
        return E2QEF_NOT_COLLADA;
    }
    NoteFileRead(inputPath);

    const std::string outputPath = options.OutputPath();
    if (settings.outputFolder.empty() && !outputPath.empty())
        settings.outputFolder = QFileInfo(QString::fromStdString(outputPath)).absolutePath().toStdString();
    // Unique pointers release in reverse order of creation: exporter, importer,
    // import scene, as the run always has.
    std::unique_ptr<SImportScene> scene;
    std::unique_ptr<I2QEF> importer;
    std::unique_ptr<CSceneExporter> exporter;
    try {
        scene.reset(new SImportScene);
        if (format == eImportFormatGltf)
            importer.reset(new CGltf2QEF);
        else
            importer.reset(new CCollada2QEF);
    } catch (const std::bad_alloc&) {
        return E2QEF_OUT_OF_MEMORY;
    }

    const int result = Import(*importer, inputPath, *scene, options, settings);
    if (result != 0)
        return result;

    try {
        const COptionsData effective = ExportOptions(options, *scene);
        if (effective.GetBool(opt::bExportMaterials)) {
            PlaceSceneImages(*scene, settings.outputFolder, settings.copyTextures);
            WarnUnmappedTextures(*scene, effective);
        }
        exporter.reset(new CSceneExporter);
        exporter->SetOutputPath(outputPath);
        // The import scene is not read again: its meshes go as they are built.
        if (!exporter->Process(std::move(*scene), effective))
            return E2QEF_PROCESS_FAILED;
        if (!exporter->Write(outputPath.c_str(), effective, MW_VERSION_STRING))
            return E2QEF_WRITE_FAILED;
        NoteFileWritten(outputPath);
        RunPostExportActions(effective, outputPath.c_str());
    } catch (const std::bad_alloc&) {
        ConversionLog(eLogError, "Out of memory.");
        return E2QEF_OUT_OF_MEMORY;
    } catch (const std::exception& e) {
        ConversionLog(eLogError, "Unexpected error: %s", e.what());
        return E2QEF_EXCEPTION;
    } catch (...) {
        return E2QEF_EXCEPTION;
    }

    ConversionLog(eLogSuccess, "%s successfully written.", outputPath.c_str());
    return E2QEF_SUCCESS;
}

} // namespace

SConvertResult Convert(const std::string& inputPath, const COptions& options, ILogSink* sink,
                       const SImportSettings& settings)
{
    SConvertResult result;
    result.outputPath = options.OutputPath();
    CRunScope scope(sink, result);
    result.code = Run(inputPath, options, settings);
    if (result.code != E2QEF_SUCCESS && result.errorLines == 0)
        ConversionLog(eLogError, FallbackReason(result.code), inputPath.c_str());
    return result;
}
