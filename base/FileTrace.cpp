#include "base/FileTrace.h"

#include <algorithm>
#include <mutex>

namespace {

std::mutex& TraceMutex()
{
    static std::mutex m;
    return m;
}

SFileTrace& Trace()
{
    static SFileTrace trace;
    return trace;
}

// Few files per conversion, so a scan is cheaper than a set.
void AddOnce(std::vector<std::string>& list, const std::string& path)
{
    if (!path.empty() && std::find(list.begin(), list.end(), path) == list.end())
        list.push_back(path);
}

} // namespace

void NoteFileRead(const std::string& path)
{
    std::lock_guard<std::mutex> lock(TraceMutex());
    AddOnce(Trace().read, path);
}

void NoteFileWritten(const std::string& path)
{
    std::lock_guard<std::mutex> lock(TraceMutex());
    AddOnce(Trace().written, path);
}

void ClearFileTrace()
{
    std::lock_guard<std::mutex> lock(TraceMutex());
    Trace() = SFileTrace();
}

SFileTrace FileTrace()
{
    std::lock_guard<std::mutex> lock(TraceMutex());
    return Trace();
}
