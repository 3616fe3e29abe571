#include "app/AutoUpdater.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "prefs/ZGXPreferences.h"

namespace {

const char kCheckFailed[] = "Failed to check for updates";
const char kFatal[] = "The AutoUpdater encountered a fatal error.";
const char kReleasesPage[] = "https://meshwright.example.org/releases";

// The failure of a check with its reason.
QString CheckFailed(const QString& why)
{
    return QLatin1String(kCheckFailed) + QStringLiteral(": ") + why + QLatin1Char('.');
}

// Exit codes of the check run.
constexpr int kUpdateAvailable = 0;
constexpr int kNoUpdate = 1;

} // namespace

CAutoUpdater::CAutoUpdater(const QString& product, const QStringList& components, int checkTimeout, QWidget* parent,
                           CZGXPreferences* prefs)
    : QObject(parent), m_product(product), m_components(components), m_checkTimeout(checkTimeout), m_pParent(parent),
      m_pPrefs(prefs)
{
    setObjectName(QStringLiteral("AutoUpdater"));
    m_pTimer = new QTimer(this);
    m_pTimer->setSingleShot(true);
    connect(m_pTimer, &QTimer::timeout, this, [this] {
        // A check that does not answer must not keep the launcher busy.
        EndCheck(CheckFailed(QStringLiteral("%1 gave no answer within %2 %3")
                                 .arg(QDir::toNativeSeparators(ProgramPath()))
                                 .arg(m_checkTimeout)
                                 .arg(m_checkTimeout == 1 ? QStringLiteral("second") : QStringLiteral("seconds"))));
    });
}

CAutoUpdater::~CAutoUpdater()
{
    if (m_pProcess) {
        m_pProcess->disconnect(this);
        m_pProcess->kill();
        m_pProcess->waitForFinished(2000);
    }
    delete m_pOffer;
    delete m_pNote;
}

QString CAutoUpdater::ProgramPath() const
{
    CZGXTString path;
    if (m_pPrefs)
        m_pPrefs->ReadString(kPathKey, path, CZGXTString());
    return QString::fromUtf8(path.data(), int(path.size()));
}

QString CAutoUpdater::SettingsFile() const
{
    const QString program = ProgramPath();
    if (program.isEmpty())
        return QString();
    return QDir(QFileInfo(program).absolutePath()).filePath(QStringLiteral("update.ini"));
}

QString CAutoUpdater::InstallerPath() const
{
    CZGXTString folder;
    if (m_pPrefs)
        m_pPrefs->ReadString(kDownloadFolderKey, folder, CZGXTString());
    QString dir = QString::fromUtf8(folder.data(), int(folder.size()));
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return QDir(dir).filePath(m_product + QStringLiteral("-") + m_version + QStringLiteral("-linux-installer.run"));
}

void CAutoUpdater::Start()
{
    Check(false);
}

void CAutoUpdater::OnForceCheckForUpdates()
{
    Check(true);
}

void CAutoUpdater::Check(bool forced)
{
    if (m_pProcess)
        return; // one run of the update program at a time
    bool automatic = true;
    if (m_pPrefs)
        m_pPrefs->ReadBool(kCheckKey, automatic, true);
    m_bForced = forced;
    if (!forced && !automatic) {
        emit Done();
        return;
    }
    const QString program = ProgramPath();
    if (program.isEmpty() || !QFileInfo(program).isFile()) {
        if (forced)
            emit ErrorOccured(program.isEmpty()
                                  ? CheckFailed(QStringLiteral("no update program is configured (the setting "
                                                               "\"%1\" names none)")
                                                    .arg(QLatin1String(kPathKey)))
                                  : QStringLiteral("%1 could not be found").arg(program));
        emit Done();
        return;
    }

    m_pProcess = new QProcess(this);
    m_pProcess->setProgram(program);
    m_pProcess->setArguments(
        {QStringLiteral("--mode"), QStringLiteral("unattended"), QStringLiteral("--settings_file"), SettingsFile()});
    connect(m_pProcess, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        // A crashed program's exit code means nothing.
        if (status == QProcess::CrashExit)
            EndCheck(CheckFailed(QStringLiteral("%1 crashed").arg(QDir::toNativeSeparators(ProgramPath()))));
        else
            OnChecked(exitCode);
    });
    connect(m_pProcess, &QProcess::errorOccurred, this, &CAutoUpdater::OnCheckError);
    if (m_checkTimeout > 0)
        m_pTimer->start(m_checkTimeout * 1000);
    m_pProcess->start();
}

void CAutoUpdater::EndCheck(const QString& failure)
{
    m_pTimer->stop();
    if (m_pProcess) {
        QProcess* process = m_pProcess;
        m_pProcess = nullptr;
        process->disconnect(this);
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(2000);
        }
        process->deleteLater();
    }
    if (m_bForced && !failure.isEmpty())
        emit ErrorOccured(failure);
    emit Done();
}

void CAutoUpdater::OnCheckError(QProcess::ProcessError error)
{
    // A crash also finishes the process and is handled there.
    if (error == QProcess::FailedToStart)
        EndCheck(CheckFailed(
            QStringLiteral("%1 failed to start (%2)")
                .arg(QDir::toNativeSeparators(ProgramPath()), m_pProcess ? m_pProcess->errorString() : QString())));
}

void CAutoUpdater::OnChecked(int iExitCode)
{
    m_pTimer->stop();
    const QString output = m_pProcess ? QString::fromLocal8Bit(m_pProcess->readAllStandardOutput()) : QString();
    if (iExitCode == kNoUpdate) {
        if (m_bForced)
            ShowNote(m_product + QStringLiteral(" is up to date."));
        EndCheck(QString());
        return;
    }
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("(\\d+)\\.(\\d+)")).match(output);
    const QString program = QDir::toNativeSeparators(ProgramPath());
    if (iExitCode != kUpdateAvailable) {
        EndCheck(CheckFailed(QStringLiteral("%1 ended with exit code %2 (expected 0: an update exists, or 1: none)")
                                 .arg(program)
                                 .arg(iExitCode)));
        return;
    }
    if (!match.hasMatch()) {
        EndCheck(CheckFailed(QStringLiteral("%1 reported an update but no version number").arg(program)));
        return;
    }
    m_version = QStringLiteral("%1.%2").arg(match.captured(1).toInt()).arg(match.captured(2).toInt());
    if (m_pProcess) {
        m_pProcess->disconnect(this);
        m_pProcess->deleteLater();
        m_pProcess = nullptr;
    }
    ShowOffer();
}

void CAutoUpdater::ShowOffer()
{
    delete m_pOffer;
    m_pOffer = new QDialog(m_pParent);
    m_pOffer->setObjectName(QStringLiteral("UpdateOfferDialog"));
    m_pOffer->setWindowTitle(QStringLiteral("Check for Updates"));
    QVBoxLayout* layout = new QVBoxLayout(m_pOffer);
    QLabel* text = new QLabel(m_pOffer);
    text->setObjectName(QStringLiteral("UpdateOfferLabel"));
    text->setTextFormat(Qt::RichText);
    text->setWordWrap(true);
    text->setText(QStringLiteral("%1 %2 is available. Would you like to download and install it now?<br>"
                                 "<a href=\"%3\">What is new</a>")
                      .arg(m_product.toHtmlEscaped(), m_version, QLatin1String(kReleasesPage)));
    connect(text, &QLabel::linkActivated, this, &CAutoUpdater::OnLaunchLink);
    layout->addWidget(text);

    m_pOfferCheck = new QCheckBox(QStringLiteral("Check for updates at start-up"), m_pOffer);
    m_pOfferCheck->setObjectName(QStringLiteral("CheckForUpdatesCheckBox"));
    bool automatic = true;
    if (m_pPrefs)
        m_pPrefs->ReadBool(kCheckKey, automatic, true);
    m_pOfferCheck->setChecked(automatic);
    connect(m_pOfferCheck, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_pPrefs)
            return;
        m_pPrefs->WriteBool(kCheckKey, on);
        m_pPrefs->Save();
    });
    layout->addWidget(m_pOfferCheck);

    QDialogButtonBox* buttons = new QDialogButtonBox(m_pOffer);
    QPushButton* update = buttons->addButton(QStringLiteral("Update"), QDialogButtonBox::AcceptRole);
    update->setObjectName(QStringLiteral("UpdateButton"));
    QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    connect(update, &QPushButton::clicked, this, &CAutoUpdater::OnClickedUpdate);
    connect(cancel, &QPushButton::clicked, this, &CAutoUpdater::OnClickedCancel);
    // Closing the window is a cancel.
    connect(m_pOffer, &QDialog::rejected, this, &CAutoUpdater::OnClickedCancel);
    layout->addWidget(buttons);
    m_pOffer->open();
}

void CAutoUpdater::ShowNote(const QString& text)
{
    delete m_pNote;
    m_pNote = new QMessageBox(QMessageBox::Information, QStringLiteral("Check for Updates"), text, QMessageBox::Ok,
                              m_pParent);
    m_pNote->setObjectName(QStringLiteral("UpdateNote"));
    m_pNote->setAttribute(Qt::WA_DeleteOnClose);
    m_pNote->open();
}

void CAutoUpdater::OnLaunchLink(const QString& link)
{
    QDesktopServices::openUrl(QUrl(link));
}

void CAutoUpdater::OnClickedCancel()
{
    if (!m_pOffer)
        return;
    QDialog* offer = m_pOffer;
    m_pOffer = nullptr;
    offer->disconnect(this);
    offer->hide();
    offer->deleteLater();
    emit Done();
}

void CAutoUpdater::OnClickedUpdate()
{
    if (!m_pOffer || m_pProcess)
        return;
    QDialog* offer = m_pOffer;
    m_pOffer = nullptr;
    offer->disconnect(this);
    offer->hide();
    offer->deleteLater();

    const QString program = ProgramPath();
    if (program.isEmpty() || !QFileInfo(program).isFile()) {
        Fatal();
        return;
    }
    m_pProcess = new QProcess(this);
    m_pProcess->setProgram(program);
    m_pProcess->setArguments({QStringLiteral("--mode"), QStringLiteral("unattended"),
                              QStringLiteral("--unattendedmodeui"), QStringLiteral("minimalWithDialogs"),
                              QStringLiteral("--unattendedmodebehavior"), QStringLiteral("download"),
                              QStringLiteral("--settings_file"), SettingsFile()});
    connect(m_pProcess, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        OnDownloaded(status == QProcess::CrashExit ? -1 : exitCode);
    });
    connect(m_pProcess, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            OnDownloaded(-1);
    });
    m_pProcess->start();
}

void CAutoUpdater::OnDownloaded(int iExitCode)
{
    if (m_pProcess) {
        m_pProcess->disconnect(this);
        m_pProcess->deleteLater();
        m_pProcess = nullptr;
    }
    const QString installer = InstallerPath();
    if (iExitCode != 0 || !QFileInfo(installer).isFile()) {
        Fatal();
        return;
    }
    QStringList args = {QStringLiteral("--mode"), QStringLiteral("unattended"), QStringLiteral("--unattendedmodeui"),
                        QStringLiteral("minimal")};
    if (!m_components.isEmpty())
        args << QStringLiteral("--enable-components") << m_components.join(QLatin1Char(','));
    if (!QProcess::startDetached(installer, args)) {
        Fatal();
        return;
    }
    emit Done();
}

void CAutoUpdater::Fatal()
{
    emit ErrorOccured(QLatin1String(kFatal));
    emit Done();
}
