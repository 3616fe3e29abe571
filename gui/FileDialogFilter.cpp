#include "gui/FileDialogFilter.h"

#include <QStringList>

QString FileDialogFilter(const QString& filters)
{
    QStringList out;
    for (QString f : filters.split(QStringLiteral(";;"))) {
        const int open = f.lastIndexOf(QLatin1Char('('));
        const int close = f.lastIndexOf(QLatin1Char(')'));
        if (open >= 0 && close > open)
            f = f.left(open + 1) + f.mid(open + 1, close - open - 1).replace(QLatin1Char(';'), QLatin1Char(' ')) +
                f.mid(close);
        out << f;
    }
    return out.join(QStringLiteral(";;"));
}
