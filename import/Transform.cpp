#include "import/Transform.h"

#include <algorithm>
#include <cmath>

#include "import/AffineDecompose.h"

SImportTransform DecomposeTransform(const SMatrix44& local)
{
    // The decomposition works on the matrix for column vectors, the
    // transpose of ours: A = Q S there is S x transpose(Q) here, which is the
    // scale-then-rotate order the scene evaluates. The scene's quaternion
    // matrix is the column-vector one used as is on row vectors, so the
    // rotation transpose(Q) is stored as the conjugate of Q's quaternion.
    float a[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            a[i][j] = local[size_t(4 * j + i)];
    const float t[3] = {local[12], local[13], local[14]};
    SAffineParts parts = DecomposeAffine(a, t);
    for (int i = 0; i < 3; ++i) {
        parts.q[i] = -parts.q[i];
        parts.u[i] = -parts.u[i];
    }

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
    const float len = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    if (len > 0 && std::isfinite(len))
        for (float& c : q)
            c /= len;
    out.rotation = {q[0], q[1], q[2], q[3]};

    // The matrix is the local matrix itself, shear included (parts cannot
    // hold it); only its last column is made affine.
    out.matrix = local;
    out.matrix[3] = out.matrix[7] = out.matrix[11] = 0;
    out.matrix[15] = 1;
    return out;
}
