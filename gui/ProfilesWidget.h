#pragma once
// The saved export options beside the options editor: "[Current]" mirrors
// the options being edited, "Default Settings" holds the defaults, and the
// user's profiles follow. Profiles are applied, saved, renamed in place,
// deleted, exported to and imported from text, header and scene files, and
// dropped in as files. They persist below a prefix of the preference store.
#include <QListWidgetItem>
#include <QWidget>

#include "gui/MeshwrightStrings.h"
#include "options/Options.h"

class CZGXPreferences;
class QLabel;
class QListWidget;
class QMenu;
class QMimeData;

// One list entry with its options. An empty name never replaces a name the
// entry has; an entry without one is named with the current date and time.
class CProfileItem : public QListWidgetItem {
public:
    static constexpr int kType = QListWidgetItem::UserType + 1;

    CProfileItem(const QString& name, const COptionsData& options, QListWidget* list = nullptr);

    const COptionsData& Options() const { return m_options; }
    void SetOptions(const COptionsData& options) { m_options = options; }
    QString Name() const { return text(); }

    void setData(int role, const QVariant& value) override;

private:
    COptionsData m_options;
};

class CProfilesWidget : public QWidget {
    Q_OBJECT
public:
    explicit CProfilesWidget(QWidget* parent = nullptr);
    ~CProfilesWidget() override;

    // Narrow: room for the names of a few profiles, not half a window.
    QSize sizeHint() const override;

    // Reads the profiles below prefix (the window passes "Profiles/"),
    // replacing any user profiles in the list. A listed profile without
    // stored options is reported through errorMessage and left out.
    void Load(CZGXPreferences& prefs, const char* prefix);
    // Writes the paths and every user profile in list order, then saves the
    // store. False when the store could not take them.
    bool Save(CZGXPreferences& prefs, const char* prefix);

    QListWidget* List() const { return m_pList; }
    CProfileItem* CurrentEntry() const { return m_pCurrent; }
    CProfileItem* DefaultEntry() const { return m_pDefault; }
    CProfileItem* ActiveProfile() const { return m_pActive; }
    bool IsEdited() const { return m_bEdited; }
    int ProfileCount() const;
    CProfileItem* Profile(int index) const; // user profiles, 0-based
    bool IsUserProfile(const QListWidgetItem* item) const;
    // Appends a user profile; the list takes it.
    CProfileItem* AddProfile(const QString& name, const COptionsData& options);
    const QString& LastImportPath() const { return m_lastImportPath; }
    const QString& LastExportPath() const { return m_lastExportPath; }

    // The context menu for a list position (entries as the user sees them);
    // the caller owns it.
    QMenu* CreateContextMenu(const QPoint& pos);

    // The files of a drag that would become profiles.
    static QStringList ProfileFiles(const QMimeData* mime);
    // A filter of the text table as the file dialog reads it: the patterns
    // in parentheses separated by blanks, not ';'.
    static QString DialogFilter(const QString& filters);

signals:
    void useOptions(const COptionsData& options);
    void errorMessage(const QString& message);

public slots:
    void showContextMenu(const QPoint& pos);
    void deleteCurrentItem();
    void updateCurrentOptions(const COptions& opt);
    void setCurrentOptions(const COptions& opt);
    void saveCurrentProfile();
    void importProfile();
    void exportProfile();
    void setCurrentProfileState(bool bEdited);
    void useProfile();
    void renameProfile();
    void translateUI(CMeshwrightStrings::ELanguages lang);

protected:
    // Prompts; tests replace them.
    virtual QString AskName(bool* ok);
    virtual bool ConfirmDelete();
    virtual QString ChooseExportPath(const QString& caption, const QString& start, const QString& filter);
    virtual QString ChooseImportPath(const QString& caption, const QString& start, const QString& filter);

    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CProfileItem* SelectedEntry() const;
    void RefreshState();

    QLabel* m_pLabel = nullptr;
    QListWidget* m_pList = nullptr;
    CProfileItem* m_pCurrent = nullptr;
    CProfileItem* m_pDefault = nullptr;
    CProfileItem* m_pActive = nullptr;
    bool m_bEdited = false;
    QString m_lastExportPath;
    QString m_lastImportPath;
};
