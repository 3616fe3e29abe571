#pragma once
// The export options editor: a tab book of four pages. It edits the window's
// COptions in place, announces every change with optionsChanged, and
// refreshGUI brings the controls back in line after the options changed
// elsewhere. Simple controls are bound to their option through a dynamic
// property holding the option's index, so one slot serves every control of
// a kind.
#include <QWidget>

#include "gui/MeshwrightStrings.h"
#include "options/Options.h"
#include "scene/VertexDataTypes.h"

class CVectorFormatWidget;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

class COptionsWidget : public QWidget {
    Q_OBJECT
public:
    // Names of the dynamic properties that bind a control to its option.
    static constexpr const char* kBoolProperty = "bool_option_enum";
    static constexpr const char* kIntProperty = "int_option_enum";
    static constexpr const char* kFloatProperty = "float_option_enum";
    static constexpr const char* kStringProperty = "string_option_enum";

    // A combo row: its UI string and the value it stands for.
    struct SComboRow {
        EUIText uiText;
        int32_t value;
        bool indexed; // primitive table only
    };
    static const SComboRow kPrimitiveRows[4];
    static const SComboRow kSortingRows[4];
    static const SComboRow kCoordinateRows[2];
    static const SComboRow kSpaceRows[2];

    COptionsWidget(QWidget* parent, Qt::WindowFlags flags, COptions* options);
    ~COptionsWidget() override;

    COptions* Options() const { return m_pOptions; }
    CVectorFormatWidget* VectorRow(EVertexAttrib attrib) const { return m_apRows[attrib]; }

signals:
    void optionsChanged(const COptions& options);

public slots:
    void onCheckBoxStateChanged(int state);
    void onCheckBoxStateChanged(bool on);
    void onPrimitiveTypeSelected(int index);
    void onTriSortingTypeSelected(int index);
    void onCSSelected(int index);
    void onSpaceSelected(int index);
    void onPositionDataTypeChanged(EZGXTDataType type);
    void onDataTypeChanged(EZGXTDataType type);
    void onValueChanged(int value);
    void onValueChanged(double value);
    void onTextChanged(const QString& text);
    void onClicked(bool checked);
    void onWDClicked(bool checked);
    void onVectorTypeChanged();
    void refreshGUI();
    void translateUI(CMeshwrightStrings::ELanguages lang);
    void positionLabels();

protected:
    // File and folder choosers; tests replace them.
    virtual QString ChooseFile(const QString& caption, const QString& start, const QString& filter);
    virtual QString ChooseDirectory(const QString& caption, const QString& start);

    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildForm();
    QWidget* BuildGeometryPage();
    QWidget* BuildMaterialsPage();
    QWidget* BuildTransformationsPage();
    QWidget* BuildUserOptionsPage();
    void ApplyTexts();
    void BindControls();
    void RefreshAutoSettings();
    void UpdateStaticFrameEnabled();
    void UpdateUnpackEnabled();
    void ForcePadding();
    void EmitChanged();

    COptions* m_pOptions;

    QTabWidget* m_pTabs = nullptr;

    // Geometry page.
    QGroupBox* m_pExportGeometryGB = nullptr;
    QGroupBox* m_pPrimitiveTypeGB = nullptr;
    QComboBox* m_pPrimitiveTypeList = nullptr;
    QGroupBox* m_pCustomSettingsGB = nullptr;
    QGroupBox* m_pTriangleDataGB = nullptr;
    QGroupBox* m_pSortingMethodGB = nullptr;
    QComboBox* m_pSortingList = nullptr;
    QGroupBox* m_pVertexDataGB = nullptr;
    QCheckBox* m_pSortVerticesCB = nullptr;
    QGroupBox* m_pInterleaveGB = nullptr;
    QCheckBox* m_pAlignCB = nullptr;
    QWidget* m_pHeader = nullptr;
    QLabel* m_apHeaderLabels[6] = {}; // Data Type, Vector, A0..A3
    CVectorFormatWidget* m_apRows[eVACount] = {};
    CVectorFormatWidget* m_pPositionRow = nullptr;
    QGroupBox* m_pSkinningGB = nullptr;
    QLabel* m_pPaletteSizeLabel = nullptr;
    QSpinBox* m_pPaletteSizeSB = nullptr;
    QGroupBox* m_pMappingChannelsGB = nullptr;
    QCheckBox* m_pFlipVCB = nullptr;
    QGroupBox* m_pTangentSpaceGB = nullptr;
    QLabel* m_pMappingChannelLabel = nullptr;
    QSpinBox* m_pMappingChannelSB = nullptr;
    QLabel* m_pVertexSplittingLabel = nullptr;
    QDoubleSpinBox* m_pVertexSplittingSB = nullptr;

    // Materials page.
    QGroupBox* m_pMaterialsGB = nullptr;
    QGroupBox* m_pMergeGB = nullptr;
    QLabel* m_pMergeSrcLabel = nullptr;
    QLineEdit* m_pMergeSrcLE = nullptr;
    QPushButton* m_pMergeSrcBrowse = nullptr;
    QCheckBox* m_pInvertTransparencyCB = nullptr;

    // Transformations page.
    QGroupBox* m_pAnimationsGB = nullptr;
    QCheckBox* m_pIndexAnimationsCB = nullptr;
    QGroupBox* m_pCoordinateSystemGB = nullptr;
    QComboBox* m_pCoordinateSystemList = nullptr;
    QComboBox* m_pSpaceList = nullptr;
    QLabel* m_pStaticFrameLabel = nullptr;
    QSpinBox* m_pStaticFrameSB = nullptr;
    QCheckBox* m_pMatricesCB = nullptr;
    QCheckBox* m_pApplyUnitCB = nullptr;
    QGroupBox* m_pPrecisionGB = nullptr;
    QCheckBox* m_pUnpackMatrixCB = nullptr;

    // User options page.
    QGroupBox* m_pViewerGB = nullptr;
    QLabel* m_pViewerPathLabel = nullptr;
    QLineEdit* m_pViewerPathLE = nullptr;
    QPushButton* m_pViewerPathBrowse = nullptr;
    QGroupBox* m_pPostExportGB = nullptr;
    QLabel* m_pCommandLabel = nullptr;
    QLineEdit* m_pCommandLE = nullptr;
    QLabel* m_pArgumentsLabel = nullptr;
    QLineEdit* m_pArgumentsLE = nullptr;
    QLabel* m_pWorkingDirLabel = nullptr;
    QLineEdit* m_pWorkingDirLE = nullptr;
    QPushButton* m_pWorkingDirBrowse = nullptr;
    QGroupBox* m_pUserDataGB = nullptr;
};
