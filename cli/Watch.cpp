#include "cli/Watch.h"

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <map>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/ResultCodes.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void OnStopSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe calls here; the event loop reads the byte.
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

// What tells a changed file from an unchanged one: a save by rename gives a
// new inode even when size and time look the same.
struct SStamp {
    bool exists = false;
    qint64 size = 0;
    qint64 mtimeNs = 0;
    quint64 inode = 0;
    bool operator!=(const SStamp& o) const
    {
        return exists != o.exists || size != o.size || mtimeNs != o.mtimeNs || inode != o.inode;
    }
};

SStamp StampOf(const QString& path)
{
    SStamp s;
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return s;
    s.exists = true;
    s.size = st.st_size;
    s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.inode = st.st_ino;
    return s;
}

QString Now()
{
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

int RunWatch(const std::function<std::vector<SSceneJob>()>& plan, const QStringList& folders, const QStringList& shared,
             const SBatchSettings& settings)
{
    std::vector<SSceneJob> jobs = plan();
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) {
        PrintErr(QStringLiteral("error: cannot watch for the stop signal\n"));
        return E2QEF_EXCEPTION;
    }
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    QEventLoop loop;
    bool stopping = false;
    QSocketNotifier stopNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &loop, [&]() {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        stopping = true;
        loop.quit();
    });

    // Each job's files: its input, then what its last conversion read (glTF
    // buffers, a merge scene). Watched with the folders holding them: a file
    // replaced by a rename is seen through its folder.
    std::vector<QStringList> jobFiles(jobs.size());
    for (size_t j = 0; j < jobs.size(); ++j)
        jobFiles[j] << jobs[j].input;
    std::map<QString, SStamp> stamps;
    QFileSystemWatcher watcher;
    auto watch = [&](const QString& f) {
        if (!stamps.count(f))
            stamps[f] = StampOf(f);
        if (QFileInfo::exists(f) && !watcher.files().contains(f))
            watcher.addPath(f);
        const QString folder = QFileInfo(f).absolutePath();
        if (!watcher.directories().contains(folder))
            watcher.addPath(folder);
    };
    auto watchAll = [&]() {
        for (const QString& folder : folders)
            if (!watcher.directories().contains(folder))
                watcher.addPath(folder);
        for (const QString& f : shared)
            watch(f);
        for (const QStringList& list : jobFiles)
            for (const QString& f : list)
                watch(f);
    };

    auto convert = [&](const std::vector<size_t>& some) {
        std::vector<SSceneJob> subset;
        for (size_t j : some) {
            subset.push_back(jobs[j]);
            QDir().mkpath(QFileInfo(jobs[j].output).path()); // a scene of a subfolder
        }
        RunSceneJobs(subset, settings, [&](size_t i, const SChildOutcome& out) {
            const SSceneJob& job = subset[i];
            PrintErr(QString::fromUtf8(out.log));
            if (out.code == E2QEF_SUCCESS) {
                PrintErr(QStringLiteral("%1 converted '%2' to '%3'\n").arg(Now(), job.input, job.output));
                QStringList& files = jobFiles[some[i]];
                files = QStringList{job.input};
                for (const std::string& read : out.trace.read) {
                    const QString f = QString::fromStdString(read);
                    if (!shared.contains(f) && !files.contains(f))
                        files << f;
                }
            } else {
                PrintErr(QStringLiteral("%1 failed: '%2' (exit %3)%4\n")
                             .arg(Now(), job.input)
                             .arg(out.code)
                             .arg(out.stopped.isEmpty() ? QString() : QStringLiteral(": ") + out.stopped));
            }
        });
        watchAll();
    };

    std::vector<size_t> all(jobs.size());
    for (size_t j = 0; j < jobs.size(); ++j)
        all[j] = j;
    watchAll();
    convert(all);

    QTimer settle;
    settle.setSingleShot(true);
    settle.setInterval(300);
    bool busy = false;
    QObject::connect(&settle, &QTimer::timeout, &loop, [&]() {
        if (busy || stopping) {
            settle.start();
            return;
        }
        // Files that changed and exist (a deleted input waits for its
        // return), each looked at once: jobs may share a file.
        std::set<QString> changed;
        for (auto& entry : stamps) {
            const SStamp now = StampOf(entry.first);
            if (now != entry.second) {
                entry.second = now;
                if (now.exists)
                    changed.insert(entry.first);
            }
        }
        bool sharedChanged = false;
        for (const QString& f : shared)
            sharedChanged = sharedChanged || changed.count(f);
        std::vector<size_t> again;
        // Scene files new in a watched folder.
        for (const SSceneJob& job : plan()) {
            const bool known =
                std::any_of(jobs.begin(), jobs.end(), [&](const SSceneJob& j) { return j.input == job.input; });
            if (!known) {
                jobs.push_back(job);
                jobFiles.push_back(QStringList{job.input});
                stamps[job.input] = StampOf(job.input);
                again.push_back(jobs.size() - 1);
            }
        }
        const size_t known = jobs.size() - again.size();
        for (size_t j = 0; j < known; ++j) {
            bool any = sharedChanged;
            for (const QString& f : jobFiles[j])
                any = any || changed.count(f);
            if (any)
                again.push_back(j);
        }
        std::sort(again.begin(), again.end());
        watchAll();
        if (again.empty())
            return;
        busy = true;
        convert(again);
        busy = false;
    });
    auto touched = [&]() { settle.start(); };
    QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, &loop, touched);
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &loop, touched);

    if (!stopping) {
        PrintErr(QStringLiteral("%1 watching %2 scenes; Ctrl+C stops\n").arg(Now()).arg(jobs.size()));
        loop.exec();
    }
    PrintErr(QStringLiteral("%1 stopped\n").arg(Now()));
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
    return 0;
}
