#include "import/AffineDecompose.h"

#include <cmath>
#include <utility>

#include "base/Math.h"

namespace {

enum { X = 0, Y = 1, Z = 2, W = 3 };
typedef float HMatrix[4][4];

struct Quat {
    float x, y, z, w;
};

const HMatrix kIdentity = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

void MatCopy(HMatrix c, const HMatrix a, int n)
{
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            c[i][j] = a[i][j];
}

void MatTranspose(HMatrix at, const HMatrix a, int n)
{
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            at[i][j] = a[j][i];
}

void MatPad(HMatrix a)
{
    a[W][X] = a[X][W] = a[W][Y] = a[Y][W] = a[W][Z] = a[Z][W] = 0;
    a[W][W] = 1;
}

void MatMult3(const HMatrix a, const HMatrix b, HMatrix ab)
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            ab[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
}

void AdjointTranspose(const HMatrix m, HMatrix madjt)
{
    Cross3(madjt[0], m[1], m[2]);
    Cross3(madjt[1], m[2], m[0]);
    Cross3(madjt[2], m[0], m[1]);
}

Quat QtConj(Quat q)
{
    return {-q.x, -q.y, -q.z, q.w};
}

Quat QtMul(Quat l, Quat r)
{
    Quat q;
    q.w = l.w * r.w - l.x * r.x - l.y * r.y - l.z * r.z;
    q.x = l.w * r.x + l.x * r.w + l.y * r.z - l.z * r.y;
    q.y = l.w * r.y + l.y * r.w + l.z * r.x - l.x * r.z;
    q.z = l.w * r.z + l.z * r.w + l.x * r.y - l.y * r.x;
    return q;
}

// For a rotation matrix that multiplies column vectors.
Quat QtFromMatrix(const HMatrix mat)
{
    Quat qu{0, 0, 0, 1};
    const double tr = double(mat[X][X]) + mat[Y][Y] + mat[Z][Z];
    if (tr >= 0.0) {
        double s = std::sqrt(tr + mat[W][W]);
        qu.w = float(s * 0.5);
        s = 0.5 / s;
        qu.x = float((mat[Z][Y] - mat[Y][Z]) * s);
        qu.y = float((mat[X][Z] - mat[Z][X]) * s);
        qu.z = float((mat[Y][X] - mat[X][Y]) * s);
    } else {
        int h = X;
        if (mat[Y][Y] > mat[X][X])
            h = Y;
        if (mat[Z][Z] > mat[h][h])
            h = Z;
        float* q[3] = {&qu.x, &qu.y, &qu.z};
        const int i = h, j = (h + 1) % 3, k = (h + 2) % 3;
        double s = std::sqrt((mat[i][i] - (mat[j][j] + mat[k][k])) + mat[W][W]);
        *q[i] = float(s * 0.5);
        s = 0.5 / s;
        *q[j] = float((mat[i][j] + mat[j][i]) * s);
        *q[k] = float((mat[k][i] + mat[i][k]) * s);
        qu.w = float((mat[k][j] - mat[j][k]) * s);
    }
    if (mat[W][W] != 1.0f) {
        const float scale = float(1 / std::sqrt(mat[W][W]));
        qu = {qu.x * scale, qu.y * scale, qu.z * scale, qu.w * scale};
    }
    return qu;
}

float MatNorm(const HMatrix m, bool tpose)
{
    float max = 0;
    for (int i = 0; i < 3; ++i) {
        const float sum = tpose ? std::fabs(m[0][i]) + std::fabs(m[1][i]) + std::fabs(m[2][i])
                                : std::fabs(m[i][0]) + std::fabs(m[i][1]) + std::fabs(m[i][2]);
        if (max < sum)
            max = sum;
    }
    return max;
}
float NormInf(const HMatrix m)
{
    return MatNorm(m, false);
}
float NormOne(const HMatrix m)
{
    return MatNorm(m, true);
}

int FindMaxCol(const HMatrix m)
{
    float max = 0;
    int col = -1;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const float a = std::fabs(m[i][j]);
            if (a > max) {
                max = a;
                col = j;
            }
        }
    return col;
}

void MakeReflector(const float* v, float* u)
{
    float s = std::sqrt(Dot3(v, v));
    u[0] = v[0];
    u[1] = v[1];
    u[2] = v[2] + ((v[2] < 0) ? -s : s);
    s = std::sqrt(2 / Dot3(u, u));
    u[0] *= s;
    u[1] *= s;
    u[2] *= s;
}

void ReflectCols(HMatrix m, const float* u)
{
    for (int i = 0; i < 3; ++i) {
        const float s = u[0] * m[0][i] + u[1] * m[1][i] + u[2] * m[2][i];
        for (int j = 0; j < 3; ++j)
            m[j][i] -= u[j] * s;
    }
}

void ReflectRows(HMatrix m, const float* u)
{
    for (int i = 0; i < 3; ++i) {
        const float s = Dot3(u, m[i]);
        for (int j = 0; j < 3; ++j)
            m[i][j] -= u[j] * s;
    }
}

void DoRank1(HMatrix m, HMatrix q)
{
    MatCopy(q, kIdentity, 4);
    const int col = FindMaxCol(m);
    if (col < 0)
        return; // rank 0
    float v1[3] = {m[0][col], m[1][col], m[2][col]};
    MakeReflector(v1, v1);
    ReflectCols(m, v1);
    float v2[3] = {m[2][0], m[2][1], m[2][2]};
    MakeReflector(v2, v2);
    ReflectRows(m, v2);
    if (m[2][2] < 0)
        q[2][2] = -1;
    ReflectCols(q, v1);
    ReflectRows(q, v2);
}

void DoRank2(HMatrix m, HMatrix madjt, HMatrix q)
{
    const int col = FindMaxCol(madjt);
    if (col < 0) {
        DoRank1(m, q);
        return;
    }
    float v1[3] = {madjt[0][col], madjt[1][col], madjt[2][col]};
    MakeReflector(v1, v1);
    ReflectCols(m, v1);
    float v2[3];
    Cross3(v2, m[0], m[1]);
    MakeReflector(v2, v2);
    ReflectRows(m, v2);
    const float w = m[0][0], x = m[0][1], y = m[1][0], z = m[1][1];
    float c, s, d;
    if (w * z > x * y) {
        c = z + w;
        s = y - x;
        d = std::sqrt(c * c + s * s);
        c /= d;
        s /= d;
        q[0][0] = q[1][1] = c;
        q[1][0] = s;
        q[0][1] = -s;
    } else {
        c = z - w;
        s = y + x;
        d = std::sqrt(c * c + s * s);
        c /= d;
        s /= d;
        q[1][1] = c;
        q[0][0] = -c;
        q[0][1] = q[1][0] = s;
    }
    q[0][2] = q[2][0] = q[1][2] = q[2][1] = 0;
    q[2][2] = 1;
    ReflectCols(q, v1);
    ReflectRows(q, v2);
}

// M = Q S with Q orthogonal and S symmetric; returns det M.
float PolarDecomp(const HMatrix m, HMatrix q, HMatrix s)
{
    const float kTolerance = 1.0e-6f;
    HMatrix mk, madjtk, ek;
    float det = 0;
    MatTranspose(mk, m, 3);
    float mOne = NormOne(mk), mInf = NormInf(mk);
    // The iteration converges in a handful of steps; the bound keeps
    // non-finite input from spinning.
    for (int iteration = 0; iteration < 100; ++iteration) {
        AdjointTranspose(mk, madjtk);
        det = Dot3(mk[0], madjtk[0]);
        if (det == 0) {
            DoRank2(mk, madjtk, mk);
            break;
        }
        const float madjtOne = NormOne(madjtk), madjtInf = NormInf(madjtk);
        const float gamma = std::sqrt(std::sqrt((madjtOne * madjtInf) / (mOne * mInf)) / std::fabs(det));
        const float g1 = gamma * 0.5f;
        const float g2 = 0.5f / (gamma * det);
        MatCopy(ek, mk, 3);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                mk[i][j] = g1 * mk[i][j] + g2 * madjtk[i][j];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                ek[i][j] -= mk[i][j];
        const float eOne = NormOne(ek);
        mOne = NormOne(mk);
        mInf = NormInf(mk);
        if (!(eOne > mOne * kTolerance))
            break;
    }
    MatTranspose(q, mk, 3);
    MatPad(q);
    MatMult3(mk, m, s);
    MatPad(s);
    for (int i = 0; i < 3; ++i)
        for (int j = i; j < 3; ++j)
            s[i][j] = s[j][i] = 0.5f * (s[i][j] + s[j][i]);
    return det;
}

// S = U K U' for symmetric positive semi-definite S (Jacobi method).
void SpectDecomp(const HMatrix s, HMatrix u, float k[3])
{
    double diag[3], offd[3];
    static const int kNext[] = {Y, Z, X};
    MatCopy(u, kIdentity, 4);
    diag[X] = s[X][X];
    diag[Y] = s[Y][Y];
    diag[Z] = s[Z][Z];
    offd[X] = s[Y][Z];
    offd[Y] = s[Z][X];
    offd[Z] = s[X][Y];
    for (int sweep = 20; sweep > 0; --sweep) {
        const double sm = std::fabs(offd[X]) + std::fabs(offd[Y]) + std::fabs(offd[Z]);
        if (sm == 0.0)
            break;
        for (int i = Z; i >= X; --i) {
            const int p = kNext[i];
            const int q = kNext[p];
            const double fabsOffDi = std::fabs(offd[i]);
            const double g = 100.0 * fabsOffDi;
            if (fabsOffDi > 0.0) {
                const double h = diag[q] - diag[p];
                const double fabsh = std::fabs(h);
                double t;
                if (fabsh + g == fabsh) {
                    t = offd[i] / h;
                } else {
                    const double theta = 0.5 * h / offd[i];
                    t = 1.0 / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                    if (theta < 0.0)
                        t = -t;
                }
                const double c = 1.0 / std::sqrt(t * t + 1.0);
                const double sn = t * c;
                const double tau = sn / (c + 1.0);
                const double ta = t * offd[i];
                offd[i] = 0.0;
                diag[p] -= ta;
                diag[q] += ta;
                const double offdq = offd[q];
                offd[q] -= sn * (offd[p] + tau * offd[q]);
                offd[p] += sn * (offdq - tau * offd[p]);
                for (int j = Z; j >= X; --j) {
                    const double a = u[j][p], b = u[j][q];
                    u[j][p] -= float(sn * (b + tau * a));
                    u[j][q] += float(sn * (a - tau * b));
                }
            }
        }
    }
    k[X] = float(diag[X]);
    k[Y] = float(diag[Y]);
    k[Z] = float(diag[Z]);
}

// The quaternion p nearest to the identity that, applied after q, keeps the
// stretch the same up to a permutation of the factors (which it applies).
Quat Snuggle(Quat q, float k[3])
{
    const float kSqrtHalf = 0.7071067811865475244f;
    auto sgn = [](bool n, float v) { return n ? -v : v; };
    auto swap = [](float* a, int i, int j) { std::swap(a[i], a[j]); };
    auto cycle = [](float* a, bool p) {
        if (p) {
            const float t = a[0];
            a[0] = a[1];
            a[1] = a[2];
            a[2] = t;
        } else {
            const float t = a[2];
            a[2] = a[1];
            a[1] = a[0];
            a[0] = t;
        }
    };
    Quat p{0, 0, 0, 1};
    float ka[4] = {k[X], k[Y], k[Z], 0};
    int turn = -1;
    if (ka[X] == ka[Y]) {
        turn = (ka[X] == ka[Z]) ? W : Z;
    } else {
        if (ka[X] == ka[Z])
            turn = Y;
        else if (ka[Y] == ka[Z])
            turn = X;
    }
    if (turn >= 0) {
        const Quat qxtoz = {0, kSqrtHalf, 0, kSqrtHalf};
        const Quat qytoz = {kSqrtHalf, 0, 0, kSqrtHalf};
        const Quat qppmm = {0.5f, 0.5f, -0.5f, -0.5f};
        const Quat qpppp = {0.5f, 0.5f, 0.5f, 0.5f};
        const Quat qmpmm = {-0.5f, 0.5f, -0.5f, -0.5f};
        const Quat qpppm = {0.5f, 0.5f, 0.5f, -0.5f};
        const Quat q0001 = {0, 0, 0, 1};
        const Quat q1000 = {1, 0, 0, 0};
        Quat qtoz;
        switch (turn) {
        default: return QtConj(q);
        case X:
            q = QtMul(q, qtoz = qxtoz);
            swap(ka, X, Z);
            break;
        case Y:
            q = QtMul(q, qtoz = qytoz);
            swap(ka, Y, Z);
            break;
        case Z: qtoz = q0001; break;
        }
        q = QtConj(q);
        double mag[3];
        bool neg[3];
        mag[0] = double(q.z) * q.z + double(q.w) * q.w - 0.5;
        mag[1] = double(q.x) * q.z - double(q.y) * q.w;
        mag[2] = double(q.y) * q.z + double(q.x) * q.w;
        for (int i = 0; i < 3; ++i) {
            neg[i] = mag[i] < 0.0;
            if (neg[i])
                mag[i] = -mag[i];
        }
        int win;
        if (mag[0] > mag[1])
            win = mag[0] > mag[2] ? 0 : 2;
        else
            win = mag[1] > mag[2] ? 1 : 2;
        switch (win) {
        case 0: p = neg[0] ? q1000 : q0001; break;
        case 1:
            p = neg[1] ? qppmm : qpppp;
            cycle(ka, false);
            break;
        default:
            p = neg[2] ? qmpmm : qpppm;
            cycle(ka, true);
            break;
        }
        const Quat qp = QtMul(q, p);
        const float t = float(std::sqrt(mag[win] + 0.5));
        p = QtMul(p, Quat{0, 0, -qp.z / t, qp.w / t});
        p = QtMul(qtoz, QtConj(p));
    } else {
        float qa[4] = {q.x, q.y, q.z, q.w};
        float pa[4] = {0, 0, 0, 0};
        bool neg[4];
        bool par = false;
        for (int i = 0; i < 4; ++i) {
            neg[i] = qa[i] < 0;
            if (neg[i])
                qa[i] = -qa[i];
            par ^= neg[i];
        }
        // Two largest components, indices in hi and lo.
        int lo = qa[0] > qa[1] ? 0 : 1;
        int hi = qa[2] > qa[3] ? 2 : 3;
        if (qa[lo] > qa[hi]) {
            if (qa[lo ^ 1] > qa[hi]) {
                hi = lo;
                lo ^= 1;
            } else {
                std::swap(hi, lo);
            }
        } else {
            if (qa[hi ^ 1] > qa[lo])
                lo = hi ^ 1;
        }
        const double all = (double(qa[0]) + qa[1] + qa[2] + qa[3]) * 0.5;
        const double two = (double(qa[hi]) + qa[lo]) * kSqrtHalf;
        const double big = qa[hi];
        if (all > two) {
            if (all > big) {
                for (int i = 0; i < 4; ++i)
                    pa[i] = sgn(neg[i], 0.5f);
                cycle(ka, par);
            } else {
                pa[hi] = sgn(neg[hi], 1.0f);
            }
        } else {
            if (two > big) {
                pa[hi] = sgn(neg[hi], kSqrtHalf);
                pa[lo] = sgn(neg[lo], kSqrtHalf);
                if (lo > hi)
                    std::swap(hi, lo);
                if (hi == W) {
                    static const int kNextOf[] = {1, 2, 0};
                    hi = kNextOf[lo];
                    lo = 3 - hi - lo;
                }
                swap(ka, hi, lo);
            } else {
                pa[hi] = sgn(neg[hi], 1.0f);
            }
        }
        p = {-pa[0], -pa[1], -pa[2], pa[3]};
    }
    k[X] = ka[X];
    k[Y] = ka[Y];
    k[Z] = ka[Z];
    return p;
}

} // namespace

SAffineParts DecomposeAffine(const float a[3][3], const float t[3])
{
    SAffineParts parts;
    HMatrix m, q, s, u;
    MatCopy(m, kIdentity, 4);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m[i][j] = a[i][j];
    parts.t[0] = t[0];
    parts.t[1] = t[1];
    parts.t[2] = t[2];
    const float det = PolarDecomp(m, q, s);
    if (det < 0) {
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                q[i][j] = -q[i][j];
        parts.f = -1;
    } else {
        parts.f = 1;
    }
    const Quat rq = QtFromMatrix(q);
    parts.q[0] = rq.x, parts.q[1] = rq.y, parts.q[2] = rq.z, parts.q[3] = rq.w;
    SpectDecomp(s, u, parts.k);
    Quat uq = QtFromMatrix(u);
    const Quat p = Snuggle(uq, parts.k);
    uq = QtMul(uq, p);
    parts.u[0] = uq.x, parts.u[1] = uq.y, parts.u[2] = uq.z, parts.u[3] = uq.w;
    return parts;
}

void QuaternionToMatrix(const float quat[4], float out[3][3])
{
    const double x = quat[0], y = quat[1], z = quat[2], w = quat[3];
    const double nq = x * x + y * y + z * z + w * w;
    const double s = nq > 0.0 ? 2.0 / nq : 0.0;
    const double xs = x * s, ys = y * s, zs = z * s;
    const double wx = w * xs, wy = w * ys, wz = w * zs;
    const double xx = x * xs, xy = x * ys, xz = x * zs;
    const double yy = y * ys, yz = y * zs, zz = z * zs;
    out[X][X] = float(1.0 - (yy + zz));
    out[Y][X] = float(xy + wz);
    out[Z][X] = float(xz - wy);
    out[X][Y] = float(xy - wz);
    out[Y][Y] = float(1.0 - (xx + zz));
    out[Z][Y] = float(yz + wx);
    out[X][Z] = float(xz + wy);
    out[Y][Z] = float(yz - wx);
    out[Z][Z] = float(1.0 - (xx + yy));
}
