#pragma once
// Node matrices and the static transform block of a node record.
#include <vector>

#include "collada/UpAxis.h"
#include "import/Transform.h"
#include "scene/ImportScene.h"

class CEl_Node;

// A local matrix of the document's frame as the node's record holds it: in
// metres when units are applied (the node's UnitScale), in the Y-up frame
// (ToYUpBasis), with the correction of cameras and lights.
SMatrix44 ConvertLocal(const CEl_Node& node, const SMatrix44& documentLocal, EUpAxis mode);

// The node's local matrix. Frame -1, or a node whose record (in records, the
// list of the node's container) has no block for the frame, composes the
// transform list with the camera and light correction; otherwise the frame's
// recorded matrix is returned.
SMatrix44 NodeLocalMatrix(const CEl_Node& node, int frame, const std::vector<SImportNode>* records, EUpAxis mode);
// Local matrix times each ancestor's local matrix, parent first.
SMatrix44 NodeWorldMatrix(const CEl_Node& node, int frame, const std::vector<SImportNode>* records, EUpAxis mode);

// The node's static transform: DecomposeTransform of its local matrix at -1.
SImportTransform StaticTransform(const CEl_Node& node, EUpAxis mode);
