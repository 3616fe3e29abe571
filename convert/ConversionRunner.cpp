#include "convert/ConversionRunner.h"

#include "convert/Convert.h"

namespace {

class CCallbackSink : public ILogSink {
public:
    explicit CCallbackSink(const ConversionMessageSink& sink) : m_sink(sink) {}
    void LogMessage(int level, const char* text) override
    {
        if (m_sink && level >= eLogSuccess && level <= eLogError)
            m_sink(SConversionMessage{level, 0, QString::fromUtf8(text)});
    }
    void LogProgress(int percent, const char* text) override
    {
        if (m_sink)
            m_sink(SConversionMessage{SConversionMessage::eProgress, percent, QString::fromUtf8(text)});
    }

private:
    const ConversionMessageSink& m_sink;
};

} // namespace

int RunConversion(const COptions& options, const QString& inputPath, const ConversionMessageSink& sink,
                  SConvertResult* result, const SImportSettings& settings)
{
    CCallbackSink callback(sink);
    SConvertResult run = Convert(inputPath.toUtf8().toStdString(), options, &callback, settings);
    const int code = run.code;
    if (result)
        *result = std::move(run);
    return code;
}
