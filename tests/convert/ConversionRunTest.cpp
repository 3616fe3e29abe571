#include <gtest/gtest.h>

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <thread>

#include "TestSupport.h"
#include "base/ConversionLog.h"
#include "convert/Convert.h"
#include "convert/ConverterObject.h"
#include "gltf/GltfTestUtil.h"

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
    ASSERT_EQ(CurrentLogSink(), nullptr);
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

// Several conversions in one process at once give each the bytes and the
// messages it gives alone: the log sink, the file record and the import
// state belong to each conversion.
TEST_F(ConversionRun, ConversionsOnSeveralThreadsMatchOneAfterAnother)
{
    // A glTF mesh without normals: smooth normals are computed for it.
    SGltfBuilder b;
    b.MeshNode(b.Triangles({0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}, {0, 1, 2, 2, 1, 3}), "Quad");
    const QString gltf = Make("quad.gltf", QByteArray::fromStdString(b.Gltf()));
    const std::vector<std::string> inputs = {ExamplePath("textured_box.dae"), ExamplePath("skinned_arm.dae"),
                                             gltf.toStdString()};
    struct SRun {
        std::vector<std::pair<int, std::string>> messages;
        SConvertResult result;
        QByteArray bytes;
    };
    class CRecord : public ILogSink {
    public:
        explicit CRecord(SRun& run) : m_run(run) {}
        void LogMessage(int level, const char* text) override { m_run.messages.emplace_back(level, text); }
        void LogProgress(int, const char*) override {}

    private:
        SRun& m_run;
    };
    auto convert = [&](size_t i, const QString& folder, SRun& run) {
        COptions options;
        options.SetBool(opt::bExportSkin, true);
        options.SetBool(opt::bExportAnimations, true);
        options.SetOutputPath((folder + QStringLiteral("/out%1.qef").arg(i)).toStdString());
        CRecord sink(run);
        run.result = Convert(inputs[i], options, &sink);
        QFile f(QString::fromStdString(run.result.outputPath));
        if (f.open(QIODevice::ReadOnly))
            run.bytes = f.readAll();
        // The output's path differs between the two folders.
        for (auto& m : run.messages)
            m.second = QString::fromStdString(m.second).replace(folder, "OUT").toStdString();
    };
    QDir(dir.path()).mkdir("one");
    QDir(dir.path()).mkdir("many");
    std::vector<SRun> alone(inputs.size()), together(inputs.size());
    for (size_t i = 0; i < inputs.size(); ++i)
        convert(i, dir.path() + "/one", alone[i]);
    std::vector<std::thread> threads;
    for (int round = 0; round < 2; ++round) {
        for (size_t i = 0; i < inputs.size(); ++i)
            threads.emplace_back([&, i] {
                together[i] = SRun();
                convert(i, dir.path() + "/many", together[i]);
            });
        for (std::thread& t : threads)
            t.join();
        threads.clear();
        for (size_t i = 0; i < inputs.size(); ++i) {
            SCOPED_TRACE(inputs[i]);
            ASSERT_EQ(alone[i].result.code, 0);
            EXPECT_EQ(together[i].result.code, 0);
            EXPECT_FALSE(alone[i].bytes.isEmpty());
            EXPECT_EQ(together[i].bytes, alone[i].bytes);
            EXPECT_EQ(together[i].messages, alone[i].messages);
            // Each run's record holds its own input and output, and no other's.
            ASSERT_FALSE(together[i].result.files.read.empty());
            EXPECT_EQ(together[i].result.files.read.front(), inputs[i]);
            EXPECT_EQ(together[i].result.files.written, std::vector<std::string>{together[i].result.outputPath});
        }
    }
    // Nothing of a run stays installed on the calling thread.
    EXPECT_EQ(CurrentLogSink(), nullptr);
    EXPECT_EQ(CurrentFileTrace(), nullptr);
}
