// Where file dialogs open: the remembered place while it is still there and
// ordinary, the home folder otherwise.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "gui/FileDialogStart.h"

class TestFileDialogStart : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("proc/self")));
        QFile file(m_dir.filePath(QStringLiteral("scene.dae")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(QStringLiteral("/proc/self"), m_dir.filePath(QStringLiteral("to-proc"))));
        QVERIFY(QFile::link(QStringLiteral("/sys/class"), m_dir.filePath(QStringLiteral("to-sys"))));
    }

    void start_data()
    {
        QTest::addColumn<QString>("remembered");
        QTest::addColumn<QString>("start"); // "~" for the home folder
        const QString d = m_dir.path();
        const QString home = QStringLiteral("~");
        QTest::newRow("nothing remembered") << QString() << home;
        QTest::newRow("blank") << QStringLiteral("  ") << home;
        QTest::newRow("existing file") << d + "/scene.dae" << d + "/scene.dae";
        QTest::newRow("new file in an existing folder") << d + "/new.qef" << d + "/new.qef";
        QTest::newRow("existing folder") << d << d;
        QTest::newRow("file in a missing folder") << d + "/gone/scene.dae" << home;
        QTest::newRow("missing folder") << d + "/gone/" << home;
        QTest::newRow("ordinary folder named proc") << d + "/proc/self" << d + "/proc/self";
        QTest::newRow("/proc") << QStringLiteral("/proc") << home;
        QTest::newRow("under /proc") << QStringLiteral("/proc/self/fd") << home;
        QTest::newRow("file under /proc") << QStringLiteral("/proc/self/status") << home;
        QTest::newRow("under /sys") << QStringLiteral("/sys/class") << home;
        QTest::newRow("/dev") << QStringLiteral("/dev") << home;
        QTest::newRow("device") << QStringLiteral("/dev/null") << home;
        QTest::newRow("unclean path into /dev") << QStringLiteral("/tmp/../dev/./") << home;
        QTest::newRow("link to /proc") << d + "/to-proc" << home;
        QTest::newRow("file through a link to /sys") << d + "/to-sys/x" << home;
    }

    void start()
    {
        QFETCH(QString, remembered);
        QFETCH(QString, start);
        if (start == QLatin1String("~"))
            start = QDir::homePath();
        QCOMPARE(FileDialogStart(remembered), start);
    }
};

QTEST_GUILESS_MAIN(TestFileDialogStart)
#include "FileDialogStartTest.moc"
