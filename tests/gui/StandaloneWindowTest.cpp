// The main window driven as a user would: open, export on the worker thread,
// switch views, drop files, close.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QThread>
#include <QUrl>
#include <QtTest>

#include "GuiTestSupport.h"
#include "app/AboutBoxDialog.h"
#include "app/AutoUpdater.h"
#include "app/RecentFilesMenu.h"
#include "app/StandaloneWindow.h"
#include "app/WindowStore.h"
#include "gui/OptionsWidget.h"
#include "gui/OutputWidget.h"
#include "gui/ProfilesWidget.h"
#include "prefs/ZGXPreferences.h"

using namespace guitest;

namespace {

// Answers the file dialogs without showing them.
class CTestWindow : public CStandaloneWindow {
public:
    QString openAnswer, exportAnswer, openFilter;
    int exportDialogs = 0;
    QString lastExportCaption, lastExportFilter, lastExportStart;
    QStringList manuals;
    // Dialogs run, by object name, with a message box's text.
    QStringList dialogs;

protected:
    void OpenManual(const QString& fileName) override { manuals << fileName; }
    int RunDialog(QDialog* dialog) override
    {
        QString entry = dialog->objectName();
        if (QMessageBox* box = qobject_cast<QMessageBox*>(dialog))
            entry = box->windowTitle() + QStringLiteral(": ") + box->text();
        dialogs << entry;
        return QDialog::Accepted;
    }
    QString ChooseOpenPath(const QString&, const QString&, const QString& filter) override
    {
        openFilter = filter;
        return openAnswer;
    }
    QString ChooseExportPath(const QString& caption, const QString& start, const QString& filter) override
    {
        ++exportDialogs;
        lastExportCaption = caption;
        lastExportStart = start;
        lastExportFilter = filter;
        return exportAnswer;
    }
};

bool WaitForExport(CStandaloneWindow& w)
{
    if (!w.IsExporting())
        return true;
    QSignalSpy done(&w, &CStandaloneWindow::exportFinished);
    return done.wait(60000);
}

} // namespace

class TestStandaloneWindow : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        UseOwnPreferences(m_dir.path());
    }

    void startsWithNothingToExport()
    {
        CTestWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.windowTitle(), QStringLiteral("Meshwright 2.12"));
        QCOMPARE(w.View(), eViewProfileOptions);
        QCOMPARE(w.findChild<QStackedWidget*>(QStringLiteral("Views"))->currentWidget()->objectName(),
                 QStringLiteral("ProfileOptionsPage"));
        QVERIFY(w.OptionsWidget()->isVisible());
        QVERIFY(!w.OutputWidget()->isVisible());
        QCOMPARE(w.ContextualButton()->objectName(), QStringLiteral("ContextualB"));
        QCOMPARE(w.ContextualButton()->text(), QStringLiteral("Export..."));
        QVERIFY(!w.ContextualButton()->isEnabled());
        QVERIFY(!w.ExportAction()->isEnabled());
        QVERIFY(w.OpenAction()->isEnabled());
        QCOMPARE(w.OpenAction()->text(), QStringLiteral("Open..."));
        QCOMPARE(w.OpenAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
        QCOMPARE(w.ExportAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
        QCOMPARE(w.OpenRecentMenu()->title(), QStringLiteral("Open Recent File"));
        QCOMPARE(w.ExportRecentMenu()->title(), QStringLiteral("Export To Recent File"));
        QCOMPARE(w.menuBar()->actions().constFirst()->text(), QStringLiteral("File"));
        QVERIFY(!w.windowIcon().isNull());
        // File holds Open, its recent files, Export, its recent files, the
        // texture copy switch and Exit; Help follows it.
        QCOMPARE(w.menuBar()->actions().size(), 2);
        QStringList entries;
        for (QAction* action : w.menuBar()->actions().constFirst()->menu()->actions()) {
            if (!action->isSeparator())
                entries << (action->menu() ? action->menu()->objectName() : action->objectName());
        }
        QCOMPARE(entries, QStringList({QStringLiteral("ActionOpen"), QStringLiteral("OpenRecentMenu"),
                                       QStringLiteral("ActionExport"), QStringLiteral("ExportRecentMenu"),
                                       QStringLiteral("ActionCopyTextures"), QStringLiteral("ActionExit")}));
    }

    void helpMenu()
    {
        CTestWindow w;
        QMenu* help = w.HelpMenu();
        QCOMPARE(w.menuBar()->actions().at(1)->menu(), help);
        QCOMPARE(help->title(), QStringLiteral("Help"));
        QStringList entries;
        for (QAction* action : help->actions())
            entries << action->text() + QStringLiteral("|") + action->shortcut().toString();
        QCOMPARE(entries, QStringList({QStringLiteral("Meshwright Help|F1"),
                                       QStringLiteral("QEF Specification|Ctrl+F1"), QStringLiteral("Feedback...|"),
                                       QStringLiteral("About Meshwright|"), QStringLiteral("Check for Updates|")}));

        // The manuals.
        help->actions().at(0)->trigger();
        help->actions().at(1)->trigger();
        QCOMPARE(w.manuals, QStringList({QString::fromLatin1(CStandaloneWindow::kManualFile),
                                         QString::fromLatin1(CStandaloneWindow::kFormatFile)}));

        // Feedback and About open their dialogs; About is shown even with
        // its start-up switch off.
        w.Store().Preferences()->WriteBool(
            CAboutBoxDialog::ShowSplashKey(QString::fromLatin1(CStandaloneWindow::kTitle)).toStdString(), false);
        help->actions().at(2)->trigger();
        help->actions().at(3)->trigger();
        QCOMPARE(w.dialogs, QStringList({QStringLiteral("FeedbackClass"), QStringLiteral("AboutBoxClass")}));
        // Unforced, as at start-up, it stays away while the switch is off.
        w.dialogs.clear();
        w.ShowAboutBox(false);
        QVERIFY(w.dialogs.isEmpty());
        w.Store().Preferences()->WriteBool(
            CAboutBoxDialog::ShowSplashKey(QString::fromLatin1(CStandaloneWindow::kTitle)).toStdString(), true);
        w.ShowAboutBox(false);
        QCOMPARE(w.dialogs, QStringList({QStringLiteral("AboutBoxClass")}));

        // No update program is configured: a check from the menu says so.
        w.dialogs.clear();
        QSignalSpy done(w.Updater(), &CAutoUpdater::Done);
        help->actions().at(4)->trigger();
        QCOMPARE(done.count(), 1);
        QCOMPARE(w.dialogs, QStringList({QStringLiteral("Check for Updates: Failed to check for updates: no update "
                                                        "program is configured (the setting \"Updater/Path\" names "
                                                        "none).")}));
    }

    void profilesBesideTheOptions()
    {
        CTestWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        CProfilesWidget* profiles = w.ProfilesWidget();
        QVERIFY(profiles && profiles->isVisible());
        QCOMPARE(profiles->parentWidget()->objectName(), QStringLiteral("ProfileOptionsSplitter"));
        QCOMPARE(profiles->List()->item(0)->text(), QStringLiteral("[Current]"));

        // Editing an option marks [Current] as edited; applying the
        // defaults from the list brings the editor and the entry back.
        QSpinBox* palette = w.OptionsWidget()->findChild<QSpinBox*>(QStringLiteral("PaletteSizeSB"));
        palette->setValue(palette->value() + 1);
        QVERIFY(profiles->IsEdited());
        QCOMPARE(profiles->CurrentEntry()->Options().GetUInt(opt::uiBoneLimit), uint(palette->value()));
        profiles->List()->setCurrentItem(profiles->DefaultEntry());
        profiles->useProfile();
        QVERIFY(w.Options() == COptionsData());
        QCOMPARE(palette->value(), int(COptionsData().GetUInt(opt::uiBoneLimit)));
        QVERIFY(!profiles->IsEdited());

        // Both pages show the list; an export locks it.
        w.changeView(eViewEverything);
        QCOMPARE(profiles->parentWidget()->objectName(), QStringLiteral("EverythingSplitter"));
        w.changeView(eViewProfileOptions);
        w.onOpenFile(ExamplePath(QStringLiteral("textured_box.dae")));
        w.onExportFile(m_dir.filePath(QStringLiteral("locked.qef")));
        QVERIFY(!profiles->isEnabled());
        QVERIFY(WaitForExport(w));
        QVERIFY(profiles->isEnabled());
    }

    void profilesSurviveARestart()
    {
        {
            CTestWindow first;
            first.ProfilesWidget()->AddProfile(QStringLiteral("Mobile"), COptionsData());
            QVERIFY(first.close());
        }
        CTestWindow second;
        CProfilesWidget* profiles = second.ProfilesWidget();
        QVERIFY(profiles->ProfileCount() >= 1);
        QCOMPARE(profiles->Profile(profiles->ProfileCount() - 1)->Name(), QStringLiteral("Mobile"));
        // A listed profile whose options are gone is reported in the output.
        CZGXPreferences* prefs = second.Store().Preferences();
        std::vector<CZGXTString> list;
        prefs->ReadStringArray("Profiles//Custom/List/", list);
        list.push_back("7:Lost");
        prefs->WriteStringArray("Profiles//Custom/List/", list);
        QVERIFY(prefs->Save());
        CTestWindow third;
        QVERIFY(third.OutputWidget()->TextEdit()->toPlainText().contains(
            QStringLiteral("Failed to load profile 7:Lost. Entry does not exist")));
        QCOMPARE(third.ProfilesWidget()->ProfileCount(), profiles->ProfileCount());
        // Saving drops the stale entry for the windows that follow.
        QVERIFY(third.ProfilesWidget()->Save(*third.Store().Preferences(), CStandaloneWindow::kProfilesPrefix));
    }

    void openingAFile()
    {
        CTestWindow w;
        QSignalSpy exportState(&w, &CStandaloneWindow::fileExportState);
        w.onOpenFile(m_dir.filePath(QStringLiteral("missing.dae")));
        QCOMPARE(w.windowTitle(), QStringLiteral("Meshwright 2.12"));
        QCOMPARE(exportState.count(), 0);

        w.openAnswer = ExamplePath(QStringLiteral("textured_box.dae"));
        w.OpenAction()->trigger();
        QCOMPARE(w.InputPath(), w.openAnswer);
        QCOMPARE(w.windowTitle(), QStringLiteral("Meshwright 2.12 - textured_box.dae"));
        QVERIFY(w.ContextualButton()->isEnabled());
        QVERIFY(w.ExportAction()->isEnabled());
        QCOMPARE(exportState.count(), 1);
        QVERIFY(w.OpenRecentMenu()->Files().contains(w.openAnswer));

        // A cancelled dialog changes nothing.
        w.openAnswer.clear();
        w.OpenAction()->trigger();
        QCOMPARE(w.InputPath(), ExamplePath(QStringLiteral("textured_box.dae")));

        // The export dialog starts beside the input, under its name.
        w.exportAnswer.clear();
        w.ExportAction()->trigger();
        QCOMPARE(w.lastExportStart, QFileInfo(ExamplePath(QStringLiteral("textured_box.qef"))).absoluteFilePath());
    }

    void exportRunsOnTheWorkerAndEndsUsable()
    {
        CTestWindow w;
        w.show();
        w.onOpenFile(ExamplePath(QStringLiteral("textured_box.dae")));
        const QString out = m_dir.filePath(QStringLiteral("box.qef"));
        w.exportAnswer = out;
        QSignalSpy started(&w, &CStandaloneWindow::contextualButtonState);
        w.ContextualButton()->click();
        QCOMPARE(w.exportDialogs, 1);
        QCOMPARE(w.lastExportCaption, QStringLiteral("Export to QEF"));
        QCOMPARE(w.lastExportFilter, QStringLiteral("QEF files (*.qef *.h *.cpp)"));
        QVERIFY(w.IsExporting());
        QVERIFY(w.WorkerThread() && w.WorkerThread() != QThread::currentThread());
        QVERIFY(w.Converter() && w.Converter()->thread() == w.WorkerThread());
        // While it runs, nothing can start another export.
        QVERIFY(!w.OptionsWidget()->isEnabled());
        QVERIFY(!w.ProfilesWidget()->isEnabled());
        QVERIFY(!w.ContextualButton()->isEnabled());
        QVERIFY(!w.ExportAction()->isEnabled());
        QVERIFY(!w.acceptDrops());

        QVERIFY(WaitForExport(w));
        QCOMPARE(w.View(), eViewOutput);
        QCOMPARE(w.ContextualButton()->text(), QStringLiteral("OK"));
        QVERIFY(w.OutputWidget()->isVisible());
        QVERIFY(w.OptionsWidget()->isEnabled());
        QVERIFY(w.ContextualButton()->isEnabled());
        QVERIFY(w.ExportAction()->isEnabled());
        QVERIFY(w.acceptDrops());
        QCOMPARE(w.Options().OutputPath(), out.toStdString());
        QVERIFY(w.ExportRecentMenu()->Files().contains(out));

        const QTextDocument* doc = w.OutputWidget()->TextEdit()->document();
        QVERIFY(!doc->toPlainText().isEmpty());
        QVERIFY2(w.Converter()->Result() == E2QEF_SUCCESS, qPrintable(doc->toPlainText()));
        QVERIFY(QFile::exists(out));
        QVERIFY(ReadsAsSceneFile(out));
        QVERIFY(w.OutputWidget()->ProgressBar()->isHidden());
        const int last = doc->blockCount() - 1;
        QCOMPARE(doc->findBlockByNumber(last).text(), out + QStringLiteral(" successfully written."));
        QCOMPARE(LineColour(doc, last), QColor(0x00, 0x64, 0x00));
    }

    void contextualButtonReturnsFromTheOutput()
    {
        CTestWindow w;
        w.show();
        w.onOpenFile(ExamplePath(QStringLiteral("textured_box.dae")));
        w.onExportFile(m_dir.filePath(QStringLiteral("view.qef")));
        QVERIFY(WaitForExport(w));
        QCOMPARE(w.View(), eViewOutput);
        CConverterObject* converter = w.Converter();
        w.ContextualButton()->click();
        QCOMPARE(w.View(), eViewProfileOptions);
        QCOMPARE(w.ContextualButton()->text(), QStringLiteral("Export..."));
        QVERIFY(w.OptionsWidget()->isVisible());
        // No export was started and no dialog shown.
        QCOMPARE(w.exportDialogs, 0);
        QVERIFY(!w.IsExporting());
        QCOMPARE(w.Converter(), converter);
        // Views 0 and 2 are reachable too.
        w.changeView(eViewEverything);
        QVERIFY(w.OptionsWidget()->isVisible() && w.OutputWidget()->isVisible());
        QCOMPARE(w.ContextualButton()->text(), QStringLiteral("Export..."));
    }

    void secondExportStartsWithAClearedOutput()
    {
        CTestWindow w;
        w.show();
        w.onOpenFile(ExamplePath(QStringLiteral("textured_box.dae")));
        w.onExportFile(m_dir.filePath(QStringLiteral("first.qef")));
        QVERIFY(WaitForExport(w));
        QCOMPARE(w.View(), eViewOutput);
        const int firstLines = w.OutputWidget()->TextEdit()->document()->blockCount();
        w.displayWarning(QStringLiteral("marker line"));
        w.OutputWidget()->setProgress(100);
        QThread* firstThread = w.WorkerThread();
        w.onExportFile(m_dir.filePath(QStringLiteral("second.qef")));
        QVERIFY(w.WorkerThread() != firstThread || !firstThread);
        QVERIFY(!w.OutputWidget()->ProgressBar()->isHidden());
        QVERIFY(WaitForExport(w));
        const QString text = w.OutputWidget()->TextEdit()->toPlainText();
        QVERIFY(!text.contains(QStringLiteral("marker line")));
        QCOMPARE(w.OutputWidget()->TextEdit()->document()->blockCount(), firstLines);
        QCOMPARE(w.ExportRecentMenu()->Files().constFirst(), m_dir.filePath(QStringLiteral("second.qef")));
    }

    void exportToARecentFile()
    {
        CTestWindow w;
        w.onOpenFile(ExamplePath(QStringLiteral("textured_box.dae")));
        const QString out = m_dir.filePath(QStringLiteral("recent.qef"));
        w.onExportFile(out);
        QVERIFY(WaitForExport(w));
        w.ExportRecentMenu()->refresh();
        QAction* entry = nullptr;
        for (QAction* a : w.ExportRecentMenu()->actions())
            if (a->property("ARecentFile").toString() == out)
                entry = a;
        QVERIFY(entry);
        QCOMPARE(entry->text(), QStringLiteral("1 ") + out);
        w.Store().ClearRecentFiles(CStandaloneWindow::kExportRecentPrefix);
        CConverterObject* before = w.Converter();
        entry->trigger();
        QVERIFY(w.IsExporting() || w.Converter() != before);
        QVERIFY(WaitForExport(w));
        QCOMPARE(w.Options().OutputPath(), out.toStdString());
    }

    void recentFileMenus()
    {
        const QString kept = m_dir.filePath(QStringLiteral("kept.dae"));
        const QString gone = m_dir.filePath(QStringLiteral("gone-later.dae"));
        QVERIFY(QFile::copy(ExamplePath(QStringLiteral("textured_box.dae")), kept) || QFile::exists(kept));
        QVERIFY(QFile::copy(ExamplePath(QStringLiteral("textured_box.dae")), gone) || QFile::exists(gone));

        CTestWindow w;
        CRecentFilesMenu* menu = w.OpenRecentMenu();
        menu->clearList(); // earlier windows of this run used the same store
        QVERIFY(menu->Files().isEmpty());
        w.onOpenFile(kept);
        w.onOpenFile(gone);
        w.onOpenFile(kept); // again: one entry, at the front
        QCOMPARE(menu->Files(), QStringList({kept, gone}));

        // A file deleted since it was opened disappears when the menu shows.
        QVERIFY(QFile::remove(gone));
        emit menu->aboutToShow();
        QStringList shown;
        QAction* separator = nullptr;
        for (QAction* a : menu->actions()) {
            if (a->property("ARecentFile").isValid())
                shown << a->text();
            if (a->objectName() == QLatin1String("TheRecentFileSeparator"))
                separator = a;
        }
        QCOMPARE(shown, QStringList({QStringLiteral("1 ") + kept}));
        QVERIFY(separator);
        QCOMPARE(menu->Files(), QStringList({kept}));

        // Choosing an entry opens it.
        w.onOpenFile(ExamplePath(QStringLiteral("textured_box.dae")));
        menu->refresh();
        for (QAction* a : menu->actions())
            if (a->property("ARecentFile").toString() == kept)
                a->trigger();
        QCOMPARE(w.InputPath(), kept);

        // "Clear recent files" empties the list.
        QAction* clear = w.findChild<QAction*>(QStringLiteral("ClearRecentFiles"));
        QVERIFY(clear);
        QCOMPARE(clear->text(), QStringLiteral("Clear recent files"));
        for (QAction* a : menu->actions())
            if (a->objectName() == QLatin1String("ClearRecentFiles"))
                a->trigger();
        QVERIFY(menu->Files().isEmpty());
        for (QAction* a : menu->actions())
            QVERIFY(!a->property("ARecentFile").isValid());
    }

    void sourceNamesChooseTheSourceForm_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("expected");
        QTest::newRow("qef") << 0 << "scene.qef" << 0;
        QTest::newRow("header") << 0 << "scene.h" << 1;
        QTest::newRow("header upper case") << 0 << "SCENE.H" << 1;
        QTest::newRow("source") << 0 << "scene.cpp" << 2;
        QTest::newRow("chosen header form kept") << 1 << "scene.cpp" << 1;
        QTest::newRow("chosen source form kept") << 2 << "scene.h" << 2;
        QTest::newRow("no suffix") << 0 << "scene" << 0;
    }
    void sourceNamesChooseTheSourceForm()
    {
        QFETCH(int, format);
        QFETCH(QString, file);
        QFETCH(int, expected);
        COptions options;
        options.SetExpFormat(format);
        const COptions run = CStandaloneWindow::ExportOptionsFor(options, QStringLiteral("/out/") + file);
        QCOMPARE(run.GetExpFormat(), expected);
        QCOMPARE(run.OutputPath(), (QStringLiteral("/out/") + file).toStdString());
        // The window's own choice is unchanged.
        QCOMPARE(options.GetExpFormat(), format);
    }

    void droppingFiles()
    {
        const QString txt = m_dir.filePath(QStringLiteral("notes.txt"));
        const QString dae = m_dir.filePath(QStringLiteral("scene.DAE"));
        QVERIFY(WriteFile(txt, "nothing\n"));
        QVERIFY(QFile::copy(ExamplePath(QStringLiteral("textured_box.dae")), dae) || QFile::exists(dae));

        CTestWindow w;
        bool enter = false, drop = false;
        SendDrop(&w, {QUrl::fromLocalFile(txt)}, &enter, &drop);
        QVERIFY(!enter);
        QVERIFY(w.InputPath().isEmpty());
        SendDrop(&w, {QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("gone.dae")))}, &enter, &drop);
        QVERIFY(!enter);

        SendDrop(&w, {QUrl::fromLocalFile(txt), QUrl::fromLocalFile(dae)}, &enter, &drop);
        QVERIFY(enter && drop);
        QCOMPARE(w.InputPath(), dae);
        QCOMPARE(w.windowTitle(), QStringLiteral("Meshwright 2.12 - scene.DAE"));
        QVERIFY(w.ExportAction()->isEnabled());
    }

    void droppingAndOpeningGltfFiles()
    {
        const QString gltf = m_dir.filePath(QStringLiteral("scene.gltf"));
        const QString glb = m_dir.filePath(QStringLiteral("scene.GLB"));
        QVERIFY(WriteFile(gltf, "{}"));
        QVERIFY(WriteFile(glb, "glTF"));
        CTestWindow w;
        bool enter = false, drop = false;
        for (const QString& file : {gltf, glb}) {
            SendDrop(&w, {QUrl::fromLocalFile(file)}, &enter, &drop);
            QVERIFY(enter && drop);
            QCOMPARE(w.InputPath(), file);
        }
        w.openAnswer = QString();
        w.OpenAction()->trigger();
        QCOMPARE(w.openFilter, QStringLiteral("All supported formats (*.dae;*.DAE;*.gltf;*.GLTF;*.glb;*.GLB);;"
                                              "Collada files (*.dae;*.DAE);;glTF files (*.gltf;*.GLTF;*.glb;*.GLB)"));
    }

    void closingDuringAnExportWaitsForIt()
    {
        CTestWindow w;
        w.show();
        w.onOpenFile(ExamplePath(QStringLiteral("textured_box.dae")));
        w.onExportFile(m_dir.filePath(QStringLiteral("closing.qef")));
        QVERIFY(w.IsExporting());
        QVERIFY(!w.close());
        QVERIFY(w.isVisible());
        QVERIFY(WaitForExport(w));
        QTRY_VERIFY(!w.isVisible());
        QVERIFY(!w.WorkerThread() || w.WorkerThread()->wait(10000));
    }

    void closeWritesOptionsAndLayout()
    {
        CTestWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        // The user changes the palette size in the editor.
        QSpinBox* palette = w.OptionsWidget()->findChild<QSpinBox*>(QStringLiteral("PaletteSizeSB"));
        QVERIFY(palette);
        palette->setValue(17);
        QCOMPARE(w.Options().GetUInt(opt::uiBoneLimit), 17u);
        QAction* exitAction = w.findChild<QAction*>(QStringLiteral("ActionExit"));
        QVERIFY(exitAction);
        QCOMPARE(exitAction->shortcut(), QKeySequence(QStringLiteral("Alt+F4")));
        exitAction->trigger();
        QVERIFY(!w.isVisible());

        COptionsData stored;
        w.Store().LoadOptions(stored, CStandaloneWindow::kCurrentOptionsPrefix);
        QCOMPARE(stored.GetUInt(opt::uiBoneLimit), 17u);
        QVERIFY(stored == w.Options());
        QVERIFY(!w.Store().ReadData(CStandaloneWindow::kStateKey).isEmpty());
        QVERIFY(!w.Store().ReadData(CStandaloneWindow::kGeometryKey).isEmpty());

        // What was written is in the store itself, not only in the window.
        CWindowStore store;
        QString error;
        QVERIFY2(store.Load(&error), qPrintable(error));
        COptionsData reread;
        store.LoadOptions(reread, CStandaloneWindow::kCurrentOptionsPrefix);
        QVERIFY(reread == w.Options());
        QCOMPARE(store.ReadData(CStandaloneWindow::kGeometryKey), w.saveGeometry());
    }

    void restartRestoresOptionsAndLayout()
    {
        QByteArray geometry;
        {
            CTestWindow first;
            first.resize(900, 640);
            first.show();
            QVERIFY(QTest::qWaitForWindowExposed(&first));
            first.OptionsWidget()->findChild<QSpinBox*>(QStringLiteral("PaletteSizeSB"))->setValue(23);
            QVERIFY(first.close());
            geometry = first.saveGeometry();
        }
        CTestWindow second;
        QCOMPARE(second.Options().GetUInt(opt::uiBoneLimit), 23u);
        QCOMPARE(second.OptionsWidget()->findChild<QSpinBox*>(QStringLiteral("PaletteSizeSB"))->value(), 23);
        QCOMPARE(second.size(), QSize(900, 640));
        QCOMPARE(second.Store().ReadData(CStandaloneWindow::kGeometryKey), geometry);
    }

    void appliedOptionsRefreshTheEditor()
    {
        CTestWindow w;
        QSignalSpy changed(w.OptionsWidget(), &COptionsWidget::optionsChanged);
        COptionsData other;
        other.SetUInt(opt::uiBoneLimit, 33);
        w.setOptions(other);
        QCOMPARE(w.Options().GetUInt(opt::uiBoneLimit), 33u);
        QCOMPARE(w.OptionsWidget()->findChild<QSpinBox*>(QStringLiteral("PaletteSizeSB"))->value(), 33);
        QCOMPARE(changed.count(), 1);
    }
};

QTEST_MAIN(TestStandaloneWindow)
#include "StandaloneWindowTest.moc"
