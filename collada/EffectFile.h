#pragma once
// The text effect file (.qdl) of a material with a profile_GLSL effect.
#include <string>

#include "scene/ImportScene.h"

class CDAEIndex;
class CEl_Material;
class CEl_Profile_GLSL;

// Version line of effect files.
constexpr const char* kEffectFileVersion = "01.00.00.00";

// The file name for a material: its name with ".qdl", with the characters
// that could leave the folder or that file systems refuse replaced by '_'.
std::string EffectFileName(const std::string& materialName);

// The effect file's text, or empty when the profile has no pass or the
// effect has no name. Links the parameters (usage, shader binds) first.
std::string BuildEffectText(const CEl_Material& material, CEl_Profile_GLSL& profile, const CDAEIndex& index,
                            std::string* effectName);

// Writes folder/EffectFileName(record.name) and sets the record's effect file
// and effect name. False when nothing was written (an unopenable file is
// reported).
bool WriteEffectFile(const CEl_Material& material, CEl_Profile_GLSL& profile, const CDAEIndex& index,
                     const std::string& folder, SMaterial& record);
