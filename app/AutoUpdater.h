#pragma once
// Starts an external update program, if one is configured, to ask whether a
// newer release exists, offers it, has the program download it and starts
// the downloaded installer. Settings live in the application store:
//   "Updater/CheckForUpdates"  boolean, default on: check at start
//   "Updater/Path"             string: the update program (none by default)
//   "Updater/DownloadFolder"   string: where downloads land (default: the
//                              system's temporary folder)
// The update program is asked with
//   --mode unattended --settings_file <settings>
// and exits 0 when an update exists (printing its release version, e.g.
// "2.13", on its standard output) or 1 when there is none; anything else is a
// failed check. The download run adds --unattendedmodeui minimalWithDialogs
// --unattendedmodebehavior download and exits 0 once the installer
// <product>-<major>.<minor>-linux-installer.run is in the download folder.
// The settings file is update.ini beside the update program.
#include <QCheckBox>
#include <QDialog>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>

class CZGXPreferences;
class QTimer;
class QWidget;

class CAutoUpdater : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kCheckKey = "Updater/CheckForUpdates";
    static constexpr const char* kPathKey = "Updater/Path";
    static constexpr const char* kDownloadFolderKey = "Updater/DownloadFolder";

    // checkTimeout: seconds a check may run before it counts as failed.
    CAutoUpdater(const QString& product, const QStringList& components, int checkTimeout, QWidget* parent,
                 CZGXPreferences* prefs);
    ~CAutoUpdater() override;

    // The automatic check at start: silent unless an update is offered.
    void Start();
    bool IsChecking() const { return m_pProcess != nullptr; }
    // The update offer while it is shown, else null.
    QDialog* OfferDialog() const { return m_pOffer; }
    // The last "up to date" note of a forced check, while shown.
    QMessageBox* NoteBox() const { return m_pNote; }
    // The release version the last check reported.
    const QString& ReleaseVersion() const { return m_version; }
    QString SettingsFile() const;
    QString InstallerPath() const;

signals:
    void ErrorOccured(const QString& desc);
    void Done();

public slots:
    void OnForceCheckForUpdates();

private slots:
    void OnLaunchLink(const QString& link);
    void OnChecked(int iExitCode);
    void OnCheckError(QProcess::ProcessError error);
    void OnClickedUpdate();
    void OnClickedCancel();
    void OnDownloaded(int iExitCode);

private:
    void Check(bool forced);
    void EndCheck(const QString& failure);
    void Fatal();
    QString ProgramPath() const;
    void ShowOffer();
    void ShowNote(const QString& text);

    QString m_product;
    QStringList m_components;
    int m_checkTimeout;
    QWidget* m_pParent;
    CZGXPreferences* m_pPrefs;
    bool m_bForced = false;
    QString m_version;
    QProcess* m_pProcess = nullptr;
    QTimer* m_pTimer = nullptr;
    // Owned by the parent window; gone when it closes them.
    QPointer<QDialog> m_pOffer;
    QPointer<QCheckBox> m_pOfferCheck;
    QPointer<QMessageBox> m_pNote;
};
