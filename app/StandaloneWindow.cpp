#include "app/StandaloneWindow.h"

#include "app/RecentFiles.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QThread>
#include <QUrl>

#include "app/AboutBoxDialog.h"
#include "app/AutoUpdater.h"
#include "base/ConversionLog.h"
#include "app/DocumentOpener.h"
#include "app/FeedbackDialog.h"
#include "app/RecentFilesMenu.h"
#include "app/WindowStore.h"
#include "gltf/ImportFormat.h"
#include "gui/FileDialogFilter.h"
#include "gui/FileDialogStart.h"
#include "gui/OptionsWidget.h"
#include "gui/OutputWidget.h"
#include "gui/ProfilesWidget.h"
#include "viewer/ViewerPanel.h"

namespace {

// The window icon: a shaded triangle mesh on a dark tile, 256 x 256, 32-bit.
QImage WindowIconImage()
{
    QImage image(256, 256, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x24, 0x3b, 0x55));
    p.drawRoundedRect(QRectF(8, 8, 240, 240), 40, 40);
    const QPointF a(128, 36), b(40, 200), c(216, 200), m(128, 142);
    const QPointF faces[3][3] = {{a, b, m}, {a, m, c}, {b, c, m}};
    const QColor shades[3] = {QColor(0x6f, 0xc2, 0xf0), QColor(0x3d, 0x93, 0xd1), QColor(0x24, 0x6e, 0xad)};
    for (int i = 0; i < 3; ++i) {
        QPainterPath path;
        path.moveTo(faces[i][0]);
        path.lineTo(faces[i][1]);
        path.lineTo(faces[i][2]);
        path.closeSubpath();
        p.fillPath(path, shades[i]);
    }
    p.setPen(QPen(QColor(0xf2, 0xf6, 0xfa), 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(QPolygonF({a, b, c}));
    p.drawLine(a, m);
    p.drawLine(b, m);
    p.drawLine(c, m);
    return image;
}

// The first scene file (Collada or glTF) among the dragged URLs, or an empty string.
QString FirstColladaFile(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls())
        return QString();
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile())
            continue;
        const QFileInfo info(url.toLocalFile());
        if (info.isFile() && ImportFormatOf(info.fileName()) != eImportFormatNone)
            return info.filePath();
    }
    return QString();
}

// The first scene file (.qef) among the dragged URLs, or an empty string.
QString FirstSceneFile(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls())
        return QString();
    for (const QUrl& url : mime->urls()) {
        const QFileInfo info(url.toLocalFile());
        if (url.isLocalFile() && info.isFile() && info.suffix().compare(QLatin1String("qef"), Qt::CaseInsensitive) == 0)
            return info.filePath();
    }
    return QString();
}

// Where the export dialog starts: the last output again when it was made
// from a file of the same name, otherwise beside the input under the
// input's name, in the last output's form (.qef, .h or .cpp).
QString ExportStart(const QString& input, const QString& lastOutput)
{
    if (input.isEmpty())
        return lastOutput;
    const QFileInfo in(input), out(lastOutput);
    if (!lastOutput.isEmpty() && out.completeBaseName() == in.completeBaseName())
        return lastOutput;
    const QString suffix = out.suffix().toLower();
    const bool known = suffix == QLatin1String("qef") || suffix == QLatin1String("h") || suffix == QLatin1String("cpp");
    return QDir(in.absolutePath())
        .filePath(in.completeBaseName() + QLatin1Char('.') + (known ? suffix : QStringLiteral("qef")));
}

QByteArray Local8(const QString& text)
{
    return text.toUtf8();
}

} // namespace

CStandaloneWindow::CStandaloneWindow(QWidget* parent) : QMainWindow(parent)
{
    // 1-2. Default options and the application store.
    m_pStore.reset(new CWindowStore);

    // 3. The user interface.
    BuildUI();
    setAcceptDrops(true);
    setWindowIcon(QIcon(QPixmap::fromImage(WindowIconImage())));
    setWindowTitle(QString::fromLatin1(kTitle));
    resize(1100, 720);

    // 4-6. Store, layout and current options.
    QString error;
    if (!m_pStore->Load(&error))
        DebugOutput("%s", Local8(error).constData());
    loadLayout();
    m_pStore->LoadOptions(m_options, kCurrentOptionsPrefix);
    m_pCopyTexturesAction->setChecked(m_pStore->ReadData(kCopyTexturesKey) == "1");

    // 7. Recent-file submenus, each followed by a separator.
    m_pOpenRecentMenu =
        new CRecentFilesMenu(QStringLiteral("Open Recent File"), *m_pStore, kOpenRecentPrefix, true, m_pFileMenu);
    m_pOpenRecentMenu->setObjectName(QStringLiteral("OpenRecentMenu"));
    m_pExportRecentMenu = new CRecentFilesMenu(QStringLiteral("Export To Recent File"), *m_pStore, kExportRecentPrefix,
                                               false, m_pFileMenu);
    m_pExportRecentMenu->setObjectName(QStringLiteral("ExportRecentMenu"));
    m_pFileMenu->insertMenu(m_pExportAction, m_pOpenRecentMenu);
    m_pFileMenu->insertSeparator(m_pExportAction);
    m_pFileMenu->insertMenu(m_pCopyTexturesAction, m_pExportRecentMenu);
    m_pFileMenu->insertSeparator(m_pExitAction);
    connect(m_pOpenRecentMenu, qOverload<const QString&>(&CRecentFilesMenu::triggered), this,
            &CStandaloneWindow::onOpenFile);
    connect(m_pExportRecentMenu, qOverload<const QString&>(&CRecentFilesMenu::triggered), this,
            &CStandaloneWindow::onExportFile);

    // 8. Working widgets. The output comes before the profiles are loaded:
    // a profile that fails to load is reported there.
    m_pOptionsWidget = new COptionsWidget(nullptr, Qt::WindowFlags(), &m_options);
    m_pOptionsWidget->setObjectName(QStringLiteral("OptionsWidget"));
    m_pOutputWidget = new COutputWidget();
    m_pOutputWidget->setObjectName(QStringLiteral("OutputWidget"));
    // Every working widget belongs to the window from the start, whichever
    // page shows it.
    m_pOutputPageLayout->addWidget(m_pOutputWidget);
    m_pProfilesWidget = new CProfilesWidget(m_pProfileOptionsSplitter);
    connect(m_pProfilesWidget, &CProfilesWidget::errorMessage, this, &CStandaloneWindow::displayError);
    m_pProfilesWidget->Load(*m_pStore->Preferences(), kProfilesPrefix);

    // 9. Button and menu actions.
    connect(m_pContextualButton, &QPushButton::clicked, this, &CStandaloneWindow::onContextualButtonPress);
    connect(m_pOpenAction, &QAction::triggered, this, qOverload<>(&CStandaloneWindow::onOpen));
    connect(m_pExportAction, &QAction::triggered, this, qOverload<bool>(&CStandaloneWindow::onExport));
    connect(m_pExitAction, &QAction::triggered, this, &QWidget::close);
    connect(m_pHelpAction, &QAction::triggered, this, &CStandaloneWindow::onHelp);
    connect(m_pSpecificationAction, &QAction::triggered, this, &CStandaloneWindow::onSpecification);
    connect(m_pFeedbackAction, &QAction::triggered, this, &CStandaloneWindow::onFeedback);
    connect(m_pAboutAction, &QAction::triggered, this, &CStandaloneWindow::onAbout);
    m_pUpdater = new CAutoUpdater(QStringLiteral("Meshwright"), QStringList({QStringLiteral("meshwright")}), 10, this,
                                  m_pStore->Preferences());
    connect(m_pUpdatesAction, &QAction::triggered, m_pUpdater, &CAutoUpdater::OnForceCheckForUpdates);
    connect(m_pUpdater, &CAutoUpdater::ErrorOccured, this, &CStandaloneWindow::ReportUpdaterError);
    m_pUpdater->Start();

    // 10. States and options traffic.
    connect(this, &CStandaloneWindow::contextualButtonState, this, &CStandaloneWindow::onContextualButtonState);
    connect(this, &CStandaloneWindow::fileExportState, this, &CStandaloneWindow::onFileExportState);
    m_pProfilesWidget->setCurrentOptions(m_options);
    connect(m_pOptionsWidget, &COptionsWidget::optionsChanged, m_pProfilesWidget,
            &CProfilesWidget::updateCurrentOptions);
    connect(m_pProfilesWidget, &CProfilesWidget::useOptions, this, &CStandaloneWindow::setOptions);
    connect(this, &CStandaloneWindow::optionsSet, m_pOptionsWidget, &COptionsWidget::refreshGUI);

    // 11. Nothing to export before a file is opened.
    emit contextualButtonState(false);
    emit fileExportState(false);

    // 12. Views.
    connect(this, &CStandaloneWindow::switchView, this, &CStandaloneWindow::changeView);
    emit switchView(eViewProfileOptions);

    // 13. Texts.
    connect(this, &CStandaloneWindow::changeLanguage, this, &CStandaloneWindow::translateUI);
    connect(this, &CStandaloneWindow::changeLanguage, m_pOptionsWidget, &COptionsWidget::translateUI);
    connect(this, &CStandaloneWindow::changeLanguage, m_pProfilesWidget, &CProfilesWidget::translateUI);
    emit changeLanguage(CMeshwrightStrings::eBritishEnglish);
}

CStandaloneWindow::~CStandaloneWindow()
{
    // A running export is waited for: its thread must not outlive the window
    // and its file must be complete.
    ReleaseWorker();
}

void CStandaloneWindow::BuildUI()
{
    setObjectName(QStringLiteral("StandaloneWindowClass"));
    QWidget* central = new QWidget(this);
    central->setObjectName(QStringLiteral("CentralWidget"));
    QVBoxLayout* layout = new QVBoxLayout(central);
    layout->setObjectName(QStringLiteral("CentralLayout"));

    m_pViews = new QStackedWidget(central);
    m_pViews->setObjectName(QStringLiteral("Views"));
    layout->addWidget(m_pViews, 1);

    QWidget* everything = new QWidget(m_pViews);
    everything->setObjectName(QStringLiteral("EverythingPage"));
    QVBoxLayout* everythingLayout = new QVBoxLayout(everything);
    everythingLayout->setContentsMargins(0, 0, 0, 0);
    m_pEverythingSplitter = new QSplitter(Qt::Horizontal, everything);
    m_pEverythingSplitter->setObjectName(QStringLiteral("EverythingSplitter"));
    m_pEverythingSplitter->setChildrenCollapsible(false);
    everythingLayout->addWidget(m_pEverythingSplitter);
    m_pViews->addWidget(everything);

    QWidget* profileOptions = new QWidget(m_pViews);
    profileOptions->setObjectName(QStringLiteral("ProfileOptionsPage"));
    QVBoxLayout* profileOptionsLayout = new QVBoxLayout(profileOptions);
    profileOptionsLayout->setContentsMargins(0, 0, 0, 0);
    m_pProfileOptionsSplitter = new QSplitter(Qt::Horizontal, profileOptions);
    m_pProfileOptionsSplitter->setObjectName(QStringLiteral("ProfileOptionsSplitter"));
    m_pProfileOptionsSplitter->setChildrenCollapsible(false);
    profileOptionsLayout->addWidget(m_pProfileOptionsSplitter);
    m_pViews->addWidget(profileOptions);

    QWidget* output = new QWidget(m_pViews);
    output->setObjectName(QStringLiteral("OutputPage"));
    m_pOutputPageLayout = new QVBoxLayout(output);
    m_pOutputPageLayout->setContentsMargins(0, 0, 0, 0);
    m_pViews->addWidget(output);

    // The viewer belongs to the window before it is first shown: a window
    // that gains an OpenGL view later is made anew (it blinks on a desktop).
    // Its OpenGL starts when a scene is first shown.
    QWidget* preview = new QWidget(m_pViews);
    preview->setObjectName(QStringLiteral("PreviewPage"));
    m_pPreviewPageLayout = new QVBoxLayout(preview);
    m_pPreviewPageLayout->setContentsMargins(0, 0, 0, 0);
    m_pViews->addWidget(preview);
    m_pPreview = new CViewerPanel(preview);
    m_pPreview->setObjectName(QStringLiteral("Preview"));
    m_pPreviewPageLayout->addWidget(m_pPreview);

    QHBoxLayout* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    m_pPreviewButton = new QPushButton(QStringLiteral("Preview"), central);
    m_pPreviewButton->setObjectName(QStringLiteral("PreviewB"));
    m_pPreviewButton->setToolTip(QStringLiteral("Show the last exported scene file in the scene viewer"));
    m_pPreviewButton->setVisible(false);
    connect(m_pPreviewButton, &QPushButton::clicked, this, [this] { changeView(eViewPreview); });
    buttons->addWidget(m_pPreviewButton);
    m_pContextualButton = new QPushButton(central);
    m_pContextualButton->setObjectName(QStringLiteral("ContextualB"));
    m_pContextualButton->setMinimumWidth(120);
    m_pContextualButton->setDefault(true);
    buttons->addWidget(m_pContextualButton);
    layout->addLayout(buttons);
    setCentralWidget(central);

    m_pFileMenu = menuBar()->addMenu(QString());
    m_pFileMenu->setObjectName(QStringLiteral("FileMenu"));
    m_pOpenAction = m_pFileMenu->addAction(QString());
    m_pOpenAction->setObjectName(QStringLiteral("ActionOpen"));
    m_pExportAction = m_pFileMenu->addAction(QString());
    m_pExportAction->setObjectName(QStringLiteral("ActionExport"));
    m_pCopyTexturesAction = m_pFileMenu->addAction(QString());
    m_pCopyTexturesAction->setObjectName(QStringLiteral("ActionCopyTextures"));
    m_pCopyTexturesAction->setCheckable(true);
    m_pExitAction = m_pFileMenu->addAction(QString());
    m_pExitAction->setObjectName(QStringLiteral("ActionExit"));

    m_pHelpMenu = menuBar()->addMenu(QString());
    m_pHelpMenu->setObjectName(QStringLiteral("HelpMenu"));
    m_pHelpAction = m_pHelpMenu->addAction(QString());
    m_pHelpAction->setObjectName(QStringLiteral("ActionHelp"));
    m_pSpecificationAction = m_pHelpMenu->addAction(QString());
    m_pSpecificationAction->setObjectName(QStringLiteral("ActionSpecification"));
    m_pFeedbackAction = m_pHelpMenu->addAction(QString());
    m_pFeedbackAction->setObjectName(QStringLiteral("ActionFeedback"));
    m_pAboutAction = m_pHelpMenu->addAction(QString());
    m_pAboutAction->setObjectName(QStringLiteral("ActionAbout"));
    m_pUpdatesAction = m_pHelpMenu->addAction(QString());
    m_pUpdatesAction->setObjectName(QStringLiteral("ActionCheckForUpdates"));
}

QWidget* CStandaloneWindow::ProfilesView() const
{
    return m_pProfilesWidget;
}

// --- Opening --------------------------------------------------------------------

QString CStandaloneWindow::ChooseOpenPath(const QString& caption, const QString& start, const QString& filter)
{
    return QFileDialog::getOpenFileName(this, caption, FileDialogStart(start), FileDialogFilter(filter));
}

QString CStandaloneWindow::ChooseExportPath(const QString& caption, const QString& start, const QString& filter)
{
    const QString from = FileDialogStart(start);
    QFileDialog dialog(this, caption, from, FileDialogFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // A name typed without a suffix becomes a scene file.
    dialog.setDefaultSuffix(QStringLiteral("qef"));
    if (QFileInfo(from).isFile() || !QFileInfo(from).exists())
        dialog.selectFile(from);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

void CStandaloneWindow::onOpen()
{
    QString start = m_inputPath;
    if (start.isEmpty()) {
        const QStringList recent = m_pOpenRecentMenu->Files();
        if (!recent.isEmpty())
            start = recent.constFirst();
    }
    const QString path = ChooseOpenPath(UIText(eTextOpenImportFile), start,
                                        UIText(eTextAllSupportedDae) + QStringLiteral(";;") +
                                            UIText(eTextColladaFiles) + QStringLiteral(";;") + GltfFileFilter());
    if (!path.isEmpty())
        onOpenFile(path);
}

void CStandaloneWindow::onOpenFile(const QString& path)
{
    if (path.isEmpty() || !QFileInfo(path).isFile() || m_bExporting)
        return;
    m_inputPath = path;
    m_pOpenRecentMenu->addFile(path);
    setWindowTitle(QString::fromLatin1(kTitle) + QStringLiteral(" - ") + QFileInfo(path).fileName());
    emit contextualButtonState(true);
    emit fileExportState(true);
}

bool CStandaloneWindow::OpenAtStart(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return false;
    if (QFileInfo(path).suffix().compare(QLatin1String("qef"), Qt::CaseInsensitive) == 0)
        showPreview(path, true);
    else
        onOpenFile(path);
    return true;
}

void CStandaloneWindow::showPreview(const QString& path, bool show)
{
    // A file the viewer cannot read says why in its status line.
    m_pPreview->OpenFile(path);
    if (show)
        changeView(eViewPreview);
    else
        updateContextualButton();
}

// --- Help -------------------------------------------------------------------------

void CStandaloneWindow::OpenManual(const QString& fileName)
{
    OpenDocument(this, m_pStore->Preferences(), fileName, QString::fromLatin1(kDocumentFolder),
                 QString::fromLatin1(kDocumentKey));
}

int CStandaloneWindow::RunDialog(QDialog* dialog)
{
    return dialog->exec();
}

void CStandaloneWindow::onHelp()
{
    OpenManual(QString::fromLatin1(kManualFile));
}

void CStandaloneWindow::onSpecification()
{
    OpenManual(QString::fromLatin1(kFormatFile));
}

void CStandaloneWindow::onFeedback()
{
    CFeedbackDialog dialog(QString::fromLatin1(kFeedbackProduct), QString::fromLatin1(kFeedbackVersion), this);
    RunDialog(&dialog);
}

void CStandaloneWindow::onAbout()
{
    ShowAboutBox(true);
}

void CStandaloneWindow::ShowAboutBox(bool force)
{
    CAboutBoxDialog box(QString::fromLatin1(kTitle), CAboutBoxDialog::DefaultPicture(), m_pStore->Preferences(), force,
                        QString(), this);
    if (box.ShouldShow())
        RunDialog(&box);
}

void CStandaloneWindow::ReportUpdaterError(const QString& text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Check for Updates"), text, QMessageBox::Ok, this);
    RunDialog(&box);
}

// --- Exporting --------------------------------------------------------------------

void CStandaloneWindow::onExport(bool)
{
    onExport();
}

void CStandaloneWindow::onExport()
{
    QString start = QString::fromStdString(m_options.OutputPath());
    if (start.isEmpty()) {
        const QStringList recent = m_pExportRecentMenu->Files();
        if (!recent.isEmpty())
            start = recent.constFirst();
    }
    onExportFile(ChooseExportPath(QStringLiteral("Export to QEF"), ExportStart(m_inputPath, start),
                                  QStringLiteral("QEF files (*.qef *.h *.cpp)")));
}

COptions CStandaloneWindow::ExportOptionsFor(const COptions& options, const QString& outputPath)
{
    COptions run = options;
    run.SetOutputPath(Local8(outputPath).toStdString());
    // Binary scene data in a file named as C source would be useless to the
    // compiler that reads it.
    if (run.GetExpFormat() == eExpFormatScene) {
        const QString suffix = QFileInfo(outputPath).suffix().toLower();
        if (suffix == QLatin1String("h"))
            run.SetExpFormat(eExpFormatHeader);
        else if (suffix == QLatin1String("cpp"))
            run.SetExpFormat(eExpFormatSource);
    }
    return run;
}

void CStandaloneWindow::onExportFile(const QString& path)
{
    // One export at a time, and only of an opened file.
    if (path.isEmpty() || m_bExporting || m_inputPath.isEmpty())
        return;
    m_options.SetOutputPath(Local8(path).toStdString());
    m_pExportRecentMenu->addFile(path);

    ReleaseWorker();
    m_pOutputWidget->clearOutput();

    m_pThread = new QThread();
    m_pThread->setObjectName(QStringLiteral("ConversionThread"));
    SImportSettings settings;
    settings.copyTextures = m_pCopyTexturesAction->isChecked();
    m_pConverter = new CConverterObject(ExportOptionsFor(m_options, path), m_inputPath, nullptr, settings);
    m_pConverter->moveToThread(m_pThread);

    connect(m_pThread, &QThread::started, this, &CStandaloneWindow::onExportStart);
    connect(m_pThread, &QThread::started, m_pConverter, &CConverterObject::start);
    connect(m_pConverter, &CConverterObject::progressUpdated, this, &CStandaloneWindow::displayProgress);
    connect(m_pConverter, &CConverterObject::conversionWarning, this, &CStandaloneWindow::displayWarning);
    connect(m_pConverter, &CConverterObject::conversionError, this, &CStandaloneWindow::displayError);
    connect(m_pConverter, &CConverterObject::conversionInfo, this, &CStandaloneWindow::displayInfo);
    connect(m_pConverter, &CConverterObject::conversionSuccess, this, &CStandaloneWindow::displaySuccess);
    connect(m_pConverter, qOverload<>(&CConverterObject::finished), m_pThread, &QThread::quit);
    // Both ends of a run re-enable the window; a late signal of an earlier
    // run (still queued when the next export starts) is ignored.
    const quint64 run = ++m_exportRun;
    const auto finish = [this, run] {
        if (run == m_exportRun)
            onExportFinish();
    };
    connect(m_pConverter, qOverload<>(&CConverterObject::finished), this, finish);
    connect(m_pThread, &QThread::finished, this, finish);
    // A written scene file goes to the Preview page; "open in viewer"
    // without a viewer of the user's shows that page.
    const COptions runOptions = ExportOptionsFor(m_options, path);
    connect(m_pConverter, qOverload<E2QEFErrorCodes>(&CConverterObject::finished), this,
            [this, run, path, runOptions](E2QEFErrorCodes code) {
                if (run != m_exportRun || code != E2QEF_SUCCESS)
                    return;
                RecordExportedFile(runOptions.OutputPath().c_str());
                if (runOptions.GetExpFormat() != eExpFormatScene)
                    return;
                showPreview(path, runOptions.GetBool(opt::bDisplayInVistrel) &&
                                      runOptions.String(opt::sPathToVistrel).empty());
            });

    // Disabled at once, not only when the thread reports its start, so no
    // second export can slip in between.
    m_bExporting = true;
    SetExportControlsEnabled(false);
    m_pThread->start(QThread::InheritPriority);
}

void CStandaloneWindow::ReleaseWorker()
{
    if (m_pThread) {
        m_pThread->quit();
        m_pThread->wait();
        delete m_pThread;
        m_pThread = nullptr;
    }
    delete m_pConverter;
    m_pConverter = nullptr;
}

void CStandaloneWindow::SetExportControlsEnabled(bool enabled)
{
    if (m_pProfilesWidget)
        m_pProfilesWidget->setEnabled(enabled);
    m_pOptionsWidget->setEnabled(enabled);
    emit contextualButtonState(enabled);
    emit fileExportState(enabled);
    setAcceptDrops(enabled);
    m_pOpenAction->setEnabled(enabled);
    m_pOpenRecentMenu->setEnabled(enabled);
}

void CStandaloneWindow::onExportStart()
{
    SetExportControlsEnabled(false);
    if (m_eView != eViewOutput && m_eView != eViewEverything)
        changeView(eViewOutput);
}

void CStandaloneWindow::onExportFinish()
{
    // Called by the converter and by its thread; the second call changes nothing.
    if (!m_bExporting)
        return;
    m_bExporting = false;
    SetExportControlsEnabled(true);
    emit exportFinished();
    if (m_bCloseAfterExport) {
        m_bCloseAfterExport = false;
        close();
    }
}

// --- Messages -----------------------------------------------------------------------

void CStandaloneWindow::displayProgress(int progress, const QString& text)
{
    m_pOutputWidget->appendOutput(Local8(text).constData(), eOutputInfo);
    m_pOutputWidget->setProgress(static_cast<uint>(qMax(progress, 0)));
}

void CStandaloneWindow::displayInfo(const QString& text)
{
    m_pOutputWidget->appendOutput(Local8(text).constData(), eOutputInfo);
}

void CStandaloneWindow::displayError(const QString& text)
{
    m_pOutputWidget->appendOutput(Local8(text).constData(), eOutputError);
}

void CStandaloneWindow::displayWarning(const QString& text)
{
    m_pOutputWidget->appendOutput(Local8(text).constData(), eOutputWarning);
}

void CStandaloneWindow::displaySuccess(const QString& text)
{
    m_pOutputWidget->appendOutput(Local8(text).constData(), eOutputSuccess);
}

// --- Options ----------------------------------------------------------------------------

void CStandaloneWindow::setOptions(const COptionsData& options)
{
    m_options = options; // the output path stays
    emit optionsSet();
}

// --- Views and states ---------------------------------------------------------------------

void CStandaloneWindow::changeView(EView view)
{
    QWidget* profiles = ProfilesView();
    switch (view) {
    case eViewEverything:
        if (profiles)
            m_pEverythingSplitter->addWidget(profiles);
        m_pEverythingSplitter->addWidget(m_pOptionsWidget);
        m_pEverythingSplitter->addWidget(m_pOutputWidget);
        break;
    case eViewProfileOptions:
        if (profiles)
            m_pProfileOptionsSplitter->addWidget(profiles);
        m_pProfileOptionsSplitter->addWidget(m_pOptionsWidget);
        break;
    case eViewOutput: m_pOutputPageLayout->addWidget(m_pOutputWidget); break;
    case eViewPreview:
        if (m_pPreview->FilePath().isEmpty())
            return; // nothing shown there yet
        break;
    default: return;
    }
    for (QWidget* w : {profiles, static_cast<QWidget*>(m_pOptionsWidget), static_cast<QWidget*>(m_pOutputWidget)}) {
        if (w && w->parentWidget())
            w->show();
    }
    m_eView = view;
    m_pViews->setCurrentIndex(view);
    updateContextualButton();
}

void CStandaloneWindow::updateContextualButton()
{
    m_pContextualButton->setText(UIText(m_eView == eViewOutput || m_eView == eViewPreview ? eTextOk : eTextExport));
    if (m_pPreviewButton)
        m_pPreviewButton->setVisible(m_pPreview->HasScene() && m_eView != eViewPreview);
}

void CStandaloneWindow::onContextualButtonState(bool enabled)
{
    m_pContextualButton->setEnabled(enabled);
}

void CStandaloneWindow::onContextualButtonPress(bool checked)
{
    if (m_eView == eViewOutput || m_eView == eViewPreview)
        changeView(eViewProfileOptions);
    else
        onExport(checked);
}

void CStandaloneWindow::onFileExportState(bool enabled)
{
    m_pExportAction->setEnabled(enabled);
    m_pExportRecentMenu->setEnabled(enabled);
}

void CStandaloneWindow::translateUI(CMeshwrightStrings::ELanguages lang)
{
    CMeshwrightStrings::SetLanguage(lang);
    m_pFileMenu->setTitle(UIText(eTextFile));
    m_pOpenAction->setText(UIText(eTextOpen));
    m_pOpenAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
    m_pOpenRecentMenu->setTitle(QStringLiteral("Open Recent File"));
    m_pExportAction->setText(UIText(eTextExport));
    m_pExportAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+S")));
    m_pExportRecentMenu->setTitle(QStringLiteral("Export To Recent File"));
    m_pCopyTexturesAction->setText(UIText(eTextCopyTextures));
    m_pCopyTexturesAction->setToolTip(UIText(eTextCopyTexturesTip));
    m_pExitAction->setText(UIText(eTextExit));
    // Ctrl+Q as well, as in the scene viewer.
    m_pExitAction->setShortcuts({QKeySequence(QStringLiteral("Alt+F4")), QKeySequence(QStringLiteral("Ctrl+Q"))});
    m_pHelpMenu->setTitle(UIText(eTextHelp));
    m_pHelpAction->setText(UIText(eTextMeshwrightHelp));
    m_pHelpAction->setShortcut(QKeySequence(QStringLiteral("F1")));
    m_pSpecificationAction->setText(UIText(eTextQefSpecification));
    m_pSpecificationAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+F1")));
    m_pFeedbackAction->setText(UIText(eTextFeedback));
    m_pAboutAction->setText(UIText(eTextAboutMeshwright));
    m_pUpdatesAction->setText(QStringLiteral("Check for Updates"));
    updateContextualButton();
}

// --- Persistence --------------------------------------------------------------------------------

void CStandaloneWindow::saveLayout()
{
    m_pStore->WriteData(kStateKey, saveState(0));
    m_pStore->WriteData(kGeometryKey, saveGeometry());
    m_pStore->Save();
}

void CStandaloneWindow::loadLayout()
{
    const QByteArray state = m_pStore->ReadData(kStateKey);
    const QByteArray geometry = m_pStore->ReadData(kGeometryKey);
    if (!state.isEmpty())
        restoreState(state, 0);
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
}

void CStandaloneWindow::saveRegistry()
{
    m_pStore->SaveOptions(m_options, kCurrentOptionsPrefix);
    m_pStore->WriteData(kCopyTexturesKey, m_pCopyTexturesAction->isChecked() ? "1" : "0");
    m_pProfilesWidget->Save(*m_pStore->Preferences(), kProfilesPrefix);
    saveLayout();
    m_pStore->Save();
}

void CStandaloneWindow::closeEvent(QCloseEvent* event)
{
    if (m_bExporting) {
        // The window stays responsive and closes when the export has
        // written its file.
        m_bCloseAfterExport = true;
        event->ignore();
        return;
    }
    saveRegistry();
    QMainWindow::closeEvent(event);
}

// --- Drag and drop ---------------------------------------------------------------------------------

void CStandaloneWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!m_bExporting &&
        (!FirstColladaFile(event->mimeData()).isEmpty() || !FirstSceneFile(event->mimeData()).isEmpty()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CStandaloneWindow::dropEvent(QDropEvent* event)
{
    const QString scene = m_bExporting ? QString() : FirstSceneFile(event->mimeData());
    if (!scene.isEmpty()) {
        showPreview(scene, true);
        event->acceptProposedAction();
        return;
    }
    const QString path = m_bExporting ? QString() : FirstColladaFile(event->mimeData());
    if (path.isEmpty()) {
        event->ignore();
        return;
    }
    onOpenFile(path);
    event->acceptProposedAction();
}
