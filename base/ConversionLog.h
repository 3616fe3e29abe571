#pragma once
// The message log of a conversion: callable from anywhere in the code that a
// conversion runs, delivered to the sink that the conversion installed on its
// thread (ParallelFor hands it on to the threads it starts). Conversions on
// different threads log to their own sinks.
#include <string>
#include <vector>

enum ELogLevel : int {
    eLogSuccess = 0,
    eLogInfo = 1,
    eLogWarning = 2,
    eLogError = 3,
    eLogVerbose = 4,
};

// Line kinds of the output widget; numbered differently from the log levels.
enum EOutputType : int {
    eOutputInfo = 0,
    eOutputWarning = 1,
    eOutputError = 2,
    eOutputSuccess = 3,
};

// Longest message kept; longer texts are cut.
constexpr int kConversionLogMaxChars = 1023;

void ConversionLog(int level, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

void ConversionProgress(int percent, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Debugger output: development diagnostics that are not for the user's log.
void DebugOutput(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Receives the messages; texts are UTF-8, already formatted and cut to
// kConversionLogMaxChars. Without a sink the log is silent.
class ILogSink {
public:
    virtual ~ILogSink() = default;
    virtual void LogMessage(int level, const char* text) = 0;
    virtual void LogProgress(int percent, const char* text) = 0;
};

// Installs the sink of the calling thread (null for none).
void SetLogSink(ILogSink* sink);
// Removes the calling thread's sink only when it is still the given one, so
// a late destruction cannot silence a newer run.
void ClearLogSink(ILogSink* sink);
// The calling thread's sink, or null.
ILogSink* CurrentLogSink();

// A message held back by a CHeldLog.
struct SLogMessage {
    bool progress; // ConversionProgress (level is the percentage)
    int level;
    std::string text;
};

// While it lives, the messages of the thread that made it are kept here
// instead of going to the sink: work done side by side logs through it, and
// the caller hands each piece's messages on in a fixed order.
class CHeldLog {
public:
    CHeldLog();
    ~CHeldLog();
    CHeldLog(const CHeldLog&) = delete;
    CHeldLog& operator=(const CHeldLog&) = delete;
    std::vector<SLogMessage> Take();
    void Add(SLogMessage message) { m_messages.push_back(std::move(message)); }

private:
    CHeldLog* m_outer;
    std::vector<SLogMessage> m_messages;
};

// Hands held-back messages to the sink (or to the CHeldLog of this thread),
// in order.
void ReplayLog(const std::vector<SLogMessage>& messages);
