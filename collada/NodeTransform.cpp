#include "collada/NodeTransform.h"

#include <algorithm>
#include <cmath>

#include "collada/AffineDecompose.h"
#include "collada/DAEMath.h"
#include "collada/ElScene.h"

SMatrix44 NodeLocalMatrix(const CEl_Node& node, int frame, const std::vector<SImportNode>* records, EUpAxis mode)
{
    const int32_t index = node.ConvertedIndex();
    if (frame >= 0 && records && index >= 0 && size_t(index) < records->size()) {
        const std::vector<SImportTransform>& frames = (*records)[size_t(index)].frames;
        if (size_t(frame) < frames.size())
            return frames[size_t(frame)].matrix;
    }
    // Cameras and lights look along another axis in the scene file.
    const bool cameraOrLight = node.Content() == eNodeContentCamera || node.Content() == eNodeContentLight;
    const bool correctY = cameraOrLight && mode == eUpAxisY;
    const bool correctZ = cameraOrLight && mode == eUpAxisZ;
    const SMatrix44 correctionY = RotationMatrix(1, 0, 0, 90);
    bool correctedY = false;
    SMatrix44 a = MatrixIdentity();
    for (const SNodeTransform& t : node.Transforms()) {
        if (correctY && !correctedY && IsRotation(t.eKind)) {
            a = MatrixMultiply(correctionY, a);
            correctedY = true;
        }
        a = MatrixMultiply(t.m, a);
    }
    if (correctY && !correctedY)
        a = MatrixMultiply(correctionY, a);
    if (correctZ)
        a = MatrixMultiply(Transpose(AxisConversionOfIdentity(eUpAxisZ)), a);
    return a;
}

SMatrix44 NodeWorldMatrix(const CEl_Node& node, int frame, const std::vector<SImportNode>* records, EUpAxis mode)
{
    SMatrix44 world = NodeLocalMatrix(node, frame, records, mode);
    for (const CEl_Node* p = node.ParentNode(); p; p = p->ParentNode())
        world = MatrixMultiply(world, NodeLocalMatrix(*p, frame, records, mode));
    return world;
}

SImportTransform DecomposeTransform(const SMatrix44& local, EUpAxis mode)
{
    float a[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            a[i][j] = local[4 * i + j];
    const float t[3] = {local[12], local[13], local[14]};
    const SAffineParts parts = DecomposeAffine(a, t);

    SImportTransform out;
    out.translation = {t[0], t[1], t[2]};
    out.scale = {parts.k[0] * parts.f, parts.k[1] * parts.f, parts.k[2] * parts.f};
    const float w = std::clamp(parts.u[3], -1.0f, 1.0f);
    out.stretchAngle = 2 * std::acos(w);
    float d = std::sqrt(1 - w * w);
    if (d < 0.0005f)
        d = 1;
    out.stretchAxis = {parts.u[0] / d, parts.u[1] / d, parts.u[2] / d};

    float q[4] = {parts.q[0], parts.q[1], parts.q[2], parts.q[3]};
    if (mode == eUpAxisZ)
        q[3] = -q[3];
    const float len = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    if (len > 0 && std::isfinite(len))
        for (float& c : q)
            c /= len;
    out.rotation = {q[0], q[1], q[2], q[3]};

    if (mode == eUpAxisZ) {
        out.matrix = local;
    } else {
        // S x R x T of the parts. A document without an up axis is built the
        // same way as a Y-up one (rather than left at identity, which would
        // lose every placement when matrices are exported).
        float r[3][3];
        QuaternionToMatrix(q, r);
        SMatrix44 rm = MatrixIdentity();
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                rm[4 * i + j] = r[i][j];
        out.matrix = MatrixMultiply(MatrixMultiply(ScaleMatrix(out.scale[0], out.scale[1], out.scale[2]), rm),
                            TranslationMatrix(t[0], t[1], t[2]));
    }
    return out;
}

SImportTransform StaticTransform(const CEl_Node& node, EUpAxis mode)
{
    return DecomposeTransform(NodeLocalMatrix(node, -1, nullptr, mode), mode);
}
