#pragma once
// The block-based geometry sort exactly as its description reads: every
// round scans every big-group vertex for seeds and grows each seed's block
// from scratch, and every candidate is evaluated each time it is met. Slow;
// only for checking the real sort on small meshes.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace reference {

class CLiteralGeometrySort {
public:
    CLiteralGeometrySort(const uint32_t* faces, uint32_t vertexCount, uint32_t faceCount, uint32_t maxV, uint32_t maxT)
        : m_f(faces), m_vc(vertexCount), m_fc(faceCount), m_maxV(maxV), m_maxT(maxT)
    {
        m_tris.resize(vertexCount);
        for (uint32_t t = 0; t < faceCount; ++t)
            for (int k = 0; k < 3; ++k) {
                const uint32_t v = faces[t * 3 + k];
                if (m_tris[v].empty() || m_tris[v].back() != t)
                    m_tris[v].push_back(t);
            }
        m_remaining.resize(vertexCount);
        for (uint32_t v = 0; v < vertexCount; ++v)
            m_remaining[v] = uint32_t(m_tris[v].size());
        m_emitted.assign(faceCount, false);
        m_buckets.assign(maxV > 4 ? maxV - 3 : 1, {});
    }

    std::vector<uint32_t> Run()
    {
        std::vector<bool> grouped(m_vc, false);
        for (uint32_t s = 0; s < m_vc; ++s) {
            if (grouped[s])
                continue;
            std::vector<uint32_t> g{s};
            grouped[s] = true;
            for (size_t i = 0; i < g.size(); ++i)
                for (uint32_t t : m_tris[g[i]])
                    for (int k = 0; k < 3; ++k) {
                        const uint32_t v = m_f[t * 3 + k];
                        if (!grouped[v]) {
                            grouped[v] = true;
                            g.push_back(v);
                        }
                    }
            AddGroup(g);
        }
        while (m_order.size() < m_fc) {
            SBlock b;
            if (BigRound(&b)) {
                Emit(b);
                continue;
            }
            int partial = -1;
            SmallRound(b, &partial);
            if (b.verts.empty() && b.tris.empty())
                break;
            Emit(b);
            if (partial >= 0) {
                std::vector<uint32_t> left;
                for (uint32_t v : m_groups[size_t(partial)])
                    if (m_remaining[v])
                        left.push_back(v);
                m_groups[size_t(partial)] = left;
                if (left.size() >= 3)
                    m_buckets[left.size() - 3].push_back(partial);
            }
        }
        for (uint32_t t = 0; t < m_fc; ++t)
            if (!m_emitted[t])
                m_order.push_back(t);
        return m_order;
    }

private:
    struct SBlock {
        std::vector<uint32_t> verts, tris;
        int score = 0;
        bool HasV(uint32_t v) const { return std::find(verts.begin(), verts.end(), v) != verts.end(); }
        bool HasT(uint32_t t) const { return std::find(tris.begin(), tris.end(), t) != tris.end(); }
    };
    struct SAdd {
        std::vector<uint32_t> newVerts, tris;
        int score = 0;
    };

    static bool Better(size_t trisA, size_t vertsA, int scoreA, size_t trisB, size_t vertsB, int scoreB)
    {
        const bool infA = vertsA == 0, infB = vertsB == 0;
        const float ra = infA ? 0.0f : float(trisA) / float(vertsA);
        const float rb = infB ? 0.0f : float(trisB) / float(vertsB);
        if ((infA && infB) || (!infA && !infB && std::fabs(ra - rb) <= 0.1f)) {
            if (scoreA != scoreB)
                return scoreA > scoreB;
            return trisA > trisB;
        }
        if (infA != infB)
            return infA;
        return ra > rb;
    }

    int Score(const std::vector<uint32_t>& tris) const
    {
        std::vector<uint32_t> verts, counts;
        for (uint32_t t : tris)
            for (int k = 0; k < 3; ++k) {
                const uint32_t v = m_f[t * 3 + k];
                bool again = false;
                for (int j = 0; j < k; ++j)
                    again = again || m_f[t * 3 + j] == v;
                if (again)
                    continue;
                const auto it = std::find(verts.begin(), verts.end(), v);
                if (it == verts.end()) {
                    verts.push_back(v);
                    counts.push_back(1);
                } else {
                    ++counts[size_t(it - verts.begin())];
                }
            }
        int score = 0;
        for (size_t i = 0; i < verts.size(); ++i) {
            const uint32_t rem = m_remaining[verts[i]];
            if (rem == 1)
                ++score;
            else if (rem - counts[i] == 1)
                --score;
        }
        return score;
    }

    bool Evaluate(const SBlock& b, uint32_t t, SAdd* a) const
    {
        const uint32_t* c = &m_f[t * 3];
        for (int k = 0; k < 3; ++k)
            if (!b.HasV(c[k]) && std::find(a->newVerts.begin(), a->newVerts.end(), c[k]) == a->newVerts.end())
                a->newVerts.push_back(c[k]);
        if (b.verts.size() + a->newVerts.size() > m_maxV)
            return false;
        for (int k = 0; k < 3; ++k)
            for (uint32_t u : m_tris[c[k]]) {
                if (b.tris.size() + a->tris.size() >= m_maxT)
                    break;
                if (m_emitted[u] || b.HasT(u) || std::find(a->tris.begin(), a->tris.end(), u) != a->tris.end())
                    continue;
                bool inside = true;
                for (int i = 0; i < 3; ++i) {
                    const uint32_t v = m_f[u * 3 + i];
                    inside = inside && (b.HasV(v) || v == c[0] || v == c[1] || v == c[2]);
                }
                if (inside)
                    a->tris.push_back(u);
            }
        a->score = Score(a->tris);
        return true;
    }

    void Grow(SBlock& b) const
    {
        while (b.tris.size() < m_maxT) {
            bool have = false;
            SAdd best;
            for (size_t i = 0; i < b.verts.size(); ++i) {
                const uint32_t v = b.verts[i];
                if (m_remaining[v] == 0)
                    continue;
                for (uint32_t t : m_tris[v]) {
                    if (m_emitted[t] || b.HasT(t))
                        continue;
                    SAdd a;
                    if (!Evaluate(b, t, &a))
                        continue;
                    if (!have || Better(a.tris.size(), a.newVerts.size(), a.score, best.tris.size(),
                                        best.newVerts.size(), best.score)) {
                        best = a;
                        have = true;
                    }
                }
            }
            if (!have)
                break;
            for (uint32_t v : best.newVerts)
                b.verts.push_back(v);
            for (uint32_t t : best.tris)
                b.tris.push_back(t);
        }
    }

    bool Full(const SBlock& b) const { return m_maxV - b.verts.size() < 3 || b.tris.size() >= m_maxT; }

    SBlock Seeded(uint32_t seed) const
    {
        SBlock b;
        b.verts.push_back(seed);
        Grow(b);
        b.score = Score(b.tris);
        return b;
    }

    void AddGroup(const std::vector<uint32_t>& verts)
    {
        if (verts.size() < 3)
            return;
        m_groups.push_back(verts);
        const int g = int(m_groups.size() - 1);
        if (verts.size() < m_maxV)
            m_buckets[verts.size() - 3].push_back(g);
        else
            m_big.push_back(g);
    }

    void Split(int g, const SBlock& b)
    {
        std::vector<uint32_t>& group = m_groups[size_t(g)];
        std::vector<uint32_t> kept;
        for (uint32_t v : group)
            if (!b.HasV(v))
                kept.push_back(v);
        group = kept;
        AddGroup(b.verts);
        if (m_groups[size_t(g)].size() < m_maxV) {
            m_big.erase(std::find(m_big.begin(), m_big.end(), g));
            if (m_groups[size_t(g)].size() >= 3)
                m_buckets[m_groups[size_t(g)].size() - 3].push_back(g);
        }
    }

    bool BigRound(SBlock* out)
    {
        while (!m_big.empty()) {
            const int g = m_big.back();
            bool have = false, restart = false;
            SBlock best;
            const std::vector<uint32_t> verts = m_groups[size_t(g)];
            for (uint32_t v : verts) {
                if (m_remaining[v] != 1)
                    continue;
                SBlock b = Seeded(v);
                if (!Full(b)) {
                    Split(g, b);
                    restart = true;
                    break;
                }
                if (!have ||
                    Better(b.tris.size(), b.verts.size(), b.score, best.tris.size(), best.verts.size(), best.score)) {
                    best = b;
                    have = true;
                }
            }
            if (restart)
                continue;
            if (!have) {
                for (uint32_t v : verts) {
                    if (m_remaining[v] == 0)
                        continue;
                    SBlock b = Seeded(v);
                    if (!Full(b)) {
                        Split(g, b);
                        restart = true;
                    } else {
                        best = b;
                        have = true;
                    }
                    break;
                }
            }
            if (restart)
                continue;
            if (!have) {
                m_big.pop_back();
                continue;
            }
            *out = best;
            return true;
        }
        return false;
    }

    void SmallRound(SBlock& b, int* partial)
    {
        for (;;) {
            const size_t free = m_maxV - b.verts.size();
            if (free < 3)
                break;
            int bucket = -1;
            for (int i = int(std::min(free - 3, m_buckets.size() - 1)); i >= 0; --i)
                if (!m_buckets[size_t(i)].empty()) {
                    bucket = i;
                    break;
                }
            if (bucket < 0)
                break;
            const int g = m_buckets[size_t(bucket)].back();
            m_buckets[size_t(bucket)].pop_back();
            for (uint32_t v : m_groups[size_t(g)])
                if (!b.HasV(v))
                    b.verts.push_back(v);
            for (uint32_t v : m_groups[size_t(g)])
                for (uint32_t t : m_tris[v])
                    if (!m_emitted[t] && !b.HasT(t))
                        b.tris.push_back(t);
        }
        if (Full(b))
            return;
        for (size_t i = m_buckets.size(); i-- > 1;) {
            if (m_buckets[i].empty())
                continue;
            const int g = m_buckets[i].back();
            m_buckets[i].pop_back();
            const uint32_t v = m_groups[size_t(g)][0];
            if (!b.HasV(v))
                b.verts.push_back(v);
            Grow(b);
            *partial = g;
            return;
        }
    }

    void Emit(const SBlock& b)
    {
        for (uint32_t t : b.tris) {
            m_order.push_back(t);
            m_emitted[t] = true;
            for (int k = 0; k < 3; ++k) {
                const uint32_t v = m_f[t * 3 + k];
                bool again = false;
                for (int j = 0; j < k; ++j)
                    again = again || m_f[t * 3 + j] == v;
                if (!again)
                    --m_remaining[v];
            }
        }
    }

    const uint32_t* m_f;
    uint32_t m_vc, m_fc, m_maxV, m_maxT;
    std::vector<std::vector<uint32_t>> m_tris;
    std::vector<uint32_t> m_remaining;
    std::vector<bool> m_emitted;
    std::vector<std::vector<uint32_t>> m_groups;
    std::vector<std::vector<int>> m_buckets;
    std::vector<int> m_big;
    std::vector<uint32_t> m_order;
};

// The new face list of GeometrySort with flags 3.
inline std::vector<uint32_t> LiteralGeometrySort(const std::vector<uint32_t>& faces, uint32_t vertexCount,
                                                 uint32_t maxV = 32, uint32_t maxT = 64)
{
    const uint32_t n = uint32_t(faces.size() / 3);
    CLiteralGeometrySort sorter(faces.data(), vertexCount, n, maxV, maxT);
    const std::vector<uint32_t> order = sorter.Run();
    std::vector<uint32_t> out;
    for (uint32_t t : order)
        out.insert(out.end(), {faces[t * 3], faces[t * 3 + 1], faces[t * 3 + 2]});
    return out;
}

} // namespace reference
