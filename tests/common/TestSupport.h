#pragma once
// Helpers shared by the test programs.
#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

class CConverterObject;

// A file under tests/data.
std::string TestDataPath(const std::string& name);
// A file under examples/.
std::string ExamplePath(const std::string& name);
// The corpus of real Collada files; empty when it is not beside the project.
QString CorpusDir();
// Every .dae file below the corpus, sorted; empty without the corpus.
QStringList CorpusDocuments();

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
// standing in as the active converter.
class CLogCapture {
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
    std::unique_ptr<CConverterObject> m_converter;
    std::vector<SMessage> m_messages;
};
