#include <gtest/gtest.h>

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include "TestSupport.h"
#include "base/ConversionLog.h"
#include "convert/ConverterObject.h"

namespace {

// Runs a converter on a worker thread as the window does and records what
// arrives, in order: "log:<level>:<text>", "finished:<code>", "finished".
std::vector<QString> RunAndRecord(const COptions& options, const QString& input)
{
    std::vector<QString> events;
    QThread thread;
    auto* converter = new CConverterObject(options, input);
    converter->moveToThread(&thread);
    QObject receiver;
    QObject::connect(converter, &CConverterObject::conversionError, &receiver,
                     [&](const QString& t) { events.push_back("log:3:" + t); });
    QObject::connect(converter, &CConverterObject::conversionInfo, &receiver,
                     [&](const QString& t) { events.push_back("log:1:" + t); });
    QObject::connect(converter, &CConverterObject::conversionSuccess, &receiver,
                     [&](const QString& t) { events.push_back("log:0:" + t); });
    QObject::connect(converter, qOverload<E2QEFErrorCodes>(&CConverterObject::finished), &receiver,
                     [&](E2QEFErrorCodes c) { events.push_back(QStringLiteral("finished:%1").arg(int(c))); });
    QEventLoop loop;
    QObject::connect(converter, qOverload<>(&CConverterObject::finished), &receiver, [&] {
        events.push_back(QStringLiteral("finished"));
        loop.quit();
    });
    QObject::connect(&thread, &QThread::started, converter, &CConverterObject::start);
    QObject::connect(converter, qOverload<>(&CConverterObject::finished), &thread, &QThread::quit,
                     Qt::DirectConnection);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    thread.start();
    loop.exec();
    thread.wait();
    delete converter;
    EXPECT_EQ(g_pActiveConverter.load(), nullptr);
    return events;
}

} // namespace

class ConversionRun : public ::testing::Test {
protected:
    QString Make(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.path() + "/" + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    COptions Options(const QString& output = QString())
    {
        COptions o;
        o.SetOutputPath((output.isEmpty() ? dir.path() + "/out.qef" : output).toStdString());
        return o;
    }
    QTemporaryDir dir;
};

// A failed input check ends with its code after one red line saying why (an
// empty log left the window's user guessing).
TEST_F(ConversionRun, InputChecksEndWithTheirCodesAndSayWhy)
{
    struct {
        const char* name;
        bool create;
        int code;
        const char* why;
    } cases[] = {
        {"missing.dae", false, E2QEF_READ_FAILED, "Error: There is no file at '%1'."},
        {"scene.dae.xml", true, E2QEF_NOT_COLLADA, "Error: '%1' is not a Collada (.dae) or glTF (.gltf, .glb) file."},
        {"scene", true, E2QEF_NOT_COLLADA, "Error: '%1' is not a Collada (.dae) or glTF (.gltf, .glb) file."},
        {"scene.obj", true, E2QEF_NOT_COLLADA, "Error: '%1' is not a Collada (.dae) or glTF (.gltf, .glb) file."},
        {"folder.dae", false, E2QEF_READ_FAILED, "Error: There is no file at '%1'."},
    };
    QDir(dir.path()).mkdir("folder.dae"); // a folder is not an input file
    for (const auto& c : cases) {
        const QString input = c.create ? Make(c.name, "<COLLADA/>") : dir.path() + "/" + c.name;
        const auto events = RunAndRecord(Options(), input);
        ASSERT_EQ(events.size(), 3u) << c.name;
        EXPECT_EQ(events[0], "log:3:" + QString::fromLatin1(c.why).arg(input)) << c.name;
        EXPECT_EQ(events[1], QStringLiteral("finished:%1").arg(c.code)) << c.name;
        EXPECT_EQ(events[2], "finished");
    }
}

TEST_F(ConversionRun, SuffixTestIgnoresCase)
{
    // An upper-case suffix passes the input checks and reaches the import,
    // which reports why this document cannot be read.
    const QString input = Make("scene.DAE", "this is not XML <<<");
    const auto events = RunAndRecord(Options(), input);
    ASSERT_GE(events.size(), 3u);
    EXPECT_TRUE(events[events.size() - 3].startsWith("log:3:")) << events[0].toStdString();
    EXPECT_EQ(events[events.size() - 2], "finished:1");
    EXPECT_EQ(events.back(), "finished");
}

TEST_F(ConversionRun, FailureRecordsNoExportedFileAndLogsNoSuccess)
{
    const QString output = dir.path() + "/never.qef";
    const auto events = RunAndRecord(Options(output), Make("broken.dae", "<COLLADA"));
    for (const QString& e : events)
        EXPECT_FALSE(e.startsWith("log:0:")) << e.toStdString();
    EXPECT_FALSE(QFile::exists(output));
}

TEST(ConversionLogTest, SilentWithoutConverterOrFormat)
{
    ASSERT_EQ(g_pActiveConverter.load(), nullptr);
    ConversionLog(eLogError, "nobody listens %d", 1); // must not crash
    ConversionProgress(50, "nobody listens");
    CLogCapture capture;
    ConversionLog(eLogError, nullptr);
    ConversionProgress(10, nullptr);
    EXPECT_TRUE(capture.Messages().empty());
}

TEST(ConversionLogTest, LevelsReachTheirSignals)
{
    CLogCapture capture;
    ConversionLog(eLogSuccess, "%s", "ok");
    ConversionLog(eLogInfo, "info %d", 2);
    ConversionLog(eLogWarning, "warn");
    ConversionLog(eLogError, "err");
    ConversionLog(eLogVerbose, "detail");
    ConversionLog(9, "beyond detail");
    ConversionProgress(40, "Stage %d", 2);
    ASSERT_EQ(capture.Messages().size(), 5u);
    EXPECT_TRUE(capture.Contains(0, "ok"));
    EXPECT_TRUE(capture.Contains(1, "info 2"));
    EXPECT_TRUE(capture.Contains(2, "warn"));
    EXPECT_TRUE(capture.Contains(3, "err"));
    EXPECT_EQ(capture.Messages().back().level, 5);
    EXPECT_EQ(capture.Messages().back().percent, 40);
    EXPECT_EQ(capture.Messages().back().text, "Stage 2");
}

TEST(ConversionLogTest, LongTextIsCut)
{
    CLogCapture capture;
    const std::string longText(5000, 'x');
    ConversionLog(eLogInfo, "%s", longText.c_str());
    ConversionProgress(1, "%s", longText.c_str());
    ASSERT_EQ(capture.Messages().size(), 2u);
    EXPECT_EQ(capture.Messages()[0].text.size(), 1023);
    EXPECT_EQ(capture.Messages()[1].text.size(), 1023);
}
