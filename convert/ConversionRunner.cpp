#include "convert/ConversionRunner.h"

#include <QEventLoop>
#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <memory>

#include "convert/ConverterObject.h"

int RunConversionAndWait(const COptions& options, const QString& inputPath, const ConversionMessageSink& sink,
                         bool recordExport)
{
    QThread thread;
    auto converter = std::make_unique<CConverterObject>(options, inputPath);
    converter->SetRecordExport(recordExport);
    converter->moveToThread(&thread);

    // The receiver lives on this thread, so every signal is queued here and
    // delivered in emission order.
    QObject receiver;
    auto forward = [&sink](int kind, int percent, const QString& text) {
        if (sink)
            sink(SConversionMessage{kind, percent, text});
    };
    CConverterObject* c = converter.get();
    QObject::connect(c, &CConverterObject::conversionSuccess, &receiver,
                     [&](const QString& t) { forward(SConversionMessage::eSuccess, 0, t); });
    QObject::connect(c, &CConverterObject::conversionInfo, &receiver,
                     [&](const QString& t) { forward(SConversionMessage::eInfo, 0, t); });
    QObject::connect(c, &CConverterObject::conversionWarning, &receiver,
                     [&](const QString& t) { forward(SConversionMessage::eWarning, 0, t); });
    QObject::connect(c, &CConverterObject::conversionError, &receiver,
                     [&](const QString& t) { forward(SConversionMessage::eError, 0, t); });
    QObject::connect(c, &CConverterObject::progressUpdated, &receiver,
                     [&](int p, const QString& t) { forward(SConversionMessage::eProgress, p, t); });

    QEventLoop loop;
    QObject::connect(&thread, &QThread::started, c, &CConverterObject::start);
    QObject::connect(c, qOverload<>(&CConverterObject::finished), &thread, &QThread::quit);
    QObject::connect(&thread, &QThread::finished, &loop, &QEventLoop::quit);
    thread.start();
    loop.exec();
    thread.wait();
    // Messages sent just before the end may still be queued.
    QCoreApplication::sendPostedEvents(&receiver);
    return c->Result();
}
