// A whole conversion of one glTF document or .glb from memory: the
// container or the JSON, data: URIs, accessors, the node graph, skins and
// animation into an import scene (skins, animation and mapping channels on,
// so they run too), then processing and writing to memory with those options
// and with strips and tangent space. scripts/fuzz.sh gives each input a short
// time limit: a step that grows faster than the input is a finding.
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
    // No folder: external buffer files are refused, nothing is read from disk.
    ConvertGltfWhole(data, size);
    return 0;
}
