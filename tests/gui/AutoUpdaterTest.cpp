// The updater launcher against stand-in update programs: small shell scripts
// written by each test that log their arguments and answer as told.
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "app/AutoUpdater.h"
#include "prefs/ZGXPreferences.h"

namespace {

bool WriteScript(const QString& path, const QByteArray& text)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        return false;
    f.close();
    return f.setPermissions(f.permissions() | QFile::ExeOwner | QFile::ExeUser);
}

QStringList ReadLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QStringList();
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class TestAutoUpdater : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_config;
    std::unique_ptr<QTemporaryDir> m_dir; // the stand-in's folder, new per test
    std::unique_ptr<CZGXPreferences> m_prefs;

    QString Program() const { return m_dir->filePath(QStringLiteral("updater")); }
    QString Log() const { return m_dir->filePath(QStringLiteral("calls.log")); }
    QString Downloads() const { return m_dir->filePath(QStringLiteral("downloads")); }

    // A stand-in that logs its arguments, runs download when asked to
    // download and check otherwise.
    bool MakeUpdater(const QByteArray& check, const QByteArray& download = "exit 2")
    {
        m_prefs->WriteString(CAutoUpdater::kPathKey, Program().toStdString());
        m_prefs->WriteString(CAutoUpdater::kDownloadFolderKey, Downloads().toStdString());
        QDir().mkpath(Downloads());
        return WriteScript(Program(), "#!/bin/sh\n"
                                      "printf '%s\\n' \"$*\" >> \"" +
                                          Log().toUtf8() +
                                          "\"\n"
                                          "case \"$*\" in *download*)\n" +
                                          download + "\n;; esac\n" + check + "\n");
    }

    // Waits for the launcher to finish its work.
    static bool WaitDone(QSignalSpy& done, int count = 1)
    {
        while (done.count() < count)
            if (!done.wait(15000))
                return false;
        return true;
    }

private slots:
    void initTestCase()
    {
        // Never the user's own preference files.
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_config.isValid());
        const std::string base = QDir(m_config.path()).filePath(QStringLiteral("config")).toStdString();
        CZGXPreferences::SetBaseFolder(ePrefUser, base);
        CZGXPreferences::SetBaseFolder(ePrefAllUsers, base);
    }

    void init()
    {
        m_dir.reset(new QTemporaryDir);
        QVERIFY(m_dir->isValid());
        QFile::remove(QString::fromStdString(CZGXPreferences::StorePath("Meshwright")));
        m_prefs.reset(new CZGXPreferences("Meshwright"));
        CZGXTString error;
        QVERIFY(m_prefs->Load(error));
    }

    void nothingConfigured()
    {
        CAutoUpdater updater(QStringLiteral("Meshwright"), {}, 10, nullptr, m_prefs.get());
        QSignalSpy errors(&updater, &CAutoUpdater::ErrorOccured);
        QSignalSpy done(&updater, &CAutoUpdater::Done);
        // The automatic check fails silently.
        updater.Start();
        QCOMPARE(done.count(), 1);
        QCOMPARE(errors.count(), 0);
        QVERIFY(!updater.IsChecking());
        // A check the user asked for says why nothing happened.
        updater.OnForceCheckForUpdates();
        QCOMPARE(done.count(), 2);
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).toString(),
                 QStringLiteral("Failed to check for updates: no update program is configured (the setting "
                                "\"Updater/Path\" names none)."));
    }

    void configuredProgramIsMissing()
    {
        const QString missing = m_dir->filePath(QStringLiteral("no-such-updater"));
        m_prefs->WriteString(CAutoUpdater::kPathKey, missing.toStdString());
        CAutoUpdater updater(QStringLiteral("Meshwright"), {}, 10, nullptr, m_prefs.get());
        QSignalSpy errors(&updater, &CAutoUpdater::ErrorOccured);
        updater.Start();
        QCOMPARE(errors.count(), 0);
        updater.OnForceCheckForUpdates();
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).toString(), missing + QStringLiteral(" could not be found"));
    }

    void automaticCheckCanBeSwitchedOff()
    {
        QVERIFY(MakeUpdater("exit 1"));
        m_prefs->WriteBool(CAutoUpdater::kCheckKey, false);
        CAutoUpdater updater(QStringLiteral("Meshwright"), {}, 10, nullptr, m_prefs.get());
        QSignalSpy done(&updater, &CAutoUpdater::Done);
        updater.Start();
        QCOMPARE(done.count(), 1);
        QVERIFY(!QFile::exists(Log()));
        // Asked for, it runs all the same.
        updater.OnForceCheckForUpdates();
        QVERIFY(WaitDone(done, 2));
        QCOMPARE(ReadLines(Log()).size(), 1);
    }

    void upToDate()
    {
        QVERIFY(MakeUpdater("exit 1"));
        QWidget window;
        CAutoUpdater updater(QStringLiteral("Meshwright"), {}, 10, &window, m_prefs.get());
        QSignalSpy errors(&updater, &CAutoUpdater::ErrorOccured);
        QSignalSpy done(&updater, &CAutoUpdater::Done);
        updater.Start();
        QVERIFY(updater.IsChecking());
        QVERIFY(WaitDone(done));
        QVERIFY(!updater.IsChecking());
        // The check's command line.
        QCOMPARE(ReadLines(Log()), QStringList({QStringLiteral("--mode unattended --settings_file ") +
                                                m_dir->filePath(QStringLiteral("update.ini"))}));
        // Silent when automatic; a note when asked for.
        QVERIFY(!updater.NoteBox());
        updater.OnForceCheckForUpdates();
        QVERIFY(WaitDone(done, 2));
        QVERIFY(updater.NoteBox() && updater.NoteBox()->isVisible());
        QCOMPARE(updater.NoteBox()->text(), QStringLiteral("Meshwright is up to date."));
        QCOMPARE(errors.count(), 0);
        QVERIFY(!updater.OfferDialog());
    }

    void failedChecks_data()
    {
        QTest::addColumn<QByteArray>("check");
        QTest::addColumn<bool>("executable");
        QTest::addColumn<QString>("why"); // what the message says after the program's name
        QTest::newRow("error exit") << QByteArray("exit 3") << true
                                    << QStringLiteral(" ended with exit code 3 (expected 0: an update exists, or 1: "
                                                      "none).");
        QTest::newRow("crash") << QByteArray("kill -9 $$") << true << QStringLiteral(" crashed.");
        QTest::newRow("no version") << QByteArray("echo 'an update exists'; exit 0") << true
                                    << QStringLiteral(" reported an update but no version number.");
        QTest::newRow("cannot start") << QByteArray("exit 1") << false << QStringLiteral(" failed to start (");
    }
    void failedChecks()
    {
        QFETCH(QByteArray, check);
        QFETCH(bool, executable);
        QFETCH(QString, why);
        QVERIFY(MakeUpdater(check));
        if (!executable)
            QVERIFY(QFile::setPermissions(Program(), QFile::ReadOwner | QFile::WriteOwner));
        CAutoUpdater updater(QStringLiteral("Meshwright"), {}, 10, nullptr, m_prefs.get());
        QSignalSpy errors(&updater, &CAutoUpdater::ErrorOccured);
        QSignalSpy done(&updater, &CAutoUpdater::Done);
        updater.Start();
        QVERIFY(WaitDone(done));
        QCOMPARE(errors.count(), 0); // silent
        updater.OnForceCheckForUpdates();
        QVERIFY(WaitDone(done, 2));
        QCOMPARE(errors.count(), 1);
        const QString text = errors.at(0).at(0).toString();
        QVERIFY2(text.startsWith(QStringLiteral("Failed to check for updates: ") + Program() + why), qPrintable(text));
        QVERIFY(!updater.OfferDialog());
        QVERIFY(!updater.IsChecking());
    }

    void aCheckThatHangsIsAbandoned()
    {
        QVERIFY(MakeUpdater("exec sleep 60"));
        CAutoUpdater updater(QStringLiteral("Meshwright"), {}, 1, nullptr, m_prefs.get());
        QSignalSpy errors(&updater, &CAutoUpdater::ErrorOccured);
        QSignalSpy done(&updater, &CAutoUpdater::Done);
        QElapsedTimer timer;
        timer.start();
        updater.OnForceCheckForUpdates();
        QVERIFY(WaitDone(done));
        QVERIFY(timer.elapsed() < 10000);
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Failed to check for updates: ") + Program() +
                                                    QStringLiteral(" gave no answer within 1 second."));
        QVERIFY(!updater.IsChecking());
    }

    void offerDeclined()
    {
        QVERIFY(MakeUpdater("echo 'version: 2.13'; exit 0"));
        QWidget window;
        CAutoUpdater updater(QStringLiteral("Meshwright"), {}, 10, &window, m_prefs.get());
        QSignalSpy done(&updater, &CAutoUpdater::Done);
        QSignalSpy errors(&updater, &CAutoUpdater::ErrorOccured);
        updater.Start();
        QTRY_VERIFY_WITH_TIMEOUT(updater.OfferDialog() && updater.OfferDialog()->isVisible(), 15000);
        QCOMPARE(done.count(), 0); // waits for the user
        QCOMPARE(updater.ReleaseVersion(), QStringLiteral("2.13"));
        QDialog* offer = updater.OfferDialog();
        QCheckBox* check = offer->findChild<QCheckBox*>(QStringLiteral("CheckForUpdatesCheckBox"));
        QVERIFY(check && check->isChecked());
        // Switching the automatic check off is stored at once.
        check->click();
        CZGXPreferences reread("Meshwright");
        CZGXTString error;
        QVERIFY(reread.Load(error));
        bool automatic = true;
        QVERIFY(reread.ReadBool(CAutoUpdater::kCheckKey, automatic));
        QVERIFY(!automatic);

        offer->findChild<QPushButton*>(QStringLiteral("CancelButton"))->click();
        QCOMPARE(done.count(), 1);
        QVERIFY(!updater.OfferDialog());
        QCOMPARE(errors.count(), 0);
        QCOMPARE(ReadLines(Log()).size(), 1); // nothing downloaded
    }

    void updateDownloadsAndStartsTheInstaller()
    {
        const QString installer = Downloads() + QStringLiteral("/Meshwright-2.13-linux-installer.run");
        const QString installerLog = m_dir->filePath(QStringLiteral("installer.log"));
        const QByteArray download = "printf '#!/bin/sh\\nprintf \"%%s\\\\n\" \"$*\" > \"" + installerLog.toUtf8() +
                                    "\"\\n' > \"" + installer.toUtf8() + "\"; chmod +x \"" + installer.toUtf8() +
                                    "\"; exit 0";
        QVERIFY(MakeUpdater("echo 2.13; exit 0", download));
        QWidget window;
        CAutoUpdater updater(QStringLiteral("Meshwright"), {QStringLiteral("meshwright"), QStringLiteral("docs")}, 10,
                             &window, m_prefs.get());
        QSignalSpy done(&updater, &CAutoUpdater::Done);
        QSignalSpy errors(&updater, &CAutoUpdater::ErrorOccured);
        updater.OnForceCheckForUpdates();
        QTRY_VERIFY_WITH_TIMEOUT(updater.OfferDialog() && updater.OfferDialog()->isVisible(), 15000);
        QCOMPARE(updater.InstallerPath(), installer);
        updater.OfferDialog()->findChild<QPushButton*>(QStringLiteral("UpdateButton"))->click();
        QVERIFY(WaitDone(done));
        QCOMPARE(errors.count(), 0);
        const QString settings = m_dir->filePath(QStringLiteral("update.ini"));
        QCOMPARE(ReadLines(Log()),
                 QStringList({QStringLiteral("--mode unattended --settings_file ") + settings,
                              QStringLiteral("--mode unattended --unattendedmodeui minimalWithDialogs "
                                             "--unattendedmodebehavior download --settings_file ") +
                                  settings}));
        // The installer runs on its own, unattended, with the components.
        QTRY_COMPARE_WITH_TIMEOUT(ReadLines(installerLog),
                                  QStringList({QStringLiteral("--mode unattended --unattendedmodeui minimal "
                                                              "--enable-components meshwright,docs")}),
                                  15000);
    }

    void failedDownloadIsFatal_data()
    {
        QTest::addColumn<QByteArray>("download");
        QTest::newRow("error exit") << QByteArray("exit 2");
        QTest::newRow("no installer") << QByteArray("exit 0");
    }
    void failedDownloadIsFatal()
    {
        QFETCH(QByteArray, download);
        QVERIFY(MakeUpdater("echo 2.13; exit 0", download));
        CAutoUpdater updater(QStringLiteral("Meshwright"), {}, 10, nullptr, m_prefs.get());
        QSignalSpy done(&updater, &CAutoUpdater::Done);
        QSignalSpy errors(&updater, &CAutoUpdater::ErrorOccured);
        updater.Start();
        QTRY_VERIFY_WITH_TIMEOUT(updater.OfferDialog() != nullptr, 15000);
        updater.OfferDialog()->findChild<QPushButton*>(QStringLiteral("UpdateButton"))->click();
        QVERIFY(WaitDone(done));
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("The AutoUpdater encountered a fatal error."));
    }
};

QTEST_MAIN(TestAutoUpdater)
#include "AutoUpdaterTest.moc"
