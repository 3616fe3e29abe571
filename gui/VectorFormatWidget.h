#pragma once
// One row of the vertex format table: export switch, data type and component
// mask of one vertex attribute, edited in place in the window's options.
#include <QWidget>

#include "gui/MeshwrightStrings.h"
#include "options/Options.h"
#include "scene/VertexDataTypes.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QHBoxLayout;
class QVBoxLayout;

class CVectorFormatWidget : public QWidget {
    Q_OBJECT
public:
    // The data type rows of every attribute: UI string and EZGXTDataType.
    struct SDataTypeRow {
        EUIText uiText;
        EZGXTDataType eType;
    };
    static constexpr int kDataTypeRowCount = 17;
    static const SDataTypeRow kDataTypeRows[kDataTypeRowCount];

    CVectorFormatWidget(int labelId, QWidget* parent, COptions* options, EVertexAttrib attrib,
                        Qt::WindowFlags flags = Qt::WindowFlags());
    ~CVectorFormatWidget() override;

    EVertexAttrib Attribute() const { return m_eAttrib; }
    QCheckBox* VectorCheckBox() const { return m_pVectorCheckBox; }
    QComboBox* DataTypeList() const { return m_pDataTypeList; }
    QCheckBox* ComponentBox(int i) const { return m_apComponent[i]; }

signals:
    void dataTypeChanged(EZGXTDataType dataType);
    void vectorFormatChanged();
    void resized();

public slots:
    void onCheckBoxStateChanged(int state);
    void applyEnableMasks(int state);
    void onTypeSelected(int index);
    void refreshGUI();
    void translateUI(CMeshwrightStrings::ELanguages eLang);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ApplyFourthComponentRule();
    void UpdateEnabled();
    void SelectType(int32_t type);

    COptions* m_pOptions;
    EVertexAttrib m_eAttrib;
    int m_iLabelId;

    QVBoxLayout* m_pVerticalLayout = nullptr;
    QHBoxLayout* m_pRowLayout = nullptr;
    QCheckBox* m_pVectorCheckBox = nullptr;
    QComboBox* m_pDataTypeList = nullptr;
    QCheckBox* m_apComponent[4] = {};
};
