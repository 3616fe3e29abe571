#include "cli/CommandLine.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <QString>

#include <algorithm>
#include <map>
#include <cstdio>
#include <unistd.h>

#include "convert/Convert.h"
#include "convert/ConversionRunner.h"
#include "convert/OptionArgs.h"
#include "base/Version.h"
#include "convert/Profiles.h"
#include "cli/Inspect.h"
#include "cli/BatchConvert.h"
#include "cli/Watch.h"
#include "base/FileTrace.h"
#include "base/ResultCodes.h"
#include "convert/DepFile.h"
#include "convert/ScenePlan.h"
#include "options/Options.h"

namespace {

const char kUsage[] = "Usage:\n"
                      "  meshwright-cli convert INPUT.dae|.gltf|.glb [-o OUTPUT] [--profile NAME] [--options FILE]\n"
                      "                         [--set NAME=VALUE]... [--quiet] [--post-export] [--copy-textures]\n"
                      "                         [--depfile FILE]\n"
                      "  meshwright-cli convert INPUTS... -d OUTDIR [--recursive] [--format qef|h|cpp] [--jobs N]\n"
                      "                         [--fail-fast] [option words as above]\n"
                      "  meshwright-cli watch INPUTS... -d OUTDIR [option words as for convert]\n"
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
    "    --copy-textures     copy the image files the scene refers to beside the output\n"
    "                        (images held in .glb and .gltf files are written there always)\n"
    "    --depfile FILE      write a Make dependency file: each output, its extra files\n"
    "                        (effects, images) and every file the conversion read\n"
    "    --depfile-targets main|all\n"
    "                        all (default) lists the extra files as outputs too; main\n"
    "                        only the scene file (Ninja refuses undeclared outputs)\n"
    "  convert INPUTS... -d OUTDIR\n"
    "                        convert many scene files (a folder stands for the scene\n"
    "                        files in it), each in its own process, into OUTDIR under\n"
    "                        their own names; inputs whose outputs would clash are refused\n"
    "    -r, --recursive     include the scene files of subfolders (their paths kept)\n"
    "    --format FMT        qef (default), h or cpp\n"
    "    -j, --jobs N        conversions at once (default: the number of cores)\n"
    "    --keep-going        convert the rest after a failure (default)\n"
    "    --fail-fast         start no conversion after the first failure\n"
    "                        exit status: the highest code of any conversion\n"
    "  watch INPUTS... -d OUTDIR\n"
    "                        convert once, then again whenever an input or the\n"
    "                        options file changes, until interrupted\n"
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

int UsageError(const QString& message)
{
    PrintErr(QStringLiteral("meshwright-cli: %1\n").arg(message));
    PrintErr(QString::fromLatin1(kUsage));
    return kExitUsage;
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
    // Without progress, progress and information lines are left out. With
    // capture the lines go there instead of to stderr.
    CMessagePrinter(bool quiet, bool noProgress = false, QByteArray* capture = nullptr)
        : m_quiet(quiet), m_noProgress(noProgress), m_tty(IsTerminal() && !noProgress && !capture), m_capture(capture)
    {
    }
    ~CMessagePrinter() { EndProgress(); }

    void operator()(const SConversionMessage& m)
    {
        if (m.kind == SConversionMessage::eProgress) {
            if (m_quiet || m_noProgress)
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
        if (m_noProgress && m.kind == SConversionMessage::eInfo)
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
        // The log's own "Error: " or "Warning: " would repeat the prefix.
        QString text = m.text;
        for (const QLatin1String own : {QLatin1String("Error: "), QLatin1String("Warning: ")})
            if (*prefix && text.startsWith(own, Qt::CaseInsensitive))
                text.remove(0, own.size());
        if (m_tty && *colour)
            PrintErr(QStringLiteral("%1%2%3\x1b[0m\n").arg(QLatin1String(colour), QLatin1String(prefix), text));
        else if (m_capture)
            *m_capture += QStringLiteral("%1%2\n").arg(QLatin1String(prefix), text).toUtf8();
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
    bool m_noProgress;
    bool m_tty;
    QByteArray* m_capture;
    bool m_progressShown = false;
};

// Words of "convert" and "watch".
struct SConvertArgs {
    QStringList inputs;
    QString output;                         // -o: the one input's output
    QString outDir;                         // -d: the folder of every output
    QString depfile;                        // --depfile
    bool depfileMainOnly = false;           // --depfile-targets main
    QString format = QStringLiteral("qef"); // --format: suffix of outputs named after inputs
    int jobs = 0;                           // 0: one per core
    bool recursive = false;
    bool failFast = false;
    bool quiet = false;
    bool postExport = false;
    bool copyTextures = false; // --copy-textures
    bool batchChild = false;
    bool batchPool = false; // a batch child fed files on its standard input
    SOptionArgs optionArgs;
    QStringList childArgs; // the option words again, for the child processes
};

// Reads the words after "convert" or "watch"; returns a usage error or empty.
QString ParseConvertArgs(const QStringList& args, SConvertArgs& out)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        QString value;
        auto takes = [&](const char* shortName, const char* longName) {
            return (shortName && a == QLatin1String(shortName)) || a == QLatin1String(longName) ||
                   a.startsWith(QLatin1String(longName) + QLatin1Char('='));
        };
        if (takes("-o", "--output")) {
            if (!TakeValue(args, i, QStringLiteral("--output"), &value))
                return QStringLiteral("%1 needs a file name").arg(a);
            out.output = value;
        } else if (takes("-d", "--output-dir")) {
            if (!TakeValue(args, i, QStringLiteral("--output-dir"), &value) || value.isEmpty())
                return QStringLiteral("%1 needs a folder").arg(a);
            out.outDir = value;
        } else if (takes(nullptr, "--depfile")) {
            if (!TakeValue(args, i, QStringLiteral("--depfile"), &value) || value.isEmpty())
                return QStringLiteral("--depfile needs a file name");
            out.depfile = value;
        } else if (takes(nullptr, "--depfile-targets")) {
            if (!TakeValue(args, i, QStringLiteral("--depfile-targets"), &value) ||
                (value != QLatin1String("main") && value != QLatin1String("all")))
                return QStringLiteral("--depfile-targets takes main or all");
            out.depfileMainOnly = value == QLatin1String("main");
        } else if (takes(nullptr, "--format")) {
            if (!TakeValue(args, i, QStringLiteral("--format"), &value) ||
                !QStringList{"qef", "h", "cpp"}.contains(value))
                return QStringLiteral("--format takes qef, h or cpp");
            out.format = value;
        } else if (takes("-j", "--jobs") || (a.startsWith(QLatin1String("-j")) && a.size() > 2)) {
            bool ok = false;
            if (a.startsWith(QLatin1String("-j")) && a.size() > 2)
                out.jobs = a.mid(2).toInt(&ok);
            else if (TakeValue(args, i, QStringLiteral("--jobs"), &value))
                out.jobs = value.toInt(&ok);
            if (!ok || out.jobs < 1 || out.jobs > 1024)
                return QStringLiteral("--jobs takes a number from 1 to 1024");
        } else if (a == QLatin1String("--recursive") || a == QLatin1String("-r")) {
            out.recursive = true;
        } else if (a == QLatin1String("--fail-fast")) {
            out.failFast = true;
        } else if (a == QLatin1String("--keep-going")) {
            out.failFast = false;
        } else if (a == QLatin1String(kBatchChildFlag)) {
            out.batchChild = true;
        } else if (a == QLatin1String(kBatchPoolFlag)) {
            out.batchPool = true;
        } else if (TakeProfileArg(args, i, out.optionArgs, &value)) {
            if (value.isEmpty())
                return QStringLiteral("--profile needs a name");
            out.childArgs << QStringLiteral("--profile=") + value;
        } else if (takes(nullptr, "--options")) {
            if (!TakeValue(args, i, QStringLiteral("--options"), &value))
                return QStringLiteral("--options needs a file name");
            out.optionArgs.file = value;
            out.childArgs << QStringLiteral("--options=") + value;
        } else if (takes(nullptr, "--set")) {
            if (!TakeValue(args, i, QStringLiteral("--set"), &value))
                return QStringLiteral("--set needs NAME=VALUE");
            out.optionArgs.sets << value;
            out.childArgs << QStringLiteral("--set=") + value;
            if (value.section(QLatin1Char('='), 0, 0) == QLatin1String("eExpFormat"))
                out.optionArgs.expFormatSet = true;
        } else if (a == QLatin1String("--quiet") || a == QLatin1String("-q")) {
            out.quiet = true;
            out.childArgs << QStringLiteral("--quiet");
        } else if (a == QLatin1String("--copy-textures")) {
            out.copyTextures = true;
            out.childArgs << QStringLiteral("--copy-textures");
        } else if (a == QLatin1String("--post-export")) {
            out.postExport = true;
            out.childArgs << QStringLiteral("--post-export");
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            return QStringLiteral("unknown option '%1'").arg(a);
        } else {
            out.inputs << a;
        }
    }
    if (out.inputs.isEmpty() && !(out.batchChild && out.batchPool))
        return QStringLiteral("needs an input file");
    if (!out.output.isEmpty() && !out.outDir.isEmpty())
        return QStringLiteral("-o and -d cannot be given together");
    // One input without -d is one conversion, even of a folder (which then
    // has no file to read, and says so).
    if (out.outDir.isEmpty() && out.inputs.size() > 1)
        return QStringLiteral("more than one input file ('%1'); -d OUTDIR names the folder for many")
            .arg(out.inputs[1]);
    if (out.jobs == 0)
        out.jobs = std::max(1, QThread::idealThreadCount());
    return QString();
}

// One conversion in this process. Returns its result code; trace receives
// every file it read and wrote, the input and options file included. With
// log the printed lines go there instead of to stderr.
int ConvertOne(const SConvertArgs& a, const QString& input, const QString& output, SFileTrace* trace,
               QByteArray* log = nullptr)
{
    COptions options;
    ApplyOptionArgs(a.optionArgs, options); // checked by the caller
    SetConversionOutput(options, output, a.optionArgs.expFormatSet, a.postExport);

    // A batch child leaves progress out: its log is shown whole when it ends.
    CMessagePrinter printer(a.quiet, a.batchChild, log);
    SConvertResult run;
    SImportSettings settings;
    settings.copyTextures = a.copyTextures;
    const int result = RunConversion(
        options, input, [&printer](const SConversionMessage& m) { printer(m); }, &run, settings);
    // The profile store and the options file are read before the run.
    SFileTrace& files = run.files;
    files.read = FilesRead(a.optionArgs, input, files.read);
    *trace = std::move(files);
    return result;
}

// The dependency rule of one finished conversion: its output first, then the
// extra files it wrote; every file it read except its own outputs (a material
// merge may read the previous output).
// With mainOnly the extra files are left out (Ninja refuses a dependency file
// that names outputs its build did not declare).
SDepRule DepRuleOf(const SSceneJob& job, const SFileTrace& trace, bool mainOnly)
{
    SDepRule rule;
    rule.outputs << job.output;
    const QString outputClean = QDir::cleanPath(QFileInfo(job.output).absoluteFilePath());
    auto isOutput = [&](const std::string& path) {
        const QString clean = QDir::cleanPath(QFileInfo(QString::fromStdString(path)).absoluteFilePath());
        if (clean == outputClean)
            return true;
        for (const std::string& w : trace.written)
            if (QDir::cleanPath(QFileInfo(QString::fromStdString(w)).absoluteFilePath()) == clean)
                return true;
        return false;
    };
    for (const std::string& w : trace.written)
        if (!mainOnly && QDir::cleanPath(QFileInfo(QString::fromStdString(w)).absoluteFilePath()) != outputClean)
            rule.outputs << QString::fromStdString(w);
    for (const std::string& r : trace.read)
        if (!isOutput(r))
            rule.inputs << QString::fromStdString(r);
    return rule;
}

// Short reason of a result code, for the summary lines.
QString ResultText(int code)
{
    switch (code) {
    case E2QEF_READ_FAILED: return QStringLiteral("input not read");
    case E2QEF_PROCESS_FAILED: return QStringLiteral("processing failed");
    case E2QEF_WRITE_FAILED: return QStringLiteral("writing failed");
    case E2QEF_OUT_OF_MEMORY: return QStringLiteral("out of memory");
    case E2QEF_NOT_COLLADA: return QStringLiteral("not a .dae, .gltf or .glb file");
    case E2QEF_EXCEPTION: return QStringLiteral("unexpected error");
    case E2QEF_NO_SCENE: return QStringLiteral("no scene in the document");
    default: return QStringLiteral("failed");
    }
}

// The conversions of a batch: every planned job in a child process, logs
// whole and in input order, a progress line on a terminal, a summary line
// per failure and the totals. Returns the worst result code.
int RunBatch(const SConvertArgs& a, const SScenePlan& plan)
{
    for (const QString& why : plan.refused)
        PrintErr(QStringLiteral("error: %1\n").arg(why));
    int worst = plan.refused.isEmpty() ? E2QEF_SUCCESS : kExitUsage;

    // A folder that cannot be made fails its own conversions only.
    std::vector<SSceneJob> jobs;
    QStringList failures;
    for (const SSceneJob& job : plan.jobs) {
        const QString folder = QFileInfo(job.output).path();
        if (!QDir().mkpath(folder)) {
            PrintErr(QStringLiteral("error: cannot create the output folder '%1'\n").arg(folder));
            failures << QStringLiteral("failed: %1 (exit %2: %3)")
                            .arg(job.input)
                            .arg(E2QEF_WRITE_FAILED)
                            .arg(ResultText(E2QEF_WRITE_FAILED));
            worst = std::max(worst, int(E2QEF_WRITE_FAILED));
            continue;
        }
        jobs.push_back(job);
    }

    SBatchSettings settings;
    settings.jobs = a.jobs;
    settings.failFast = a.failFast;
    settings.childArgs = a.childArgs;
    const bool tty = IsTerminal() && !a.quiet;
    const int total = int(plan.jobs.size());
    const int failedBefore = failures.size();
    std::vector<SDepRule> rules;
    std::map<QString, QString> writtenBy; // clean path -> the input whose conversion wrote it
    auto done = [&](size_t i, const SChildOutcome& out) {
        if (tty)
            PrintErr(QStringLiteral("\r\x1b[2K"));
        PrintErr(QString::fromUtf8(out.log));
        if (!out.stopped.isEmpty())
            PrintErr(QStringLiteral("error: '%1': %2\n").arg(jobs[i].input, out.stopped));
        if (out.code == E2QEF_SUCCESS) {
            // Two scenes writing one extra file (an effect of the same name):
            // which one it holds would depend on which finished last.
            for (const std::string& w : out.trace.written) {
                const QString path = QDir::cleanPath(QFileInfo(QString::fromStdString(w)).absoluteFilePath());
                const auto first = writtenBy.emplace(path, jobs[i].input);
                if (!first.second)
                    PrintErr(QStringLiteral("warning: '%1' is written by both '%2' and '%3'; give them "
                                            "separate output folders\n")
                                 .arg(QString::fromStdString(w), first.first->second, jobs[i].input));
            }
            rules.push_back(DepRuleOf(jobs[i], out.trace, a.depfileMainOnly));
        } else {
            failures << QStringLiteral("failed: %1 (exit %2: %3)")
                            .arg(jobs[i].input)
                            .arg(out.code)
                            .arg(ResultText(out.code));
            worst = std::max(worst, out.code);
        }
    };
    auto progress = [&](int finished, int failed) {
        if (tty)
            PrintErr(QStringLiteral("\r\x1b[2K%1/%2 scenes, %3 failed")
                         .arg(finished + failedBefore)
                         .arg(total)
                         .arg(failed + failedBefore));
    };
    const size_t notStarted = RunSceneJobs(jobs, settings, done, progress);
    if (tty && !jobs.empty())
        PrintErr(QStringLiteral("\r\x1b[2K"));

    for (const QString& line : failures)
        PrintErr(line + QLatin1Char('\n'));
    QString totals =
        QStringLiteral("%1 scenes: %2 converted, %3 failed").arg(total).arg(rules.size()).arg(failures.size());
    if (notStarted)
        totals += QStringLiteral(", %1 not converted after the first failure (--fail-fast)").arg(notStarted);
    if (!plan.refused.isEmpty())
        totals += QStringLiteral(", %1 refused").arg(plan.refused.size());
    PrintErr(totals + QLatin1Char('\n'));

    if (!a.depfile.isEmpty()) {
        QString error;
        if (!WriteDepFile(a.depfile, rules, &error)) {
            PrintErr(QStringLiteral("error: %1\n").arg(error));
            worst = std::max(worst, int(E2QEF_WRITE_FAILED));
        }
    }
    return worst;
}

// Reads and checks the words of "convert" or "watch" (named by command); a
// usage error or empty.
QString ReadConvertArgs(const char* command, const QStringList& args, SConvertArgs& a)
{
    QString error = ParseConvertArgs(args, a);
    if (error.startsWith(QLatin1String("needs")))
        return QLatin1String(command) + QLatin1Char(' ') + error;
    if (!error.isEmpty())
        return error;
    COptions options;
    return ApplyOptionArgs(a.optionArgs, options);
}

int RunConvert(const QStringList& args)
{
    SConvertArgs a;
    QString error = ReadConvertArgs("convert", args, a);
    if (!error.isEmpty())
        return UsageError(error);

    if (a.batchChild && a.batchPool)
        return RunPoolChild([&a](const QString& input, const QString& output, QByteArray* log, SFileTrace* trace) {
            return ConvertOne(a, input, output, trace, log);
        });
    if (a.batchChild || a.outDir.isEmpty()) {
        QString output = a.output;
        if (output.isEmpty())
            output = PlanScenes(a.inputs, QString(), false, a.format).jobs.front().output;
        SFileTrace trace;
        int result = ConvertOne(a, a.inputs.first(), output, &trace);
        if (a.batchChild) {
            PrintFileTrace(trace);
            return result;
        }
        if (!a.depfile.isEmpty() && result == E2QEF_SUCCESS) {
            if (!WriteDepFile(a.depfile, {DepRuleOf({a.inputs.first(), output}, trace, a.depfileMainOnly)}, &error)) {
                PrintErr(QStringLiteral("error: %1\n").arg(error));
                result = E2QEF_WRITE_FAILED;
            }
        }
        return result;
    }
    const SScenePlan plan = PlanScenes(a.inputs, a.outDir, a.recursive, a.format);
    return RunBatch(a, plan);
}

int RunWatchCommand(const QStringList& args)
{
    SConvertArgs a;
    QString error = ReadConvertArgs("watch", args, a);
    if (error.isEmpty() && a.outDir.isEmpty())
        error = QStringLiteral("watch needs -d OUTDIR");
    if (error.isEmpty() && (!a.depfile.isEmpty() || a.batchChild))
        error = QStringLiteral("watch takes no --depfile");
    if (!error.isEmpty())
        return UsageError(error);
    if (!QDir().mkpath(a.outDir)) {
        PrintErr(QStringLiteral("error: cannot create the output folder '%1'\n").arg(a.outDir));
        return E2QEF_WRITE_FAILED;
    }
    SBatchSettings settings;
    settings.jobs = a.jobs;
    // Warnings and errors of each conversion; its one line is the watcher's.
    settings.childArgs = a.childArgs;
    if (!a.quiet)
        settings.childArgs << QStringLiteral("--quiet");
    QStringList shared;
    if (!a.optionArgs.file.isEmpty())
        shared << a.optionArgs.file;
    // Refused inputs are named once, at the start.
    bool first = true;
    auto plan = [&]() {
        const SScenePlan p = PlanScenes(a.inputs, a.outDir, a.recursive, a.format);
        for (const QString& why : first ? p.refused : QStringList())
            PrintErr(QStringLiteral("error: %1\n").arg(why));
        first = false;
        return p.jobs;
    };
    QStringList folders;
    for (const QString& input : a.inputs)
        if (QFileInfo(input).isDir())
            folders << input;
    return RunWatch(plan, folders, shared, settings);
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
    if (command == QLatin1String("watch"))
        return RunWatchCommand(rest);
    if (command == QLatin1String("options"))
        return RunOptions(rest);
    if (command == QLatin1String("profiles"))
        return RunProfiles(rest);
    if (command == QLatin1String("inspect"))
        return RunInspect(rest);
    return UsageError(QStringLiteral("unknown command '%1'").arg(command));
}
