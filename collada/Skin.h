#pragma once
// Skin preparation and the influences of skinned mesh corners.
#include <cstdint>
#include <vector>

#include "collada/UpAxis.h"
#include "import/Influences.h"
#include "scene/ImportScene.h"

class CDAEIndex;
class CEl_Skin;
struct SCornerData;

// Resolves the skin's geometry, inverse bind matrices and joint nodes and
// computes the joint matrices: bind shape x inverse bind x joint world at
// frame 0 x inverse(meshWorld), taking corners already turned into the Y-up
// frame (ToYUpVector) to their bind pose in the frame of the mesh's node,
// whose world matrix at frame 0 is meshWorld. sceneNodes are the records of
// the visual scene's nodes, whose frame 0 gives an animated joint's pose. A
// skin whose joint and matrix counts differ, or whose joint source does not
// resolve, has no joints. With units applied, corners come in metres of their
// geometry's unit and the bind matrices act in unitScale metres per unit.
void PrepareSkin(CEl_Skin& skin, const CDAEIndex& index, const std::vector<SImportNode>* sceneNodes, EUpAxis mode,
                 const SMatrix44& meshWorld, float unitScale = 1);

// A prepared skin can build a skinned mesh: geometry, joints, float weights
// and as many joints in the weights as in the skin.
bool SkinIsBuildable(const CEl_Skin& skin);

// The influences of one corner into list[0, *listed) (room for
// kMaxInfluences), heaviest first, at most four, rescaled to add up to 1; the
// corner's position and normal become their bind-pose values. False (no list)
// when the vertex has no readable entries. Safe to call from several threads
// at once: the warnings it would give are added to warnings as bits
// (1 << EImportWarning).
bool GatherInfluences(const CEl_Skin& skin, int32_t positionIndex, SCornerData& corner, SImportInfluence* list,
                      size_t* listed, uint32_t& warnings);
