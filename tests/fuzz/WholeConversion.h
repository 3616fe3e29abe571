#pragma once
// A whole conversion of one Collada or glTF document as the program runs it,
// with the output written to memory: import, then processing and writing
// with the import's options and again with strips, tangent space and the
// vertex-cache order (the steps with the most work per triangle, and the
// triangle order the default leaves out). Shared by the fuzz targets and the
// fuzz regression table, so that a slow or faulty step after the import is
// found and kept found.
#include <cstdint>
#include <string>
#include <vector>

#include "collada/Collada2QEF.h"
#include "gltf/Gltf2QEF.h"
#include "scene/ImportScene.h"
#include "options/Options.h"
#include "process/SceneExporter.h"
#include "scene/SceneWrite.h"

// Processing and writing to memory with `options` and again with strips,
// tangent space and the vertex-cache order: 0, or 100 when a run gave up
// (with its message in the log).
inline int ProcessWhole(const SImportScene& scene, const COptions& options)
{
    COptions strips = options;
    strips.SetPrimType(ePrimTriangleStrip);
    strips.SetBool(opt::bTangentSpace, true);
    strips.SetTriSort(eTriSortD3DX);
    int result = 0;
    const COptions* runs[] = {&options, &strips};
    for (const COptions* run : runs) {
        CSceneExporter exporter;
        std::vector<uint8_t> bytes;
        if (!exporter.Process(scene, *run) || !exporter.Scene() ||
            WriteSceneFileToMemory(*exporter.Scene(), "", "", &bytes) != 0)
            result = 100;
    }
    return result;
}

// The import's result code when it fails; otherwise ProcessWhole's, with the
// default options.
inline int ConvertColladaWhole(const std::string& path, const std::string& outputFolder)
{
    CCollada2QEF importer;
    SImportSettings settings;
    settings.outputFolder = outputFolder;
    SImportScene scene;
    COptions options;
    const int imported = importer.Import(path.c_str(), &scene, &options, settings);
    return imported != 0 ? imported : ProcessWhole(scene, options);
}

// A glTF document or .glb from memory (external files refused), with skins,
// animation and mapping channels on so that they run too: the import's result
// code when it fails, otherwise ProcessWhole's. Animations are cut at 65,536
// frame blocks: sampling is linear, but a key a million seconds away would
// fill the import's whole limit and pass the fuzzer's time for one input.
inline int ConvertGltfWhole(const uint8_t* data, size_t size)
{
    SImportSettings settings;
    settings.frameBlockLimit = uint64_t(1) << 16;
    CGltf2QEF importer;
    SImportScene scene;
    COptions options;
    options.SetBool(opt::bExportSkin, true);
    options.SetBool(opt::bExportAnimations, true);
    options.SetBool(opt::bExportMappingChannels, true);
    const int imported = importer.ImportBytes(data, size, std::string(), "fuzz.gltf", &scene, &options, settings);
    return imported != 0 ? imported : ProcessWhole(scene, options);
}
