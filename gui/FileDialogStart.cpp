#include "gui/FileDialogStart.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Folders of the kernel's own file systems.
bool IsSystemFolder(const QString& folder)
{
    for (const char* root : {"/proc", "/sys", "/dev"}) {
        const QLatin1String r(root);
        if (folder == r || (folder.startsWith(r) && folder.at(r.size()) == QLatin1Char('/')))
            return true;
    }
    return false;
}

} // namespace

QString FileDialogStart(const QString& remembered)
{
    const QString home = QDir::homePath();
    if (remembered.trimmed().isEmpty())
        return home;
    const QFileInfo info(remembered);
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    const QFileInfo folderInfo(folder);
    if (!folderInfo.isDir())
        return home;
    // A link can lead into a system folder under an ordinary name.
    if (IsSystemFolder(QDir::cleanPath(folder)) || IsSystemFolder(folderInfo.canonicalFilePath()))
        return home;
    return info.absoluteFilePath();
}
