#include "convert/PostExport.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include "base/ConversionLog.h"
#include "options/Options.h"

void RunPostExportActions(const COptionsData& options, const char* outputPath)
{
    // Options travel inside scene and profile files from other people; the
    // command runs only when the user's switch says so.
    const CZGXTString& command = options.String(opt::sClPostTarget);
    if (options.GetBool(opt::bUsePostExportCL) && !command.empty()) {
        const QString args = QString::fromStdString(options.String(opt::sClPostArgs));
        const QString cwd = QString::fromStdString(options.String(opt::sClPostCWD));
        if (!QProcess::startDetached(QString::fromStdString(command), QProcess::splitCommand(args), cwd))
            ConversionLog(eLogError, "Error: Unable to perform post-export options.");
    }

    if (options.GetBool(opt::bDisplayInVistrel) && options.GetExpFormat() == eExpFormatScene) {
        const CZGXTString& viewer = options.String(opt::sPathToVistrel);
        if (!viewer.empty()) {
            const char* output = outputPath ? outputPath : "";
            if (QProcess::startDetached(QString::fromStdString(viewer), {QString::fromUtf8(output)}))
                ConversionLog(eLogInfo, "Opening '%s' in '%s'.", output, viewer.c_str());
            else
                ConversionLog(eLogError, "Error: Failed to open '%s' in '%s'.", output, viewer.c_str());
        }
    }
}
