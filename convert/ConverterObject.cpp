#include "convert/ConverterObject.h"

#include <QDir>
#include <QFileInfo>

#include <memory>
#include <new>

#include "base/ConversionLog.h"
#include "convert/PostExport.h"
#include "convert/RecentFiles.h"
#include "base/Version.h"
#include "collada/Collada2QEF.h"
#include "gltf/Gltf2QEF.h"
#include "gltf/ImportFormat.h"
#include "scene/ImportScene.h"
#include "process/SceneExporter.h"

std::atomic<CConverterObject*> g_pActiveConverter{nullptr};

namespace {
const int kRegisterMetaType = qRegisterMetaType<E2QEFErrorCodes>("E2QEFErrorCodes");

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
} // namespace

CConverterObject::CConverterObject(const COptions& options, const QString& inputPath, QObject* parent)
    : QObject(parent), m_options(options), m_inputPath(inputPath)
{
    (void)kRegisterMetaType;
    g_pActiveConverter = this;
    SetLogSink(this);
}

CConverterObject::~CConverterObject()
{
    ClearLogSink(this);
    CConverterObject* self = this;
    g_pActiveConverter.compare_exchange_strong(self, nullptr);
}

void CConverterObject::LogMessage(int level, const char* text)
{
    // Paths on this platform are UTF-8, so messages are read as UTF-8.
    const QString message = QString::fromUtf8(text);
    switch (level) {
    case eLogSuccess: emit conversionSuccess(message); break;
    case eLogInfo: emit conversionInfo(message); break;
    case eLogWarning: emit conversionWarning(message); break;
    case eLogError:
        ++m_errorLines;
        emit conversionError(message);
        break;
    default: break; // detail lines are formatted and dropped
    }
}

void CConverterObject::LogProgress(int percent, const char* text)
{
    emit progressUpdated(percent, QString::fromUtf8(text));
}

void CConverterObject::start()
{
    m_errorLines = 0;
    m_result = Run();
    if (m_result != E2QEF_SUCCESS && m_errorLines == 0) {
        const QByteArray shown = m_inputPath.toUtf8();
        ConversionLog(eLogError, FallbackReason(m_result), shown.constData());
    }
    emit finished(static_cast<E2QEFErrorCodes>(m_result));
    emit finished();
}

int CConverterObject::Run()
{
    const QFileInfo input(m_inputPath);
    // Every failure says why in the log, where the window shows it in red.
    const QByteArray shown = m_inputPath.toUtf8();
    if (m_inputPath.isEmpty() || !input.exists() || !input.isFile()) {
        ConversionLog(eLogError, "Error: There is no file at '%s'.", shown.constData());
        return E2QEF_READ_FAILED;
    }
    const EImportFormat format = ImportFormatOf(input.fileName());
    if (format == eImportFormatNone) {
        ConversionLog(eLogError, "Error: '%s' is not a Collada (.dae) or glTF (.gltf, .glb) file.", shown.constData());
        return E2QEF_NOT_COLLADA;
    }

    const std::string outputPath = m_options.OutputPath();
    // Unique pointers release in reverse order of creation: exporter, importer,
    // import scene, as the run always has.
    std::unique_ptr<SImportScene> scene;
    std::unique_ptr<I2QEF> importer;
    std::unique_ptr<CSceneExporter> exporter;
    try {
        scene.reset(new SImportScene);
        if (format == eImportFormatGltf) {
            importer.reset(new CGltf2QEF);
        } else {
            CCollada2QEF* collada = new CCollada2QEF;
            importer.reset(collada);
            if (!outputPath.empty())
                collada->SetOutputFolder(QFileInfo(QString::fromStdString(outputPath)).absolutePath().toStdString());
        }
    } catch (const std::bad_alloc&) {
        return E2QEF_OUT_OF_MEMORY;
    }

    const int result = Import(*importer, *scene);
    if (result != 0)
        return result;

    try {
        exporter.reset(new CSceneExporter);
        exporter->SetOutputPath(outputPath);
        if (!exporter->Process(*scene, m_options))
            return E2QEF_PROCESS_FAILED;
        if (!exporter->Write(outputPath.c_str(), m_options, MW_VERSION_STRING))
            return E2QEF_WRITE_FAILED;
        RunPostExportActions(m_options, outputPath.c_str());
    } catch (const std::bad_alloc&) {
        ConversionLog(eLogError, "Out of memory.");
        return E2QEF_OUT_OF_MEMORY;
    } catch (const std::exception& e) {
        ConversionLog(eLogError, "Unexpected error: %s", e.what());
        return E2QEF_EXCEPTION;
    } catch (...) {
        return E2QEF_EXCEPTION;
    }

    if (m_recordExport)
        RecordExportedFile(outputPath.c_str());
    ConversionLog(eLogSuccess, "%s successfully written.", outputPath.c_str());
    return E2QEF_SUCCESS;
}

int CConverterObject::Import(I2QEF& importer, SImportScene& scene)
{
    try {
        const QByteArray path = m_inputPath.toUtf8();
        return importer.Import(path.constData(), &scene, &m_options);
    } catch (const std::bad_alloc&) {
        ConversionLog(eLogError, "Out of memory.");
    } catch (const std::exception& e) {
        ConversionLog(eLogError, "Unexpected error: %s", e.what());
    } catch (...) {
    }
    return E2QEF_EXCEPTION;
}
