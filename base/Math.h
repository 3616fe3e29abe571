#pragma once
// Matrices, quaternions and 3-vectors shared by the importers, the scene model
// and the processing. Matrices are 16 floats in the row-vector convention:
// translation in elements 12-14, a point p becomes p x M, and the product is
// row-major, (A x B)[4r+c] = sum_k A[4r+k] B[4k+c], so A x B applies A first.
#include <array>

using SMatrix44 = std::array<float, 16>;

inline SMatrix44 MatrixIdentity()
{
    return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

SMatrix44 MatrixMultiply(const SMatrix44& a, const SMatrix44& b);
SMatrix44 Transpose(const SMatrix44& m);
SMatrix44 TranslationMatrix(float x, float y, float z);
SMatrix44 ScaleMatrix(float x, float y, float z);
// Rotation of a unit quaternion (x, y, z, w) in this convention; the
// quaternion is taken as it is, not normalised.
SMatrix44 QuaternionMatrix(const float q[4]);

inline float Dot3(const float* a, const float* b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// out = a x b; out may be a or b.
inline void Cross3(float* out, const float* a, const float* b)
{
    const float x = a[1] * b[2] - a[2] * b[1];
    const float y = a[2] * b[0] - a[0] * b[2];
    const float z = a[0] * b[1] - a[1] * b[0];
    out[0] = x;
    out[1] = y;
    out[2] = z;
}
