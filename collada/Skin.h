#pragma once
// Skin preparation and the influences of skinned mesh corners.
#include <cstdint>
#include <vector>

#include "collada/C2QHub.h"
#include "scene/ImportScene.h"

class CDAEIndex;
class CEl_Skin;
struct SCornerData;

// Bones a corner keeps at most.
constexpr size_t kMaxInfluences = 4;

// Resolves the skin's geometry, inverse bind matrices and joint nodes and
// computes the joint matrices: bind shape x inverse bind x joint world at
// frame 0 x inverse(meshWorld), taking corners already turned into the Y-up
// frame (ToYUpVector) to their bind pose in the frame of the mesh's node,
// whose world matrix at frame 0 is meshWorld. sceneNodes are the records of
// the visual scene's nodes, whose frame 0 gives an animated joint's pose. A
// skin whose joint and matrix counts differ, or whose joint source does not
// resolve, has no joints.
void PrepareSkin(CEl_Skin& skin, const CDAEIndex& index, const std::vector<SImportNode>* sceneNodes, EUpAxis mode,
                 const SMatrix44& meshWorld);

// Sorts influences heaviest first (equal weights keep their order) and keeps
// the first kMaxInfluences (WarnOnce(eWarnBoneLimit) when it drops any).
// Returns the scale that makes the kept weights add up to 1: 1 when they do
// within 1e-5 or add up to 0, else 1/sum after WarnOnce(eWarnBoneWeights).
float ReduceInfluences(std::vector<SImportInfluence>& entries);

// A prepared skin can build a skinned mesh: geometry, joints, float weights
// and as many joints in the weights as in the skin.
bool SkinIsBuildable(const CEl_Skin& skin);

// The influences of one corner, heaviest first, at most four, rescaled to
// add up to 1; the corner's position and normal become their bind-pose
// values. False (no list appended) when the vertex has no readable entries.
bool GatherInfluences(const CEl_Skin& skin, int32_t positionIndex, SCornerData& corner, SImportSkin& block);
// The same into list[0, *listed) (room for kMaxInfluences). Safe to call from
// several threads at once: with warnings given, the warnings it would give
// are added to it as bits (1 << EWarning number) instead of being logged.
bool GatherInfluences(const CEl_Skin& skin, int32_t positionIndex, SCornerData& corner, SImportInfluence* list,
                      size_t* listed, uint32_t* warnings);
