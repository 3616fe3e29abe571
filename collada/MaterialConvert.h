#pragma once
// Turns a material and its effect into an import material record.
#include <cstdint>
#include <string>

#include "scene/ImportScene.h"

class CDAEIndex;
class CEl_Material;
class CEl_Shader1;
class COptionsData;

// Appends the material's record to scene.materials and remembers its index
// in the material; -1 (nothing appended) for a material without name and id.
// A profile_GLSL effect is written as an effect file into effectFolder. The
// images its textures show are recorded in scene.images, image files looked
// up from documentFolder.
int32_t ConvertMaterial(CEl_Material& material, SImportScene& scene, const COptionsData* options,
                        const CDAEIndex& index, const std::string& effectFolder, const std::string& documentFolder);

// Colours, textures, shininess and opacity of a lambert, phong or blinn.
void FillFromCommonTechnique(const CEl_Shader1& technique, bool invertTransparency, SMaterial& record);
