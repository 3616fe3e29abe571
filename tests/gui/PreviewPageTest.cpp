// The window's Preview page: the result of every successful binary export,
// shown at once when "open in viewer" has no viewer of the user's, and any
// .qef dropped on the window.
#include <QDir>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QUrl>
#include <QProcess>
#include <QtTest>

#include "GuiTestSupport.h"
#include "app/StandaloneWindow.h"
#include "prefs/ZGXPreferences.h"
#include "viewer/ViewerPanel.h"

using namespace guitest;

namespace {

bool ExportAndWait(CStandaloneWindow& w, const QString& input, const QString& output)
{
    w.onOpenFile(input);
    QSignalSpy done(&w, &CStandaloneWindow::exportFinished);
    w.onExportFile(output);
    return !w.IsExporting() || done.wait(60000);
}

} // namespace

class TestPreviewPage : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
        const std::string prefs = QDir(m_dir.path()).filePath(QStringLiteral("prefs")).toStdString();
        CZGXPreferences::SetBaseFolder(ePrefUser, prefs);
        CZGXPreferences::SetBaseFolder(ePrefAllUsers, prefs);
    }

    // Table: "open in viewer" and the viewer path decide whether the page
    // comes forward; the result is loaded into it either way; C source is
    // not a scene to show.
    void exportsReachThePreview_data()
    {
        QTest::addColumn<bool>("openInViewer");
        QTest::addColumn<QString>("viewerPath");
        QTest::addColumn<QString>("output");
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<int>("view");
        QTest::newRow("open in viewer, no viewer set") << true << QString() << "a.qef" << true << int(eViewPreview);
        QTest::newRow("not opened") << false << QString() << "b.qef" << true << int(eViewOutput);
        QTest::newRow("a viewer of the user's") << true << "/nonexistent/viewer"
                                                << "c.qef" << true << int(eViewOutput);
        QTest::newRow("C source") << true << QString() << "d.h" << false << int(eViewOutput);
    }

    void exportsReachThePreview()
    {
        QFETCH(bool, openInViewer);
        QFETCH(QString, viewerPath);
        QFETCH(QString, output);
        QFETCH(bool, loaded);
        QFETCH(int, view);
        CStandaloneWindow w;
        w.show();
        COptionsData options = w.Options();
        options.SetBool(opt::bDisplayInVistrel, openInViewer);
        options.SetString(opt::sPathToVistrel, viewerPath.toStdString());
        w.setOptions(options);
        const QString out = m_dir.filePath(output);
        QVERIFY(ExportAndWait(w, ExamplePath(QStringLiteral("textured_box.dae")), out));
        QCOMPARE(int(w.View()), view);
        QCOMPARE(w.Preview() != nullptr && w.Preview()->HasScene(), loaded);
        if (!loaded)
            return;
        QCOMPARE(w.Preview()->FilePath(), out);
        QVERIFY2(w.Preview()->StatusText().contains(QStringLiteral("12 triangles")),
                 qPrintable(w.Preview()->StatusText()));
        QCOMPARE(w.PreviewButton()->isVisible(), view != int(eViewPreview));
        if (view != int(eViewPreview))
            w.PreviewButton()->click();
        QCOMPARE(w.View(), eViewPreview);
        QCOMPARE(w.ContextualButton()->text(), QStringLiteral("OK"));
        w.ContextualButton()->click();
        QCOMPARE(w.View(), eViewProfileOptions);
    }

    // A dropped .qef shows on the page; a damaged one shows the reader's
    // message there, and the window goes on.
    void droppedSceneFiles()
    {
        const QString good = m_dir.filePath(QStringLiteral("drop.qef"));
        {
            CStandaloneWindow exporter;
            QVERIFY(ExportAndWait(exporter, ExamplePath(QStringLiteral("textured_box.dae")), good));
        }
        QFile file(good);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const QString bad = m_dir.filePath(QStringLiteral("bad.qef"));
        QVERIFY(WriteFile(bad, bytes.left(bytes.size() / 3)));

        CStandaloneWindow w;
        w.show();
        bool entered = false, dropped = false;
        SendDrop(&w, {QUrl::fromLocalFile(bad)}, &entered, &dropped);
        QVERIFY(entered && dropped);
        QCOMPARE(w.View(), eViewPreview);
        QVERIFY(w.Preview()->StatusIsError());
        QVERIFY2(w.Preview()->StatusText().contains(QStringLiteral("bad.qef")), qPrintable(w.Preview()->StatusText()));
        QVERIFY(w.InputPath().isEmpty()); // not taken as a file to convert

        SendDrop(&w, {QUrl::fromLocalFile(good)}, &entered, &dropped);
        QVERIFY(entered && dropped);
        QVERIFY(w.Preview()->HasScene());
        QVERIFY(!w.Preview()->StatusIsError());
        QVERIFY(w.Preview()->Tree()->topLevelItemCount() > 0);
        QVERIFY2(w.Preview()->StatusText().contains(QStringLiteral("12 triangles")),
                 qPrintable(w.Preview()->StatusText()));
    }

    // The program started with a file (as the desktop's "Open with" does):
    // a Collada file opens ready to export, a .qef file on the Preview page;
    // the export dialog proposes the input's name beside it.
    void aFileGivenAtStart()
    {
        const QString scene = m_dir.filePath(QStringLiteral("start.qef"));
        {
            CStandaloneWindow exporter;
            QVERIFY(ExportAndWait(exporter, ExamplePath(QStringLiteral("textured_box.dae")), scene));
        }
        CStandaloneWindow w;
        QVERIFY(!w.OpenAtStart(m_dir.filePath(QStringLiteral("missing.dae"))));
        QVERIFY(!w.ExportAction()->isEnabled());
        const QString input = ExamplePath(QStringLiteral("textured_box.dae"));
        QVERIFY(w.OpenAtStart(input));
        QCOMPARE(w.InputPath(), input);
        QVERIFY(w.ExportAction()->isEnabled());
        QVERIFY(w.ContextualButton()->isEnabled());
        QCOMPARE(w.windowTitle(), QStringLiteral("Meshwright 2.12 - textured_box.dae"));

        CStandaloneWindow viewer;
        QVERIFY(viewer.OpenAtStart(scene));
        QCOMPARE(viewer.View(), eViewPreview);
        QVERIFY(viewer.Preview()->HasScene());
        QCOMPARE(viewer.Preview()->FilePath(), scene);
        QVERIFY(viewer.InputPath().isEmpty());
    }

    // meshwright --help and --version print and exit, without a window.
    void helpAndVersionPrint()
    {
        for (const char* option : {"--help", "--version"}) {
            QProcess program;
            program.start(QDir(QStringLiteral(MW_PROGRAM_DIR)).filePath(QStringLiteral("meshwright")),
                          {QString::fromLatin1(option)});
            QVERIFY(program.waitForFinished(30000));
            QCOMPARE(program.exitCode(), 0);
            const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
            QVERIFY2(out.contains(option[2] == 'h' ? QStringLiteral("usage: meshwright [FILE]")
                                                   : QStringLiteral("meshwright 2.12")),
                     qPrintable(out));
        }
    }
};

QTEST_MAIN(TestPreviewPage)
#include "PreviewPageTest.moc"
