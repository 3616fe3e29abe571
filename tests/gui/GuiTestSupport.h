#pragma once
// Small helpers shared by the widget and window tests.
#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QList>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <QStandardPaths>
#include <QString>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextFragment>

#include "prefs/ZGXPreferences.h"
#include "scene/Scene.h"
#include "scene/SceneRead.h"

namespace guitest {

// Never the user's own preference files: the stores of a test program live
// in folder (a temporary folder of the test).
inline void UseOwnPreferences(const QString& folder)
{
    QStandardPaths::setTestModeEnabled(true);
    const std::string prefs = QDir(folder).filePath(QStringLiteral("prefs")).toStdString();
    CZGXPreferences::SetBaseFolder(ePrefUser, prefs);
    CZGXPreferences::SetBaseFolder(ePrefAllUsers, prefs);
}

inline QString ExamplePath(const QString& name)
{
    return QStringLiteral(MW_EXAMPLES_DIR "/") + name;
}

// The character format of the first fragment of one line of a document.
inline QTextCharFormat LineFormat(const QTextDocument* doc, int line)
{
    const QTextBlock block = doc->findBlockByNumber(line);
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        if (it.fragment().isValid())
            return it.fragment().charFormat();
    }
    return QTextCharFormat();
}

inline QColor LineColour(const QTextDocument* doc, int line)
{
    return LineFormat(doc, line).foreground().color();
}

inline bool LineBold(const QTextDocument* doc, int line)
{
    return LineFormat(doc, line).fontWeight() >= QFont::Bold;
}

// True when path holds a whole scene file the reader accepts.
inline bool ReadsAsSceneFile(const QString& path)
{
    SScene scene;
    const int result = LoadSceneFile(scene, path.toUtf8().constData());
    Destroy(scene);
    return result == 0;
}

// Drags urls onto target and drops them there, as a user would; says whether
// the widget took the drag and the drop.
inline void SendDrop(QWidget* target, const QList<QUrl>& urls, bool* enterAccepted, bool* dropAccepted)
{
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    *enterAccepted = enter.isAccepted();
    *dropAccepted = false;
    if (!*enterAccepted)
        return;
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    *dropAccepted = drop.isAccepted();
}

inline bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace guitest
