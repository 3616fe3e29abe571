#include "collada/DAEMath.h"

#include <cmath>

SMatrix44 UpAxisBasis(EUpAxis mode)
{
    SMatrix44 m = MatrixIdentity();
    if (mode == eUpAxisZ) {
        // (x, y, z) -> (x, z, -y)
        m[5] = 0;
        m[6] = -1;
        m[9] = 1;
        m[10] = 0;
    } else if (mode == eUpAxisX) {
        // (x, y, z) -> (-y, x, z)
        m[0] = 0;
        m[1] = 1;
        m[4] = -1;
        m[5] = 0;
    }
    return m;
}

SMatrix44 ToYUpBasis(const SMatrix44& m, EUpAxis mode)
{
    if (mode != eUpAxisZ && mode != eUpAxisX)
        return m;
    return MatrixMultiply(Transpose(UpAxisBasis(mode)), MatrixMultiply(m, UpAxisBasis(mode)));
}
