#include "import/ImportMath.h"

SMatrix44 RotationMatrix(float x, float y, float z, float degrees)
{
    const float a = degrees * kDegToRad;
    const float c = std::cos(a);
    const float s = std::sin(a);
    const float t = 1 - c;
    // Counter-clockwise about the axis for row vectors: the transpose of the
    // column-vector rotation Collada documents mean.
    SMatrix44 m{};
    m[0] = x * x * t + c;
    m[1] = x * y * t + z * s;
    m[2] = x * z * t - y * s;
    m[4] = x * y * t - z * s;
    m[5] = y * y * t + c;
    m[6] = y * z * t + x * s;
    m[8] = x * z * t + y * s;
    m[9] = y * z * t - x * s;
    m[10] = z * z * t + c;
    m[15] = 1;
    return m;
}
