#include "base/ConversionLog.h"

#include <QString>

#include <cstdarg>
#include <cstdio>

#include "convert/ConverterObject.h"

namespace {

QString FormatMessage(const char* format, va_list args)
{
    char buffer[kConversionLogMaxChars + 1];
    int n = std::vsnprintf(buffer, sizeof(buffer), format, args);
    if (n < 0)
        buffer[0] = '\0';
    // Paths on this platform are UTF-8, so messages are read as UTF-8.
    return QString::fromUtf8(buffer);
}

} // namespace

void ConversionLog(int level, const char* format, ...)
{
    CConverterObject* converter = g_pActiveConverter;
    if (!format || !converter)
        return;
    va_list args;
    va_start(args, format);
    const QString text = FormatMessage(format, args);
    va_end(args);
    switch (level) {
    case eLogSuccess: emit converter->conversionSuccess(text); break;
    case eLogInfo: emit converter->conversionInfo(text); break;
    case eLogWarning: emit converter->conversionWarning(text); break;
    case eLogError: emit converter->conversionError(text); break;
    default: break; // detail lines are formatted and dropped
    }
}

void ConversionProgress(int percent, const char* format, ...)
{
    CConverterObject* converter = g_pActiveConverter;
    if (!format || !converter)
        return;
    va_list args;
    va_start(args, format);
    const QString text = FormatMessage(format, args);
    va_end(args);
    emit converter->progressUpdated(percent, text);
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
