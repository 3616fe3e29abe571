#pragma once
// Everything the window keeps in the application preference store
// "Meshwright": layout data, the current options and the recent-file lists.
// All calls into the store go through here.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

#include "options/ProfileStore.h"

class COptionsData;
class CZGXPreferences;

class CWindowStore {
public:
    static constexpr const char* kStoreName = kProfileStoreName;
    static constexpr int kRecentLimit = 10;

    CWindowStore();
    ~CWindowStore();
    CWindowStore(const CWindowStore&) = delete;
    CWindowStore& operator=(const CWindowStore&) = delete;

    // False with the store's error text when the file could not be read;
    // the window then goes on with defaults.
    bool Load(QString* error);
    bool Save();

    QByteArray ReadData(const char* key);
    void WriteData(const char* key, const QByteArray& bytes);

    void SaveOptions(const COptionsData& options, const char* keyPrefix);
    void LoadOptions(COptionsData& options, const char* keyPrefix);

    // A recent-file list under keyPrefix, most recent first. existingOnly
    // lists drop entries whose file is gone (and store the shorter list).
    QStringList RecentFiles(const char* keyPrefix, bool existingOnly);
    void AddRecentFile(const char* keyPrefix, const QString& path, bool existingOnly);
    void ClearRecentFiles(const char* keyPrefix);

    // The store itself, for the parts that keep their own keys in it.
    CZGXPreferences* Preferences();

private:
    struct SImpl;
    std::unique_ptr<SImpl> m_pImpl;
};
