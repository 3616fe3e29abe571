#include "cli/BatchConvert.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>

#include <cstdio>
#include <memory>

#include "base/ResultCodes.h"

const char kBatchChildFlag[] = "--batch-child";

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

size_t RunSceneJobs(const std::vector<SSceneJob>& jobs, const SBatchSettings& settings,
                    const std::function<void(size_t, const SChildOutcome&)>& done,
                    const std::function<void(int, int)>& progress)
{
    const QString program = QCoreApplication::applicationFilePath();
    std::vector<SChildOutcome> outcomes(jobs.size());
    std::vector<bool> finished(jobs.size(), false);
    size_t nextToStart = 0, nextToReport = 0;
    int running = 0, finishedCount = 0, failedCount = 0;
    bool stopStarting = false;
    QEventLoop loop;

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
    startMore = [&]() {
        while (!stopStarting && running < std::max(1, settings.jobs) && nextToStart < jobs.size()) {
            const size_t i = nextToStart++;
            ++running;
            QProcess* child = new QProcess(&loop);
            QStringList args{QStringLiteral("convert"), jobs[i].input, QStringLiteral("-o"), jobs[i].output};
            args << settings.childArgs << QString::fromLatin1(kBatchChildFlag);
            QObject::connect(child, &QProcess::finished, &loop, [&, i, child](int code, QProcess::ExitStatus status) {
                SChildOutcome& out = outcomes[i];
                out.log = child->readAllStandardError();
                out.trace = ParseFileTrace(child->readAllStandardOutput());
                if (status == QProcess::NormalExit) {
                    out.code = code;
                } else {
                    out.code = E2QEF_EXCEPTION;
                    out.stopped = QStringLiteral("the conversion stopped unexpectedly");
                }
                child->deleteLater();
                finish(i);
            });
            QObject::connect(child, &QProcess::errorOccurred, &loop, [&, i, child](QProcess::ProcessError error) {
                if (error != QProcess::FailedToStart)
                    return;
                outcomes[i].code = E2QEF_EXCEPTION;
                outcomes[i].stopped = QStringLiteral("could not start a conversion: %1").arg(child->errorString());
                child->deleteLater();
                finish(i);
            });
            child->start(program, args);
        }
        if (running == 0)
            loop.quit();
    };
    if (jobs.empty())
        return 0;
    // The loop quits from inside startMore once nothing is left to run.
    QMetaObject::invokeMethod(
        &loop, [&]() { startMore(); }, Qt::QueuedConnection);
    loop.exec();
    return jobs.size() - nextToStart;
}
