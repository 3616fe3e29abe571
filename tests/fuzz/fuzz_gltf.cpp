// glTF import of one document from memory: the .glb container or the JSON,
// data: URIs, accessors, the node graph, skins and animation, into an import
// scene with default options (skins and animation on, so they run too).
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "scene/ImportScene.h"
#include "gltf/Gltf2QEF.h"
#include "options/Options.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    InstallFuzzLogSink();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CGltf2QEF importer;
    SImportScene scene;
    COptionsData options;
    options.SetBool(opt::bExportSkin, true);
    options.SetBool(opt::bExportAnimations, true);
    options.SetBool(opt::bExportMappingChannels, true);
    // No folder: external buffer files are refused, nothing is read from disk.
    importer.ImportBytes(data, size, std::string(), "fuzz.gltf", &scene, &options);
    return 0;
}
