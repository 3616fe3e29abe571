#include "base/ConversionLog.h"

#include <cstdarg>
#include <cstdio>

namespace {

thread_local ILogSink* t_sink = nullptr;
thread_local CHeldLog* t_held = nullptr;

void FormatMessage(char (&buffer)[kConversionLogMaxChars + 1], const char* format, va_list args)
{
    if (std::vsnprintf(buffer, sizeof(buffer), format, args) < 0)
        buffer[0] = '\0';
}

} // namespace

void SetLogSink(ILogSink* sink)
{
    t_sink = sink;
}

void ClearLogSink(ILogSink* sink)
{
    if (t_sink == sink)
        t_sink = nullptr;
}

ILogSink* CurrentLogSink()
{
    return t_sink;
}

CHeldLog::CHeldLog() : m_outer(t_held)
{
    t_held = this;
}

CHeldLog::~CHeldLog()
{
    t_held = m_outer;
}

std::vector<SLogMessage> CHeldLog::Take()
{
    std::vector<SLogMessage> taken;
    taken.swap(m_messages);
    return taken;
}

void ReplayLog(const std::vector<SLogMessage>& messages)
{
    for (const SLogMessage& m : messages) {
        if (t_held) {
            t_held->Add(m);
            continue;
        }
        ILogSink* sink = t_sink;
        if (!sink)
            return;
        if (m.progress)
            sink->LogProgress(m.level, m.text.c_str());
        else
            sink->LogMessage(m.level, m.text.c_str());
    }
}

void ConversionLog(int level, const char* format, ...)
{
    ILogSink* sink = t_sink;
    if (!format || (!sink && !t_held))
        return;
    char buffer[kConversionLogMaxChars + 1];
    va_list args;
    va_start(args, format);
    FormatMessage(buffer, format, args);
    va_end(args);
    if (t_held)
        t_held->Add({false, level, buffer});
    else
        sink->LogMessage(level, buffer);
}

void ConversionProgress(int percent, const char* format, ...)
{
    ILogSink* sink = t_sink;
    if (!format || (!sink && !t_held))
        return;
    char buffer[kConversionLogMaxChars + 1];
    va_list args;
    va_start(args, format);
    FormatMessage(buffer, format, args);
    va_end(args);
    if (t_held)
        t_held->Add({true, percent, buffer});
    else
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
