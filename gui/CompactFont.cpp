#include "gui/CompactFont.h"

#include <QFont>
#include <QWidget>

void UseCompactFont(QWidget* window)
{
    for (QWidget* child : window->findChildren<QWidget*>()) {
        QFont font = child->font();
        font.setPixelSize(11);
        font.setStyleHint(QFont::AnyStyle, QFont::PreferQuality);
        child->setFont(font);
    }
}
