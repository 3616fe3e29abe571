#pragma once
// Matrix helpers of the importer, on top of the shared ones in base/Math.h.
#include "base/Math.h"
#include "import/ImportMath.h"

#include "collada/UpAxis.h"
#include "scene/ImportScene.h"

// The change of basis of the up axis, as a matrix for row vectors: for Z-up
// (x, y, z) -> (x, z, -y), so the document's +Z comes out as +Y; for X-up
// (x, y, z) -> (-y, x, z), so +X comes out as +Y and the document's right
// axis, -Y, as +X; for the other modes the identity. It is a rotation: its
// inverse is its transpose.
SMatrix44 UpAxisBasis(EUpAxis mode);
// A transform of the document's frame expressed in the Y-up frame:
// inverse(C) * m * C with C = UpAxisBasis(mode). Applied to every node of a
// hierarchy, world matrices convert the same way, and points converted by C
// land where the document's points land, converted.
SMatrix44 ToYUpBasis(const SMatrix44& m, EUpAxis mode);
// A transform of document units expressed in metres, unit metres per unit:
// its translation scales, its linear part stays.
inline SMatrix44 ToMetres(SMatrix44 m, float unit)
{
    if (unit != 1)
        for (size_t i = 12; i < 15; ++i)
            m[i] *= unit;
    return m;
}
// A point or direction of the document turned into the Y-up frame.
inline void ToYUpVector(float* v, EUpAxis mode)
{
    const float x = v[0], y = v[1];
    if (mode == eUpAxisZ) {
        v[1] = v[2];
        v[2] = -y;
    } else if (mode == eUpAxisX) {
        v[0] = -y;
        v[1] = x;
    }
}
