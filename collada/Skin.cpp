#include "collada/Skin.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "collada/DAEIndex.h"
#include "collada/DAEMath.h"
#include "collada/ElGeometry.h"
#include "collada/ElScene.h"
#include "collada/ElSkin.h"
#include "collada/NodeTransform.h"
#include "scene/Scene.h"

namespace {

const CDAEObject* ArrayOf(const CEl_Input* input)
{
    const CEl_Source* source = input ? input->SourceElement() : nullptr;
    const CEl_Accessor* accessor = source ? source->Accessor() : nullptr;
    return accessor ? accessor->Array() : nullptr;
}

const std::vector<std::string>* NamesOf(const CDAEObject* array)
{
    if (array && array->Kind() == eEl_name_array)
        return &static_cast<const CEl_NameArray*>(array)->Values();
    if (array && array->Kind() == eEl_idref_array)
        return &static_cast<const CEl_IdrefArray*>(array)->Values();
    return nullptr;
}

int32_t EntryAt(const std::vector<int32_t>& v, int64_t at)
{
    return (at >= 0 && at < int64_t(v.size())) ? v[size_t(at)] : -1;
}

} // namespace

void PrepareSkin(CEl_Skin& skin, const CDAEIndex& index, const std::vector<SImportNode>* sceneNodes, EUpAxis mode,
                 const SMatrix44& meshWorld, float unitScale)
{
    CEl_Skin::SPrepared& out = skin.Prepared();
    out = CEl_Skin::SPrepared();
    out.pGeometry = ControllerSourceGeometry(skin.SourceUrl(), index, &out.bThroughMorph);

    if (const CEl_Vertex_weights* weights = skin.VertexWeights()) {
        if (const CDAEObject* array = ArrayOf(weights->WeightInput())) {
            if (array->Kind() == eEl_float_array)
                out.pWeights = &static_cast<const CEl_FloatArray*>(array)->Values();
            else
                out.bWeightsNotFloat = true;
        }
        if (const std::vector<std::string>* names = NamesOf(ArrayOf(weights->JointInput())))
            out.iWeightJointCount = int64_t(names->size());
    }

    const CDAEObject* invBindArray = ArrayOf(skin.InvBindInput());
    if (!invBindArray || invBindArray->Kind() != eEl_float_array)
        return;
    const std::vector<float>& m = static_cast<const CEl_FloatArray*>(invBindArray)->Values();
    if (m.size() % 16 != 0)
        return;
    const CDAEObject* jointArray = ArrayOf(skin.JointInput());
    const std::vector<std::string>* names = NamesOf(jointArray);
    if (!names || names->size() != m.size() / 16)
        return;

    const size_t joints = names->size();
    out.invBind.resize(joints);
    out.jointMatrices.resize(joints, MatrixIdentity());
    out.jointNodes.resize(joints, nullptr);
    const unsigned key = jointArray->Kind() == eEl_name_array ? eMatchSid : eMatchId;
    // Collada places skinned vertices in world space; the mesh's record
    // holds them in its node's frame, so the node's world is undone. The
    // bind shape and inverse bind matrices act in the document's frame.
    SMatrix44 toMesh = MatrixIdentity();
    if (!AffineInverse(meshWorld, &toMesh))
        toMesh = MatrixIdentity();
    SMatrix44 basis = UpAxisBasis(mode);
    SMatrix44 bindShape = MatrixMultiply(Transpose(basis), skin.BindShapeMatrix());
    // Corners in metres back to the geometry's units, and the bind matrices'
    // results from the skin's units to metres.
    const float geometryUnit = out.pGeometry ? out.pGeometry->UnitScale() : unitScale;
    if (geometryUnit != 1)
        bindShape = MatrixMultiply(ScaleMatrix(1 / geometryUnit, 1 / geometryUnit, 1 / geometryUnit), bindShape);
    if (unitScale != 1)
        basis = MatrixMultiply(ScaleMatrix(unitScale, unitScale, unitScale), basis);
    for (size_t i = 0; i < joints; ++i) {
        SMatrix44& ibm = out.invBind[i];
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                ibm[size_t(4 * r + c)] = m[16 * i + size_t(4 * c + r)];
        const char* name = (*names)[i].c_str();
        const CEl_Node* node = index.Find<CEl_Node>(name, key, eCatNode, eEl_node);
        if (!node && key != eMatchId)
            node = index.Find<CEl_Node>(name, eMatchId, eCatNode, eEl_node);
        // A bone must be a record of the scene's node list.
        if (!node || node->Container() != eEl_visual_scene || node->ConvertedIndex() < 0)
            continue;
        out.jointNodes[i] = node;
        const SMatrix44 world = NodeWorldMatrix(*node, 0, sceneNodes, mode);
        out.jointMatrices[i] =
            MatrixMultiply(MatrixMultiply(MatrixMultiply(MatrixMultiply(bindShape, ibm), basis), world), toMesh);
    }
}

bool SkinIsBuildable(const CEl_Skin& skin)
{
    const CEl_Skin::SPrepared& p = skin.Prepared();
    return p.pGeometry && skin.VertexWeights() && p.JointCount() > 0 && !p.bWeightsNotFloat &&
           p.iWeightJointCount == int64_t(p.JointCount());
}

bool GatherInfluences(const CEl_Skin& skin, int32_t positionIndex, SCornerData& corner, SImportInfluence* list,
                      size_t* listed, uint32_t& warnings)
{
    *listed = 0;
    const CEl_Skin::SPrepared& prepared = skin.Prepared();
    const CEl_Vertex_weights* weights = skin.VertexWeights();
    if (!weights || positionIndex < 0 || size_t(positionIndex) >= weights->VCount().size())
        return false;
    const std::vector<int64_t>& starts = weights->EntryStarts();
    if (starts.size() != weights->VCount().size() || !prepared.pWeights || !weights->JointInput() ||
        !weights->WeightInput() || prepared.JointCount() == 0)
        return false;

    const int32_t n = weights->VCount()[size_t(positionIndex)];
    if (n <= 0)
        return true; // an empty list
    // bone holds the skin's joint index here. Short lists (all that exporters
    // write) stay on the stack: a skinned mesh has millions of corners.
    SImportInfluence local[16];
    std::vector<SImportInfluence> heap;
    SImportInfluence* entries = local;
    if (size_t(n) > std::size(local)) {
        heap.resize(size_t(n));
        entries = heap.data();
    }
    const std::vector<int32_t>& v = weights->V();
    const std::vector<float>& values = *prepared.pWeights;
    const int64_t start = starts[size_t(positionIndex)];
    const int64_t inputs = weights->InputCount();
    for (int64_t k = 0; k < n; ++k) {
        const int64_t entry = start + k * inputs;
        const int32_t joint = EntryAt(v, entry + weights->JointInput()->Offset());
        const int32_t w = EntryAt(v, entry + weights->WeightInput()->Offset());
        float weight = (w >= 0 && size_t(w) < values.size()) ? values[size_t(w)] : 0.0f;
        if (!std::isfinite(weight))
            weight = 0; // a NaN would spoil the sum and the order
        entries[k] = {joint, weight};
    }
    float scale = 1;
    const size_t kept = ReduceInfluences(entries, size_t(n), scale, warnings);

    double position[3] = {0, 0, 0};
    double normal[3] = {0, 0, 0};
    bool moved = false;
    const float* p = corner.position;
    const float* nrm = corner.normal;
    for (size_t k = 0; k < kept; ++k) {
        const SImportInfluence& e = entries[k];
        if (e.bone < 0 || size_t(e.bone) >= prepared.JointCount() || !prepared.jointNodes[size_t(e.bone)])
            continue; // no bone for it; its weight still counted above
        const float weight = e.weight * scale;
        list[(*listed)++] = {prepared.jointNodes[size_t(e.bone)]->ConvertedIndex(), weight};
        if (weight <= 0)
            continue;
        const SMatrix44& m = prepared.jointMatrices[size_t(e.bone)];
        for (int j = 0; j < 3; ++j) {
            position[j] += double(weight) * (p[0] * m[size_t(j)] + p[1] * m[size_t(4 + j)] + p[2] * m[size_t(8 + j)] +
                                             m[size_t(12 + j)]);
            normal[j] +=
                double(weight) * (nrm[0] * m[size_t(j)] + nrm[1] * m[size_t(4 + j)] + nrm[2] * m[size_t(8 + j)]);
        }
        moved = true;
    }

    // Only a corner that some bone actually carries moves to its bind pose;
    // one whose bones all weigh nothing keeps its own position.
    if (moved) {
        for (int j = 0; j < 3; ++j)
            corner.position[j] = float(position[j]);
        float out[3] = {float(normal[0]), float(normal[1]), float(normal[2])};
        if (out[0] != 0 || out[1] != 0 || out[2] != 0) {
            for (int i = 0; i < 5; ++i) {
                Normalise3(out);
                if (!(Length3(out) > 1))
                    break;
            }
        }
        std::copy(out, out + 3, corner.normal);
    }
    return true;
}
