#pragma once
// Affine decomposition after Shoemake and Duff ("Matrix Animation and Polar
// Decomposition", 1992): A = T F R U K U', with the translation T, the sign
// of the determinant F, the essential rotation R, the stretch rotation U and
// the stretch factors K.
struct SAffineParts {
    float t[3] = {0, 0, 0};    // translation
    float q[4] = {0, 0, 0, 1}; // essential rotation, quaternion x, y, z, w
    float u[4] = {0, 0, 0, 1}; // stretch rotation
    float k[3] = {1, 1, 1};    // stretch factors
    float f = 1;               // sign of the determinant
};

// a[i][j] is the 3x3 part as it multiplies column vectors; t the translation.
SAffineParts DecomposeAffine(const float a[3][3], const float t[3]);

// The rotation matrix of a quaternion, out[i][j] as for column vectors.
void QuaternionToMatrix(const float q[4], float out[3][3]);
