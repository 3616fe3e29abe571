#pragma once
// The main window: opens a Collada file, edits the export options, exports on
// a worker thread and shows the conversion's messages. It owns the current
// options, the application preference store, the recent-file lists, the
// working widgets and, during an export, the worker thread and converter.
#include <QMainWindow>
#include <QString>

#include <memory>

#include "convert/ConverterObject.h"
#include "gui/MeshwrightStrings.h"
#include "options/Options.h"
#include "options/ProfileStore.h"

class CAutoUpdater;
class COptionsWidget;
class COutputWidget;
class CProfilesWidget;
class CRecentFilesMenu;
class CViewerPanel;
class CWindowStore;
class QAction;
class QDialog;
class QMenu;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QThread;
class QVBoxLayout;

// Pages of the central stacked widget.
enum EView : int {
    eViewEverything = 0,     // profiles, options and output side by side
    eViewProfileOptions = 1, // profiles and options
    eViewOutput = 2,         // output only
    eViewPreview = 3,        // the scene viewer on the last result or a dropped .qef
};

class CStandaloneWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Meshwright 2.12";
    static constexpr const char* kCurrentOptionsPrefix = "Profiles/[Current]/";
    static constexpr const char* kProfilesPrefix = ::kProfilesPrefix;
    static constexpr const char* kOpenRecentPrefix = "Standalone//Open";
    static constexpr const char* kExportRecentPrefix = "Standalone//Export";
    static constexpr const char* kStateKey = "Standalone/Window/State/";
    static constexpr const char* kGeometryKey = "Standalone/Window/Geometry/";
    // "1" while exports copy the image files a scene refers to beside it.
    static constexpr const char* kCopyTexturesKey = "Standalone/CopyTextures/";
    // The manuals shipped beside the program, and where an installation
    // keeps them relative to it.
    static constexpr const char* kManualFile = "Meshwright User Manual.pdf";
    static constexpr const char* kFormatFile = "QEF File Format.pdf";
    static constexpr const char* kDocumentFolder = "../share/doc/meshwright/";
    static constexpr const char* kDocumentKey = "Document";
    static constexpr const char* kFeedbackProduct = "Meshwright";
    static constexpr const char* kFeedbackVersion = "Standalone 2.12";

    explicit CStandaloneWindow(QWidget* parent = nullptr);
    ~CStandaloneWindow() override;

    const COptions& Options() const { return m_options; }
    const QString& InputPath() const { return m_inputPath; }
    EView View() const { return m_eView; }
    bool IsExporting() const { return m_bExporting; }
    CWindowStore& Store() { return *m_pStore; }
    COptionsWidget* OptionsWidget() const { return m_pOptionsWidget; }
    CProfilesWidget* ProfilesWidget() const { return m_pProfilesWidget; }
    CAutoUpdater* Updater() const { return m_pUpdater; }
    COutputWidget* OutputWidget() const { return m_pOutputWidget; }
    QPushButton* ContextualButton() const { return m_pContextualButton; }
    QAction* OpenAction() const { return m_pOpenAction; }
    QAction* ExportAction() const { return m_pExportAction; }
    // Checked: exports copy the image files a scene refers to beside the
    // exported file.
    QAction* CopyTexturesAction() const { return m_pCopyTexturesAction; }
    CRecentFilesMenu* OpenRecentMenu() const { return m_pOpenRecentMenu; }
    CRecentFilesMenu* ExportRecentMenu() const { return m_pExportRecentMenu; }
    QMenu* HelpMenu() const { return m_pHelpMenu; }
    QThread* WorkerThread() const { return m_pThread; }
    CConverterObject* Converter() const { return m_pConverter; }
    // The window's start with a file: a Collada or glTF file is opened ready
    // to export, a .qef file shown on the Preview page. False when there is
    // no such file.
    bool OpenAtStart(const QString& path);
    // The Preview page's viewer; empty until something was shown there.
    CViewerPanel* Preview() const { return m_pPreview; }
    QPushButton* PreviewButton() const { return m_pPreviewButton; }

    // The options a conversion of the given output file runs with: C source
    // names with the binary format chosen get the matching source form.
    static COptions ExportOptionsFor(const COptions& options, const QString& outputPath);

    // The about box; unforced it shows only while its start-up switch is on.
    void ShowAboutBox(bool force);

signals:
    void contextualButtonState(bool enabled);
    void fileExportState(bool enabled);
    void optionsSet();
    void changeLanguage(CMeshwrightStrings::ELanguages lang);
    void switchView(EView view);
    // Every export ends with this, after the window is usable again.
    void exportFinished();

public slots:
    void onExport(bool checked);
    void onExport();
    void onExportFile(const QString& path);
    void onOpen();
    void onOpenFile(const QString& path);
    // Loads a scene file into the Preview page; show switches to that page.
    void showPreview(const QString& path, bool show);
    void onHelp();
    void onSpecification();
    void onFeedback();
    void onAbout();
    void displayProgress(int progress, const QString& text);
    void displayInfo(const QString& text);
    void displayError(const QString& text);
    void displayWarning(const QString& text);
    void displaySuccess(const QString& text);
    void onExportStart();
    void onExportFinish();
    void setOptions(const COptionsData& options);
    void translateUI(CMeshwrightStrings::ELanguages lang);
    void changeView(EView view);
    void updateContextualButton();
    void onContextualButtonState(bool enabled);
    void onContextualButtonPress(bool checked);
    void onFileExportState(bool enabled);
    void saveRegistry();
    void saveLayout();
    void loadLayout();

protected:
    // File choosers; tests replace them.
    virtual QString ChooseOpenPath(const QString& caption, const QString& start, const QString& filter);
    virtual QString ChooseExportPath(const QString& caption, const QString& start, const QString& filter);
    // Opens one of the manuals; tests replace it.
    virtual void OpenManual(const QString& fileName);
    // Runs a modal dialog of the Help menu; tests replace it.
    virtual int RunDialog(QDialog* dialog);

    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildUI();
    void SetExportControlsEnabled(bool enabled);
    void ReleaseWorker();
    void ReportUpdaterError(const QString& text);
    QWidget* ProfilesView() const;

    COptions m_options;
    QString m_inputPath;
    QThread* m_pThread = nullptr;
    CConverterObject* m_pConverter = nullptr;
    bool m_bExporting = false;
    quint64 m_exportRun = 0;
    bool m_bCloseAfterExport = false;
    EView m_eView = eViewProfileOptions;

    std::unique_ptr<CWindowStore> m_pStore;
    CRecentFilesMenu* m_pOpenRecentMenu = nullptr;
    CRecentFilesMenu* m_pExportRecentMenu = nullptr;

    CProfilesWidget* m_pProfilesWidget = nullptr;
    COptionsWidget* m_pOptionsWidget = nullptr;
    COutputWidget* m_pOutputWidget = nullptr;
    CAutoUpdater* m_pUpdater = nullptr;

    QStackedWidget* m_pViews = nullptr;
    QSplitter* m_pEverythingSplitter = nullptr;
    QSplitter* m_pProfileOptionsSplitter = nullptr;
    QVBoxLayout* m_pOutputPageLayout = nullptr;
    QVBoxLayout* m_pPreviewPageLayout = nullptr;
    CViewerPanel* m_pPreview = nullptr;
    QPushButton* m_pPreviewButton = nullptr;
    QPushButton* m_pContextualButton = nullptr;
    QMenu* m_pFileMenu = nullptr;
    QAction* m_pOpenAction = nullptr;
    QAction* m_pExportAction = nullptr;
    QAction* m_pCopyTexturesAction = nullptr;
    QAction* m_pExitAction = nullptr;
    QMenu* m_pHelpMenu = nullptr;
    QAction* m_pHelpAction = nullptr;
    QAction* m_pSpecificationAction = nullptr;
    QAction* m_pFeedbackAction = nullptr;
    QAction* m_pAboutAction = nullptr;
    QAction* m_pUpdatesAction = nullptr;
};

Q_DECLARE_METATYPE(EView)
