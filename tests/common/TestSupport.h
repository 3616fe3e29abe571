#pragma once
// Helpers shared by the test programs.
#include <QString>
#include <QStringList>

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

std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);

struct SCliResult {
    int exitCode = -1;
    QString out;
    QString err;
};
// Runs meshwright-cli with the given arguments and waits for it.
SCliResult RunCli(const QStringList& args, const QString& workDir = QString());

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
    void Clear() { m_messages.clear(); }

private:
    void LogMessage(int level, const char* text) override;
    void LogProgress(int percent, const char* text) override;

    std::vector<SMessage> m_messages;
};
