#include "app/DocumentOpener.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include "gui/FileDialogStart.h"
#include "prefs/ZGXPreferences.h"

CDocumentOpener::CDocumentOpener(QWidget* window, CZGXPreferences* store)
    : m_pWindow(window), m_pStore(store), m_programFolder(QCoreApplication::applicationDirPath())
{
}

CDocumentOpener::~CDocumentOpener() = default;

QString CDocumentOpener::RememberedKey(const QString& documentKey)
{
    return QStringLiteral("OpenDocs/") + documentKey;
}

QStringList CDocumentOpener::Candidates(const QString& fileName, const QString& folder,
                                        const QString& documentKey) const
{
    QStringList paths;
    // The documents shipped with this program describe this version; they
    // come before anything found earlier.
    if (!m_programFolder.isEmpty()) {
        paths << QDir(m_programFolder).filePath(fileName);
        paths << QDir::cleanPath(QDir(m_programFolder).filePath(folder + fileName));
    }
#ifdef MW_INSTALL_DOC_DIR
    // Where this build installs them, for a program started from elsewhere.
    paths << QDir(QStringLiteral(MW_INSTALL_DOC_DIR)).filePath(fileName);
#endif
    CZGXTString remembered;
    if (m_pStore)
        m_pStore->ReadString(RememberedKey(documentKey).toUtf8().toStdString(), remembered, CZGXTString());
    if (!remembered.empty()) {
        // Both manuals share the key: a remembered file of another name
        // still tells where the documents are kept.
        const QFileInfo info(QString::fromUtf8(remembered.data(), int(remembered.size())));
        if (info.fileName() == fileName)
            paths << info.filePath();
        else
            paths << info.dir().filePath(fileName);
    }
    paths << fileName;
    paths << folder + fileName;
    return paths;
}

QString CDocumentOpener::NoViewerText(const QString& path)
{
    return QStringLiteral("%1\nNo program here opens PDF files, so the document could not be shown. Install a PDF "
                          "viewer (and xdg-utils, which starts it), or open the file with a program of your choice.")
        .arg(QDir::toNativeSeparators(path));
}

bool CDocumentOpener::Open(const QString& fileName, const QString& folder, const QString& documentKey)
{
    // The first document found that the desktop could not show.
    QString unshown;
    for (const QString& path : Candidates(fileName, folder, documentKey)) {
        // The viewer is started for any name; only an existing file counts.
        const QFileInfo info(path);
        if (!info.isFile())
            continue;
        if (OpenFile(info.absoluteFilePath()))
            return true;
        if (unshown.isEmpty())
            unshown = info.absoluteFilePath();
    }
    // The document is there, the viewer is not: asking for the file would
    // not help.
    if (!unshown.isEmpty()) {
        Warn(QStringLiteral("File Open Failed"), NoViewerText(unshown));
        return false;
    }

    // Never silent: ends only with an open document or the user's cancel.
    for (;;) {
        Warn(QStringLiteral("Documentation File Not Found"),
             QStringLiteral("Please locate the file: ") + fileName + QStringLiteral("\n"));
        const QString chosen =
            ChooseFile(QStringLiteral("Open Source File"), QStringLiteral("Portable Document Format (*.pdf)"));
        if (chosen.isEmpty())
            return false;
        const QString absolute = QFileInfo(chosen).absoluteFilePath();
        if (!QFileInfo(absolute).isFile()) {
            Warn(QStringLiteral("File Open Failed"),
                 QDir::toNativeSeparators(absolute) + QStringLiteral("\nThere is no such file."));
            continue;
        }
        if (OpenFile(absolute)) {
            if (m_pStore) {
                m_pStore->WriteString(RememberedKey(documentKey).toUtf8().toStdString(),
                                      absolute.toUtf8().toStdString());
                m_pStore->Save();
            }
            return true;
        }
        Warn(QStringLiteral("File Open Failed"), NoViewerText(absolute));
    }
}

bool CDocumentOpener::OpenFile(const QString& path)
{
    // The desktop starts its launcher whatever the file, and the launcher
    // fails later, unseen, when no program takes PDF files: ask first where
    // the desktop can say.
    const QString mime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (!mime.isEmpty()) {
        QProcess query;
        query.start(mime, {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("application/pdf")});
        if (query.waitForFinished(3000) && query.exitStatus() == QProcess::NormalExit &&
            query.readAllStandardOutput().trimmed().isEmpty())
            return false;
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void CDocumentOpener::Warn(const QString& title, const QString& text)
{
    QMessageBox::warning(m_pWindow, title, text);
}

QString CDocumentOpener::ChooseFile(const QString& caption, const QString& filter)
{
    return QFileDialog::getOpenFileName(m_pWindow, caption, FileDialogStart(QString()), filter);
}

bool OpenDocument(QWidget* window, CZGXPreferences* store, const QString& fileName, const QString& folder,
                  const QString& documentKey)
{
    CDocumentOpener opener(window, store);
    return opener.Open(fileName, folder, documentKey);
}
