// meshwright-view FILE.qef: shows a scene file as a renderer loads it, or
// draws one picture of it off-screen (--screenshot) and exits.
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageWriter>
#include <QMainWindow>
#include <QMenuBar>
#include <QSurfaceFormat>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/Version.h"
#include "gui/CompactFont.h"
#include "viewer/Snapshot.h"
#include "viewer/ViewerPanel.h"

namespace {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitUnreadable = 1; // the file is not a scene file we can read
constexpr int kExitNoPicture = 2;  // the picture could not be drawn or written
constexpr int kExitUsage = 64;

const char kUsage[] =
    "usage: meshwright-view [FILE.qef] [--camera N|NAME] [--frame F] [--size WxH] [--screenshot OUT.png]\n"
    "       meshwright-view --help | --version\n";

const char kHelp[] = "Shows a QEF scene file as a renderer loads it.\n"
                     "\n"
                     "  --camera N|NAME     look through the file's camera N (0 is the first) or the\n"
                     "                      camera whose node has that name\n"
                     "  --frame F           show animation frame F (0 is the first)\n"
                     "  --size WxH          picture size in pixels (default 800x600)\n"
                     "  --screenshot OUT    draw one picture off-screen into OUT (PNG, or the format\n"
                     "                      its suffix names) and exit, without opening a window;\n"
                     "                      needs OpenGL (an X server, for example under xvfb-run)\n"
                     "  --help, --version   print this or the version and exit\n"
                     "\n"
                     "Without --screenshot the window opens at that camera and frame.\n"
                     "Exit status: 0 done, 1 the file could not be read, 2 the picture could not be\n"
                     "drawn or written, 64 wrong arguments.\n";

struct SViewArgs {
    QString file;
    QString camera; // empty: the orbit camera framing everything
    float frame = 0;
    int width = 800, height = 600;
    bool sized = false;
    QString screenshot;
};

int Usage(const char* problem, const char* what = nullptr)
{
    if (what)
        std::fprintf(stderr, "meshwright-view: %s '%s'\n", problem, what);
    else
        std::fprintf(stderr, "meshwright-view: %s\n", problem);
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

// -1 when parsed (into args), else the exit status.
int ParseArgs(int argc, char** argv, SViewArgs& args)
{
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        const auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
            std::fputs(kUsage, stdout);
            std::fputs(kHelp, stdout);
            return kExitOk;
        }
        if (!std::strcmp(a, "--version")) {
            std::printf("meshwright-view %s\n", MW_PROGRAM_VERSION);
            return kExitOk;
        }
        if (!std::strcmp(a, "--camera")) {
            const char* v = value();
            if (!v || !*v)
                return Usage("--camera needs a camera number or name");
            args.camera = QString::fromLocal8Bit(v);
        } else if (!std::strcmp(a, "--frame")) {
            const char* v = value();
            char* end = nullptr;
            const double f = v ? std::strtod(v, &end) : -1;
            if (!v || end == v || *end || !(f >= 0) || f > 1e9)
                return Usage("--frame needs a frame number (0 or more), not", v ? v : "");
            args.frame = float(f);
        } else if (!std::strcmp(a, "--size")) {
            const char* v = value();
            int w = 0, h = 0;
            char tail = 0;
            if (!v || std::sscanf(v, "%dx%d%c", &w, &h, &tail) != 2 || w < 16 || h < 16 || w > 8192 || h > 8192)
                return Usage("--size needs WIDTHxHEIGHT between 16 and 8192 pixels, not", v ? v : "");
            args.width = w;
            args.height = h;
            args.sized = true;
        } else if (!std::strcmp(a, "--screenshot")) {
            const char* v = value();
            if (!v || !*v)
                return Usage("--screenshot needs an output file");
            args.screenshot = QString::fromLocal8Bit(v);
        } else if (a[0] == '-' && a[1]) {
            return Usage("unknown option", a);
        } else if (args.file.isEmpty()) {
            args.file = QString::fromLocal8Bit(a);
        } else {
            return Usage("one file at a time; also given", a);
        }
    }
    if (!args.screenshot.isEmpty() && args.file.isEmpty())
        return Usage("--screenshot needs a scene file");
    return -1;
}

// The file's camera that the argument names (its number, or its node's
// name), or -1 with a message on the error stream.
int FindCamera(const SDrawList& list, const QString& which)
{
    bool number = false;
    const int n = which.toInt(&number);
    if (number) {
        if (n >= 0 && size_t(n) < list.pCameras.size())
            return n;
    } else {
        for (Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive})
            for (size_t i = 0; i < list.pCameras.size(); ++i)
                if (QString::fromStdString(list.pNodes[list.pCameras[i].uiNode].sName).compare(which, cs) == 0)
                    return int(i);
    }
    std::string names;
    for (size_t i = 0; i < list.pCameras.size(); ++i)
        names += (i ? ", " : "") + std::to_string(i) + " (" + list.pNodes[list.pCameras[i].uiNode].sName + ")";
    std::fprintf(stderr, "meshwright-view: the file has no camera '%s'; its cameras: %s\n", which.toUtf8().constData(),
                 names.empty() ? "none" : names.c_str());
    return -1;
}

int Screenshot(const SViewArgs& args)
{
    SScene scene;
    SDrawList list;
    std::string error;
    if (!LoadDrawList(args.file.toStdString(), scene, list, &error)) {
        std::fprintf(stderr, "meshwright-view: cannot show %s: %s\n", args.file.toUtf8().constData(), error.c_str());
        return kExitUnreadable;
    }
    int status = kExitOk;
    SViewCamera camera;
    SDrawFrame frame;
    const int which = args.camera.isEmpty() ? -1 : FindCamera(list, args.camera);
    if (!args.camera.isEmpty() && which < 0) {
        status = kExitUsage;
    } else {
        // The window's first view: a little from above and to the side,
        // framing the whole animation.
        camera.fYaw = 0.5f;
        camera.fPitch = 0.4f;
        SBox box = AnimationBounds(scene, list);
        if (!box.bAny) {
            const float unit[2][3] = {{-1, -1, -1}, {1, 1, 1}};
            box.Add(unit[0]);
            box.Add(unit[1]);
        }
        FrameBox(camera, box.fMin, box.fMax);
        EvaluateFrame(scene, list, args.frame, frame);
        if (which >= 0)
            LookThroughCamera(camera, scene, list, frame, size_t(which));
        CSnapshot snapshot;
        SRenderSettings settings;
        QImage image;
        if (snapshot.Create(args.width, args.height, &error))
            image = snapshot.Draw(list, frame, camera, settings, &error);
        QImageWriter writer(args.screenshot);
        if (image.isNull()) {
            std::fprintf(stderr, "meshwright-view: cannot draw %s: %s\n", args.file.toUtf8().constData(),
                         error.c_str());
            status = kExitNoPicture;
        } else if (!writer.write(image)) {
            std::fprintf(stderr, "meshwright-view: cannot write %s: %s\n", args.screenshot.toUtf8().constData(),
                         writer.errorString().toUtf8().constData());
            status = kExitNoPicture;
        }
    }
    Destroy(scene);
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    // Arguments first: a usage error, help and the version need no display.
    SViewArgs args;
    if (const int status = ParseArgs(argc, argv, args); status >= 0)
        return status;
    // Pictures need OpenGL, which needs a display; without one Qt would
    // abort on its own.
    if (!args.screenshot.isEmpty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fprintf(stderr,
                     "meshwright-view: cannot draw %s: there is no display for OpenGL; run it under "
                     "xvfb-run (xvfb-run -a meshwright-view ...)\n",
                     args.file.toUtf8().constData());
        return kExitNoPicture;
    }
    // Depth and a little multisampling for every GL widget of the program.
    QSurfaceFormat format;
    format.setDepthBufferSize(24);
    format.setSamples(4);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("meshwright-view"));
    if (!args.screenshot.isEmpty())
        return Screenshot(args);

    QMainWindow window;
    CViewerPanel* panel = new CViewerPanel(&window);
    window.setCentralWidget(panel);
    window.resize(args.sized ? QSize(args.width, args.height) : QSize(1100, 720));
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
    // The same keys as the main window's Exit.
    QAction* exit = file->addAction(QStringLiteral("E&xit"), &window, &QWidget::close);
    exit->setShortcuts({QKeySequence(QStringLiteral("Alt+F4")), QKeySequence(QStringLiteral("Ctrl+Q"))});

    int status = kExitOk;
    title(args.file);
    if (!args.file.isEmpty()) {
        // A file that cannot be read is reported in the status line and on
        // the error stream; the window still opens.
        if (!panel->OpenFile(args.file)) {
            std::fprintf(stderr, "%s\n", panel->StatusText().toUtf8().constData());
            status = kExitUnreadable;
        } else {
            panel->SetFrame(args.frame);
            if (!args.camera.isEmpty()) {
                const int which = FindCamera(panel->List(), args.camera);
                if (which < 0)
                    return kExitUsage;
                panel->LookThrough(which);
            }
        }
    }
    UseCompactFont(&window);
    window.show();
    const int result = app.exec();
    return result ? result : status;
}
