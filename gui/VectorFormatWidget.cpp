#include "gui/VectorFormatWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLayout>
#include <QSignalBlocker>

namespace {

// Bit 7 of nEnable: the attribute has no fourth component.
constexpr int32_t kNoFourthComponent = 0x80;

QFrame* MakeLine(QWidget* parent, const char* name)
{
    QFrame* line = new QFrame(parent);
    line->setObjectName(QString::fromLatin1(name));
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

const CVectorFormatWidget::SDataTypeRow CVectorFormatWidget::kDataTypeRows[kDataTypeRowCount] = {
    {eTextFloat, eZGXTFloat},
    {eTextInt, eZGXTInt},
    {eTextUnsignedInt, eZGXTUInt},
    {eTextUnsignedShort, eZGXTUShort},
    {eTextUnsignedShortNormalised, eZGXTUShortNorm},
    {eTextRgba, eZGXTRGBA},
    {eTextArgb, eZGXTARGB},
    {eTextD3dColor, eZGXTD3DColour},
    {eTextUbyte4, eZGXTUByte4},
    {eTextDec3n, eZGXTDec3N},
    {eTextFixed16_16, eZGXTFixed16},
    {eTextUnsignedByte, eZGXTUByte},
    {eTextUnsignedByteNormalised, eZGXTUByteNorm},
    {eTextShort, eZGXTShort},
    {eTextShortNormalised, eZGXTShortNorm},
    {eTextByte, eZGXTByte},
    {eTextByteNormalised, eZGXTByteNorm},
};
CVectorFormatWidget::CVectorFormatWidget(int labelId, QWidget* parent, COptions* options, EVertexAttrib attrib,
                                         Qt::WindowFlags flags)
    : QWidget(parent, flags), m_pOptions(options), m_eAttrib(attrib), m_iLabelId(labelId)
{
    setObjectName(QStringLiteral("VectorFormatWidgetClass"));
    m_pVerticalLayout = new QVBoxLayout(this);
    m_pVerticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    m_pVerticalLayout->setContentsMargins(0, 0, 0, 0);
    m_pVerticalLayout->setSpacing(0);
    m_pRowLayout = new QHBoxLayout();
    m_pRowLayout->setObjectName(QStringLiteral("VectorFormatLayout"));
    m_pRowLayout->setContentsMargins(0, 0, 0, 0);
    m_pVerticalLayout->addLayout(m_pRowLayout);

    // Every control has a fixed width (the options editor gives all label
    // boxes one width), so the columns of all rows line up under the headings.
    m_pVectorCheckBox = new QCheckBox(this);
    m_pVectorCheckBox->setObjectName(QStringLiteral("VectorCheckBox"));
    m_pRowLayout->addWidget(m_pVectorCheckBox);
    m_pRowLayout->addWidget(MakeLine(this, "LineDataType"));

    m_pDataTypeList = new QComboBox(this);
    m_pDataTypeList->setObjectName(QStringLiteral("DataTypeList"));
    m_pRowLayout->addWidget(m_pDataTypeList);

    static const char* const kBoxNames[4] = {"CheckBoxA0", "CheckBoxA1", "CheckBoxA2", "CheckBoxA3"};
    static const char* const kLineNames[4] = {"LineA0", "LineA1", "LineA2", "LineA3"};
    for (int i = 0; i < 4; ++i) {
        m_pRowLayout->addWidget(MakeLine(this, kLineNames[i]));
        QCheckBox* box = new QCheckBox(this);
        box->setObjectName(QString::fromLatin1(kBoxNames[i]));
        box->setProperty("i32Mask", 1 << i);
        box->setFixedWidth(box->sizeHint().width() + 8);
        // A hidden fourth box keeps its place, so the row stays aligned with
        // the rows that show it.
        QSizePolicy policy = box->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        box->setSizePolicy(policy);
        m_pRowLayout->addWidget(box);
        m_apComponent[i] = box;
    }

    // 1. Label check box.
    m_pVectorCheckBox->setText(UIText(m_iLabelId));
    connect(m_pVectorCheckBox, &QCheckBox::stateChanged, this, &CVectorFormatWidget::onCheckBoxStateChanged);
    if (m_pOptions && m_pOptions->GetExport(m_eAttrib))
        m_pVectorCheckBox->setChecked(true);

    // 2. Data type list: each row stores its row number.
    for (int row = 0; row < kDataTypeRowCount; ++row)
        m_pDataTypeList->addItem(UIText(kDataTypeRows[row].uiText), row);
    m_pDataTypeList->setFixedWidth(m_pDataTypeList->sizeHint().width());
    if (m_pOptions)
        SelectType(m_pOptions->GetType(m_eAttrib));
    connect(m_pDataTypeList, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &CVectorFormatWidget::onTypeSelected);

    // 3. Component boxes.
    const int32_t enable = m_pOptions ? m_pOptions->GetEnable(m_eAttrib) : 0;
    for (QCheckBox* box : m_apComponent) {
        box->setChecked((enable & box->property("i32Mask").toInt()) != 0);
        connect(box, &QCheckBox::stateChanged, this, &CVectorFormatWidget::applyEnableMasks);
    }

    // 4. Fourth component and what the export switch enables.
    ApplyFourthComponentRule();
    UpdateEnabled();
}

CVectorFormatWidget::~CVectorFormatWidget() = default;

void CVectorFormatWidget::SelectType(int32_t type)
{
    for (int i = 0; i < m_pDataTypeList->count(); ++i) {
        const int row = m_pDataTypeList->itemData(i).toInt();
        if (row >= 0 && row < kDataTypeRowCount && int32_t(kDataTypeRows[row].eType) == type) {
            m_pDataTypeList->setCurrentIndex(i);
            return;
        }
    }
}

void CVectorFormatWidget::ApplyFourthComponentRule()
{
    const bool noW = !m_pOptions || (m_pOptions->GetEnable(m_eAttrib) & kNoFourthComponent) != 0;
    m_apComponent[3]->setVisible(!noW);
}

void CVectorFormatWidget::UpdateEnabled()
{
    const bool on = m_pOptions && m_pOptions->GetExport(m_eAttrib);
    const bool noW = !m_pOptions || (m_pOptions->GetEnable(m_eAttrib) & kNoFourthComponent) != 0;
    m_pDataTypeList->setEnabled(on);
    for (int i = 0; i < 3; ++i)
        m_apComponent[i]->setEnabled(on);
    m_apComponent[3]->setEnabled(on && !noW);
}

void CVectorFormatWidget::onCheckBoxStateChanged(int state)
{
    if (!m_pOptions)
        return;
    m_pOptions->SetExport(m_eAttrib, state != 0);
    UpdateEnabled();
    emit vectorFormatChanged();
}

void CVectorFormatWidget::applyEnableMasks(int state)
{
    if (!m_pOptions)
        return;
    const QVariant mask = sender() ? sender()->property("i32Mask") : QVariant();
    if (!mask.isValid())
        return;
    int32_t enable = m_pOptions->GetEnable(m_eAttrib);
    if (state != 0)
        enable |= mask.toInt();
    else
        enable &= ~mask.toInt();
    m_pOptions->SetEnable(m_eAttrib, enable);
    emit vectorFormatChanged();
}

void CVectorFormatWidget::onTypeSelected(int index)
{
    if (!m_pOptions || index < 0)
        return;
    const int row = m_pDataTypeList->itemData(index).toInt();
    if (row < 0 || row >= kDataTypeRowCount)
        return;
    m_pOptions->SetType(m_eAttrib, static_cast<int32_t>(kDataTypeRows[row].eType));
    emit dataTypeChanged(kDataTypeRows[row].eType);
    emit vectorFormatChanged();
}

void CVectorFormatWidget::refreshGUI()
{
    if (!m_pOptions)
        return;
    // The controls follow the options; nothing is written back.
    const int32_t enable = m_pOptions->GetEnable(m_eAttrib);
    for (QCheckBox* box : m_apComponent) {
        const QSignalBlocker block(box);
        box->setChecked((enable & box->property("i32Mask").toInt()) != 0);
    }
    {
        const QSignalBlocker block(m_pVectorCheckBox);
        m_pVectorCheckBox->setChecked(m_pOptions->GetExport(m_eAttrib));
    }
    {
        const QSignalBlocker block(m_pDataTypeList);
        SelectType(m_pOptions->GetType(m_eAttrib));
    }
    ApplyFourthComponentRule();
    UpdateEnabled();
}

void CVectorFormatWidget::translateUI(CMeshwrightStrings::ELanguages)
{
    m_pVectorCheckBox->setText(UIText(m_iLabelId));
    for (int i = 0; i < m_pDataTypeList->count(); ++i) {
        const int row = m_pDataTypeList->itemData(i).toInt();
        if (row >= 0 && row < kDataTypeRowCount)
            m_pDataTypeList->setItemText(i, UIText(kDataTypeRows[row].uiText));
    }
}

void CVectorFormatWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    emit resized();
}
