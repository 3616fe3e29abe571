#pragma once
// Matrix helpers of the importer, on top of the shared ones in base/Math.h.
#include <cmath>

#include "base/Math.h"

#include "collada/C2QHub.h"
#include "scene/ImportScene.h"

// Degrees to radians as the importer has always converted them.
constexpr float kDegToRad = 0.01745329238474369f;

// The rotate element's matrix for a (normalised) axis and an angle in degrees.
SMatrix44 RotationMatrix(float x, float y, float z, float degrees);

// Turns a matrix of a top-level node into the Y-up frame. For Z-up the
// columns 1 and 2 of every row become (column 2, -column 1), which is the
// product m * C with C the conversion of the identity; for the other modes
// nothing changes.
void ApplyAxisConversion(SMatrix44& m, EUpAxis mode);
SMatrix44 AxisConversionOfIdentity(EUpAxis mode);

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
