#pragma once
// Matrix helpers of the importer, on top of the shared ones in base/Math.h.
#include <cmath>

#include "base/Math.h"

#include "collada/C2QHub.h"
#include "scene/ImportScene.h"

// Degrees to radians as the importer has always converted them.
constexpr float kDegToRad = 0.01745329238474369f;

// The rotate element's matrix for a (normalised) axis and an angle in
// degrees: counter-clockwise about the axis, so (1,0,0) turned 90 degrees
// about +Z lands on (0,1,0).
SMatrix44 RotationMatrix(float x, float y, float z, float degrees);

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

inline float Length3(const float* v)
{
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}
// Normalises in place; a zero (or non-finite) length leaves the vector alone.
inline void Normalise3(float* v)
{
    const float len = Length3(v);
    if (len > 0 && std::isfinite(len)) {
        v[0] /= len;
        v[1] /= len;
        v[2] /= len;
    }
}
