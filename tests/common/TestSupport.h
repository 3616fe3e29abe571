#pragma once
// Helpers shared by the test programs.
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/ConversionLog.h"

// A file under tests/data.
std::string TestDataPath(const std::string& name);
// A file under examples/.
std::string ExamplePath(const std::string& name);
// The corpus of real Collada files; empty when it is not beside the project.
QString CorpusDir();

// The corpus files whose names end in suffix, sorted by path. Shard s of n
// takes every n-th file from the s-th, so ctest can spread one corpus pass
// over both cores. With MW_CORPUS_SAMPLE=k in the environment only every k-th
// file is kept (the same files every run): the sanitizer suite checks a fixed
// sample where the normal suite checks all; sampled = false ignores it (for a
// check that counts over the whole corpus).
QStringList CorpusFiles(const QString& suffix, int shard = 0, int shards = 1, bool sampled = true);
// True when a missing corpus must fail the test rather than skip it (in CI).
bool CorpusRequired();

// Without a corpus the test fails in CI and is skipped elsewhere.
#define MW_REQUIRE_CORPUS()                                                                                            \
    if (CorpusDir().isEmpty()) {                                                                                       \
        if (CorpusRequired())                                                                                          \
            FAIL() << "The corpus (../shared/corpus beside the project) is missing; CI needs it.";                     \
        GTEST_SKIP() << "The corpus (../shared/corpus beside the project) is not present.";                            \
    }

std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);

struct SCliResult {
    int exitCode = -1;
    QString out;
    QString err;
};
// Runs meshwright-cli with the given arguments and waits for it; inChild,
// when given, runs in the child process just before the program starts.
SCliResult RunCli(const QStringList& args, const QString& workDir = QString(),
                  const std::function<void()>& inChild = {});

// Records every message sent through the message log while it exists, by
// standing in as the log's sink (detail lines are dropped, as a run drops them).
class CLogCapture : public ILogSink {
public:
    struct SMessage {
        int level; // ELogLevel, or 5 for progress
        int percent;
        QString text;
    };
    CLogCapture();
    ~CLogCapture();
    const std::vector<SMessage>& Messages() const { return m_messages; }
    bool Contains(int level, const QString& text) const;
    int Count(int level) const;

private:
    void LogMessage(int level, const char* text) override;
    void LogProgress(int percent, const char* text) override;

    std::vector<SMessage> m_messages;
};
