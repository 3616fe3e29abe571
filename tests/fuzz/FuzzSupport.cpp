#include "FuzzSupport.h"

#include <QTemporaryDir>

#include <cstdio>
#include <memory>

#include "base/ConversionLog.h"

const std::string& FuzzTempDir()
{
    static QTemporaryDir dir(QDir::tempPath() + "/mw-fuzz-XXXXXX");
    static const std::string path = dir.path().toStdString();
    return path;
}

namespace {
// Takes every message, already formatted, and drops it.
class CFormattingSink : public ILogSink {
public:
    void LogMessage(int, const char*) override {}
    void LogProgress(int, const char*) override {}
};
} // namespace

void InstallFuzzLogSink()
{
    static CFormattingSink sink;
    SetLogSink(&sink);
}

bool WriteFuzzFile(const std::string& path, const void* data, size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}
