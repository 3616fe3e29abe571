#include "base/FileTrace.h"

#include <algorithm>
#include <mutex>

namespace {

thread_local SFileTrace* t_trace = nullptr;

// Threads of one conversion may note files at once.
std::mutex& TraceMutex()
{
    static std::mutex m;
    return m;
}

// Few files per conversion, so a scan is cheaper than a set.
void AddOnce(std::vector<std::string> SFileTrace::*list, const std::string& path)
{
    SFileTrace* trace = t_trace;
    if (!trace || path.empty())
        return;
    std::lock_guard<std::mutex> lock(TraceMutex());
    std::vector<std::string>& l = trace->*list;
    if (std::find(l.begin(), l.end(), path) == l.end())
        l.push_back(path);
}

} // namespace

void NoteFileRead(const std::string& path)
{
    AddOnce(&SFileTrace::read, path);
}

void NoteFileWritten(const std::string& path)
{
    AddOnce(&SFileTrace::written, path);
}

SFileTrace* CurrentFileTrace()
{
    return t_trace;
}

SFileTrace* SetFileTrace(SFileTrace* trace)
{
    SFileTrace* old = t_trace;
    t_trace = trace;
    return old;
}
