#pragma once
// One conversion from start to end on the calling thread: check the input,
// import, process, write, and the post-export actions that the options name.
// Messages go to the sink given (the calling thread's sink while it runs);
// the files read and written are recorded in the result. Nothing is shared
// with other conversions, so conversions on several threads at once give the
// same bytes and messages as one after another.
#include <cstdint>
#include <string>

#include "base/ConversionLog.h"
#include "base/FileTrace.h"
#include "base/ResultCodes.h"
#include "scene/I2QEF.h"

class COptions;

struct SConvertResult {
    int code = E2QEF_EXCEPTION; // E2QEFErrorCodes
    std::string outputPath;     // where the scene was (or would have been) written
    SFileTrace files;           // the input first, then every file the run read and wrote
    int errorLines = 0;         // error lines logged by the run
};

// Converts inputPath into options.OutputPath(). A failure always logs at
// least one error line that says why. sink may be null (a silent run).
SConvertResult Convert(const std::string& inputPath, const COptions& options, ILogSink* sink,
                       const SImportSettings& settings = SImportSettings());
