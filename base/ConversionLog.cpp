#include "base/ConversionLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {

std::atomic<ILogSink*> g_sink{nullptr};

void FormatMessage(char (&buffer)[kConversionLogMaxChars + 1], const char* format, va_list args)
{
    if (std::vsnprintf(buffer, sizeof(buffer), format, args) < 0)
        buffer[0] = '\0';
}

} // namespace

void SetLogSink(ILogSink* sink)
{
    g_sink = sink;
}

void ClearLogSink(ILogSink* sink)
{
    g_sink.compare_exchange_strong(sink, nullptr);
}

void ConversionLog(int level, const char* format, ...)
{
    ILogSink* sink = g_sink;
    if (!format || !sink)
        return;
    char buffer[kConversionLogMaxChars + 1];
    va_list args;
    va_start(args, format);
    FormatMessage(buffer, format, args);
    va_end(args);
    sink->LogMessage(level, buffer);
}

void ConversionProgress(int percent, const char* format, ...)
{
    ILogSink* sink = g_sink;
    if (!format || !sink)
        return;
    char buffer[kConversionLogMaxChars + 1];
    va_list args;
    va_start(args, format);
    FormatMessage(buffer, format, args);
    va_end(args);
    sink->LogProgress(percent, buffer);
}

void DebugOutput(const char* format, ...)
{
    if (!format)
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}
