// One row of the vertex format table, editing its attribute in place.
#include <QCheckBox>
#include <QComboBox>
#include <QSignalSpy>
#include <QtTest>

#include "gui/VectorFormatWidget.h"

class TestVectorFormatWidget : public QObject {
    Q_OBJECT
private slots:
    void formAsBuilt()
    {
        COptions options;
        CVectorFormatWidget row(105, nullptr, &options, eVAPosition);
        QCOMPARE(row.objectName(), QStringLiteral("VectorFormatWidgetClass"));
        QCOMPARE(row.VectorCheckBox()->text(), QStringLiteral("Position"));
        QVERIFY(row.VectorCheckBox()->isChecked());
        QCOMPARE(row.DataTypeList()->count(), 17);
        QCOMPARE(row.DataTypeList()->currentText(), QStringLiteral("float"));
        for (int i = 0; i < 17; ++i)
            QCOMPARE(row.DataTypeList()->itemData(i).toInt(), i);
        QCOMPARE(row.DataTypeList()->itemText(9), QStringLiteral("DEC3N"));
        for (int i = 0; i < 4; ++i) {
            QCheckBox* box = row.findChild<QCheckBox*>(QStringLiteral("CheckBoxA%1").arg(i));
            QCOMPARE(box, row.ComponentBox(i));
            QCOMPARE(box->property("i32Mask").toInt(), 1 << i);
        }
    }

    void fourthComponent()
    {
        // Position has no w (bit 7 set); colour has four components.
        COptions options;
        CVectorFormatWidget position(105, nullptr, &options, eVAPosition);
        CVectorFormatWidget colour(22, nullptr, &options, eVAColour);
        QVERIFY(position.ComponentBox(3)->isHidden());
        QVERIFY(!position.ComponentBox(2)->isHidden());
        QVERIFY(!colour.ComponentBox(3)->isHidden());
        QVERIFY(colour.ComponentBox(3)->isChecked());
        // Colour is not exported by default: its list and boxes are disabled.
        QVERIFY(!colour.DataTypeList()->isEnabled());
        QVERIFY(!colour.ComponentBox(3)->isEnabled());
    }

    void uncheckingExportDisablesTheRow()
    {
        COptions options;
        CVectorFormatWidget normal(99, nullptr, &options, eVANormal);
        QSignalSpy changed(&normal, &CVectorFormatWidget::vectorFormatChanged);
        const int32_t type = options.GetType(eVANormal), enable = options.GetEnable(eVANormal);
        normal.VectorCheckBox()->click();
        QVERIFY(!options.GetExport(eVANormal));
        QCOMPARE(options.GetType(eVANormal), type);
        QCOMPARE(options.GetEnable(eVANormal), enable);
        QVERIFY(!normal.DataTypeList()->isEnabled());
        for (int i = 0; i < 3; ++i)
            QVERIFY(!normal.ComponentBox(i)->isEnabled());
        QCOMPARE(changed.count(), 1);
        normal.VectorCheckBox()->click();
        QVERIFY(options.GetExport(eVANormal));
        QVERIFY(normal.DataTypeList()->isEnabled());
    }

    void selectingDataTypeStoresIt()
    {
        COptions options;
        CVectorFormatWidget normal(99, nullptr, &options, eVANormal);
        QSignalSpy typeSpy(&normal, &CVectorFormatWidget::dataTypeChanged);
        QSignalSpy formatSpy(&normal, &CVectorFormatWidget::vectorFormatChanged);
        normal.DataTypeList()->setCurrentIndex(normal.DataTypeList()->findText(QStringLiteral("DEC3N")));
        QCOMPARE(options.GetType(eVANormal), 8);
        QCOMPARE(typeSpy.count(), 1);
        QCOMPARE(typeSpy.at(0).at(0).value<EZGXTDataType>(), eZGXTDec3N);
        QCOMPARE(formatSpy.count(), 1);
    }

    void everyDataTypeRow()
    {
        COptions options;
        CVectorFormatWidget row(147, nullptr, &options, eVAUVW0);
        for (int i = 0; i < CVectorFormatWidget::kDataTypeRowCount; ++i) {
            row.DataTypeList()->setCurrentIndex(i);
            QCOMPARE(options.GetType(eVAUVW0), int32_t(CVectorFormatWidget::kDataTypeRows[i].eType));
        }
    }

    void componentBoxesEditTheMask()
    {
        COptions options;
        CVectorFormatWidget position(105, nullptr, &options, eVAPosition);
        QCOMPARE(options.GetEnable(eVAPosition), 135);
        position.ComponentBox(1)->click();
        QCOMPARE(options.GetEnable(eVAPosition), 133);
        position.ComponentBox(1)->click();
        QCOMPARE(options.GetEnable(eVAPosition), 135);
    }

    void refreshFollowsTheOptions()
    {
        COptions options;
        CVectorFormatWidget colour(22, nullptr, &options, eVAColour);
        QSignalSpy formatSpy(&colour, &CVectorFormatWidget::vectorFormatChanged);
        options.SetExport(eVAColour, true);
        options.SetType(eVAColour, 6);
        options.SetEnable(eVAColour, 0x80 | 0x3);
        colour.refreshGUI();
        QVERIFY(colour.VectorCheckBox()->isChecked());
        QCOMPARE(colour.DataTypeList()->currentText(), QStringLiteral("D3DCOLOR"));
        QVERIFY(colour.ComponentBox(0)->isChecked());
        QVERIFY(colour.ComponentBox(1)->isChecked());
        QVERIFY(!colour.ComponentBox(2)->isChecked());
        QVERIFY(colour.ComponentBox(3)->isHidden());
        QVERIFY(colour.DataTypeList()->isEnabled());
        // Refreshing only reads the options.
        QCOMPARE(formatSpy.count(), 0);
        QCOMPARE(options.GetEnable(eVAColour), 0x83);
        // A type with no row leaves the selection.
        options.SetType(eVAColour, 99);
        colour.refreshGUI();
        QCOMPARE(colour.DataTypeList()->currentText(), QStringLiteral("D3DCOLOR"));
    }
};

QTEST_MAIN(TestVectorFormatWidget)
#include "VectorFormatWidgetTest.moc"
