#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>

#include <fstream>
#include <sstream>

#include "convert/ConverterObject.h"

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

QStringList CorpusDocuments()
{
    QStringList files;
    const QString corpus = CorpusDir();
    if (corpus.isEmpty())
        return files;
    QDirIterator it(corpus, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(QStringLiteral(".dae"), Qt::CaseInsensitive))
            files << path;
    }
    files.sort();
    return files;
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

SCliResult RunCli(const QStringList& args, const QString& workDir)
{
    QProcess process;
    if (!workDir.isEmpty())
        process.setWorkingDirectory(workDir);
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

CLogCapture::CLogCapture() : m_converter(std::make_unique<CConverterObject>(COptions(), QString()))
{
    CConverterObject* c = m_converter.get();
    auto add = [this](int level, int percent, const QString& text) {
        m_messages.push_back(SMessage{level, percent, text});
    };
    QObject::connect(c, &CConverterObject::conversionSuccess, [add](const QString& t) { add(0, 0, t); });
    QObject::connect(c, &CConverterObject::conversionInfo, [add](const QString& t) { add(1, 0, t); });
    QObject::connect(c, &CConverterObject::conversionWarning, [add](const QString& t) { add(2, 0, t); });
    QObject::connect(c, &CConverterObject::conversionError, [add](const QString& t) { add(3, 0, t); });
    QObject::connect(c, &CConverterObject::progressUpdated, [add](int p, const QString& t) { add(5, p, t); });
}

CLogCapture::~CLogCapture() = default;

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
