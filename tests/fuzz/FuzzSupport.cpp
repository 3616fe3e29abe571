#include "FuzzSupport.h"

#include <QTemporaryDir>

#include <cstdio>
#include <memory>

#include "convert/ConverterObject.h"
#include "options/Options.h"

const std::string& FuzzTempDir()
{
    static QTemporaryDir dir(QDir::tempPath() + "/mw-fuzz-XXXXXX");
    static const std::string path = dir.path().toStdString();
    return path;
}

void InstallFuzzLogSink()
{
    static std::unique_ptr<CConverterObject> converter;
    if (!converter)
        converter = std::make_unique<CConverterObject>(COptions(), QString());
}

bool WriteFuzzFile(const std::string& path, const void* data, size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}
