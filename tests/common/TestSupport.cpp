#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>

#include <algorithm>
#include <fstream>
#include <sstream>

std::string TestDataPath(const std::string& name)
{
    return std::string(MW_TEST_DATA_DIR) + "/" + name;
}

std::string ExamplePath(const std::string& name)
{
    return std::string(MW_EXAMPLES_DIR) + "/" + name;
}

QString CorpusDir()
{
    const QString dir = QDir::cleanPath(QStringLiteral(MW_CORPUS_DIR));
    return QDir(dir).exists() ? dir : QString();
}

QStringList CorpusFiles(const QString& suffix, int shard, int shards, bool sampled)
{
    const QString corpus = CorpusDir();
    if (corpus.isEmpty())
        return {};
    QStringList all;
    QDirIterator it(corpus, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(suffix, Qt::CaseInsensitive))
            all << path;
    }
    all.sort();
    const int sample = sampled ? std::max(1, qEnvironmentVariableIntValue("MW_CORPUS_SAMPLE")) : 1;
    QStringList files;
    for (int i = 0; i < all.size(); ++i)
        if (i % sample == 0 && (i / sample) % std::max(1, shards) == shard)
            files << all[i];
    return files;
}

bool CorpusRequired()
{
    return qEnvironmentVariable("CI") == QLatin1String("true");
}

std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out);
}

SCliResult RunCli(const QStringList& args, const QString& workDir, const std::function<void()>& inChild)
{
    QProcess process;
    if (!workDir.isEmpty())
        process.setWorkingDirectory(workDir);
    if (inChild)
        process.setChildProcessModifier(inChild);
    process.start(QStringLiteral(MW_CLI_PATH), args);
    SCliResult result;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

CLogCapture::CLogCapture()
{
    SetLogSink(this);
}

CLogCapture::~CLogCapture()
{
    ClearLogSink(this);
}

void CLogCapture::LogMessage(int level, const char* text)
{
    if (level >= eLogSuccess && level <= eLogError)
        m_messages.push_back(SMessage{level, 0, QString::fromUtf8(text)});
}

void CLogCapture::LogProgress(int percent, const char* text)
{
    m_messages.push_back(SMessage{5, percent, QString::fromUtf8(text)});
}

bool CLogCapture::Contains(int level, const QString& text) const
{
    for (const SMessage& m : m_messages)
        if (m.level == level && m.text == text)
            return true;
    return false;
}

int CLogCapture::Count(int level) const
{
    int n = 0;
    for (const SMessage& m : m_messages)
        n += (m.level == level);
    return n;
}
