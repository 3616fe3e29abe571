// Collada import of one document: parse, build the element model, resolve
// references and convert into an import scene, with default options.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "collada/Collada2QEF.h"
#include "scene/ImportScene.h"
#include "options/Options.h"

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
    CCollada2QEF importer;
    importer.SetOutputFolder(FuzzTempDir());
    SImportScene scene;
    COptionsData options;
    importer.Import(path.c_str(), &scene, &options);
    return 0;
}
