// A whole conversion of one document: the Collada import (parse, element
// model, references, import scene), then processing and writing to memory
// with the default options and with strips and tangent space. scripts/fuzz.sh
// gives each input a short time limit: a step that grows faster than the
// input is a finding.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "WholeConversion.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    InstallFuzzLogSink();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Import takes a path, so the document goes through a file, as in a
    // conversion; effect files land in the private folder too.
    static const std::string path = FuzzTempDir() + "/input.dae";
    if (!WriteFuzzFile(path, data, size))
        return 0;
    ConvertColladaWhole(path, FuzzTempDir());
    return 0;
}
