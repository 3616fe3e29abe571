// The desktop program: one main window.
#include <QApplication>
#include <QFont>

#include "app/StandaloneWindow.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);

    CStandaloneWindow window;
    // One compact font size throughout the window.
    for (QWidget* child : window.findChildren<QWidget*>()) {
        QFont font = child->font();
        font.setPixelSize(11);
        font.setStyleHint(QFont::AnyStyle, QFont::PreferQuality);
        child->setFont(font);
    }
    window.show();
    window.ShowAboutBox(false);
    return app.exec();
}
