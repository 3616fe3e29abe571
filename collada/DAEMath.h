#pragma once
// Matrix helpers of the importer, on top of the shared ones in base/Math.h.
#include "base/Math.h"
#include "import/ImportMath.h"

#include "collada/UpAxis.h"
#include "scene/ImportScene.h"

// The change of basis of the up axis, as a matrix for row vectors: for Z-up
// (x, y, z) -> (x, z, -y), so the document's +Z comes out as +Y; for the
// other modes the identity. It is a rotation: its inverse is its transpose.
SMatrix44 UpAxisBasis(EUpAxis mode);
// A transform of the document's frame expressed in the Y-up frame:
// inverse(C) * m * C with C = UpAxisBasis(mode). Applied to every node of a
// hierarchy, world matrices convert the same way, and points converted by C
// land where the document's points land, converted.
SMatrix44 ToYUpBasis(const SMatrix44& m, EUpAxis mode);
// A point or direction of the document turned into the Y-up frame.
inline void ToYUpVector(float* v, EUpAxis mode)
{
    if (mode != eUpAxisZ)
        return;
    const float y = v[1];
    v[1] = v[2];
    v[2] = -y;
}
