#include "app/RecentFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QVariant>

#include <vector>

#include "base/ConversionLog.h"
#include "prefs/ZGXPreferences.h"

CRecentFiles::CRecentFiles(CZGXPreferences* store, const CZGXTString& keyPrefix, int limit, uint32_t flags,
                           QObject* parent)
    : QObject(parent), m_store(store), m_key(keyPrefix.empty() ? CZGXTString(kListName) : keyPrefix + "/" + kListName),
      m_limit(limit < 1 ? 1 : limit), m_flags(flags)
{
}

CRecentFiles::~CRecentFiles() = default;

QString CRecentFiles::NormalisePath(const QString& path)
{
    if (path.isEmpty())
        return QString();
    // Two spellings of one file must be one entry; the separators stay the
    // platform's, since anything else may name no file at all.
    return QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(path)).absoluteFilePath());
}

QStringList CRecentFiles::ReadList()
{
    QStringList files;
    std::vector<CZGXTString> entries;
    if (m_store && m_store->ReadStringArray(m_key, entries))
        for (const CZGXTString& e : entries)
            files << QString::fromUtf8(e.data(), int(e.size()));
    return files;
}

void CRecentFiles::WriteList(const QStringList& files)
{
    if (!m_store)
        return;
    std::vector<CZGXTString> entries;
    entries.reserve(size_t(files.size()));
    for (const QString& f : files)
        entries.push_back(f.toUtf8().toStdString());
    m_store->WriteStringArray(m_key, entries);
    m_store->Save(false);
}

QStringList CRecentFiles::Files()
{
    const QStringList stored = ReadList();
    if (!(m_flags & eExistingOnly))
        return stored;
    QStringList files;
    for (const QString& f : stored)
        if (QFileInfo(f).isFile())
            files << f;
    if (files.size() != stored.size())
        WriteList(files);
    return files;
}

QString CRecentFiles::First()
{
    const QStringList files = Files();
    return files.isEmpty() ? QString() : files.first();
}

void CRecentFiles::addFile(const QString& newFile)
{
    const QString path = NormalisePath(newFile);
    if (path.isEmpty() || !m_store)
        return;
    if ((m_flags & eExistingOnly) && !QFileInfo(path).isFile())
        return;
    QStringList files{path};
    for (const QString& f : ReadList())
        if (NormalisePath(f) != path)
            files << f;
    while (files.size() > m_limit)
        files.removeLast();
    WriteList(files);
}

void CRecentFiles::clear()
{
    WriteList(QStringList());
}

void CRecentFiles::refresh()
{
    RebuildMenu(sender(), Files());
}

void CRecentFiles::fileSelected()
{
    const QObject* entry = sender();
    if (!entry)
        return;
    const QString path = entry->property(kPathProperty).toString();
    if (!path.isEmpty())
        emit triggered(path);
}

void CRecentFiles::RebuildMenu(QObject*, const QStringList&) {}

void RecordExportedFile(const char* path)
{
    if (!path || !*path)
        return;
    CZGXPreferences store("QEFFiles", ePrefUser);
    // Several conversions may finish at once (a build running the command
    // line in parallel); each adds its file to what the others wrote.
    const QString storePath = QString::fromUtf8(store.Path().c_str());
    if (storePath.isEmpty())
        return;
    QDir().mkpath(QFileInfo(storePath).path());
    QLockFile lock(storePath + QStringLiteral(".lock"));
    lock.tryLock(10000);

    CZGXTString error;
    if (!store.Load(error, false))
        DebugOutput("%s\n%s", store.Path().c_str(), QString::fromStdString(error).trimmed().toUtf8().constData());
    if (!store.IsLoaded())
        return;
    CRecentFiles list(&store, "Exported", 10, CRecentFiles::eExistingOnly);
    list.addFile(QString::fromUtf8(path));
}
