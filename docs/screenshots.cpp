// Pictures of the window and the scene viewer for the README, made from the
// bundled examples: screenshots OUTPUT_FOLDER EXAMPLES_FOLDER. Run by
// scripts/screenshots.sh under Xvfb (OpenGL through Mesa), so they show
// the programs as they are built.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

#include <cstdio>

#include "app/StandaloneWindow.h"
#include "convert/ConversionRunner.h"
#include "gui/CompactFont.h"
#include "viewer/SceneView.h"
#include "viewer/ViewerPanel.h"

namespace {

void Settle(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool Save(QWidget* widget, const QString& path)
{
    Settle(300);
    const bool ok = widget->grab().save(path, "PNG", 9);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: screenshots OUTPUT_FOLDER EXAMPLES_FOLDER\n");
        return 64;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QDir examples(QString::fromLocal8Bit(argv[2]));
    QTemporaryDir work;
    bool ok = true;

    // The window as it opens on the arm example, then its Preview page after
    // an export with "open in viewer" on and no viewer of the user's.
    const QString arm = work.filePath(QStringLiteral("skinned_arm.qef"));
    {
        CStandaloneWindow window;
        UseCompactFont(&window);
        window.resize(1100, 720);
        window.show();
        window.onOpenFile(examples.filePath(QStringLiteral("skinned_arm.dae")));
        ok = Save(&window, out.filePath(QStringLiteral("window.png"))) && ok;
        COptionsData options = window.Options();
        options.SetBool(opt::bExportSkin, true);
        options.SetBool(opt::bExportAnimations, true);
        options.SetBool(opt::bDisplayInVistrel, true);
        options.SetString(opt::sPathToVistrel, std::string());
        window.setOptions(options);
        QSignalSpy done(&window, &CStandaloneWindow::exportFinished);
        window.onExportFile(arm);
        if (window.IsExporting() && !done.wait(60000))
            return 1;
        if (window.Preview()) {
            window.Preview()->SetFrame(30);
            window.Preview()->FrameAll();
            ok = Save(&window, out.filePath(QStringLiteral("preview.png"))) && ok;
        } else {
            ok = false;
        }
        window.close();
    }

    // meshwright-view on the textured box with the normals and boxes shown.
    const QString box = work.filePath(QStringLiteral("textured_box.qef"));
    COptions options;
    options.SetOutputPath(box.toStdString());
    options.SetBool(opt::bExportMappingChannels, true);
    options.SetExport(eVAUVW0, true);
    options.SetEnable(eVAUVW0, 3);
    if (RunConversion(options, examples.filePath(QStringLiteral("textured_box.dae"))) != 0)
        return 1;
    // The example names its texture but does not ship it: planks beside the file.
    QImage crate(128, 128, QImage::Format_RGB32);
    crate.fill(QColor(150, 105, 60));
    {
        QPainter p(&crate);
        p.setPen(QPen(QColor(90, 60, 30), 4));
        for (int y = 0; y <= 128; y += 32)
            p.drawLine(0, y, 128, y);
        p.drawRect(2, 2, 124, 124);
        p.drawLine(0, 0, 128, 128);
    }
    crate.save(work.filePath(QStringLiteral("crate.png")));
    CViewerPanel viewer;
    UseCompactFont(&viewer);
    viewer.setWindowTitle(QStringLiteral("textured_box.qef - Meshwright Scene Viewer"));
    viewer.resize(960, 600);
    viewer.show();
    if (!viewer.OpenFile(box))
        return 1;
    for (QAction* action : viewer.findChildren<QAction*>())
        if (action->objectName() == QLatin1String("Normals") || action->objectName() == QLatin1String("Bounds"))
            action->setChecked(true);
    ok = Save(&viewer, out.filePath(QStringLiteral("viewer.png"))) && ok;
    return ok ? 0 : 1;
}
