#include "gui/ToolTipText.h"

#include <QStringList>

QString ToolTipText(const QString& text)
{
    if (text.size() <= kToolTipLineLength)
        return text;
    QStringList lines;
    QString line;
    for (QString word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        // Greedy filling: a word goes on the current line while it fits.
        if (!line.isEmpty() && line.size() + 1 + word.size() > kToolTipLineLength) {
            lines << line;
            line.clear();
        }
        while (word.size() > kToolTipLineLength) {
            if (!line.isEmpty()) {
                lines << line;
                line.clear();
            }
            lines << word.left(kToolTipLineLength);
            word.remove(0, kToolTipLineLength);
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    if (!line.isEmpty())
        lines << line;
    return lines.join(QLatin1Char('\n'));
}
