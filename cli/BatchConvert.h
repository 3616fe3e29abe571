#pragma once
// Conversions of many scenes in child processes of this program, so a file
// that crashes the importer cannot take the others with it. Each child is
// long-lived: it is handed one file at a time over a pipe and converts many,
// and a child that dies is replaced (the file it was converting is the one
// failure).
#include <QByteArray>
#include <QStringList>

#include <functional>
#include <vector>

#include "base/FileTrace.h"
#include "convert/ScenePlan.h"

// The flag that makes "convert" a child of a batch: log lines without
// progress on stderr, the files read and written on stdout.
extern const char kBatchChildFlag[];
// With it, the child converts the files named on its standard input, one
// line "input\toutput" each (percent-encoded), until the input ends; after
// each it prints the files read and written, "log\t" and its log lines, and
// "done\t" and the result code (RunPoolChild).
extern const char kBatchPoolFlag[];

// The pool child's loop: convert(input, output, log, trace) for each line
// read from stdin, the result printed as above. Returns 0 at the end of the
// input.
int RunPoolChild(const std::function<int(const QString&, const QString&, QByteArray*, SFileTrace*)>& convert);

// Prints text to stderr as UTF-8.
void PrintErr(const QString& text);

struct SBatchSettings {
    int jobs = 1;
    bool failFast = false;
    QStringList childArgs; // option words handed to every child (--options, --set, ...)
};

struct SChildOutcome {
    int code = -1;    // the child's exit status (an E2QEFErrorCodes value)
    QByteArray log;   // everything the child printed to stderr
    SFileTrace trace; // the files it read and wrote
    QString stopped;  // why it ended without an exit status (crash, not started)
};

// Runs the jobs, at most settings.jobs at once; done(i, outcome) is called
// for each job in the order of jobs (a job that finishes early waits for
// those before it), progress(finished, failed) after each finished job.
// With failFast no job starts after a failure. Returns the number of jobs
// never started. Needs a QCoreApplication; runs its own event loop.
size_t RunSceneJobs(const std::vector<SSceneJob>& jobs, const SBatchSettings& settings,
                    const std::function<void(size_t, const SChildOutcome&)>& done,
                    const std::function<void(int, int)>& progress = {});

// Prints the files of trace to stdout in the child's line format.
void PrintFileTrace(const SFileTrace& trace);
