#include "collada/Collada2QEF.h"

#include <QFileInfo>
#include <QString>

#include "base/ConversionLog.h"
#include "base/ResultCodes.h"
#include "collada/Animation.h"
#include "collada/DAEParser.h"
#include "collada/ElCore.h"
#include "collada/ElMaterial.h"
#include "collada/ElScene.h"
#include "collada/MaterialConvert.h"
#include "options/Options.h"

CCollada2QEF::CCollada2QEF() = default;
CCollada2QEF::~CCollada2QEF() = default;

namespace {

// Clears the hub's pointers to the caller's scene and options on every way
// out of an import.
struct SHubImportGuard {
    C2QHub& hub;
    ~SHubImportGuard()
    {
        hub.SetScene(nullptr);
        hub.SetOptions(nullptr);
    }
};

} // namespace

int CCollada2QEF::Import(const char* inputPath, SImportScene* scene, COptionsData* options)
{
    if (!inputPath || !*inputPath || !scene || !options)
        return E2QEF_READ_FAILED;
    C2QHub& hub = C2QHub::Instance();
    SHubImportGuard guard{hub};
    if (!CDAEParser::LoadDocument(inputPath) || !hub.Document())
        return E2QEF_READ_FAILED;
    CEl_Collada& document = *hub.Document();
    hub.ClearWarnings();
    hub.SetUpAxis(document.UpAxisMode());
    m_eUpAxis = document.UpAxisMode();

    CDAEObject* visualScene = document.VisualScene();
    if (!visualScene) {
        ConversionLog(eLogError, "Error: No scene found in %s.", inputPath);
        hub.SetDocument(nullptr);
        return E2QEF_NO_SCENE;
    }
    hub.SetScene(scene);
    hub.SetOptions(options);
    m_pScene = scene;
    m_pOptions = options;
    m_bWarnedCopyLimit = false;
    m_bWarnedCopyBudget = false;
    m_copiedBytes = 0;

    // Materials first: geometry refers to their scene indices.
    const std::string effectFolder =
        !m_outputFolder.empty() ? m_outputFolder : QFileInfo(QString::fromUtf8(inputPath)).absolutePath().toStdString();
    for (CDAEObject* library : document.Libraries(CEl_Collada::eLibMaterials))
        for (CDAEObject* c : Children(library))
            if (c->Kind() == eEl_material)
                ConvertMaterial(*static_cast<CEl_Material*>(c), *scene, options, effectFolder);

    m_libraryNodes.clear();
    const auto& animationLibraries = document.Libraries(CEl_Collada::eLibAnimations);
    m_pAnimations =
        animationLibraries.empty() ? nullptr : static_cast<CEl_Library_Animations*>(animationLibraries.front());
    m_pAnimation.reset();
    if (m_pAnimations) {
        // Channels of every animation library count, not only the first's.
        m_pAnimation = std::make_unique<CAnimationLibrary>();
        m_pAnimation->Prepare(animationLibraries, options->UsesFrames());
    }

    CDAEIndex& index = document.Index();
    // Plain nodes and joints get their records before anything refers to
    // them (skins name joints, cameras name targets).
    for (CDAEObject* o : index.Objects(eCatNode)) {
        CEl_Node* node = static_cast<CEl_Node*>(o);
        if ((node->Content() == eNodeContentPlain || node->Content() == eNodeContentJoint) &&
            node->ConvertedIndex() < 0)
            ConvertNode(node, nullptr, false);
    }
    // Every library_nodes, not only the first: an instance_node may name a
    // node in any of them.
    for (CDAEObject* library : document.Libraries(CEl_Collada::eLibNodes))
        for (CDAEObject* c : Children(library))
            if (c->Kind() == eEl_node)
                ConvertNode(static_cast<CEl_Node*>(c), nullptr, true);
    for (CDAEObject* c : Children(visualScene))
        if (c->Kind() == eEl_node)
            ConvertNode(static_cast<CEl_Node*>(c), nullptr, true);

    LinkCameraTargets();

    if (m_pAnimation)
        m_pAnimation->Finish(*scene);
    else
        options->SetBool(opt::bExportAnimations, false);

    // Nothing after the import reads the element model; release it rather
    // than hold it through processing and writing.
    hub.SetDocument(nullptr);
    m_pScene = nullptr;
    m_pOptions = nullptr;
    m_pAnimations = nullptr;
    m_pAnimation.reset();
    return E2QEF_SUCCESS;
}
