#include "collada/PolygonTriangulate.h"

#include <algorithm>
#include <cmath>

namespace {

struct SPoint2 {
    double x, y;
};

// Twice the signed area of (o, a, b): positive when it turns left.
double Turn(const SPoint2& o, const SPoint2& a, const SPoint2& b)
{
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

bool Same(const SPoint2& a, const SPoint2& b)
{
    return a.x == b.x && a.y == b.y;
}

// Segments ab and cd cross at a point inside both.
bool Cross(const SPoint2& a, const SPoint2& b, const SPoint2& c, const SPoint2& d)
{
    const double d1 = Turn(c, d, a), d2 = Turn(c, d, b), d3 = Turn(a, b, c), d4 = Turn(a, b, d);
    return ((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0));
}

// p inside or on the left-turning triangle abc.
bool Inside(const SPoint2& p, const SPoint2& a, const SPoint2& b, const SPoint2& c)
{
    return Turn(a, b, p) >= 0 && Turn(b, c, p) >= 0 && Turn(c, a, p) >= 0;
}

// A left-turning ring every corner of which turns left (or goes straight)
// and that goes round once: its edges change direction in x and in y at
// most twice each.
bool IsConvex(const std::vector<SPoint2>& p, size_t n)
{
    int xFlips = 0, yFlips = 0;
    double lastDx = 0, lastDy = 0;
    for (size_t i = 0; i < n + 1; ++i) {
        const SPoint2& a = p[i % n];
        const SPoint2& b = p[(i + 1) % n];
        const SPoint2& c = p[(i + 2) % n];
        if (i < n && Turn(a, b, c) < 0)
            return false;
        const double dx = b.x - a.x, dy = b.y - a.y;
        if (dx != 0) {
            xFlips += lastDx != 0 && (dx > 0) != (lastDx > 0);
            lastDx = dx;
        }
        if (dy != 0) {
            yFlips += lastDy != 0 && (dy > 0) != (lastDy > 0);
            lastDy = dy;
        }
    }
    return xFlips <= 2 && yFlips <= 2;
}

double SignedArea(const std::vector<SPoint2>& p, const std::vector<uint32_t>& ring)
{
    double area = 0;
    for (size_t i = 0; i < ring.size(); ++i) {
        const SPoint2& a = p[ring[i]];
        const SPoint2& b = p[ring[(i + 1) % ring.size()]];
        area += a.x * b.y - b.x * a.y;
    }
    return area;
}

// The segment from ring position k of `ring` to point h crosses no edge of
// the ring or of the holes.
bool Visible(const std::vector<SPoint2>& p, const std::vector<uint32_t>& ring,
             const std::vector<std::vector<uint32_t>>& holes, const SPoint2& from, const SPoint2& to)
{
    auto crossesRing = [&](const std::vector<uint32_t>& r) {
        for (size_t i = 0; i < r.size(); ++i)
            if (Cross(from, to, p[r[i]], p[r[(i + 1) % r.size()]]))
                return true;
        return false;
    };
    if (crossesRing(ring))
        return false;
    for (const std::vector<uint32_t>& h : holes)
        if (crossesRing(h))
            return false;
    return true;
}

} // namespace

EPolygonSplit TriangulatePolygon(const float* points, const std::vector<uint32_t>& ringSizes,
                                 std::vector<uint32_t>* out)
{
    out->clear();
    if (ringSizes.empty() || ringSizes[0] < 3)
        return ePolygonFailed;
    size_t total = 0;
    for (uint32_t n : ringSizes)
        total += n;
    const size_t outer = ringSizes[0];

    // The plane: the Newell normal of the outer ring; project by dropping
    // its largest axis, keeping the ring's turn seen from the normal's side
    // a left turn.
    double normal[3] = {0, 0, 0};
    for (size_t i = 0; i < outer; ++i) {
        const float* a = points + 3 * i;
        const float* b = points + 3 * ((i + 1) % outer);
        normal[0] += (double(a[1]) - b[1]) * (double(a[2]) + b[2]);
        normal[1] += (double(a[2]) - b[2]) * (double(a[0]) + b[0]);
        normal[2] += (double(a[0]) - b[0]) * (double(a[1]) + b[1]);
    }
    int axis = 0;
    for (int k = 1; k < 3; ++k)
        if (std::fabs(normal[k]) > std::fabs(normal[axis]))
            axis = k;
    if (!(std::fabs(normal[axis]) > 0) || !std::isfinite(normal[axis]))
        return ePolygonFailed; // collinear or broken
    int u = (axis + 1) % 3, v = (axis + 2) % 3;
    if (normal[axis] < 0)
        std::swap(u, v);
    std::vector<SPoint2> p(total);
    for (size_t i = 0; i < total; ++i)
        p[i] = {double(points[3 * i + size_t(u)]), double(points[3 * i + size_t(v)])};

    bool holes = false;
    for (size_t r = 1; r < ringSizes.size(); ++r)
        holes |= ringSizes[r] >= 3;
    if (!holes && IsConvex(p, outer))
        return ePolygonFan;
    if (total > kMaxClippedPolygonVertices)
        return ePolygonFailed;

    // Rings as vertex numbers; holes turn right.
    std::vector<uint32_t> ring(outer);
    for (size_t i = 0; i < outer; ++i)
        ring[i] = uint32_t(i);
    std::vector<std::vector<uint32_t>> pending;
    size_t start = outer;
    for (size_t r = 1; r < ringSizes.size(); ++r) {
        std::vector<uint32_t> h(ringSizes[r]);
        for (size_t i = 0; i < h.size(); ++i)
            h[i] = uint32_t(start + i);
        start += ringSizes[r];
        if (h.size() < 3)
            continue; // no area to cut out
        if (SignedArea(p, h) > 0)
            std::reverse(h.begin(), h.end());
        pending.push_back(std::move(h));
    }
    // Bridge the holes in, rightmost first: from each hole's rightmost
    // vertex to the nearest ring vertex the bridge reaches without crossing
    // an edge. Both ends appear twice in the ring afterwards.
    auto rightmost = [&](const std::vector<uint32_t>& h) {
        size_t best = 0;
        for (size_t i = 1; i < h.size(); ++i)
            if (p[h[i]].x > p[h[best]].x)
                best = i;
        return best;
    };
    std::sort(pending.begin(), pending.end(), [&](const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
        return p[a[rightmost(a)]].x > p[b[rightmost(b)]].x;
    });
    while (!pending.empty()) {
        const std::vector<uint32_t> h = std::move(pending.front());
        pending.erase(pending.begin());
        const size_t m = rightmost(h);
        const SPoint2& hp = p[h[m]];
        std::vector<size_t> order(ring.size());
        for (size_t k = 0; k < ring.size(); ++k)
            order[k] = k;
        auto distance = [&](size_t k) {
            const double dx = p[ring[k]].x - hp.x, dy = p[ring[k]].y - hp.y;
            return dx * dx + dy * dy;
        };
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return distance(a) < distance(b); });
        std::vector<std::vector<uint32_t>> others = pending;
        others.push_back(h);
        size_t bridge = ring.size();
        for (size_t k : order)
            if (Visible(p, ring, others, p[ring[k]], hp)) {
                bridge = k;
                break;
            }
        if (bridge == ring.size())
            return ePolygonFailed;
        std::vector<uint32_t> merged(ring.begin(), ring.begin() + std::ptrdiff_t(bridge) + 1);
        for (size_t i = 0; i <= h.size(); ++i)
            merged.push_back(h[(m + i) % h.size()]);
        merged.insert(merged.end(), ring.begin() + std::ptrdiff_t(bridge), ring.end());
        ring.swap(merged);
    }

    // Ear clipping over a linked ring: a left-turning corner whose triangle
    // holds no other vertex is cut off; a full round without one fails.
    const size_t n = ring.size();
    std::vector<size_t> prev(n), next(n);
    for (size_t i = 0; i < n; ++i) {
        prev[i] = (i + n - 1) % n;
        next[i] = (i + 1) % n;
    }
    out->reserve(3 * (n - 2));
    size_t left = n, at = 0, sinceEar = 0;
    while (left > 3) {
        if (sinceEar > left) {
            out->clear();
            return ePolygonFailed;
        }
        const size_t a = prev[at], c = next[at];
        const SPoint2 &pa = p[ring[a]], &pb = p[ring[at]], &pc = p[ring[c]];
        bool ear = Turn(pa, pb, pc) > 0;
        for (size_t j = next[c]; ear && j != a; j = next[j]) {
            const SPoint2& q = p[ring[j]];
            if (!Same(q, pa) && !Same(q, pb) && !Same(q, pc) && Inside(q, pa, pb, pc))
                ear = false;
        }
        if (!ear) {
            at = c;
            ++sinceEar;
            continue;
        }
        out->insert(out->end(), {ring[a], ring[at], ring[c]});
        next[a] = c;
        prev[c] = a;
        --left;
        at = a;
        sinceEar = 0;
    }
    out->insert(out->end(), {ring[prev[at]], ring[at], ring[next[at]]});
    return ePolygonClipped;
}
