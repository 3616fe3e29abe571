// The desktop program: one main window, opened on the file it is given.
#include <QApplication>
#include <QFileInfo>

#include <cstdio>
#include <cstring>

#include "app/StandaloneWindow.h"
#include "base/Version.h"
#include "gui/CompactFont.h"

namespace {

const char kUsage[] = "usage: meshwright [FILE]\n"
                      "       meshwright --help | --version\n";

const char kHelp[] = "Converts Collada (.dae) and glTF (.gltf, .glb) scenes into QEF scene files\n"
                     "and C source. Opens the window on FILE: a Collada or glTF file ready to\n"
                     "export, or a .qef scene file on the Preview page.\n"
                     "\n"
                     "  --help, --version   print this or the version and exit\n"
                     "\n"
                     "Conversions without a window: meshwright-cli --help.\n";

} // namespace

int main(int argc, char** argv)
{
    // Help and the version need no display.
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kUsage, stdout);
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--version")) {
            std::printf("meshwright %s\n", MW_PROGRAM_VERSION);
            return 0;
        }
    }

    QApplication app(argc, argv);
    // What Qt left of the arguments (it takes -platform, -style and such).
    const QStringList args = QApplication::arguments().mid(1);
    QString file;
    for (const QString& arg : args) {
        if (arg.startsWith(QLatin1Char('-')) || !file.isEmpty()) {
            std::fprintf(stderr, "meshwright: unexpected argument '%s'\n%s", arg.toLocal8Bit().constData(), kUsage);
            return 64;
        }
        file = arg;
    }

    CStandaloneWindow window;
    UseCompactFont(&window);
    int status = 0;
    if (!file.isEmpty() && !window.OpenAtStart(file)) {
        std::fprintf(stderr, "meshwright: cannot open %s: no such file\n", file.toLocal8Bit().constData());
        status = 1;
    }
    window.show();
    window.ShowAboutBox(false);
    const int result = app.exec();
    return result ? result : status;
}
