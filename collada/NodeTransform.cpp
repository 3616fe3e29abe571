#include "collada/NodeTransform.h"

#include <algorithm>
#include <cmath>

#include "import/Transform.h"
#include "collada/DAEMath.h"
#include "collada/ElScene.h"

SMatrix44 ConvertLocal(const CEl_Node& node, const SMatrix44& documentLocal, EUpAxis mode)
{
    SMatrix44 local = ToYUpBasis(ToMetres(documentLocal, node.UnitScale()), mode);
    if (mode == eUpAxisNone || (node.Content() != eNodeContentCamera && node.Content() != eNodeContentLight))
        return local;
    // Scene cameras and lights look along +Y with +Z up; Collada ones along
    // -Z with +Y up, in the document's frame. The correction acts first, in
    // the node's own frame: (x, y, z) -> (x, -z, y) in the document's frame,
    // then into the Y-up frame.
    const SMatrix44 correction = MatrixMultiply(RotationMatrix(1, 0, 0, -90), UpAxisBasis(mode));
    return MatrixMultiply(correction, local);
}

SMatrix44 NodeLocalMatrix(const CEl_Node& node, int frame, const std::vector<SImportNode>* records, EUpAxis mode)
{
    const int32_t index = node.ConvertedIndex();
    if (frame >= 0 && records && index >= 0 && size_t(index) < records->size()) {
        const std::vector<SImportTransform>& frames = (*records)[size_t(index)].frames;
        if (size_t(frame) < frames.size())
            return frames[size_t(frame)].matrix;
    }
    return ConvertLocal(node, ComposeTransforms(node.Transforms()), mode);
}

SMatrix44 NodeWorldMatrix(const CEl_Node& node, int frame, const std::vector<SImportNode>* records, EUpAxis mode)
{
    SMatrix44 world = NodeLocalMatrix(node, frame, records, mode);
    for (const CEl_Node* p = node.ParentNode(); p; p = p->ParentNode())
        world = MatrixMultiply(world, NodeLocalMatrix(*p, frame, records, mode));
    return world;
}

SImportTransform StaticTransform(const CEl_Node& node, EUpAxis mode)
{
    return DecomposeTransform(NodeLocalMatrix(node, -1, nullptr, mode));
}
