#include "scene/ReadAll.h"

#include <QFile>
#include <QFileInfo>

bool ReadAll(const QString& path, QByteArray* bytes, QString* why)
{
    bytes->clear();
    const QFileInfo info(path);
    // A folder opens on some systems and then reads as nothing; a pipe or a
    // device could block or never end.
    if (info.exists() && !info.isFile()) {
        if (why)
            *why = info.isDir() ? QStringLiteral("it is a folder") : QStringLiteral("it is not a regular file");
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (why)
            *why = file.errorString();
        return false;
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (why)
            *why = file.errorString();
        bytes->clear();
        return false;
    }
    return true;
}
