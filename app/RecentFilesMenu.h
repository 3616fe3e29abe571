#pragma once
// A File submenu showing one recent-file list: numbered entries, a separator
// and "Clear recent files". Rebuilt each time it is about to show.
#include <QMenu>

class CWindowStore;

class CRecentFilesMenu : public QMenu {
    Q_OBJECT
public:
    CRecentFilesMenu(const QString& title, CWindowStore& store, const char* keyPrefix, bool existingOnly,
                     QWidget* parent = nullptr);

    void addFile(const QString& path);
    QStringList Files();

signals:
    void triggered(const QString& path);

public slots:
    void refresh();
    void clearList();

protected slots:
    void fileSelected();

private:
    CWindowStore& m_store;
    QByteArray m_keyPrefix;
    bool m_bExistingOnly;
    QAction* m_pSeparator = nullptr;
    QAction* m_pClear = nullptr;
};
