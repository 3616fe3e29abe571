#include "cli/BatchConvert.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>

#include <cstdio>
#include <memory>
#include <string>

#include "base/ResultCodes.h"

const char kBatchChildFlag[] = "--batch-child";
const char kBatchPoolFlag[] = "--batch-pool";

void PrintErr(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

namespace {

// One line per file: "read\t" or "wrote\t" and the percent-encoded path, so
// no path can break the line format.
SFileTrace ParseFileTrace(const QByteArray& text)
{
    SFileTrace trace;
    for (const QByteArray& line : text.split('\n')) {
        const int tab = line.indexOf('\t');
        if (tab < 0)
            continue;
        const std::string path = QByteArray::fromPercentEncoding(line.mid(tab + 1)).toStdString();
        const QByteArray kind = line.left(tab);
        if (kind == "read")
            trace.read.push_back(path);
        else if (kind == "wrote")
            trace.written.push_back(path);
    }
    return trace;
}

} // namespace

void PrintFileTrace(const SFileTrace& trace)
{
    QByteArray text;
    for (const std::string& path : trace.read)
        text += "read\t" + QByteArray::fromStdString(path).toPercentEncoding() + '\n';
    for (const std::string& path : trace.written)
        text += "wrote\t" + QByteArray::fromStdString(path).toPercentEncoding() + '\n';
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fflush(stdout);
}

int RunPoolChild(const std::function<int(const QString&, const QString&, QByteArray*, SFileTrace*)>& convert)
{
    std::string line;
    for (;;) {
        line.clear();
        int c;
        while ((c = std::getc(stdin)) != EOF && c != '\n')
            line.push_back(char(c));
        if (c == EOF && line.empty())
            return 0;
        const size_t tab = line.find('\t');
        if (tab == std::string::npos)
            continue;
        const QString input =
            QString::fromUtf8(QByteArray::fromPercentEncoding(QByteArray::fromStdString(line.substr(0, tab))));
        const QString output =
            QString::fromUtf8(QByteArray::fromPercentEncoding(QByteArray::fromStdString(line.substr(tab + 1))));
        QByteArray log;
        SFileTrace trace;
        const int code = convert(input, output, &log, &trace);
        PrintFileTrace(trace);
        const QByteArray end = "log\t" + log.toPercentEncoding() + "\ndone\t" + QByteArray::number(code) + '\n';
        std::fwrite(end.constData(), 1, size_t(end.size()), stdout);
        std::fflush(stdout);
    }
}

size_t RunSceneJobs(const std::vector<SSceneJob>& jobs, const SBatchSettings& settings,
                    const std::function<void(size_t, const SChildOutcome&)>& done,
                    const std::function<void(int, int)>& progress)
{
    const QString program = QCoreApplication::applicationFilePath();
    std::vector<SChildOutcome> outcomes(jobs.size());
    std::vector<bool> finished(jobs.size(), false);
    size_t nextToStart = 0, nextToReport = 0;
    int running = 0, finishedCount = 0, failedCount = 0, alive = 0;
    bool stopStarting = false;
    QEventLoop loop;

    // A long-lived child and the file it is converting.
    constexpr size_t kIdle = ~size_t(0);
    struct SWorker {
        QProcess* process = nullptr;
        size_t job = kIdle;
        bool alive = false, inputClosed = false;
        QByteArray pending; // its output since the last whole line
        QByteArray trace, log;
    };
    std::vector<std::unique_ptr<SWorker>> workers;

    std::function<void()> startMore;
    auto finish = [&](size_t i) {
        finished[i] = true;
        ++finishedCount;
        --running;
        if (outcomes[i].code != E2QEF_SUCCESS) {
            ++failedCount;
            if (settings.failFast)
                stopStarting = true;
        }
        // Whole logs in input order: the same call prints the same lines.
        while (nextToReport < jobs.size() && finished[nextToReport]) {
            if (done)
                done(nextToReport, outcomes[nextToReport]);
            ++nextToReport;
        }
        if (progress)
            progress(finishedCount, failedCount);
        startMore();
    };
    auto give = [&](SWorker& w) {
        const size_t i = nextToStart++;
        ++running;
        w.job = i;
        w.trace.clear();
        w.log.clear();
        w.process->write(jobs[i].input.toUtf8().toPercentEncoding() + '\t' +
                         jobs[i].output.toUtf8().toPercentEncoding() + '\n');
    };
    // Whole lines of a child's output; its "done" line ends the file.
    auto readOutput = [&](SWorker& w) {
        w.pending += w.process->readAllStandardOutput();
        int from = 0;
        for (int end = w.pending.indexOf('\n'); end >= 0; end = w.pending.indexOf('\n', from)) {
            const QByteArray line = w.pending.mid(from, end - from);
            from = end + 1;
            if (w.job == kIdle)
                continue;
            if (line.startsWith("log\t")) {
                w.log += QByteArray::fromPercentEncoding(line.mid(4));
            } else if (line.startsWith("done\t")) {
                const size_t i = w.job;
                w.job = kIdle;
                SChildOutcome& out = outcomes[i];
                out.code = line.mid(5).toInt();
                out.log = w.log + w.process->readAllStandardError();
                out.trace = ParseFileTrace(w.trace);
                w.pending.remove(0, from);
                from = 0;
                finish(i);
            } else {
                w.trace += line + '\n';
            }
        }
        w.pending.remove(0, from);
    };
    // A child that ends takes no more files; one that ends in the middle of
    // a file fails that file, as a child per file would have.
    auto ended = [&](SWorker& w) {
        w.alive = false;
        --alive;
        w.process->deleteLater();
    };
    auto spawn = [&]() {
        workers.push_back(std::make_unique<SWorker>());
        SWorker& w = *workers.back();
        w.process = new QProcess(&loop);
        w.alive = true;
        ++alive;
        QProcess* child = w.process;
        QObject::connect(child, &QProcess::readyReadStandardOutput, &loop, [&, &w = w]() { readOutput(w); });
        QObject::connect(child, &QProcess::finished, &loop, [&, &w = w](int code, QProcess::ExitStatus status) {
            ended(w);
            readOutput(w);
            const size_t i = w.job;
            w.job = kIdle;
            if (i != kIdle) {
                // Ended in the middle of a file: that file is the failure.
                SChildOutcome& out = outcomes[i];
                out.log = w.log + w.process->readAllStandardError();
                out.trace = ParseFileTrace(w.trace);
                if (status == QProcess::NormalExit) {
                    out.code = code;
                } else {
                    out.code = E2QEF_EXCEPTION;
                    out.stopped = QStringLiteral("the conversion stopped unexpectedly");
                }
            }
            if (i != kIdle)
                finish(i);
            else
                startMore();
        });
        QObject::connect(child, &QProcess::errorOccurred, &loop, [&, &w = w](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart || !w.alive)
                return;
            const size_t i = w.job;
            w.job = kIdle;
            ended(w);
            if (i != kIdle) {
                outcomes[i].code = E2QEF_EXCEPTION;
                outcomes[i].stopped = QStringLiteral("could not start a conversion: %1").arg(w.process->errorString());
                finish(i);
            } else {
                startMore();
            }
        });
        QStringList args{QStringLiteral("convert")};
        args << settings.childArgs << QString::fromLatin1(kBatchChildFlag) << QString::fromLatin1(kBatchPoolFlag);
        child->start(program, args);
        give(w);
    };
    startMore = [&]() {
        for (const std::unique_ptr<SWorker>& w : workers) {
            if (!w->alive || w->inputClosed || w->job != kIdle)
                continue;
            if (!stopStarting && nextToStart < jobs.size()) {
                give(*w);
            } else {
                w->inputClosed = true;
                w->process->closeWriteChannel();
            }
        }
        while (!stopStarting && nextToStart < jobs.size() && alive < std::max(1, settings.jobs))
            spawn();
        if (running == 0 && alive == 0)
            loop.quit();
    };
    if (jobs.empty())
        return 0;
    // The loop quits from inside startMore once nothing is left to run and
    // every child has ended.
    QMetaObject::invokeMethod(
        &loop, [&]() { startMore(); }, Qt::QueuedConnection);
    loop.exec();
    return jobs.size() - nextToStart;
}
