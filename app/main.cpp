// The desktop program: one main window.
#include <QApplication>

#include "app/StandaloneWindow.h"
#include "gui/CompactFont.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);

    CStandaloneWindow window;
    UseCompactFont(&window);
    window.show();
    window.ShowAboutBox(false);
    return app.exec();
}
