#include "app/WindowStore.h"

#include <map>
#include <string>

#include "app/RecentFiles.h"
#include "options/Options.h"
#include "prefs/ZGXPreferences.h"

struct CWindowStore::SImpl {
    CZGXPreferences prefs{kStoreName};
    // One list object per key prefix, made on first use.
    std::map<std::string, std::unique_ptr<CRecentFiles>> lists;

    CRecentFiles& List(const char* keyPrefix, bool existingOnly)
    {
        std::unique_ptr<CRecentFiles>& list = lists[keyPrefix];
        if (!list)
            list.reset(new CRecentFiles(&prefs, keyPrefix, kRecentLimit,
                                        existingOnly ? uint32_t(CRecentFiles::eExistingOnly) : 0u));
        return *list;
    }
};

CWindowStore::CWindowStore() : m_pImpl(new SImpl) {}
CWindowStore::~CWindowStore() = default;

bool CWindowStore::Load(QString* error)
{
    CZGXTString text;
    const bool ok = m_pImpl->prefs.Load(text);
    if (error)
        *error = ok ? QString() : QString::fromStdString(text);
    return ok;
}

bool CWindowStore::Save()
{
    return m_pImpl->prefs.Save();
}

QByteArray CWindowStore::ReadData(const char* key)
{
    std::vector<uint8_t> bytes;
    m_pImpl->prefs.ReadData(key, bytes);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

void CWindowStore::WriteData(const char* key, const QByteArray& bytes)
{
    m_pImpl->prefs.WriteData(key, bytes.constData(), static_cast<size_t>(bytes.size()));
}

void CWindowStore::SaveOptions(const COptionsData& options, const char* keyPrefix)
{
    options.SaveToPreferences(m_pImpl->prefs, keyPrefix);
}

void CWindowStore::LoadOptions(COptionsData& options, const char* keyPrefix)
{
    options.LoadFromPreferences(m_pImpl->prefs, keyPrefix);
}

QStringList CWindowStore::RecentFiles(const char* keyPrefix, bool existingOnly)
{
    return m_pImpl->List(keyPrefix, existingOnly).Files();
}

void CWindowStore::AddRecentFile(const char* keyPrefix, const QString& path, bool existingOnly)
{
    m_pImpl->List(keyPrefix, existingOnly).addFile(path);
}

void CWindowStore::ClearRecentFiles(const char* keyPrefix)
{
    // The list of that prefix exists once it was read or added to.
    const auto it = m_pImpl->lists.find(keyPrefix);
    if (it != m_pImpl->lists.end())
        it->second->clear();
    else
        m_pImpl->List(keyPrefix, false).clear();
}

CZGXPreferences* CWindowStore::Preferences()
{
    return &m_pImpl->prefs;
}
