#include "app/DocumentOpener.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
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

bool CDocumentOpener::TryOpen(const QString& path)
{
    // The viewer is started for any name; only an existing file counts.
    const QFileInfo info(path);
    return info.isFile() && OpenFile(info.absoluteFilePath());
}

bool CDocumentOpener::Open(const QString& fileName, const QString& folder, const QString& documentKey)
{
    for (const QString& path : Candidates(fileName, folder, documentKey))
        if (TryOpen(path))
            return true;

    // Never silent: ends only with an open document or the user's cancel.
    for (;;) {
        Warn(QStringLiteral("Documentation File Not Found"),
             QStringLiteral("Please locate the file: ") + fileName + QStringLiteral("\n"));
        const QString chosen =
            ChooseFile(QStringLiteral("Open Source File"), QStringLiteral("Portable Document Format (*.pdf)"));
        if (chosen.isEmpty())
            return false;
        const QString absolute = QFileInfo(chosen).absoluteFilePath();
        if (TryOpen(absolute)) {
            if (m_pStore) {
                m_pStore->WriteString(RememberedKey(documentKey).toUtf8().toStdString(),
                                      absolute.toUtf8().toStdString());
                m_pStore->Save();
            }
            return true;
        }
        Warn(QStringLiteral("File Open Failed"), absolute);
    }
}

bool CDocumentOpener::OpenFile(const QString& path)
{
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
