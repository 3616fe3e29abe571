#include "collada/DAEMath.h"

#include <cmath>

SMatrix44 RotationMatrix(float x, float y, float z, float degrees)
{
    const float a = degrees * kDegToRad;
    const float c = std::cos(a);
    const float s = std::sin(a);
    const float t = 1 - c;
    SMatrix44 m{};
    m[0] = x * x * t + c;
    m[1] = x * y * t - z * s;
    m[2] = y * s + x * z * t;
    m[4] = x * y * t + z * s;
    m[5] = y * y * t + c;
    m[6] = y * z * t - x * s;
    m[8] = x * z * t - y * s;
    m[9] = y * z * t + x * s;
    m[10] = z * z * t + c;
    m[15] = 1;
    return m;
}

void ApplyAxisConversion(SMatrix44& m, EUpAxis mode)
{
    if (mode != eUpAxisZ)
        return;
    // The translation row is converted with the others: a top-level node given
    // by a matrix lands where the same node given by translate would.
    for (int i = 0; i < 4; ++i) {
        const float c1 = m[4 * i + 1];
        m[4 * i + 1] = m[4 * i + 2];
        m[4 * i + 2] = -c1;
    }
}

SMatrix44 AxisConversionOfIdentity(EUpAxis mode)
{
    SMatrix44 m = MatrixIdentity();
    ApplyAxisConversion(m, mode);
    return m;
}
