#include <QCoreApplication>

#include "cli/CommandLine.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("meshwright-cli"));
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    return RunCommandLine(args);
}
