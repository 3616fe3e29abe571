#pragma once
// Recent-file lists kept in a preference store: most recent first, without
// duplicates, trimmed to a limit. The menu that shows a list belongs to the
// window; it builds its entries from Files() in RebuildMenu.
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>

#include "base/ZGXTString.h"

class CZGXPreferences;

class CRecentFiles : public QObject {
    Q_OBJECT
public:
    enum EFlags : uint32_t {
        eExistingOnly = 2, // keep only paths that name existing files
    };
    // Name of the list below the key prefix.
    static constexpr const char* kListName = "Recent files";
    // Property of a menu entry that carries its path.
    static constexpr const char* kPathProperty = "ARecentFile";

    // The list lives at keyPrefix + "/Recent files" (or "Recent files" for an
    // empty prefix) in store, which must outlive this object.
    CRecentFiles(CZGXPreferences* store, const CZGXTString& keyPrefix, int limit = 10, uint32_t flags = 0,
                 QObject* parent = nullptr);
    ~CRecentFiles() override;

    const CZGXTString& Key() const { return m_key; }

    // The list, most recent first. With eExistingOnly, entries whose files
    // are gone are dropped from the store as well.
    QStringList Files();
    // The most recent entry, or empty.
    QString First();

    // The form in which paths are kept: absolute, with this platform's
    // separators, without "." and ".." components or doubled separators.
    static QString NormalisePath(const QString& path);

signals:
    void triggered(const QString& path);

public slots:
    // Rebuilds the menu that asked (the sender, e.g. on aboutToShow).
    void refresh();
    // Empties the list and saves the store.
    void clear();
    // Moves or inserts the path at the front, trims to the limit, saves.
    void addFile(const QString& newFile);

protected slots:
    // Connected to a menu entry: emits triggered with its path property.
    void fileSelected();

protected:
    // Builds the entries of one menu; the window's menu class overrides it.
    // The target is the object that asked for the refresh.
    virtual void RebuildMenu(QObject* target, const QStringList& files);

private:
    QStringList ReadList();
    void WriteList(const QStringList& files);

    CZGXPreferences* m_store;
    CZGXTString m_key;
    int m_limit;
    uint32_t m_flags;
};

// Adds a written file to the shared list of exported files: store "QEFFiles",
// key prefix "Exported", ten entries, existing files only. Null does nothing.
void RecordExportedFile(const char* path);
