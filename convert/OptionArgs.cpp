#include "convert/OptionArgs.h"

#include <QFileInfo>

#include <algorithm>

#include "convert/Profiles.h"
#include "options/Options.h"

namespace {

// One "NAME=VALUE" line of what (a word the message names it by).
QString ApplyLine(const QString& line, const char* what, COptionsData& options)
{
    const int eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return QStringLiteral("%1 takes NAME=VALUE, not '%2'").arg(QLatin1String(what), line);
    if (line.contains(QLatin1Char('\n')))
        return QStringLiteral("%1 takes a single line, not '%2'").arg(QLatin1String(what), line);
    if (options.FromText(line.toUtf8().toStdString()) != 1)
        return QStringLiteral("unknown option or empty value in %1 '%2'").arg(QLatin1String(what), line);
    return QString();
}

// Empties the text option called name; false when no text option is.
bool ClearTextOption(const QString& name, COptionsData& options)
{
    const std::string wanted = name.toStdString();
    for (int i = 0; i < opt::eStringCount; ++i) {
        const auto& slot = options.StringSlot(i);
        if ((slot.pszName && wanted == slot.pszName) || (slot.pszLegacyName && wanted == slot.pszLegacyName)) {
            options.SetString(i, CZGXTString());
            return true;
        }
    }
    return false;
}

} // namespace

QString ApplyOptionArgs(const SOptionArgs& in, COptionsData& options)
{
    QString profileError;
    if (in.profileGiven && !ApplyProfileByName(in.profile, options, &profileError))
        return profileError;
    if (!in.file.isEmpty()) {
        if (!QFileInfo(in.file).isFile())
            return QStringLiteral("cannot read options file '%1'").arg(in.file);
        if (options.LoadFromFile(in.file.toUtf8().constData()) == 0)
            return QStringLiteral("no options recognised in '%1'").arg(in.file);
    }
    for (const QString& line : in.fileLines) {
        // An options text writes an empty text option as "NAME="; given as
        // lines, that empties the option.
        if (line.endsWith(QLatin1Char('=')) && ClearTextOption(line.left(line.size() - 1), options))
            continue;
        const QString error = ApplyLine(line, "options", options);
        if (!error.isEmpty())
            return error;
    }
    for (const QString& line : in.sets) {
        const QString error = ApplyLine(line, "--set", options);
        if (!error.isEmpty())
            return error;
    }
    return QString();
}

void SetConversionOutput(COptions& options, const QString& output, bool expFormatSet, bool postExport)
{
    if (!expFormatSet) {
        const QString suffix = QFileInfo(output).suffix().toLower();
        if (suffix == QLatin1String("h"))
            options.SetExpFormat(eExpFormatHeader);
        else if (suffix == QLatin1String("cpp"))
            options.SetExpFormat(eExpFormatSource);
    }
    if (!postExport) {
        options.SetBool(opt::bUsePostExportCL, false);
        options.SetBool(opt::bDisplayInVistrel, false);
    }
    options.SetOutputPath(output.toUtf8().toStdString());
}

std::vector<std::string> FilesRead(const SOptionArgs& in, const QString& input, const std::vector<std::string>& read)
{
    std::vector<std::string> files;
    if (in.profileGiven)
        files.push_back(ProfileStorePath().toStdString());
    if (!in.file.isEmpty())
        files.push_back(in.file.toStdString());
    files.push_back(input.toStdString());
    for (const std::string& path : read)
        if (std::find(files.begin(), files.end(), path) == files.end())
            files.push_back(path);
    return files;
}
