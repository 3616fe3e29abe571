#include "gui/OptionsWidget.h"

#include "gui/FileDialogFilter.h"
#include "gui/FileDialogStart.h"
#include "gui/ToolTipText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QUrl>

#include "gui/VectorFormatWidget.h"

namespace {

// The vertex format rows in the order they are shown, with their labels.
struct SRowDef {
    EUIText uiText;
    EVertexAttrib attrib;
};
const SRowDef kRowDefs[eVACount] = {
    {eTextPosition, eVAPosition},
    {eTextNormal, eVANormal},
    {eTextColour, eVAColour},
    {eTextBoneIndices, eVABoneIndices},
    {eTextBoneWeights, eVABoneWeights},
    {eTextUVW0, eVAUVW0},
    {eTextUVW1, eVAUVW1},
    {eTextUVW2, eVAUVW2},
    {eTextUVW3, eVAUVW3},
    {eTextUVW4, eVAUVW4},
    {eTextUVW5, eVAUVW5},
    {eTextUVW6, eVAUVW6},
    {eTextUVW7, eVAUVW7},
    {eTextTangent, eVATangent},
    {eTextBinormal, eVABinormal},
};

// Profile files the editor reads options from when they are dropped on it.
bool IsOptionsFile(const QUrl& url)
{
    if (!url.isLocalFile())
        return false;
    const QString suffix = QFileInfo(url.toLocalFile()).suffix().toLower();
    return suffix == QLatin1String("qef") || suffix == QLatin1String("h") || suffix == QLatin1String("cpp") ||
           suffix == QLatin1String("txt") || suffix == QLatin1String("cfg");
}

template <class T>
T* Named(T* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QGroupBox* Group(QWidget* parent, const char* name, bool checkable = false)
{
    QGroupBox* box = Named(new QGroupBox(parent), name);
    box->setCheckable(checkable);
    return box;
}

void SelectRow(QComboBox* combo, const COptionsWidget::SComboRow* table, int count, int32_t value,
               bool matchIndexed = false, bool indexed = false)
{
    for (int i = 0; i < combo->count(); ++i) {
        const int row = combo->itemData(i).toInt();
        if (row < 0 || row >= count)
            continue;
        if (table[row].value == value && (!matchIndexed || table[row].indexed == indexed)) {
            combo->setCurrentIndex(i);
            return;
        }
    }
}

// The table row stored in the combo item at index, or -1.
int RowAt(const QComboBox* combo, int index, int count)
{
    if (index < 0 || index >= combo->count())
        return -1;
    bool ok = false;
    const int row = combo->itemData(index).toInt(&ok);
    return ok && row >= 0 && row < count ? row : -1;
}

void FillCombo(QComboBox* combo, int count)
{
    for (int row = 0; row < count; ++row)
        combo->addItem(QString(), row);
}

void TranslateCombo(QComboBox* combo, const COptionsWidget::SComboRow* table, int count)
{
    for (int i = 0; i < combo->count(); ++i) {
        const int row = RowAt(combo, i, count);
        if (row >= 0)
            combo->setItemText(i, UIText(table[row].uiText));
    }
}

QPushButton* BrowseButton(QWidget* parent, const char* name)
{
    QPushButton* button = Named(new QPushButton(QStringLiteral("..."), parent), name);
    button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
    return button;
}

QScrollArea* Scrolled(QWidget* page, const char* name)
{
    QScrollArea* area = Named(new QScrollArea, name);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidget(page);
    return area;
}

} // namespace

const COptionsWidget::SComboRow COptionsWidget::kPrimitiveRows[4] = {
    {eTextTriangleList, ePrimTriangleList, false},
    {eTextIndexedTriangleList, ePrimTriangleList, true},
    {eTextTriangleStrips, ePrimTriangleStrip, false},
    {eTextIndexedTriangleStrips, ePrimTriangleStrip, true},
};
// meshoptimizer serves the third method, so all four are always offered.
const COptionsWidget::SComboRow COptionsWidget::kSortingRows[4] = {
    {eTextNone, eTriSortNone, false},
    {eTextGeometrySort, eTriSortGeometry, false},
    {eTextVertexCacheOrder, eTriSortD3DX, false},
    {eTextTriangleStripOrder, eTriSortTriStrip, false},
};
const COptionsWidget::SComboRow COptionsWidget::kCoordinateRows[2] = {
    {eTextOpenGL, eCSOpenGL, false},
    {eTextDirectX, eCSDirectX, false},
};
const COptionsWidget::SComboRow COptionsWidget::kSpaceRows[2] = {
    {eTextModelSpace, 1, false},
    {eTextWorldSpace, 0, false},
};

COptionsWidget::COptionsWidget(QWidget* parent, Qt::WindowFlags flags, COptions* options)
    : QWidget(parent, flags), m_pOptions(options)
{
    BuildForm();
    setAcceptDrops(true);
    // Beside the profile list the options take every spare pixel of width.
    QSizePolicy policy = sizePolicy();
    policy.setHorizontalStretch(1);
    setSizePolicy(policy);

    // Vertex format rows; each edits its attribute in place.
    for (CVectorFormatWidget* row : m_apRows) {
        connect(row, &CVectorFormatWidget::dataTypeChanged, this, &COptionsWidget::onDataTypeChanged);
        connect(row, &CVectorFormatWidget::vectorFormatChanged, this, &COptionsWidget::onVectorTypeChanged);
    }
    connect(m_pPositionRow, &CVectorFormatWidget::dataTypeChanged, this, &COptionsWidget::onPositionDataTypeChanged);
    connect(m_pPositionRow, &CVectorFormatWidget::resized, this, &COptionsWidget::positionLabels);

    FillCombo(m_pPrimitiveTypeList, 4);
    FillCombo(m_pSortingList, 4);
    FillCombo(m_pCoordinateSystemList, 2);
    FillCombo(m_pSpaceList, 2);
    ApplyTexts();
    if (m_pOptions) {
        SelectRow(m_pPrimitiveTypeList, kPrimitiveRows, 4, m_pOptions->GetPrimType(), true,
                  m_pOptions->GetBool(opt::bIndexed));
        SelectRow(m_pSortingList, kSortingRows, 4, m_pOptions->GetTriSort());
        SelectRow(m_pCoordinateSystemList, kCoordinateRows, 2, m_pOptions->GetCS());
        SelectRow(m_pSpaceList, kSpaceRows, 2, m_pOptions->GetBool(opt::bExportModelSpace) ? 1 : 0);
    }
    connect(m_pPrimitiveTypeList, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &COptionsWidget::onPrimitiveTypeSelected);
    connect(m_pSortingList, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &COptionsWidget::onTriSortingTypeSelected);
    connect(m_pCoordinateSystemList, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &COptionsWidget::onCSSelected);
    connect(m_pSpaceList, qOverload<int>(&QComboBox::currentIndexChanged), this, &COptionsWidget::onSpaceSelected);

    BindControls();
    UpdateStaticFrameEnabled();
    UpdateUnpackEnabled();
    m_pUserDataGB->hide();
    RefreshAutoSettings();
}

COptionsWidget::~COptionsWidget() = default;

// --- Form -------------------------------------------------------------------

void COptionsWidget::BuildForm()
{
    setObjectName(QStringLiteral("OptionsWidgetClass"));
    QVBoxLayout* layout = Named(new QVBoxLayout(this), "verticalLayout");
    layout->setContentsMargins(0, 0, 0, 0);
    m_pTabs = Named(new QTabWidget(this), "OptionsTabs");
    layout->addWidget(m_pTabs);
    m_pTabs->addTab(Scrolled(BuildGeometryPage(), "GeometryScroll"), QString());
    m_pTabs->addTab(Scrolled(BuildMaterialsPage(), "MaterialsScroll"), QString());
    m_pTabs->addTab(Scrolled(BuildTransformationsPage(), "TransformationsScroll"), QString());
    m_pTabs->addTab(Scrolled(BuildUserOptionsPage(), "UserOptionsScroll"), QString());
}

QWidget* COptionsWidget::BuildGeometryPage()
{
    QWidget* page = Named(new QWidget, "GeometryPage");
    QVBoxLayout* pageLayout = new QVBoxLayout(page);
    m_pExportGeometryGB = Group(page, "ExportGeometryGB", true);
    pageLayout->addWidget(m_pExportGeometryGB);
    pageLayout->addStretch(1);

    QHBoxLayout* columns = new QHBoxLayout(m_pExportGeometryGB);
    QVBoxLayout* left = new QVBoxLayout();
    QVBoxLayout* right = new QVBoxLayout();
    columns->addLayout(left, 0);
    columns->addSpacing(12);
    columns->addLayout(right, 0);
    columns->addStretch(1);

    m_pPrimitiveTypeGB = Group(m_pExportGeometryGB, "PrimitiveTypeGB");
    m_pPrimitiveTypeList = Named(new QComboBox(m_pPrimitiveTypeGB), "PrimitiveTypeList");
    (new QVBoxLayout(m_pPrimitiveTypeGB))->addWidget(m_pPrimitiveTypeList);
    left->addWidget(m_pPrimitiveTypeGB);

    // The sorting choices are made by the options record itself unless the
    // user takes them over here.
    m_pCustomSettingsGB = Group(m_pExportGeometryGB, "CustomSettingsGB", true);
    QVBoxLayout* custom = new QVBoxLayout(m_pCustomSettingsGB);
    m_pTriangleDataGB = Group(m_pCustomSettingsGB, "TriangleDataGB");
    m_pSortingMethodGB = Group(m_pTriangleDataGB, "SortingMethodGB");
    m_pSortingList = Named(new QComboBox(m_pSortingMethodGB), "SortingList");
    (new QVBoxLayout(m_pSortingMethodGB))->addWidget(m_pSortingList);
    (new QVBoxLayout(m_pTriangleDataGB))->addWidget(m_pSortingMethodGB);
    custom->addWidget(m_pTriangleDataGB);
    m_pVertexDataGB = Group(m_pCustomSettingsGB, "VertexDataGB");
    m_pSortVerticesCB = Named(new QCheckBox(m_pVertexDataGB), "SortVerticesCB");
    (new QVBoxLayout(m_pVertexDataGB))->addWidget(m_pSortVerticesCB);
    custom->addWidget(m_pVertexDataGB);
    left->addWidget(m_pCustomSettingsGB);

    m_pInterleaveGB = Group(m_pExportGeometryGB, "InterleaveGB", true);
    m_pAlignCB = Named(new QCheckBox(m_pInterleaveGB), "AlignCB");
    (new QVBoxLayout(m_pInterleaveGB))->addWidget(m_pAlignCB);
    left->addWidget(m_pInterleaveGB);

    m_pSkinningGB = Group(m_pExportGeometryGB, "SkinningGB", true);
    QHBoxLayout* skin = new QHBoxLayout(m_pSkinningGB);
    m_pPaletteSizeLabel = Named(new QLabel(m_pSkinningGB), "PaletteSizeLabel");
    m_pPaletteSizeSB = Named(new QSpinBox(m_pSkinningGB), "PaletteSizeSB");
    m_pPaletteSizeSB->setRange(0, 9999);
    m_pPaletteSizeLabel->setBuddy(m_pPaletteSizeSB);
    skin->addWidget(m_pPaletteSizeLabel, 1);
    skin->addWidget(m_pPaletteSizeSB);
    left->addWidget(m_pSkinningGB);

    m_pMappingChannelsGB = Group(m_pExportGeometryGB, "MappingChannelsGB", true);
    m_pFlipVCB = Named(new QCheckBox(m_pMappingChannelsGB), "FlipVCB");
    (new QVBoxLayout(m_pMappingChannelsGB))->addWidget(m_pFlipVCB);
    left->addWidget(m_pMappingChannelsGB);

    m_pTangentSpaceGB = Group(m_pExportGeometryGB, "TangentSpaceGB", true);
    QGridLayout* tangent = new QGridLayout(m_pTangentSpaceGB);
    m_pMappingChannelLabel = Named(new QLabel(m_pTangentSpaceGB), "MappingChannelLabel");
    m_pMappingChannelSB = Named(new QSpinBox(m_pTangentSpaceGB), "MappingChannelSB");
    m_pMappingChannelSB->setRange(0, 7);
    m_pMappingChannelLabel->setBuddy(m_pMappingChannelSB);
    m_pVertexSplittingLabel = Named(new QLabel(m_pTangentSpaceGB), "VertexSplittingLabel");
    m_pVertexSplittingSB = Named(new QDoubleSpinBox(m_pTangentSpaceGB), "VertexSplittingSB");
    m_pVertexSplittingSB->setRange(-1.0, 1.0);
    m_pVertexSplittingSB->setDecimals(3);
    m_pVertexSplittingSB->setSingleStep(0.001);
    m_pVertexSplittingLabel->setBuddy(m_pVertexSplittingSB);
    tangent->addWidget(m_pMappingChannelLabel, 0, 0);
    tangent->addWidget(m_pMappingChannelSB, 0, 1);
    tangent->addWidget(m_pVertexSplittingLabel, 1, 0);
    tangent->addWidget(m_pVertexSplittingSB, 1, 1);
    tangent->setColumnStretch(0, 1);
    left->addStretch(1);

    // Vertex format table: headings over the position row's columns, then
    // one row per attribute.
    m_pHeader = Named(new QWidget(m_pExportGeometryGB), "VertexFormatHeader");
    static const char* const kHeaderNames[6] = {"DataTypeHeader", "VectorHeader", "A0Header",
                                                "A1Header",       "A2Header",     "A3Header"};
    int headerHeight = 0;
    for (int i = 0; i < 6; ++i) {
        m_apHeaderLabels[i] = Named(new QLabel(m_pHeader), kHeaderNames[i]);
        headerHeight = qMax(headerHeight, m_apHeaderLabels[i]->sizeHint().height());
    }
    m_pHeader->setFixedHeight(headerHeight + 2);
    m_pHeader->installEventFilter(this);
    right->addWidget(m_pHeader);
    for (const SRowDef& def : kRowDefs) {
        CVectorFormatWidget* row = new CVectorFormatWidget(def.uiText, m_pExportGeometryGB, m_pOptions, def.attrib);
        row->setObjectName(QStringLiteral("VectorFormat_") +
                           QString::fromLatin1(m_pOptions ? m_pOptions->VertexName(def.attrib).pszName : "row"));
        m_apRows[def.attrib] = row;
        right->addWidget(row);
    }
    m_pPositionRow = m_apRows[eVAPosition];
    // Tangent space stands under the tangent and binormal rows it fills; the
    // two columns then need about the same height, and the page fits a
    // window on a 1280 x 800 screen without scrolling.
    right->addSpacing(6);
    right->addWidget(m_pTangentSpaceGB);
    right->addStretch(1);
    return page;
}

QWidget* COptionsWidget::BuildMaterialsPage()
{
    QWidget* page = Named(new QWidget, "MaterialsPage");
    QVBoxLayout* pageLayout = new QVBoxLayout(page);
    m_pMaterialsGB = Group(page, "MaterialsGB", true);
    QVBoxLayout* materials = new QVBoxLayout(m_pMaterialsGB);
    m_pMergeGB = Group(m_pMaterialsGB, "MergeGB", true);
    QHBoxLayout* merge = new QHBoxLayout(m_pMergeGB);
    m_pMergeSrcLabel = Named(new QLabel(m_pMergeGB), "MergeSrcLabel");
    m_pMergeSrcLE = Named(new QLineEdit(m_pMergeGB), "MergeSrcLE");
    m_pMergeSrcBrowse = BrowseButton(m_pMergeGB, "MergeSrcBrowse");
    m_pMergeSrcLabel->setBuddy(m_pMergeSrcLE);
    merge->addWidget(m_pMergeSrcLabel);
    merge->addWidget(m_pMergeSrcLE, 1);
    merge->addWidget(m_pMergeSrcBrowse);
    materials->addWidget(m_pMergeGB);
    m_pInvertTransparencyCB = Named(new QCheckBox(m_pMaterialsGB), "InvertTransparencyCB");
    materials->addWidget(m_pInvertTransparencyCB);
    pageLayout->addWidget(m_pMaterialsGB);
    pageLayout->addStretch(1);
    return page;
}

QWidget* COptionsWidget::BuildTransformationsPage()
{
    QWidget* page = Named(new QWidget, "TransformationsPage");
    QVBoxLayout* pageLayout = new QVBoxLayout(page);

    m_pAnimationsGB = Group(page, "AnimationsGB", true);
    m_pIndexAnimationsCB = Named(new QCheckBox(m_pAnimationsGB), "IndexAnimationsCB");
    (new QVBoxLayout(m_pAnimationsGB))->addWidget(m_pIndexAnimationsCB);
    pageLayout->addWidget(m_pAnimationsGB);

    m_pCoordinateSystemGB = Group(page, "CoordinateSystemGB");
    QGridLayout* coords = new QGridLayout(m_pCoordinateSystemGB);
    m_pCoordinateSystemList = Named(new QComboBox(m_pCoordinateSystemGB), "CoordinateSystemList");
    m_pSpaceList = Named(new QComboBox(m_pCoordinateSystemGB), "SpaceList");
    m_pStaticFrameLabel = Named(new QLabel(m_pCoordinateSystemGB), "StaticFrameLabel");
    m_pStaticFrameSB = Named(new QSpinBox(m_pCoordinateSystemGB), "StaticFrameSB");
    m_pStaticFrameSB->setRange(0, 9999);
    m_pStaticFrameLabel->setBuddy(m_pStaticFrameSB);
    coords->addWidget(m_pCoordinateSystemList, 0, 0);
    coords->addWidget(m_pSpaceList, 1, 0);
    coords->addWidget(m_pStaticFrameLabel, 1, 1);
    coords->addWidget(m_pStaticFrameSB, 1, 2);
    coords->setColumnStretch(3, 1);
    pageLayout->addWidget(m_pCoordinateSystemGB);

    m_pMatricesCB = Named(new QCheckBox(page), "MatricesCB");
    pageLayout->addWidget(m_pMatricesCB);
    m_pApplyUnitCB = Named(new QCheckBox(page), "ApplyUnitCB");
    pageLayout->addWidget(m_pApplyUnitCB);

    m_pPrecisionGB = Group(page, "PrecisionGB");
    m_pUnpackMatrixCB = Named(new QCheckBox(m_pPrecisionGB), "UnpackMatrixCB");
    (new QVBoxLayout(m_pPrecisionGB))->addWidget(m_pUnpackMatrixCB);
    pageLayout->addWidget(m_pPrecisionGB);
    pageLayout->addStretch(1);
    return page;
}

QWidget* COptionsWidget::BuildUserOptionsPage()
{
    QWidget* page = Named(new QWidget, "UserOptionsPage");
    QVBoxLayout* pageLayout = new QVBoxLayout(page);

    m_pViewerGB = Group(page, "ViewerGB", true);
    QHBoxLayout* viewer = new QHBoxLayout(m_pViewerGB);
    m_pViewerPathLabel = Named(new QLabel(m_pViewerGB), "ViewerPathLabel");
    m_pViewerPathLE = Named(new QLineEdit(m_pViewerGB), "ViewerPathLE");
    m_pViewerPathBrowse = BrowseButton(m_pViewerGB, "ViewerPathBrowse");
    m_pViewerPathLabel->setBuddy(m_pViewerPathLE);
    viewer->addWidget(m_pViewerPathLabel);
    viewer->addWidget(m_pViewerPathLE, 1);
    viewer->addWidget(m_pViewerPathBrowse);
    pageLayout->addWidget(m_pViewerGB);

    m_pPostExportGB = Group(page, "PostExportGB", true);
    QGridLayout* post = new QGridLayout(m_pPostExportGB);
    m_pCommandLabel = Named(new QLabel(m_pPostExportGB), "CommandLabel");
    m_pCommandLE = Named(new QLineEdit(m_pPostExportGB), "CommandLE");
    m_pArgumentsLabel = Named(new QLabel(m_pPostExportGB), "ArgumentsLabel");
    m_pArgumentsLE = Named(new QLineEdit(m_pPostExportGB), "ArgumentsLE");
    m_pWorkingDirLabel = Named(new QLabel(m_pPostExportGB), "WorkingDirLabel");
    m_pWorkingDirLE = Named(new QLineEdit(m_pPostExportGB), "WorkingDirLE");
    m_pWorkingDirBrowse = BrowseButton(m_pPostExportGB, "WorkingDirBrowse");
    m_pCommandLabel->setBuddy(m_pCommandLE);
    m_pArgumentsLabel->setBuddy(m_pArgumentsLE);
    m_pWorkingDirLabel->setBuddy(m_pWorkingDirLE);
    post->addWidget(m_pCommandLabel, 0, 0);
    post->addWidget(m_pCommandLE, 0, 1, 1, 2);
    post->addWidget(m_pArgumentsLabel, 1, 0);
    post->addWidget(m_pArgumentsLE, 1, 1, 1, 2);
    post->addWidget(m_pWorkingDirLabel, 2, 0);
    post->addWidget(m_pWorkingDirLE, 2, 1);
    post->addWidget(m_pWorkingDirBrowse, 2, 2);
    post->setColumnStretch(1, 1);
    pageLayout->addWidget(m_pPostExportGB);

    // Reserved for user data export; no conversion stage reads it yet.
    m_pUserDataGB = Group(page, "UserDataGB");
    m_pUserDataGB->setTitle(QStringLiteral("Export User data "));
    pageLayout->addWidget(m_pUserDataGB);
    pageLayout->addStretch(1);
    return page;
}

void COptionsWidget::ApplyTexts()
{
    m_pTabs->setTabText(0, UIText(eTextGeometry));
    m_pTabs->setTabToolTip(0, ToolTipText(UIText(eTextGeometryTip)));
    m_pTabs->setTabText(1, UIText(eTextMaterials));
    m_pTabs->setTabToolTip(1, ToolTipText(UIText(eTextMaterialsTip)));
    m_pTabs->setTabText(2, UIText(eTextTransformations));
    m_pTabs->setTabToolTip(2, ToolTipText(UIText(eTextTransformationsTip)));
    m_pTabs->setTabText(3, UIText(eTextUserOptions));
    m_pTabs->setTabToolTip(3, ToolTipText(UIText(eTextUserOptionsTip)));

    // Geometry.
    m_pExportGeometryGB->setTitle(UIText(eTextExportGeometry));
    m_pExportGeometryGB->setToolTip(ToolTipText(UIText(eTextExportGeometryTip)));
    m_pPrimitiveTypeGB->setTitle(UIText(eTextPrimitiveType));
    m_pCustomSettingsGB->setTitle(UIText(eTextUseCustomOptimisation));
    m_pCustomSettingsGB->setToolTip(ToolTipText(UIText(eTextUseCustomOptimisationTip)));
    m_pTriangleDataGB->setTitle(UIText(eTextTriangleDataOptimisations));
    m_pSortingMethodGB->setTitle(UIText(eTextSortingMethod));
    m_pVertexDataGB->setTitle(UIText(eTextVertexDataOptimisations));
    m_pInterleaveGB->setTitle(UIText(eTextInterleaveVertexData));
    m_pInterleaveGB->setToolTip(ToolTipText(UIText(eTextInterleaveVertexDataTip)));
    m_pAlignCB->setText(UIText(eTextAlignVertexData32));
    m_pAlignCB->setToolTip(ToolTipText(UIText(eTextPadVertexData)));
    m_pSortVerticesCB->setText(UIText(eTextSortVertices));
    m_pSortVerticesCB->setToolTip(ToolTipText(UIText(eTextSortVerticesTip)));
    static const int kHeaderTexts[6] = {eTextDataType, 164, 0, 1, 2, 3};
    for (int i = 0; i < 6; ++i) {
        m_apHeaderLabels[i]->setText(UIText(kHeaderTexts[i]));
        m_apHeaderLabels[i]->adjustSize();
    }
    m_pSkinningGB->setTitle(UIText(eTextExportSkinningData));
    m_pSkinningGB->setToolTip(ToolTipText(UIText(eTextExportSkinningDataTip)));
    m_pPaletteSizeLabel->setText(UIText(eTextMatrixPaletteSize));
    m_pPaletteSizeLabel->setToolTip(ToolTipText(UIText(eTextMatrixPaletteSizeTip)));
    m_pPaletteSizeSB->setToolTip(ToolTipText(UIText(eTextMatrixPaletteSizeTip)));
    m_pMappingChannelsGB->setTitle(UIText(eTextExportMappingChannels));
    m_pMappingChannelsGB->setToolTip(ToolTipText(UIText(eTextExportMappingChannelsTip)));
    m_pFlipVCB->setText(UIText(eTextFlipV));
    m_pFlipVCB->setToolTip(ToolTipText(UIText(eTextFlipVTip)));
    m_pTangentSpaceGB->setTitle(UIText(eTextGenerateTangentSpace));
    m_pTangentSpaceGB->setToolTip(ToolTipText(UIText(eTextGenerateTangentSpaceTip)));
    m_pMappingChannelLabel->setText(QStringLiteral("Use mapping channel"));
    m_pVertexSplittingLabel->setText(UIText(eTextVertexSplitting) +
                                     QString::asprintf(" (%i .. %i)", static_cast<int>(m_pVertexSplittingSB->minimum()),
                                                       static_cast<int>(m_pVertexSplittingSB->maximum())));
    m_pVertexSplittingLabel->setToolTip(ToolTipText(UIText(eTextVertexSplittingTip)));
    m_pVertexSplittingSB->setToolTip(ToolTipText(UIText(eTextVertexSplittingTip)));
    TranslateCombo(m_pPrimitiveTypeList, kPrimitiveRows, 4);
    TranslateCombo(m_pSortingList, kSortingRows, 4);

    // Materials.
    m_pMaterialsGB->setTitle(UIText(eTextExportMaterials));
    m_pMaterialsGB->setToolTip(ToolTipText(UIText(eTextExportMaterialsTip)));
    m_pMergeGB->setTitle(UIText(eTextMergeMaterials));
    m_pMergeGB->setToolTip(ToolTipText(UIText(eTextMergeMaterialsTip)));
    m_pMergeSrcLabel->setText(UIText(eTextSourceQefFile));
    m_pInvertTransparencyCB->setText(UIText(eTextInvertTransparency));
    m_pInvertTransparencyCB->setToolTip(ToolTipText(UIText(eTextInvertTransparencyTip)));

    // Transformations.
    m_pAnimationsGB->setTitle(UIText(eTextExportAnimations));
    m_pAnimationsGB->setToolTip(ToolTipText(UIText(eTextExportNodeAnimationArrays)));
    m_pIndexAnimationsCB->setText(UIText(eTextIndexAnimationData));
    m_pIndexAnimationsCB->setToolTip(ToolTipText(UIText(eTextIndexAnimationDataTip)));
    m_pCoordinateSystemGB->setTitle(UIText(eTextCoordinateSystem));
    TranslateCombo(m_pCoordinateSystemList, kCoordinateRows, 2);
    TranslateCombo(m_pSpaceList, kSpaceRows, 2);
    m_pStaticFrameLabel->setText(UIText(eTextStaticFrame));
    m_pStaticFrameLabel->setToolTip(ToolTipText(UIText(eTextStaticFrameTip)));
    m_pStaticFrameSB->setToolTip(ToolTipText(UIText(eTextStaticFrameTip)));
    m_pMatricesCB->setText(UIText(eTextExportAsMatrices));
    m_pMatricesCB->setToolTip(ToolTipText(UIText(eTextExportAsMatricesTip)));
    m_pApplyUnitCB->setText(UIText(eTextApplyUnit));
    m_pApplyUnitCB->setToolTip(ToolTipText(UIText(eTextApplyUnitTip)));
    m_pPrecisionGB->setTitle(UIText(eTextImprovePositionPrecision));
    m_pUnpackMatrixCB->setText(UIText(eTextAddPositionUnpackMatrix));
    m_pUnpackMatrixCB->setToolTip(ToolTipText(UIText(eTextUseScaleAndOffset)));

    // User options.
    m_pViewerGB->setTitle(UIText(eTextOpenInVistrel));
    m_pViewerGB->setToolTip(ToolTipText(UIText(eTextOpenInVistrelTip)));
    m_pViewerPathLabel->setText(UIText(eTextVistrelPath));
    m_pPostExportGB->setTitle(UIText(eTextPostExportCommandLine));
    m_pPostExportGB->setToolTip(QString());
    m_pCommandLabel->setText(UIText(eTextCommand));
    m_pCommandLabel->setToolTip(ToolTipText(UIText(eTextCommandTip)));
    m_pCommandLE->setToolTip(ToolTipText(UIText(eTextCommandTip)));
    m_pArgumentsLabel->setText(UIText(eTextCommandArguments));
    m_pArgumentsLabel->setToolTip(ToolTipText(UIText(eTextCommandArgumentsTip)));
    m_pArgumentsLE->setToolTip(ToolTipText(UIText(eTextCommandArgumentsTip)));
    m_pWorkingDirLabel->setText(UIText(eTextWorkingDirectory));
    m_pWorkingDirLabel->setToolTip(ToolTipText(UIText(eTextWorkingDirectoryTip)));
    m_pWorkingDirLE->setToolTip(ToolTipText(UIText(eTextWorkingDirectoryTip)));

    // Filters of the browse buttons follow the language too.
    m_pMergeSrcBrowse->setProperty("pszFileTypes",
                                   UIText(eTextAllSupportedQef) + QStringLiteral(";;") + UIText(eTextQefBinaryFiles));
    // Programs on this platform carry no suffix.
    m_pViewerPathBrowse->setProperty("pszFileTypes", UIText(eTextExecutableFiles));

    // One width for every label box keeps the table's columns aligned.
    int labelWidth = 0;
    for (CVectorFormatWidget* row : m_apRows) {
        row->translateUI(CMeshwrightStrings::Language());
        row->VectorCheckBox()->setMinimumWidth(0);
        row->VectorCheckBox()->setMaximumWidth(QWIDGETSIZE_MAX);
        labelWidth = qMax(labelWidth, row->VectorCheckBox()->sizeHint().width());
    }
    for (CVectorFormatWidget* row : m_apRows)
        row->VectorCheckBox()->setFixedWidth(labelWidth + 8);
    positionLabels();
}

void COptionsWidget::BindControls()
{
    const auto bindCheck = [this](QCheckBox* box, int i) {
        box->setProperty(kBoolProperty, i);
        if (m_pOptions)
            box->setChecked(m_pOptions->GetBool(i));
        connect(box, &QCheckBox::stateChanged, this, qOverload<int>(&COptionsWidget::onCheckBoxStateChanged));
    };
    const auto bindGroup = [this](QGroupBox* box, int i) {
        box->setProperty(kBoolProperty, i);
        if (m_pOptions)
            box->setChecked(m_pOptions->GetBool(i));
        connect(box, &QGroupBox::toggled, this, qOverload<bool>(&COptionsWidget::onCheckBoxStateChanged));
    };
    const auto bindSpin = [this](QSpinBox* box, int i) {
        box->setProperty(kIntProperty, i);
        if (m_pOptions)
            box->setValue(static_cast<int>(qMin<uint32_t>(m_pOptions->GetUInt(i), 0x7fffffffu)));
        connect(box, qOverload<int>(&QSpinBox::valueChanged), this, qOverload<int>(&COptionsWidget::onValueChanged));
    };
    const auto bindLine = [this](QLineEdit* edit, int i) {
        edit->setProperty(kStringProperty, i);
        if (m_pOptions)
            edit->setText(QString::fromStdString(m_pOptions->String(i)));
        connect(edit, &QLineEdit::textChanged, this, &COptionsWidget::onTextChanged);
    };

    bindGroup(m_pExportGeometryGB, opt::bExportGeometry);
    bindGroup(m_pCustomSettingsGB, opt::bUseCustomOptSettings);
    bindGroup(m_pInterleaveGB, opt::bInterleaved);
    bindCheck(m_pAlignCB, opt::bAlignData);
    bindCheck(m_pSortVerticesCB, opt::bSortVertices);
    bindGroup(m_pSkinningGB, opt::bExportSkin);
    bindSpin(m_pPaletteSizeSB, opt::uiBoneLimit);
    bindGroup(m_pMappingChannelsGB, opt::bExportMappingChannels);
    bindCheck(m_pFlipVCB, opt::bFlipTextureV);
    bindGroup(m_pTangentSpaceGB, opt::bTangentSpace);
    bindSpin(m_pMappingChannelSB, opt::uiTSUseUVW);

    m_pVertexSplittingSB->setProperty(kFloatProperty, opt::fTangentSpaceVtxSplit);
    if (m_pOptions)
        m_pVertexSplittingSB->setValue(m_pOptions->GetFloat(opt::fTangentSpaceVtxSplit));
    connect(m_pVertexSplittingSB, qOverload<double>(&QDoubleSpinBox::valueChanged), this,
            qOverload<double>(&COptionsWidget::onValueChanged));

    bindGroup(m_pMaterialsGB, opt::bExportMaterials);
    bindGroup(m_pMergeGB, opt::bMerge);
    bindLine(m_pMergeSrcLE, opt::sMergeSrc);
    bindCheck(m_pInvertTransparencyCB, opt::bInvertTransparency);

    bindGroup(m_pAnimationsGB, opt::bExportAnimations);
    bindCheck(m_pIndexAnimationsCB, opt::bIndexAnimations);
    bindSpin(m_pStaticFrameSB, opt::uiStaticFrame);
    bindCheck(m_pMatricesCB, opt::bExportMatrices);
    bindCheck(m_pApplyUnitCB, opt::bApplyUnit);
    bindCheck(m_pUnpackMatrixCB, opt::bUnpackMatrix);

    bindGroup(m_pViewerGB, opt::bDisplayInVistrel);
    bindLine(m_pViewerPathLE, opt::sPathToVistrel);
    bindGroup(m_pPostExportGB, opt::bUsePostExportCL);
    bindLine(m_pCommandLE, opt::sClPostTarget);
    bindLine(m_pArgumentsLE, opt::sClPostArgs);
    bindLine(m_pWorkingDirLE, opt::sClPostCWD);

    m_pMergeSrcBrowse->setProperty("pLineEdit", QVariant::fromValue<QObject*>(m_pMergeSrcLE));
    m_pViewerPathBrowse->setProperty("pLineEdit", QVariant::fromValue<QObject*>(m_pViewerPathLE));
    connect(m_pMergeSrcBrowse, &QPushButton::clicked, this, &COptionsWidget::onClicked);
    connect(m_pViewerPathBrowse, &QPushButton::clicked, this, &COptionsWidget::onClicked);
    connect(m_pWorkingDirBrowse, &QPushButton::clicked, this, &COptionsWidget::onWDClicked);
}

// --- Derived states -----------------------------------------------------------

void COptionsWidget::RefreshAutoSettings()
{
    // While custom settings are off the options record chooses the triangle
    // sorting and vertex sorting itself; the controls show its choice.
    if (!m_pOptions || m_pOptions->GetBool(opt::bUseCustomOptSettings))
        return;
    {
        const QSignalBlocker block(m_pSortingList);
        SelectRow(m_pSortingList, kSortingRows, 4, m_pOptions->GetTriSort());
    }
    const QSignalBlocker block(m_pSortVerticesCB);
    m_pSortVerticesCB->setChecked(m_pOptions->GetBool(opt::bSortVertices));
}

void COptionsWidget::UpdateStaticFrameEnabled()
{
    // The static frame only matters when exporting in world space.
    const bool modelSpace = !m_pOptions || m_pOptions->GetBool(opt::bExportModelSpace);
    m_pStaticFrameSB->setEnabled(!modelSpace);
    m_pStaticFrameLabel->setEnabled(!modelSpace);
}

void COptionsWidget::UpdateUnpackEnabled()
{
    const int32_t type = m_pOptions ? m_pOptions->GetType(eVAPosition) : int32_t(eZGXTFloat);
    m_pUnpackMatrixCB->setEnabled(type != int32_t(eZGXTFloat));
}

void COptionsWidget::ForcePadding()
{
    if (!m_pOptions)
        return;
    m_pOptions->SetUInt(opt::uiPadDataTo, 4);
    m_pAlignCB->setText(UIText(eTextAlignVertexData32));
}

void COptionsWidget::EmitChanged()
{
    if (m_pOptions)
        emit optionsChanged(*m_pOptions);
}

// --- Slots that write one option ------------------------------------------------

void COptionsWidget::onCheckBoxStateChanged(int state)
{
    onCheckBoxStateChanged(state != 0);
}

void COptionsWidget::onCheckBoxStateChanged(bool on)
{
    const QVariant index = sender() ? sender()->property(kBoolProperty) : QVariant();
    if (!m_pOptions || !index.isValid())
        return;
    const int i = index.toInt();
    if (i < 0 || i >= opt::eBoolCount)
        return;
    m_pOptions->SetBool(i, on);
    // Switching custom settings off lets the record choose the sorting again.
    RefreshAutoSettings();
    EmitChanged();
}

void COptionsWidget::onValueChanged(int value)
{
    const QVariant index = sender() ? sender()->property(kIntProperty) : QVariant();
    if (!m_pOptions || !index.isValid())
        return;
    const int i = index.toInt();
    if (i < 0 || i >= opt::eUIntCount)
        return;
    m_pOptions->SetUInt(i, static_cast<uint32_t>(qMax(value, 0)));
    EmitChanged();
}

void COptionsWidget::onValueChanged(double value)
{
    const QVariant index = sender() ? sender()->property(kFloatProperty) : QVariant();
    if (!m_pOptions || !index.isValid())
        return;
    const int i = index.toInt();
    if (i < 0 || i >= opt::eFloatCount)
        return;
    m_pOptions->SetFloat(i, static_cast<float>(value));
    EmitChanged();
}

void COptionsWidget::onTextChanged(const QString& text)
{
    const QVariant index = sender() ? sender()->property(kStringProperty) : QVariant();
    if (!m_pOptions || !index.isValid())
        return;
    const int i = index.toInt();
    if (i < 0 || i >= opt::eStringCount)
        return;
    m_pOptions->SetString(i, text.toStdString());
    EmitChanged();
}

// --- Combo slots ------------------------------------------------------------------

void COptionsWidget::onPrimitiveTypeSelected(int index)
{
    const int row = RowAt(m_pPrimitiveTypeList, index, 4);
    if (!m_pOptions || row < 0)
        return;
    m_pOptions->SetBool(opt::bIndexed, kPrimitiveRows[row].indexed);
    m_pOptions->SetPrimType(kPrimitiveRows[row].value);
    RefreshAutoSettings();
    EmitChanged();
}

void COptionsWidget::onTriSortingTypeSelected(int index)
{
    const int row = RowAt(m_pSortingList, index, 4);
    if (!m_pOptions || row < 0)
        return;
    m_pOptions->SetTriSort(kSortingRows[row].value);
    EmitChanged();
}

void COptionsWidget::onCSSelected(int index)
{
    const int row = RowAt(m_pCoordinateSystemList, index, 2);
    if (!m_pOptions || row < 0)
        return;
    m_pOptions->SetCS(kCoordinateRows[row].value);
    EmitChanged();
}

void COptionsWidget::onSpaceSelected(int index)
{
    const int row = RowAt(m_pSpaceList, index, 2);
    if (!m_pOptions || row < 0)
        return;
    m_pOptions->SetBool(opt::bExportModelSpace, kSpaceRows[row].value == 1);
    UpdateStaticFrameEnabled();
    EmitChanged();
}

// --- Vertex format slots ------------------------------------------------------------

void COptionsWidget::onPositionDataTypeChanged(EZGXTDataType type)
{
    // Scale and offset only help positions stored in fewer bits than a float.
    m_pUnpackMatrixCB->setEnabled(type != eZGXTFloat);
    EmitChanged();
}

void COptionsWidget::onDataTypeChanged(EZGXTDataType)
{
    ForcePadding();
}

void COptionsWidget::onVectorTypeChanged()
{
    EmitChanged();
}

// --- Browsing -------------------------------------------------------------------------

QString COptionsWidget::ChooseFile(const QString& caption, const QString& start, const QString& filter)
{
    return QFileDialog::getOpenFileName(this, caption, FileDialogStart(start), FileDialogFilter(filter));
}

QString COptionsWidget::ChooseDirectory(const QString& caption, const QString& start)
{
    return QFileDialog::getExistingDirectory(this, caption, FileDialogStart(start));
}

void COptionsWidget::onClicked(bool)
{
    QObject* button = sender();
    if (!button)
        return;
    QLineEdit* edit = qobject_cast<QLineEdit*>(button->property("pLineEdit").value<QObject*>());
    if (!edit)
        return;
    const QString path =
        ChooseFile(UIText(eTextChooseAFile), edit->text(), button->property("pszFileTypes").toString());
    if (path.isEmpty())
        return;
    edit->setText(path); // stored and announced through onTextChanged
}

void COptionsWidget::onWDClicked(bool)
{
    const QString path = ChooseDirectory(UIText(eTextChooseAWorkingDirectory), m_pWorkingDirLE->text());
    if (!path.isEmpty())
        m_pWorkingDirLE->setText(path);
}

// --- Refresh and translation ----------------------------------------------------------

void COptionsWidget::refreshGUI()
{
    if (!m_pOptions)
        return;
    // The controls follow the options; blocked signals keep them from writing
    // rounded or clamped values back.
    for (QCheckBox* box : findChildren<QCheckBox*>()) {
        const QVariant index = box->property(kBoolProperty);
        if (!index.isValid())
            continue;
        const QSignalBlocker block(box);
        box->setChecked(m_pOptions->GetBool(index.toInt()));
    }
    for (QGroupBox* box : findChildren<QGroupBox*>()) {
        const QVariant index = box->property(kBoolProperty);
        if (!index.isValid())
            continue;
        const QSignalBlocker block(box);
        box->setChecked(m_pOptions->GetBool(index.toInt()));
    }
    for (QLineEdit* edit : findChildren<QLineEdit*>()) {
        const QVariant index = edit->property(kStringProperty);
        if (!index.isValid())
            continue;
        const QSignalBlocker block(edit);
        const QString text = QString::fromStdString(m_pOptions->String(index.toInt()));
        if (edit->text() != text)
            edit->setText(text);
    }
    for (QSpinBox* box : findChildren<QSpinBox*>()) {
        const QVariant index = box->property(kIntProperty);
        if (!index.isValid())
            continue;
        const QSignalBlocker block(box);
        box->setValue(static_cast<int>(qMin<uint32_t>(m_pOptions->GetUInt(index.toInt()), 0x7fffffffu)));
    }
    for (QDoubleSpinBox* box : findChildren<QDoubleSpinBox*>()) {
        const QVariant index = box->property(kFloatProperty);
        if (!index.isValid())
            continue;
        const QSignalBlocker block(box);
        box->setValue(m_pOptions->GetFloat(index.toInt()));
    }
    {
        const QSignalBlocker b1(m_pPrimitiveTypeList), b2(m_pSortingList), b3(m_pCoordinateSystemList),
            b4(m_pSpaceList);
        SelectRow(m_pPrimitiveTypeList, kPrimitiveRows, 4, m_pOptions->GetPrimType(), true,
                  m_pOptions->GetBool(opt::bIndexed));
        SelectRow(m_pSortingList, kSortingRows, 4, m_pOptions->GetTriSort());
        SelectRow(m_pCoordinateSystemList, kCoordinateRows, 2, m_pOptions->GetCS());
        SelectRow(m_pSpaceList, kSpaceRows, 2, m_pOptions->GetBool(opt::bExportModelSpace) ? 1 : 0);
    }
    for (CVectorFormatWidget* row : m_apRows)
        row->refreshGUI();
    UpdateStaticFrameEnabled();
    UpdateUnpackEnabled();
    // Whoever changed the options hears back what the editor now shows.
    EmitChanged();
}

void COptionsWidget::translateUI(CMeshwrightStrings::ELanguages)
{
    ApplyTexts();
    ForcePadding();
}

void COptionsWidget::positionLabels()
{
    if (!m_pPositionRow || !m_pHeader)
        return;
    QWidget* const controls[6] = {
        m_pPositionRow->DataTypeList(),  m_pPositionRow->VectorCheckBox(), m_pPositionRow->ComponentBox(0),
        m_pPositionRow->ComponentBox(1), m_pPositionRow->ComponentBox(2),  m_pPositionRow->ComponentBox(3),
    };
    for (int i = 0; i < 6; ++i) {
        QLabel* label = m_apHeaderLabels[i];
        const QRect rect = controls[i]->geometry();
        const QPoint topLeft = m_pHeader->mapFromGlobal(controls[i]->parentWidget()->mapToGlobal(rect.topLeft()));
        // The label column is wide; its heading stands at its start. The
        // other headings are centred over their control.
        const int x = i == 1 ? topLeft.x() : topLeft.x() + (rect.width() - label->width()) / 2;
        label->move(x, label->y());
    }
}

bool COptionsWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pHeader && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        positionLabels();
    return QWidget::eventFilter(watched, event);
}

// --- Drag and drop ------------------------------------------------------------------------

void COptionsWidget::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls()) {
        for (const QUrl& url : event->mimeData()->urls()) {
            if (IsOptionsFile(url)) {
                event->acceptProposedAction();
                return;
            }
        }
    }
    event->ignore();
}

void COptionsWidget::dropEvent(QDropEvent* event)
{
    if (!m_pOptions || !event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    bool changed = false;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (!IsOptionsFile(url))
            continue;
        COptionsData loaded;
        const QByteArray path = QFile::encodeName(url.toLocalFile());
        if (loaded.LoadFromFile(path.constData()) > 0) {
            *m_pOptions = loaded; // the output path stays
            changed = true;
        }
    }
    event->acceptProposedAction();
    if (changed)
        refreshGUI(); // announces the new options
}
