#pragma once
// Shared set-up of the fuzz targets: a private temporary folder and a log
// sink that receives (and formats) every log message, as in a real run.
#include <string>

// A fresh folder for this fuzzing process; removed at exit.
const std::string& FuzzTempDir();
// Installs a sink on the calling thread so ConversionLog formats its
// messages; without it the log would drop them unformatted.
void InstallFuzzLogSink();
// Writes bytes to a file, replacing it; false on failure.
bool WriteFuzzFile(const std::string& path, const void* data, size_t size);
