// Every failed conversion says why: a red line in the window's log and an
// "error:" line from the command line, with the run's result code.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTextEdit>
#include <QtTest>

#include <functional>

#include <unistd.h>

#include "GuiTestSupport.h"
#include "app/StandaloneWindow.h"
#include "base/ResultCodes.h"
#include "gui/OutputWidget.h"

using namespace guitest;

namespace {

// The user whose rights a permission case runs with when the tests run as
// root, who may read anything.
constexpr uid_t kNobody = 65534;

struct SFailure {
    QString input;  // the file the window opens and both runs convert
    QString output; // where the export goes
    // Run after the window has opened the input: makes the input what the
    // case needs (gone, a folder, unreadable, ...).
    std::function<void()> spoil;
    bool dropRights; // only a user other than root can be refused a file
    int code;
    QString reason; // in a red line of the window and an error line of the command line
};

QByteArray Head(const QString& path, int bytes)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(bytes) : QByteArray();
}

} // namespace

class TestFailureReasons : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    QString Path(const QString& name) const { return m_dir.filePath(name); }

    // The command line run of a case, as another user when rights matter.
    static void RunCli(const SFailure& c, int* exitCode, QString* err)
    {
        QProcess cli;
        if (c.dropRights && geteuid() == 0) {
            cli.setChildProcessModifier([] {
                if (setgid(kNobody) != 0 || setuid(kNobody) != 0)
                    _exit(99);
            });
        }
        cli.start(QStringLiteral(MW_CLI_PATH), {QStringLiteral("convert"), c.input, QStringLiteral("-o"), c.output});
        QVERIFY(cli.waitForFinished(60000));
        *exitCode = cli.exitCode();
        *err = QString::fromUtf8(cli.readAllStandardError());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        UseOwnPreferences(m_dir.path());
        // Another user must reach the files of the permission case.
        QVERIFY(QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                        QFile::ReadOther | QFile::ExeOther));
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("out")));
        QFile::setPermissions(Path(QStringLiteral("out")), QFile::permissions(m_dir.path()) | QFile::WriteOther);
    }

    void failureSaysWhy_data()
    {
        QTest::addColumn<int>("row");
        const char* const names[] = {"missing input", "folder as input", "not a scene file",      "no permission",
                                     "read error",    "damaged Collada", "empty Collada",         "damaged glTF",
                                     "damaged glb",   "no scene",        "missing output folder", "output is a folder"};
        for (int i = 0; i < int(sizeof names / sizeof names[0]); ++i)
            QTest::newRow(names[i]) << i;
    }

    void failureSaysWhy()
    {
        QFETCH(int, row);
        const QString box = ExamplePath(QStringLiteral("textured_box.dae"));
        const QString out = Path(QStringLiteral("out/%1.qef").arg(row));
        const auto copyBox = [&](const QString& name) {
            const QString path = Path(name);
            QFile::remove(path);
            QFile::copy(box, path);
            return path;
        };
        const QString missing = copyBox(QStringLiteral("gone.dae"));
        const QString folder = copyBox(QStringLiteral("folder.dae"));
        const QString obj = copyBox(QStringLiteral("scene.obj"));
        const QString locked = copyBox(QStringLiteral("locked.dae"));
        const QString device = Path(QStringLiteral("device.dae"));
        const QString cut = Path(QStringLiteral("cut.dae"));
        const QString empty = Path(QStringLiteral("empty.dae"));
        const QString gltf = Path(QStringLiteral("bad.gltf"));
        const QString glb = Path(QStringLiteral("bad.glb"));
        const QString noScene = Path(QStringLiteral("noscene.dae"));
        QVERIFY(WriteFile(cut, Head(box, 3000)));
        QVERIFY(WriteFile(empty, QByteArray()));
        QVERIFY(WriteFile(gltf, "{\"asset\": "));
        QVERIFY(WriteFile(glb, "glTF\x02\0\0\0"));
        QVERIFY(WriteFile(noScene, "<COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" "
                                   "version=\"1.4.1\"></COLLADA>"));
        // Reading this link fails part-way with the system's input/output error.
        QFile::remove(device);
        QVERIFY(QFile::link(QStringLiteral("/proc/self/mem"), device));

        const SFailure cases[] = {
            {missing, out, [&] { QFile::remove(missing); }, false, E2QEF_READ_FAILED, "There is no file at"},
            {folder, out,
             [&] {
                 QFile::remove(folder);
                 QDir().mkpath(folder);
             },
             false, E2QEF_READ_FAILED, "There is no file at"},
            {obj, out, {}, false, E2QEF_NOT_COLLADA, "is not a Collada (.dae) or glTF"},
            {locked, out, [&] { QFile::setPermissions(locked, QFileDevice::Permissions()); }, true, E2QEF_READ_FAILED,
             "Permission denied"},
            {device, out, {}, false, E2QEF_READ_FAILED, "Input/output error"},
            {cut, out, {}, false, E2QEF_READ_FAILED, "is damaged at byte"},
            {empty, out, {}, false, E2QEF_READ_FAILED, "is empty"},
            {gltf, out, {}, false, E2QEF_READ_FAILED, "cannot be imported"},
            {glb, out, {}, false, E2QEF_READ_FAILED, "cannot be imported"},
            {noScene, out, {}, false, E2QEF_NO_SCENE, "No scene found"},
            {box, Path(QStringLiteral("nowhere/out.qef")), {}, false, E2QEF_WRITE_FAILED, "No such file or directory"},
            {box, Path(QStringLiteral("out")), {}, false, E2QEF_WRITE_FAILED, "Cannot create"},
        };
        const SFailure& c = cases[row];

        // The window: open, spoil, export, then read the log.
        {
            CStandaloneWindow w;
            w.onOpenFile(c.input);
            QCOMPARE(w.InputPath(), c.input);
            if (c.spoil)
                c.spoil();
            if (c.dropRights && geteuid() == 0) {
                // The window runs in this process, which may read any file.
                QWARN("running as root: the window's permission case is left to the command line");
            } else {
                QSignalSpy done(&w, &CStandaloneWindow::exportFinished);
                w.onExportFile(c.output);
                QVERIFY(done.wait(60000));
                QCOMPARE(w.Converter()->Result(), c.code);
                const QTextDocument* doc = w.OutputWidget()->TextEdit()->document();
                bool said = false;
                for (int line = 0; line < doc->blockCount(); ++line) {
                    if (doc->findBlockByNumber(line).text().contains(c.reason) &&
                        LineColour(doc, line) == QColor(Qt::red))
                        said = true;
                }
                QVERIFY2(said, qPrintable(doc->toPlainText()));
            }
        }

        // The command line, on the same spoilt input: the same code and an
        // error line with the reason.
        int exitCode = -1;
        QString err;
        RunCli(c, &exitCode, &err);
        QCOMPARE(exitCode, c.code);
        bool said = false;
        for (const QString& line : err.split(QLatin1Char('\n')))
            said = said || (line.startsWith(QLatin1String("error: ")) && line.contains(c.reason));
        QVERIFY2(said, qPrintable(err));
        QVERIFY(!QFileInfo(c.output).isFile());
    }
};

QTEST_MAIN(TestFailureReasons)
#include "FailureReasonsTest.moc"
