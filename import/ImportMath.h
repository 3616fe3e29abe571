#pragma once
// Matrix and vector helpers of the importers, on top of the shared ones in
// base/Math.h.
#include <cmath>

#include "base/Math.h"

// Degrees to radians as the importer has always converted them.
constexpr float kDegToRad = 0.01745329238474369f;

// The rotate element's matrix for a (normalised) axis and an angle in
// degrees: counter-clockwise about the axis, so (1,0,0) turned 90 degrees
// about +Z lands on (0,1,0).
SMatrix44 RotationMatrix(float x, float y, float z, float degrees);

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
