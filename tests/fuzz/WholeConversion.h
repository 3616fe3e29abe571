#pragma once
// A whole conversion of one Collada document as the program runs it, with
// the output written to memory: import, then processing and writing with
// the default options and again with strips and tangent space (the steps
// with the most work per triangle). Shared by the Collada fuzz target and
// the fuzz regression table, so that a slow or faulty step after the import
// is found and kept found.
#include <cstdint>
#include <string>
#include <vector>

#include "collada/Collada2QEF.h"
#include "scene/ImportScene.h"
#include "options/Options.h"
#include "process/SceneExporter.h"
#include "scene/SceneWrite.h"

// The import's result code when it fails; otherwise 0, plus 100 when a
// processing or writing run gave up (with its message in the log).
inline int ConvertColladaWhole(const std::string& path, const std::string& outputFolder)
{
    CCollada2QEF importer;
    importer.SetOutputFolder(outputFolder);
    SImportScene scene;
    COptions options;
    const int imported = importer.Import(path.c_str(), &scene, &options);
    if (imported != 0)
        return imported;
    COptions strips = options;
    strips.SetPrimType(ePrimTriangleStrip);
    strips.SetBool(opt::bTangentSpace, true);
    int result = 0;
    for (const COptions* run : {&options, &strips}) {
        CSceneExporter exporter;
        std::vector<uint8_t> bytes;
        if (!exporter.Process(scene, *run) || !exporter.Scene() ||
            WriteSceneFileToMemory(*exporter.Scene(), "", "", &bytes) != 0)
            result = 100;
    }
    return result;
}
