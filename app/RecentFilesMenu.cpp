#include "app/RecentFilesMenu.h"

#include "app/WindowStore.h"
#include "gui/ToolTipText.h"

CRecentFilesMenu::CRecentFilesMenu(const QString& title, CWindowStore& store, const char* keyPrefix, bool existingOnly,
                                   QWidget* parent)
    : QMenu(title, parent), m_store(store), m_keyPrefix(keyPrefix), m_bExistingOnly(existingOnly)
{
    m_pSeparator = addSeparator();
    m_pSeparator->setObjectName(QStringLiteral("TheRecentFileSeparator"));
    m_pClear = addAction(QStringLiteral("Clear recent files"));
    m_pClear->setObjectName(QStringLiteral("ClearRecentFiles"));
    connect(m_pClear, &QAction::triggered, this, &CRecentFilesMenu::clearList);
    connect(this, &QMenu::aboutToShow, this, &CRecentFilesMenu::refresh);
    refresh();
}

void CRecentFilesMenu::addFile(const QString& path)
{
    m_store.AddRecentFile(m_keyPrefix.constData(), path, m_bExistingOnly);
    m_store.Save();
    refresh();
}

QStringList CRecentFilesMenu::Files()
{
    return m_store.RecentFiles(m_keyPrefix.constData(), m_bExistingOnly);
}

void CRecentFilesMenu::refresh()
{
    for (QAction* action : actions()) {
        if (action->property("ARecentFile").isValid()) {
            removeAction(action);
            action->deleteLater();
        }
    }
    const QStringList files = Files();
    for (int i = 0; i < files.size(); ++i) {
        QAction* action = new QAction(QStringLiteral("%1 %2").arg(i + 1).arg(files.at(i)), this);
        action->setToolTip(ToolTipText(files.at(i)));
        action->setProperty("ARecentFile", files.at(i));
        connect(action, &QAction::triggered, this, &CRecentFilesMenu::fileSelected);
        insertAction(m_pSeparator, action);
    }
    m_pClear->setEnabled(!files.isEmpty());
}

void CRecentFilesMenu::clearList()
{
    m_store.ClearRecentFiles(m_keyPrefix.constData());
    m_store.Save();
    refresh();
}

void CRecentFilesMenu::fileSelected()
{
    const QString path = sender() ? sender()->property("ARecentFile").toString() : QString();
    if (!path.isEmpty())
        emit triggered(path);
}
