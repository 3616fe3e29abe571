#include "gui/ProfilesWidget.h"

#include "gui/FileDialogFilter.h"
#include "gui/FileDialogStart.h"
#include "gui/ToolTipText.h"

#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "options/ProfileStore.h"
#include "prefs/ZGXPreferences.h"

namespace {

QString FromUtf8(const CZGXTString& s)
{
    return QString::fromUtf8(s.data(), int(s.size()));
}

CZGXTString ToUtf8(const QString& s)
{
    return s.toUtf8().toStdString();
}

// File names as the C library wants them.
QByteArray NativePath(const QString& path)
{
    return QFile::encodeName(path);
}

bool IsProfileFileSuffix(const QString& suffix)
{
    static const char* const kSuffixes[] = {"qef", "h", "cpp", "cfg", "txt"};
    for (const char* s : kSuffixes)
        if (suffix.compare(QLatin1String(s), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

// --- CProfileItem -------------------------------------------------------------

CProfileItem::CProfileItem(const QString& name, const COptionsData& options, QListWidget* list)
    : QListWidgetItem(list, kType), m_options(options)
{
    setText(name);
}

void CProfileItem::setData(int role, const QVariant& value)
{
    if ((role == Qt::DisplayRole || role == Qt::EditRole) && value.toString().trimmed().isEmpty()) {
        // A blank name would make the entry unrecognisable in the list.
        if (!text().isEmpty())
            return;
        QListWidgetItem::setData(role, QDateTime::currentDateTime().toString());
        return;
    }
    QListWidgetItem::setData(role, value);
}

// --- CProfilesWidget ------------------------------------------------------------

CProfilesWidget::CProfilesWidget(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ProfilesWidget"));
    QVBoxLayout* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pLabel = new QLabel(this);
    m_pLabel->setObjectName(QStringLiteral("ProfilesLabel"));
    layout->addWidget(m_pLabel);
    m_pList = new QListWidget(this);
    m_pList->setObjectName(QStringLiteral("ProfilesList"));
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    m_pList->setContextMenuPolicy(Qt::CustomContextMenu);
    m_pList->installEventFilter(this);
    layout->addWidget(m_pList, 1);
    // A list of profile names needs little width; beside the options editor
    // (which stretches) it keeps its own narrow width.
    QSizePolicy policy = sizePolicy();
    policy.setHorizontalStretch(0);
    setSizePolicy(policy);

    const Qt::ItemFlags fixed = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    m_pCurrent = new CProfileItem(UIText(eTextCurrentTag), COptionsData(), m_pList);
    m_pCurrent->setFlags(fixed);
    m_pDefault = new CProfileItem(UIText(eTextDefaultSettings), COptionsData(), m_pList);
    m_pDefault->setFlags(fixed);
    m_pActive = m_pDefault;

    connect(m_pList, &QListWidget::customContextMenuRequested, this, &CProfilesWidget::showContextMenu);
    connect(m_pList, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        // A renamed active profile shows its new name in the tool tip.
        if (item == m_pActive && item != m_pDefault)
            setCurrentProfileState(m_bEdited);
    });
    setAcceptDrops(true);
    translateUI(CMeshwrightStrings::Language());
}

QSize CProfilesWidget::sizeHint() const
{
    const QSize hint = QWidget::sizeHint();
    return QSize(qMin(hint.width(), fontMetrics().averageCharWidth() * 28), hint.height());
}

CProfilesWidget::~CProfilesWidget() = default;

int CProfilesWidget::ProfileCount() const
{
    return m_pList->count() - 2;
}

CProfileItem* CProfilesWidget::Profile(int index) const
{
    if (index < 0 || index >= ProfileCount())
        return nullptr;
    return static_cast<CProfileItem*>(m_pList->item(index + 2));
}

bool CProfilesWidget::IsUserProfile(const QListWidgetItem* item) const
{
    return item && item != m_pCurrent && item != m_pDefault && item->listWidget() == m_pList;
}

CProfileItem* CProfilesWidget::AddProfile(const QString& name, const COptionsData& options)
{
    CProfileItem* item = new CProfileItem(name, options, m_pList);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable);
    return item;
}

CProfileItem* CProfilesWidget::SelectedEntry() const
{
    QListWidgetItem* item = m_pList->currentItem();
    if (!item || !item->isSelected())
        return nullptr;
    return static_cast<CProfileItem*>(item);
}

// --- Store ----------------------------------------------------------------------------

void CProfilesWidget::Load(CZGXPreferences& prefs, const char* prefix)
{
    SProfileSet set;
    std::vector<CZGXTString> missing;
    LoadProfileSet(prefs, prefix ? prefix : "", set, &missing);
    m_lastImportPath = FromUtf8(set.lastImportPath);
    m_lastExportPath = FromUtf8(set.lastExportPath);

    while (ProfileCount() > 0)
        delete m_pList->takeItem(2);
    m_pActive = m_pDefault;
    for (const CZGXTString& entry : missing)
        emit errorMessage(QStringLiteral("Failed to load profile ") + FromUtf8(entry) +
                          QStringLiteral(". Entry does not exist"));
    for (const SProfileRecord& record : set.profiles)
        AddProfile(FromUtf8(record.name), record.options);
    RefreshState();
}

bool CProfilesWidget::Save(CZGXPreferences& prefs, const char* prefix)
{
    SProfileSet set;
    set.lastImportPath = ToUtf8(m_lastImportPath);
    set.lastExportPath = ToUtf8(m_lastExportPath);
    set.profiles.reserve(size_t(ProfileCount()));
    for (int i = 0; i < ProfileCount(); ++i)
        set.profiles.push_back(SProfileRecord{ToUtf8(Profile(i)->Name()), CZGXTString(), Profile(i)->Options()});
    return SaveProfileSet(prefs, prefix ? prefix : "", set);
}

// --- State -------------------------------------------------------------------------------

void CProfilesWidget::setCurrentOptions(const COptions& opt)
{
    m_pCurrent->SetOptions(opt);
    // The options restored at start may differ from the active profile.
    RefreshState();
}

void CProfilesWidget::updateCurrentOptions(const COptions& opt)
{
    m_pCurrent->SetOptions(opt);
    RefreshState();
}

void CProfilesWidget::RefreshState()
{
    setCurrentProfileState(!m_pActive || m_pCurrent->Options() != m_pActive->Options());
}

void CProfilesWidget::setCurrentProfileState(bool bEdited)
{
    m_bEdited = bEdited;
    QFont font = m_pCurrent->font();
    font.setItalic(bEdited);
    m_pCurrent->setFont(font);
    if (bEdited) {
        m_pCurrent->setText(UIText(eTextCurrentTag) + QStringLiteral("*"));
        m_pCurrent->setToolTip(ToolTipText(UIText(eTextCurrentExportOptions)));
    } else {
        m_pCurrent->setText(UIText(eTextCurrentTag));
        m_pCurrent->setToolTip(ToolTipText(UIText(eTextCurrentExportOptions) + QStringLiteral(" - ") +
                                           UIText(eTextProfile) + QStringLiteral(" ") +
                                           (m_pActive ? m_pActive->Name() : QString())));
    }
}

// --- Actions ---------------------------------------------------------------------------------

void CProfilesWidget::useProfile()
{
    CProfileItem* item = SelectedEntry();
    if (!item || item == m_pCurrent)
        return;
    m_pActive = item;
    m_pCurrent->SetOptions(item->Options());
    RefreshState();
    // The window copies them into its options and refreshes the editor,
    // which reports back through updateCurrentOptions.
    emit useOptions(item->Options());
    m_pList->setCurrentItem(m_pCurrent);
}

QString CProfilesWidget::AskName(bool* ok)
{
    return QInputDialog::getText(this, UIText(eTextName), UIText(eTextEnterName), QLineEdit::Normal, QString(), ok);
}

void CProfilesWidget::saveCurrentProfile()
{
    bool ok = false;
    const QString name = AskName(&ok);
    if (!ok)
        return;
    m_pActive = AddProfile(name, m_pCurrent->Options());
    setCurrentProfileState(false);
}

void CProfilesWidget::renameProfile()
{
    CProfileItem* item = SelectedEntry();
    if (IsUserProfile(item))
        m_pList->editItem(item);
}

bool CProfilesWidget::ConfirmDelete()
{
    QMessageBox box(QMessageBox::Warning, UIText(eTextDeleteProfile), UIText(eTextConfirmDeleteProfile),
                    QMessageBox::NoButton, this);
    QPushButton* yes = box.addButton(UIText(eTextYes), QMessageBox::YesRole);
    box.addButton(UIText(eTextNo), QMessageBox::NoRole);
    box.exec();
    return box.clickedButton() == yes;
}

void CProfilesWidget::deleteCurrentItem()
{
    CProfileItem* item = SelectedEntry();
    if (!IsUserProfile(item) || !ConfirmDelete())
        return;
    if (item == m_pActive) {
        // A twin with the same options takes over; otherwise the defaults.
        m_pActive = m_pDefault;
        for (int i = 0; i < ProfileCount(); ++i) {
            CProfileItem* other = Profile(i);
            if (other != item && other->Options() == item->Options()) {
                m_pActive = other;
                break;
            }
        }
    }
    delete m_pList->takeItem(m_pList->row(item));
    RefreshState();
}

QString CProfilesWidget::ChooseExportPath(const QString& caption, const QString& start, const QString& filter)
{
    QFileDialog dialog(this, caption, FileDialogStart(start), DialogFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

QString CProfilesWidget::ChooseImportPath(const QString& caption, const QString& start, const QString& filter)
{
    return QFileDialog::getOpenFileName(this, caption, FileDialogStart(start), DialogFilter(filter));
}

void CProfilesWidget::exportProfile()
{
    CProfileItem* item = SelectedEntry();
    if (!item)
        return;
    const QString path = ChooseExportPath(UIText(eTextExportToFile), m_lastExportPath,
                                          UIText(eTextTextFiles) + QStringLiteral(";;") + UIText(eTextConfigFiles));
    if (path.isEmpty())
        return;
    m_lastExportPath = QFileInfo(path).absolutePath();
    if (!item->Options().SaveToFile(NativePath(path).constData()))
        emit errorMessage(QStringLiteral("Failed to export profile to ") + path);
}

void CProfilesWidget::importProfile()
{
    const QString path = ChooseImportPath(UIText(eTextImportFromFile), m_lastImportPath,
                                          UIText(eTextQefFiles) + QStringLiteral(";;") + UIText(eTextTextFiles) +
                                              QStringLiteral(";;") + UIText(eTextConfigFiles));
    if (path.isEmpty())
        return;
    m_lastImportPath = QFileInfo(path).absolutePath();
    COptionsData options;
    options.LoadFromFile(NativePath(path).constData());
    bool ok = false;
    const QString name = AskName(&ok);
    if (ok)
        AddProfile(name, options);
}

// --- Context menu ---------------------------------------------------------------------------------

QMenu* CProfilesWidget::CreateContextMenu(const QPoint& pos)
{
    QListWidgetItem* item = m_pList->itemAt(pos);
    if (item)
        m_pList->setCurrentItem(item);
    QMenu* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("ProfilesMenu"));
    menu->setTitle(UIText(eTextMenu));
    if (!item) {
        menu->addAction(UIText(eTextImportFromFile), this, &CProfilesWidget::importProfile);
        return menu;
    }
    if (item == m_pCurrent) {
        menu->addAction(UIText(eTextSaveAs), this, &CProfilesWidget::saveCurrentProfile);
    } else {
        menu->addAction(UIText(eTextSetAs) + QStringLiteral(" ") + UIText(eTextCurrentTag), this,
                        &CProfilesWidget::useProfile);
        menu->addSeparator();
    }
    menu->addAction(UIText(eTextExportToFile), this, &CProfilesWidget::exportProfile);
    if (IsUserProfile(item)) {
        menu->addSeparator();
        menu->addAction(UIText(eTextRename), this, &CProfilesWidget::renameProfile);
        menu->addAction(UIText(eTextDelete), this, &CProfilesWidget::deleteCurrentItem);
    }
    return menu;
}

void CProfilesWidget::showContextMenu(const QPoint& pos)
{
    QMenu* menu = CreateContextMenu(pos);
    menu->exec(m_pList->viewport()->mapToGlobal(pos));
    delete menu;
}

QString CProfilesWidget::DialogFilter(const QString& filters)
{
    return FileDialogFilter(filters);
}

// --- Keys, drag and drop ----------------------------------------------------------------------------

bool CProfilesWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pList && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        deleteCurrentItem();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

QStringList CProfilesWidget::ProfileFiles(const QMimeData* mime)
{
    QStringList files;
    if (!mime || !mime->hasUrls())
        return files;
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile())
            continue;
        const QFileInfo info(url.toLocalFile());
        if (info.isFile() && IsProfileFileSuffix(info.suffix()))
            files << info.filePath();
    }
    return files;
}

void CProfilesWidget::dragEnterEvent(QDragEnterEvent* event)
{
    if (!ProfileFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void CProfilesWidget::dragMoveEvent(QDragMoveEvent* event)
{
    if (!ProfileFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void CProfilesWidget::dropEvent(QDropEvent* event)
{
    const QStringList files = ProfileFiles(event->mimeData());
    if (files.isEmpty()) {
        event->ignore();
        return;
    }
    for (const QString& path : files) {
        COptionsData options;
        options.LoadFromFile(NativePath(path).constData());
        AddProfile(QFileInfo(path).fileName(), options);
    }
    event->acceptProposedAction();
}

// --- Texts -------------------------------------------------------------------------------------------

void CProfilesWidget::translateUI(CMeshwrightStrings::ELanguages lang)
{
    CMeshwrightStrings::SetLanguage(lang);
    m_pLabel->setText(UIText(eTextProfiles));
    m_pLabel->setToolTip(ToolTipText(UIText(eTextProfilesTip)));
    m_pDefault->setText(UIText(eTextDefaultSettings));
    m_pDefault->setToolTip(ToolTipText(UIText(eTextDefaultExportOptions)));
    setCurrentProfileState(m_bEdited);
}
