#include "collada/Collada2QEF.h"

#include <QFileInfo>
#include <QString>

#include "base/ConversionLog.h"
#include "base/ResultCodes.h"
#include "collada/Animation.h"
#include "collada/DAEParser.h"
#include "collada/ElCore.h"
#include "collada/ElGeometry.h"
#include "collada/ElMaterial.h"
#include "collada/ElScene.h"
#include "collada/MaterialConvert.h"
#include "options/Options.h"

namespace {

// Gives every node and geometry the metres per unit of its scope: its own
// asset's unit, else the nearest enclosing node's, else the document's.
void ApplyUnits(CEl_Collada& document, SColladaImport& im)
{
    const double root = document.UnitMeter();
    im.unitScale = float(root);
    CDAEIndex& index = document.Index();
    for (CDAEObject* o : index.Objects(eCatNode)) {
        CEl_Node* node = static_cast<CEl_Node*>(o);
        double meter = 0;
        for (const CEl_Node* n = node; n && meter <= 0; n = n->ParentNode())
            meter = n->OwnMeter();
        node->SetUnitScale(float(meter > 0 ? meter : root));
    }
    for (CDAEObject* o : index.Objects(eCatGeometry)) {
        if (o->Kind() != eEl_geometry)
            continue;
        CEl_Geometry* geometry = static_cast<CEl_Geometry*>(o);
        geometry->SetUnitScale(float(geometry->OwnMeter() > 0 ? geometry->OwnMeter() : root));
    }
}

} // namespace

CCollada2QEF::CCollada2QEF() = default;
CCollada2QEF::~CCollada2QEF() = default;

namespace {

// One warning naming the first element (in document order) whose numbers
// were written with decimal commas.
void WarnOfDecimalCommas(CEl_Collada& document)
{
    for (const CDAEObject* o : document.Index().Objects(eCatAll)) {
        if (!o->HasDecimalCommas())
            continue;
        const char* id = o->GetId() ? o->GetId() : o->GetSid();
        ConversionLog(eLogWarning,
                      "Warning: The document writes numbers with decimal commas (first in <%s%s%s%s>); they were "
                      "read as decimal points.",
                      DAEElementName(o->Kind()), id ? " id=\"" : "", id ? id : "", id ? "\"" : "");
        return;
    }
}

} // namespace

int CCollada2QEF::Import(const char* inputPath, SImportScene* scene, const COptionsData* options,
                         const SImportSettings& settings)
{
    if (!inputPath || !*inputPath || !scene || !options)
        return E2QEF_READ_FAILED;
    SColladaImport im;
    if (!CDAEParser::LoadDocument(inputPath, im.document) || !im.document)
        return E2QEF_READ_FAILED;
    CEl_Collada& document = *im.document;
    im.upAxis = document.UpAxisMode();
    im.options = options;
    im.scene = scene;
    im.settings = settings;

    WarnOfDecimalCommas(document);

    CDAEObject* visualScene = document.VisualScene();
    if (!visualScene) {
        ConversionLog(eLogError, "Error: No scene found in %s.", inputPath);
        return E2QEF_NO_SCENE;
    }
    if (options->GetBool(opt::bApplyUnit))
        ApplyUnits(document, im);
    m_pImport = &im;
    m_bWarnedCopyLimit = false;
    m_bWarnedCopyBudget = false;
    m_copiedBytes = 0;

    // Materials first: geometry refers to their scene indices.
    const std::string documentFolder = QFileInfo(QString::fromUtf8(inputPath)).absolutePath().toStdString();
    const std::string effectFolder = !settings.outputFolder.empty() ? settings.outputFolder : documentFolder;
    for (CDAEObject* library : document.Libraries(CEl_Collada::eLibMaterials))
        for (CDAEObject* c : Children(library))
            if (c->Kind() == eEl_material)
                ConvertMaterial(*static_cast<CEl_Material*>(c), *scene, options, document.Index(), effectFolder,
                                documentFolder);

    m_libraryNodes.clear();
    const auto& animationLibraries = document.Libraries(CEl_Collada::eLibAnimations);
    m_pAnimations =
        animationLibraries.empty() ? nullptr : static_cast<CEl_Library_Animations*>(animationLibraries.front());
    m_pAnimation.reset();
    if (m_pAnimations) {
        // Channels of every animation library count, not only the first's.
        m_pAnimation = std::make_unique<CAnimationLibrary>(im.warnings);
        m_pAnimation->Prepare(animationLibraries, options->UsesFrames(), settings.frameBlockLimit);
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
        scene->animated = false;

    // Nothing after the import reads the element model; it goes with im
    // rather than being held through processing and writing.
    m_pImport = nullptr;
    m_pAnimations = nullptr;
    m_pAnimation.reset();
    return E2QEF_SUCCESS;
}
