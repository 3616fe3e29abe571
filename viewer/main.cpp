// meshwright-view FILE.qef: shows a scene file as a renderer loads it.
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenuBar>
#include <QSurfaceFormat>

#include <cstdio>

#include "gui/CompactFont.h"
#include "viewer/ViewerPanel.h"

int main(int argc, char** argv)
{
    // Arguments first: a usage error needs no display.
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        std::fprintf(stderr, "usage: meshwright-view [FILE.qef]\n");
        return 64;
    }
    // Depth and a little multisampling for every GL widget of the program.
    QSurfaceFormat format;
    format.setDepthBufferSize(24);
    format.setSamples(4);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("meshwright-view"));

    const QStringList args = QApplication::arguments();

    QMainWindow window;
    CViewerPanel* panel = new CViewerPanel(&window);
    window.setCentralWidget(panel);
    window.resize(1100, 720);
    const auto title = [&window](const QString& path) {
        window.setWindowTitle(path.isEmpty()
                                  ? QStringLiteral("Meshwright Scene Viewer")
                                  : QFileInfo(path).fileName() + QStringLiteral(" - Meshwright Scene Viewer"));
    };
    QMenu* file = window.menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&Open..."), QKeySequence::Open, panel, [&] {
        const QString path =
            QFileDialog::getOpenFileName(&window, QStringLiteral("Open a scene file"), panel->FilePath(),
                                         QStringLiteral("QEF scene files (*.qef *.QEF);;All files (*)"));
        if (!path.isEmpty()) {
            panel->OpenFile(path);
            title(path);
        }
    });
    file->addAction(QStringLiteral("E&xit"), QKeySequence::Quit, &window, &QWidget::close);

    int status = 0;
    if (args.size() == 2) {
        title(args[1]);
        // A file that cannot be read is reported in the status line and on
        // the error stream; the window still opens.
        if (!panel->OpenFile(args[1])) {
            std::fprintf(stderr, "%s\n", panel->StatusText().toUtf8().constData());
            status = 1;
        }
    } else {
        title(QString());
    }
    UseCompactFont(&window);
    window.show();
    const int result = app.exec();
    return result ? result : status;
}
