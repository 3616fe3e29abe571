#include "cli/CommandLine.h"

#include <QFileInfo>
#include <QString>

#include <cstdio>
#include <unistd.h>

#include "convert/ConversionRunner.h"
#include "base/Version.h"
#include "cli/Profiles.h"
#include "cli/Inspect.h"
#include "options/Options.h"

namespace {

const char kUsage[] = "Usage:\n"
                      "  meshwright-cli convert INPUT.dae|.gltf|.glb [-o OUTPUT] [--profile NAME] [--options FILE]\n"
                      "                         [--set NAME=VALUE]... [--quiet] [--post-export]\n"
                      "  meshwright-cli options [--profile NAME] [--from FILE] [--set NAME=VALUE]...\n"
                      "  meshwright-cli profiles\n"
                      "  meshwright-cli inspect FILE.qef [--json]\n"
                      "  meshwright-cli --help | --version\n";

const char kHelp[] =
    "Converts a Collada (.dae) or glTF 2.0 (.gltf, .glb) scene into a QEF scene file (.qef) or C source (.h, .cpp).\n"
    "\n"
    "Commands:\n"
    "  convert INPUT         convert one scene file (.dae, .gltf, .glb)\n"
    "    -o, --output FILE   output file (default: INPUT with .qef, in INPUT's folder);\n"
    "                        a .h or .cpp output writes C source unless eExpFormat is set\n"
    "    --profile NAME      start from a profile saved in the window (applied before\n"
    "                        --options and --set; see 'meshwright-cli profiles')\n"
    "    --options FILE      start from the options in a profile text (.txt, .cfg),\n"
    "                        a generated header (.h) or a scene file (.qef)\n"
    "    --set NAME=VALUE    set one option, applied in order after --options\n"
    "                        (see 'meshwright-cli options' for every name)\n"
    "    --quiet             print only warnings and errors\n"
    "    --post-export       run the post-export command and viewer named in the options\n"
    "  options               print an options text (defaults unless changed), the\n"
    "                        starting point of a profile file\n"
    "    --profile NAME      start from a saved profile\n"
    "    --from FILE         start from the options in FILE\n"
    "    --set NAME=VALUE    set one option\n"
    "  profiles              list the profiles saved in the window, one name a line\n"
    "  inspect FILE.qef      print what a scene file holds; a file that breaks a rule\n"
    "                        of the format is reported with the rule and where\n"
    "    --json              print the same as JSON\n"
    "\n"
    "Exit status: 0 success, 1 input not read, 2 processing failed, 3 writing failed,\n"
    "4 out of memory, 5 input is not a .dae, .gltf or .glb file, 6 unexpected error in the import,\n"
    "7 no scene in the document, 64 wrong arguments.\n";

void PrintErr(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

int UsageError(const QString& message)
{
    PrintErr(QStringLiteral("meshwright-cli: %1\n").arg(message));
    PrintErr(QString::fromLatin1(kUsage));
    return kExitUsage;
}

// Collects "--set NAME=VALUE" lines and an optional options file.
struct SOptionArgs {
    QString profile;
    bool profileGiven = false;
    QString file;
    QStringList sets;
    bool expFormatSet = false;
};

// Applies the saved profile, the options file and the --set lines, in that
// order; returns an error text or empty.
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
    for (const QString& line : in.sets) {
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return QStringLiteral("--set takes NAME=VALUE, not '%1'").arg(line);
        if (line.contains(QLatin1Char('\n')))
            return QStringLiteral("--set takes a single line, not '%1'").arg(line);
        if (options.FromText(line.toUtf8().toStdString()) != 1)
            return QStringLiteral("unknown option or empty value in --set '%1'").arg(line);
    }
    return QString();
}

// Reads an option argument ("--set X" or "--set=X"); returns false when missing.
bool TakeValue(const QStringList& args, int& i, const QString& name, QString* value)
{
    const QString& a = args[i];
    if (a.startsWith(name + QLatin1Char('='))) {
        *value = a.mid(name.size() + 1);
        return true;
    }
    if (i + 1 >= args.size())
        return false;
    *value = args[++i];
    return true;
}

// Takes "--profile NAME" or "--profile=NAME"; true when args[i] was one
// (value is then empty when the name is missing).
bool TakeProfileArg(const QStringList& args, int& i, SOptionArgs& optionArgs, QString* value)
{
    const QString& a = args[i];
    if (a != QLatin1String("--profile") && !a.startsWith(QLatin1String("--profile=")))
        return false;
    value->clear();
    if (!TakeValue(args, i, QStringLiteral("--profile"), value) || value->isEmpty()) {
        value->clear();
        return true;
    }
    optionArgs.profile = *value;
    optionArgs.profileGiven = true;
    return true;
}

int RunProfiles(const QStringList& args)
{
    if (!args.isEmpty())
        return UsageError(QStringLiteral("unknown argument '%1'").arg(args.first()));
    QStringList names, warnings;
    QString error;
    if (!ListProfileNames(&names, &warnings, &error)) {
        PrintErr(QStringLiteral("error: %1\n").arg(error));
        return 1;
    }
    for (const QString& w : warnings)
        PrintErr(QStringLiteral("warning: %1\n").arg(w));
    for (const QString& name : names)
        std::fputs((name + QLatin1Char('\n')).toUtf8().constData(), stdout);
    return 0;
}

bool IsTerminal()
{
    return isatty(fileno(stderr)) != 0;
}

// Prints conversion messages to stderr: one line each, coloured on a
// terminal, with progress as a single line that updates in place.
class CMessagePrinter {
public:
    CMessagePrinter(bool quiet) : m_quiet(quiet), m_tty(IsTerminal()) {}
    ~CMessagePrinter() { EndProgress(); }

    void operator()(const SConversionMessage& m)
    {
        if (m.kind == SConversionMessage::eProgress) {
            if (m_quiet)
                return;
            if (m_tty) {
                PrintErr(QStringLiteral("\r\x1b[2K[%1%] %2").arg(m.percent, 3).arg(m.text));
                m_progressShown = true;
            } else {
                PrintErr(QStringLiteral("[%1%] %2\n").arg(m.percent, 3).arg(m.text));
            }
            return;
        }
        if (m_quiet && (m.kind == SConversionMessage::eInfo || m.kind == SConversionMessage::eSuccess))
            return;
        EndProgress();
        const char* colour = "";
        const char* prefix = "";
        switch (m.kind) {
        case SConversionMessage::eSuccess: colour = "\x1b[32m"; break;
        case SConversionMessage::eWarning:
            colour = "\x1b[33m";
            prefix = "warning: ";
            break;
        case SConversionMessage::eError:
            colour = "\x1b[1;31m";
            prefix = "error: ";
            break;
        default: break;
        }
        // The log's own "Error: " would repeat the prefix.
        QString text = m.text;
        if (*prefix && text.startsWith(QLatin1String("Error: ")))
            text.remove(0, 7);
        if (m_tty && *colour)
            PrintErr(QStringLiteral("%1%2%3\x1b[0m\n").arg(QLatin1String(colour), QLatin1String(prefix), text));
        else
            PrintErr(QStringLiteral("%1%2\n").arg(QLatin1String(prefix), text));
    }

private:
    void EndProgress()
    {
        if (m_progressShown) {
            PrintErr(QStringLiteral("\r\x1b[2K"));
            m_progressShown = false;
        }
    }

    bool m_quiet;
    bool m_tty;
    bool m_progressShown = false;
};

QString DefaultOutputPath(const QString& input)
{
    const QFileInfo info(input);
    const QString dir = info.path();
    QString base = info.fileName();
    const int dot = base.lastIndexOf(QLatin1Char('.'));
    if (dot > 0)
        base.truncate(dot);
    return dir + QLatin1Char('/') + base + QStringLiteral(".qef");
}

int RunConvert(const QStringList& args)
{
    QString input, output;
    SOptionArgs optionArgs;
    bool quiet = false, postExport = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        QString value;
        if (a == QLatin1String("-o") || a == QLatin1String("--output") || a.startsWith(QLatin1String("--output="))) {
            if (!TakeValue(args, i, QStringLiteral("--output"), &value))
                return UsageError(QStringLiteral("%1 needs a file name").arg(a));
            output = value;
        } else if (TakeProfileArg(args, i, optionArgs, &value)) {
            if (value.isEmpty())
                return UsageError(QStringLiteral("--profile needs a name"));
        } else if (a == QLatin1String("--options") || a.startsWith(QLatin1String("--options="))) {
            if (!TakeValue(args, i, QStringLiteral("--options"), &value))
                return UsageError(QStringLiteral("--options needs a file name"));
            optionArgs.file = value;
        } else if (a == QLatin1String("--set") || a.startsWith(QLatin1String("--set="))) {
            if (!TakeValue(args, i, QStringLiteral("--set"), &value))
                return UsageError(QStringLiteral("--set needs NAME=VALUE"));
            optionArgs.sets << value;
            if (value.section(QLatin1Char('='), 0, 0) == QLatin1String("eExpFormat"))
                optionArgs.expFormatSet = true;
        } else if (a == QLatin1String("--quiet") || a == QLatin1String("-q")) {
            quiet = true;
        } else if (a == QLatin1String("--post-export")) {
            postExport = true;
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            return UsageError(QStringLiteral("unknown option '%1'").arg(a));
        } else if (input.isEmpty()) {
            input = a;
        } else {
            return UsageError(QStringLiteral("more than one input file ('%1')").arg(a));
        }
    }
    if (input.isEmpty())
        return UsageError(QStringLiteral("convert needs an input file"));

    COptions options;
    const QString error = ApplyOptionArgs(optionArgs, options);
    if (!error.isEmpty())
        return UsageError(error);
    if (output.isEmpty())
        output = DefaultOutputPath(input);
    if (!optionArgs.expFormatSet) {
        const QString suffix = QFileInfo(output).suffix().toLower();
        if (suffix == QLatin1String("h"))
            options.SetExpFormat(eExpFormatHeader);
        else if (suffix == QLatin1String("cpp"))
            options.SetExpFormat(eExpFormatSource);
    }
    if (!postExport) {
        // A pipeline must not start programs named in an options file it was handed.
        options.SetBool(opt::bUsePostExportCL, false);
        options.SetBool(opt::bDisplayInVistrel, false);
    }
    options.SetOutputPath(output.toUtf8().toStdString());

    CMessagePrinter printer(quiet);
    // Every failed run logs at least one error line saying why; the printer
    // shows it, so the exit status needs no words of its own.
    return RunConversionAndWait(options, input, [&printer](const SConversionMessage& m) { printer(m); });
}

int RunOptions(const QStringList& args)
{
    SOptionArgs optionArgs;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        QString value;
        if (TakeProfileArg(args, i, optionArgs, &value)) {
            if (value.isEmpty())
                return UsageError(QStringLiteral("--profile needs a name"));
        } else if (a == QLatin1String("--from") || a.startsWith(QLatin1String("--from="))) {
            if (!TakeValue(args, i, QStringLiteral("--from"), &value))
                return UsageError(QStringLiteral("--from needs a file name"));
            optionArgs.file = value;
        } else if (a == QLatin1String("--set") || a.startsWith(QLatin1String("--set="))) {
            if (!TakeValue(args, i, QStringLiteral("--set"), &value))
                return UsageError(QStringLiteral("--set needs NAME=VALUE"));
            optionArgs.sets << value;
        } else {
            return UsageError(QStringLiteral("unknown argument '%1'").arg(a));
        }
    }
    COptions options;
    const QString error = ApplyOptionArgs(optionArgs, options);
    if (!error.isEmpty())
        return UsageError(error);
    const CZGXTString text = options.ToText();
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

} // namespace

int RunCommandLine(const QStringList& args)
{
    if (args.isEmpty())
        return UsageError(QStringLiteral("no command given"));
    const QString& command = args.first();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")) {
        std::fputs(kUsage, stdout);
        std::fputs("\n", stdout);
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (command == QLatin1String("--version")) {
        std::printf("meshwright-cli %s (%s)\n", MW_PROGRAM_VERSION, MW_VERSION_STRING);
        return 0;
    }
    const QStringList rest = args.mid(1);
    if (command == QLatin1String("convert"))
        return RunConvert(rest);
    if (command == QLatin1String("options"))
        return RunOptions(rest);
    if (command == QLatin1String("profiles"))
        return RunProfiles(rest);
    if (command == QLatin1String("inspect"))
        return RunInspect(rest);
    return UsageError(QStringLiteral("unknown command '%1'").arg(command));
}
