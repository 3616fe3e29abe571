#include "app/WindowStore.h"

#include <QFileInfo>
#include <QVariant>

#include <map>
#include <string>

#include "options/Options.h"

// Interim backing kept in memory until the preference store is merged; the
// interface above is what the window relies on.
struct CWindowStore::SImpl {
    std::map<std::string, QVariant> values;
};

CWindowStore::CWindowStore() : m_pImpl(new SImpl) {}
CWindowStore::~CWindowStore() = default;

bool CWindowStore::Load(QString* error)
{
    if (error)
        error->clear();
    return true;
}

bool CWindowStore::Save()
{
    return true;
}

QByteArray CWindowStore::ReadData(const char* key) const
{
    const auto it = m_pImpl->values.find(key);
    return it == m_pImpl->values.end() ? QByteArray() : it->second.toByteArray();
}

void CWindowStore::WriteData(const char* key, const QByteArray& bytes)
{
    m_pImpl->values[key] = bytes;
}

void CWindowStore::SaveOptions(const COptionsData& options, const char* keyPrefix)
{
    m_pImpl->values[std::string(keyPrefix) + "Options"] = QString::fromStdString(options.ToText());
}

void CWindowStore::LoadOptions(COptionsData& options, const char* keyPrefix)
{
    const auto it = m_pImpl->values.find(std::string(keyPrefix) + "Options");
    if (it != m_pImpl->values.end())
        options.FromText(it->second.toString().toStdString());
}

QStringList CWindowStore::RecentFiles(const char* keyPrefix, bool existingOnly)
{
    QStringList list = m_pImpl->values[std::string(keyPrefix) + "/Recent files"].toStringList();
    if (existingOnly) {
        const qsizetype before = list.size();
        list.removeIf([](const QString& path) { return !QFileInfo(path).isFile(); });
        if (list.size() != before)
            m_pImpl->values[std::string(keyPrefix) + "/Recent files"] = list;
    }
    return list;
}

void CWindowStore::AddRecentFile(const char* keyPrefix, const QString& path, bool existingOnly)
{
    if (path.isEmpty() || (existingOnly && !QFileInfo(path).isFile()))
        return;
    QStringList list = m_pImpl->values[std::string(keyPrefix) + "/Recent files"].toStringList();
    list.removeAll(path);
    list.prepend(path);
    while (list.size() > kRecentLimit)
        list.removeLast();
    m_pImpl->values[std::string(keyPrefix) + "/Recent files"] = list;
}

void CWindowStore::ClearRecentFiles(const char* keyPrefix)
{
    m_pImpl->values[std::string(keyPrefix) + "/Recent files"] = QStringList();
}

CZGXPreferences* CWindowStore::Preferences()
{
    return nullptr;
}
