#pragma once
// Imports a glTF 2.0 document (.gltf or .glb) into the import scene, as the
// Collada importer does for .dae documents.
#include <cstddef>
#include <cstdint>
#include <string>

#include "scene/I2QEF.h"

class CGltf2QEF : public I2QEF {
public:
    // 0 on success; 1 when the file, a buffer or anything the scene uses is
    // missing or damaged (one error line names it); 7 when the document has
    // no scene. Nothing animated leaves the scene's animated flag off; a
    // mesh without normals gets smooth ones.
    int Import(const char* inputPath, SImportScene* scene, const COptionsData* options,
               const SImportSettings& settings = SImportSettings()) override;

    // The same from bytes in memory; external buffers are looked up in
    // folder (none when it is empty). name is used in messages.
    int ImportBytes(const uint8_t* data, size_t size, const std::string& folder, const std::string& name,
                    SImportScene* scene, const COptionsData* options,
                    const SImportSettings& settings = SImportSettings());
};
