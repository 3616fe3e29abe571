#include "base/Math.h"

SMatrix44 MatrixMultiply(const SMatrix44& a, const SMatrix44& b)
{
    SMatrix44 out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out[r * 4 + c] = a[r * 4 + 0] * b[0 * 4 + c] + a[r * 4 + 1] * b[1 * 4 + c] + a[r * 4 + 2] * b[2 * 4 + c] +
                             a[r * 4 + 3] * b[3 * 4 + c];
    return out;
}

SMatrix44 Transpose(const SMatrix44& m)
{
    SMatrix44 out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out[4 * r + c] = m[4 * c + r];
    return out;
}

SMatrix44 TranslationMatrix(float x, float y, float z)
{
    SMatrix44 m = MatrixIdentity();
    m[12] = x;
    m[13] = y;
    m[14] = z;
    return m;
}

SMatrix44 ScaleMatrix(float x, float y, float z)
{
    SMatrix44 m = MatrixIdentity();
    m[0] = x;
    m[5] = y;
    m[10] = z;
    return m;
}

SMatrix44 QuaternionMatrix(const float q[4])
{
    const float x = q[0], y = q[1], z = q[2], w = q[3];
    return {1 - 2 * y * y - 2 * z * z,
            2 * x * y - 2 * z * w,
            2 * y * w + 2 * x * z,
            0,
            2 * x * y + 2 * z * w,
            1 - 2 * x * x - 2 * z * z,
            2 * y * z - 2 * x * w,
            0,
            2 * x * z - 2 * y * w,
            2 * x * w + 2 * y * z,
            1 - 2 * x * x - 2 * y * y,
            0,
            0,
            0,
            0,
            1};
}
