// The options editor: every bound control edits its option in place, the
// combo tables, the automatic rule, the derived enabled states, browsing,
// drops and refreshGUI.
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include "gui/OptionsWidget.h"
#include "gui/VectorFormatWidget.h"

namespace {

// Answers the file and folder choosers without a dialog.
class CTestOptionsWidget : public COptionsWidget {
public:
    using COptionsWidget::COptionsWidget;
    QString answer;
    QString lastCaption, lastStart, lastFilter;

protected:
    QString ChooseFile(const QString& caption, const QString& start, const QString& filter) override
    {
        lastCaption = caption;
        lastStart = start;
        lastFilter = filter;
        return answer;
    }
    QString ChooseDirectory(const QString& caption, const QString& start) override
    {
        lastCaption = caption;
        lastStart = start;
        return answer;
    }
};

template <class T>
T* Child(QWidget* w, const char* name)
{
    T* child = w->findChild<T*>(QString::fromLatin1(name));
    if (!child)
        qFatal("missing child %s", name);
    return child;
}

void SelectText(QComboBox* combo, const char* text)
{
    const int index = combo->findText(QString::fromUtf8(text));
    QVERIFY2(index >= 0, text);
    combo->setCurrentIndex(index);
}

void Drop(QWidget* target, const QList<QUrl>& urls, bool* enterAccepted, bool* dropAccepted)
{
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    *enterAccepted = enter.isAccepted();
    *dropAccepted = false;
    if (!*enterAccepted)
        return;
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    *dropAccepted = drop.isAccepted();
}

} // namespace

class TestOptionsWidget : public QObject {
    Q_OBJECT
private slots:
    void pagesAndTexts()
    {
        COptions options;
        COptionsWidget w(nullptr, Qt::WindowFlags(), &options);
        QTabWidget* tabs = Child<QTabWidget>(&w, "OptionsTabs");
        QCOMPARE(tabs->count(), 4);
        QCOMPARE(tabs->tabText(0), QStringLiteral("Geometry"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("Materials"));
        QCOMPARE(tabs->tabText(2), QStringLiteral("Transformations"));
        QCOMPARE(tabs->tabText(3), QStringLiteral("User Options"));
        QCOMPARE(tabs->tabToolTip(3), QStringLiteral("Custom user export options"));
        QCOMPARE(Child<QLabel>(&w, "VertexSplittingLabel")->text(), QStringLiteral("Vertex-splitting (-1 .. 1)"));
        QCOMPARE(Child<QGroupBox>(&w, "ExportGeometryGB")->title(), QStringLiteral("Export Geometry"));
        QCOMPARE(Child<QCheckBox>(&w, "UnpackMatrixCB")->text(), QStringLiteral("Add position unpack matrix"));
        QVERIFY(Child<QGroupBox>(&w, "UserDataGB")->isHidden());
        // The fifteen rows in their order.
        const QList<CVectorFormatWidget*> rows = w.findChildren<CVectorFormatWidget*>();
        QCOMPARE(rows.size(), 15);
        const char* const labels[15] = {"Position", "Normal", "Colour", "Bone indices", "Bone weights",
                                        "UVW 0",    "UVW 1",  "UVW 2",  "UVW 3",        "UVW 4",
                                        "UVW 5",    "UVW 6",  "UVW 7",  "Tangent",      "Binormal"};
        QList<QString> shown;
        for (CVectorFormatWidget* row : rows)
            shown << row->VectorCheckBox()->text();
        for (int i = 0; i < 15; ++i)
            QCOMPARE(shown.at(i), QString::fromLatin1(labels[i]));
    }

    void sortingOffersEveryMethodAndSortVerticesIsShown()
    {
        COptions options;
        COptionsWidget w(nullptr, Qt::WindowFlags(), &options);
        QComboBox* sorting = Child<QComboBox>(&w, "SortingList");
        QCOMPARE(sorting->count(), 4);
        QCOMPARE(sorting->itemText(2), QStringLiteral("Vertex cache order (meshoptimizer)"));
        QVERIFY(!Child<QCheckBox>(&w, "SortVerticesCB")->isHidden());
    }

    void primitiveListAndTheAutomaticRule()
    {
        COptions options;
        COptionsWidget w(nullptr, Qt::WindowFlags(), &options);
        QSignalSpy changed(&w, &COptionsWidget::optionsChanged);
        QComboBox* primitives = Child<QComboBox>(&w, "PrimitiveTypeList");
        QComboBox* sorting = Child<QComboBox>(&w, "SortingList");
        QCheckBox* sortVertices = Child<QCheckBox>(&w, "SortVerticesCB");
        QCOMPARE(primitives->currentText(), QStringLiteral("Indexed triangle list"));

        SelectText(primitives, "Indexed triangle strips");
        QCOMPARE(options.GetPrimType(), 1);
        QVERIFY(options.GetBool(opt::bIndexed));
        QCOMPARE(options.GetTriSort(), 3);
        QCOMPARE(sorting->currentText(), QStringLiteral("Triangle strip order"));
        QVERIFY(sortVertices->isChecked());
        QCOMPARE(changed.count(), 1);

        SelectText(primitives, "Triangle list");
        QCOMPARE(options.GetPrimType(), 0);
        QVERIFY(!options.GetBool(opt::bIndexed));
        QCOMPARE(options.GetTriSort(), 1);
        QVERIFY(!options.GetBool(opt::bSortVertices));
        QCOMPARE(sorting->currentText(), QStringLiteral("Geometry sort"));
        QVERIFY(!sortVertices->isChecked());

        // With custom settings the user's sorting choice stays.
        Child<QGroupBox>(&w, "CustomSettingsGB")->setChecked(true);
        QVERIFY(options.GetBool(opt::bUseCustomOptSettings));
        SelectText(sorting, "None");
        QCOMPARE(options.GetTriSort(), 0);
        SelectText(primitives, "Triangle strips");
        QCOMPARE(options.GetTriSort(), 0);
        QCOMPARE(sorting->currentText(), QStringLiteral("None"));

        // Switching custom settings off hands the choice back to the rule,
        // and the controls show it at once.
        Child<QGroupBox>(&w, "CustomSettingsGB")->setChecked(false);
        QCOMPARE(options.GetTriSort(), 3);
        QCOMPARE(sorting->currentText(), QStringLiteral("Triangle strip order"));
        QCOMPARE(sortVertices->isChecked(), options.GetBool(opt::bSortVertices));
    }

    void spaceListAndStaticFrame()
    {
        COptions options;
        COptionsWidget w(nullptr, Qt::WindowFlags(), &options);
        QComboBox* space = Child<QComboBox>(&w, "SpaceList");
        QSpinBox* frame = Child<QSpinBox>(&w, "StaticFrameSB");
        QLabel* label = Child<QLabel>(&w, "StaticFrameLabel");
        QCOMPARE(space->currentText(), QStringLiteral("Model space"));
        QVERIFY(!frame->isEnabled());
        QVERIFY(!label->isEnabled());
        SelectText(space, "World space");
        QVERIFY(!options.GetBool(opt::bExportModelSpace));
        QVERIFY(frame->isEnabled());
        QVERIFY(label->isEnabled());
        SelectText(space, "Model space");
        QVERIFY(options.GetBool(opt::bExportModelSpace));
        QVERIFY(!frame->isEnabled());
        QVERIFY(!label->isEnabled());
    }

    void coordinateList()
    {
        COptions options;
        COptionsWidget w(nullptr, Qt::WindowFlags(), &options);
        QComboBox* cs = Child<QComboBox>(&w, "CoordinateSystemList");
        QCOMPARE(cs->currentText(), QStringLiteral("OpenGL"));
        SelectText(cs, "DirectX");
        QCOMPARE(options.GetCS(), 1);
        SelectText(cs, "OpenGL");
        QCOMPARE(options.GetCS(), 2);
    }

    void unpackMatrixFollowsThePositionType()
    {
        COptions options;
        COptionsWidget w(nullptr, Qt::WindowFlags(), &options);
        QCheckBox* unpack = Child<QCheckBox>(&w, "UnpackMatrixCB");
        QVERIFY(!unpack->isEnabled());
        QComboBox* positionType = w.VectorRow(eVAPosition)->DataTypeList();
        SelectText(positionType, "short");
        QCOMPARE(options.GetType(eVAPosition), 11);
        QVERIFY(unpack->isEnabled());
        SelectText(positionType, "float");
        QVERIFY(!unpack->isEnabled());
        // Other rows do not touch it.
        SelectText(w.VectorRow(eVANormal)->DataTypeList(), "short");
        QVERIFY(!unpack->isEnabled());
    }

    void dataTypeChangeForcesPadding()
    {
        COptions options;
        options.SetUInt(opt::uiPadDataTo, 2);
        COptionsWidget w(nullptr, Qt::WindowFlags(), &options);
        QSignalSpy changed(&w, &COptionsWidget::optionsChanged);
        SelectText(w.VectorRow(eVANormal)->DataTypeList(), "DEC3N");
        QCOMPARE(options.GetUInt(opt::uiPadDataTo), 4u);
        QCOMPARE(Child<QCheckBox>(&w, "AlignCB")->text(), QStringLiteral("Align vertex data (to 32-bits)"));
        QCOMPARE(changed.count(), 1);
        options.SetUInt(opt::uiPadDataTo, 1);
        w.translateUI(CMeshwrightStrings::eBritishEnglish);
        QCOMPARE(options.GetUInt(opt::uiPadDataTo), 4u);
    }

    void everyBoundControlRoundTrips()
    {
        COptions options;
        COptionsWidget w(nullptr, Qt::WindowFlags(), &options);
        QSignalSpy changed(&w, &COptionsWidget::optionsChanged);

        QSet<int> bools, uints, floats, strings;
        for (QCheckBox* box : w.findChildren<QCheckBox*>()) {
            const QVariant p = box->property(COptionsWidget::kBoolProperty);
            if (!p.isValid())
                continue;
            const int i = p.toInt();
            bools << i;
            const int before = changed.count();
            box->setChecked(!box->isChecked());
            QCOMPARE(options.GetBool(i), box->isChecked());
            QCOMPARE(changed.count(), before + 1);
            options.SetBool(i, !options.GetBool(i));
            w.refreshGUI();
            QCOMPARE(box->isChecked(), options.GetBool(i));
        }
        for (QGroupBox* box : w.findChildren<QGroupBox*>()) {
            const QVariant p = box->property(COptionsWidget::kBoolProperty);
            if (!p.isValid())
                continue;
            const int i = p.toInt();
            bools << i;
            QVERIFY(box->isCheckable());
            box->setChecked(!box->isChecked());
            QCOMPARE(options.GetBool(i), box->isChecked());
            options.SetBool(i, !options.GetBool(i));
            w.refreshGUI();
            QCOMPARE(box->isChecked(), options.GetBool(i));
        }
        for (QSpinBox* box : w.findChildren<QSpinBox*>()) {
            const QVariant p = box->property(COptionsWidget::kIntProperty);
            if (!p.isValid())
                continue;
            const int i = p.toInt();
            uints << i;
            box->setValue(box->maximum());
            QCOMPARE(options.GetUInt(i), uint32_t(box->maximum()));
            options.SetUInt(i, 3);
            w.refreshGUI();
            QCOMPARE(box->value(), 3);
        }
        for (QDoubleSpinBox* box : w.findChildren<QDoubleSpinBox*>()) {
            const QVariant p = box->property(COptionsWidget::kFloatProperty);
            if (!p.isValid())
                continue;
            const int i = p.toInt();
            floats << i;
            box->setValue(-0.25);
            QCOMPARE(options.GetFloat(i), -0.25f);
            options.SetFloat(i, 0.5f);
            w.refreshGUI();
            QCOMPARE(box->value(), 0.5);
        }
        for (QLineEdit* edit : w.findChildren<QLineEdit*>()) {
            const QVariant p = edit->property(COptionsWidget::kStringProperty);
            if (!p.isValid())
                continue;
            const int i = p.toInt();
            strings << i;
            edit->setText(QStringLiteral("/tmp/caf\u00e9 %1").arg(i));
            QCOMPARE(QString::fromStdString(options.String(i)), QStringLiteral("/tmp/caf\u00e9 %1").arg(i));
            options.SetString(i, "back");
            w.refreshGUI();
            QCOMPARE(edit->text(), QStringLiteral("back"));
        }

        const QSet<int> expectedBools = {opt::bExportGeometry,
                                         opt::bUseCustomOptSettings,
                                         opt::bInterleaved,
                                         opt::bAlignData,
                                         opt::bSortVertices,
                                         opt::bExportSkin,
                                         opt::bExportMappingChannels,
                                         opt::bFlipTextureV,
                                         opt::bTangentSpace,
                                         opt::bExportMaterials,
                                         opt::bMerge,
                                         opt::bInvertTransparency,
                                         opt::bExportAnimations,
                                         opt::bIndexAnimations,
                                         opt::bExportMatrices,
                                         opt::bApplyUnit,
                                         opt::bUnpackMatrix,
                                         opt::bDisplayInVistrel,
                                         opt::bUsePostExportCL};
        QCOMPARE(bools, expectedBools);
        QCOMPARE(uints, QSet<int>({opt::uiStaticFrame, opt::uiBoneLimit, opt::uiTSUseUVW}));
        QCOMPARE(floats, QSet<int>({opt::fTangentSpaceVtxSplit}));
        QCOMPARE(strings, QSet<int>({opt::sClPostTarget, opt::sClPostArgs, opt::sClPostCWD, opt::sPathToVistrel,
                                     opt::sMergeSrc}));
        QCOMPARE(Child<QSpinBox>(&w, "PaletteSizeSB")->maximum(), 9999);
        QCOMPARE(Child<QSpinBox>(&w, "StaticFrameSB")->maximum(), 9999);
        QCOMPARE(Child<QSpinBox>(&w, "MappingChannelSB")->maximum(), 7);
        QCOMPARE(Child<QDoubleSpinBox>(&w, "VertexSplittingSB")->decimals(), 3);
    }

    void refreshShowsOptionsChangedElsewhere()
    {
        COptions options;
        COptionsWidget w(nullptr, Qt::WindowFlags(), &options);
        QSignalSpy changed(&w, &COptionsWidget::optionsChanged);
        COptionsData other;
        other.SetBool(opt::bUseCustomOptSettings, true);
        other.SetPrimType(1);
        other.SetBool(opt::bIndexed, false);
        other.SetTriSort(0);
        other.SetCS(1);
        other.SetBool(opt::bExportModelSpace, false);
        other.SetUInt(opt::uiBoneLimit, 20000); // beyond the editor's range
        other.SetFloat(opt::fTangentSpaceVtxSplit, 0.1234f);
        other.SetType(eVAPosition, 12);
        other.SetExport(eVAColour, true);
        options = other;
        const COptionsData expected = options;
        w.refreshGUI();
        QCOMPARE(Child<QComboBox>(&w, "PrimitiveTypeList")->currentText(), QStringLiteral("Triangle strips"));
        QCOMPARE(Child<QComboBox>(&w, "SortingList")->currentText(), QStringLiteral("None"));
        QCOMPARE(Child<QComboBox>(&w, "CoordinateSystemList")->currentText(), QStringLiteral("DirectX"));
        QCOMPARE(Child<QComboBox>(&w, "SpaceList")->currentText(), QStringLiteral("World space"));
        QVERIFY(Child<QSpinBox>(&w, "StaticFrameSB")->isEnabled());
        QVERIFY(Child<QCheckBox>(&w, "UnpackMatrixCB")->isEnabled());
        QCOMPARE(w.VectorRow(eVAPosition)->DataTypeList()->currentText(), QStringLiteral("short, normalised"));
        QVERIFY(w.VectorRow(eVAColour)->VectorCheckBox()->isChecked());
        // Showing the options never rewrites them (no clamping, no rounding),
        // and the refresh is announced once.
        QVERIFY(options == expected);
        QCOMPARE(changed.count(), 1);
    }

    void browseButtons()
    {
        COptions options;
        CTestOptionsWidget w(nullptr, Qt::WindowFlags(), &options);
        // The buttons live in groups that are off by default; a user turns them on first.
        Child<QGroupBox>(&w, "MergeGB")->setChecked(true);
        Child<QGroupBox>(&w, "ViewerGB")->setChecked(true);
        Child<QGroupBox>(&w, "PostExportGB")->setChecked(true);
        QSignalSpy changed(&w, &COptionsWidget::optionsChanged);
        QPushButton* merge = Child<QPushButton>(&w, "MergeSrcBrowse");
        QVERIFY(merge->isEnabled());
        QCOMPARE(merge->property("pLineEdit").value<QObject*>(),
                 static_cast<QObject*>(Child<QLineEdit>(&w, "MergeSrcLE")));

        w.answer = QStringLiteral("/data/previous.qef");
        merge->click();
        QCOMPARE(w.lastCaption, QStringLiteral("Choose a file"));
        QCOMPARE(w.lastFilter,
                 QStringLiteral("All supported formats (*.qef;*.QEF);;QEF scene files [Binary] (*.qef;*.QEF)"));
        QCOMPARE(options.String(opt::sMergeSrc), std::string("/data/previous.qef"));
        QCOMPARE(changed.count(), 1);

        // A cancelled dialog changes nothing.
        w.answer.clear();
        Child<QPushButton>(&w, "ViewerPathBrowse")->click();
        QVERIFY(options.String(opt::sPathToVistrel).empty());
        QCOMPARE(w.lastFilter, QStringLiteral("Executable files (*)"));

        w.answer = QStringLiteral("/usr/bin/viewer");
        Child<QPushButton>(&w, "ViewerPathBrowse")->click();
        QCOMPARE(options.String(opt::sPathToVistrel), std::string("/usr/bin/viewer"));

        w.answer = QStringLiteral("/work/dir");
        Child<QPushButton>(&w, "WorkingDirBrowse")->click();
        QCOMPARE(w.lastCaption, QStringLiteral("Choose a working directory"));
        QCOMPARE(options.String(opt::sClPostCWD), std::string("/work/dir"));
    }

    void droppedProfileFile()
    {
        QTemporaryDir dir;
        const QString good = dir.filePath(QStringLiteral("mobile.CFG"));
        const QString empty = dir.filePath(QStringLiteral("nothing.txt"));
        const QString other = dir.filePath(QStringLiteral("scene.dae"));
        for (const auto& [path, text] : {std::pair<QString, QByteArray>{good, "bExportSkin=1\nuiBoneLimit=20\ncS=1\n"},
                                         {empty, "no options here\n"},
                                         {other, "<COLLADA/>"}}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(text);
        }

        COptions options;
        options.SetOutputPath("/out/scene.qef");
        COptionsWidget w(nullptr, Qt::WindowFlags(), &options);
        QSignalSpy changed(&w, &COptionsWidget::optionsChanged);
        bool enter = false, drop = false;

        Drop(&w, {QUrl::fromLocalFile(other)}, &enter, &drop);
        QVERIFY(!enter);

        Drop(&w, {QUrl::fromLocalFile(empty)}, &enter, &drop);
        QVERIFY(enter);
        QVERIFY(options == COptionsData());
        QCOMPARE(changed.count(), 0);

        Drop(&w, {QUrl::fromLocalFile(other), QUrl::fromLocalFile(good)}, &enter, &drop);
        QVERIFY(enter && drop);
        QVERIFY(options.GetBool(opt::bExportSkin));
        QCOMPARE(options.GetUInt(opt::uiBoneLimit), 20u);
        QCOMPARE(options.GetCS(), 1);
        QCOMPARE(options.OutputPath(), std::string("/out/scene.qef"));
        QVERIFY(Child<QGroupBox>(&w, "SkinningGB")->isChecked());
        QCOMPARE(Child<QSpinBox>(&w, "PaletteSizeSB")->value(), 20);
        QCOMPARE(Child<QComboBox>(&w, "CoordinateSystemList")->currentText(), QStringLiteral("DirectX"));
        QVERIFY(changed.count() >= 1);
    }

    void withoutOptionsNothingIsWritten()
    {
        COptionsWidget w(nullptr, Qt::WindowFlags(), nullptr);
        QSignalSpy changed(&w, &COptionsWidget::optionsChanged);
        Child<QGroupBox>(&w, "SkinningGB")->setChecked(true);
        Child<QComboBox>(&w, "PrimitiveTypeList")->setCurrentIndex(3);
        w.VectorRow(eVANormal)->DataTypeList()->setCurrentIndex(4);
        w.refreshGUI();
        QCOMPARE(changed.count(), 0);
    }

    void headingsStandOverThePositionRow()
    {
        COptions options;
        COptionsWidget w(nullptr, Qt::WindowFlags(), &options);
        w.resize(1000, 800);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QLabel* heading = Child<QLabel>(&w, "DataTypeHeader");
        QWidget* list = w.VectorRow(eVAPosition)->DataTypeList();
        const int headingCentre = heading->mapToGlobal(heading->rect().center()).x();
        const int listCentre = list->mapToGlobal(list->rect().center()).x();
        QVERIFY2(qAbs(headingCentre - listCentre) <= 2,
                 qPrintable(QStringLiteral("%1 vs %2").arg(headingCentre).arg(listCentre)));
        QLabel* a2 = Child<QLabel>(&w, "A2Header");
        QWidget* box = w.VectorRow(eVAPosition)->ComponentBox(2);
        QVERIFY(qAbs(a2->mapToGlobal(a2->rect().center()).x() - box->mapToGlobal(box->rect().center()).x()) <= 2);
    }
};

QTEST_MAIN(TestOptionsWidget)
#include "OptionsWidgetTest.moc"
