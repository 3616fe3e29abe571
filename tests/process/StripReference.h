#pragma once
// The strip generator exactly as its description reads, with the quadratic
// adjacency search, walks that always start from scratch and a full copy of
// all strip links saved and restored around every walk. Slow; only for
// checking the real generator on small meshes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace reference {

class CLiteralStrips {
public:
    CLiteralStrips(const uint32_t* faces, uint32_t n) : m_n(n)
    {
        m_t.resize(n);
        for (uint32_t i = 0; i < n; ++i)
            for (int k = 0; k < 3; ++k)
                m_t[i].idx[k] = faces[i * 3 + k];
        // Every triangle against every earlier one; two triangles link
        // across one edge at most.
        for (uint32_t i = 0; i < n; ++i) {
            if (Degenerate(i))
                continue;
            bool linked[3] = {false, false, false};
            for (uint32_t j = 0; j < i && !(linked[0] && linked[1] && linked[2]); ++j) {
                if (Degenerate(j))
                    continue;
                for (int e = 0; e < 3; ++e) {
                    if (linked[e])
                        continue;
                    const uint32_t u = m_t[i].idx[e], v = m_t[i].idx[(e + 1) % 3];
                    const bool linkedToJ =
                        m_t[i].adj[0] == int(j) || m_t[i].adj[1] == int(j) || m_t[i].adj[2] == int(j);
                    for (int s = 0; s < 3; ++s) {
                        if (m_t[j].idx[s] == v && m_t[j].idx[(s + 1) % 3] == u) {
                            if (m_t[j].adj[s] < 0 && !linkedToJ) {
                                m_t[j].adj[s] = int(i);
                                m_t[i].adj[e] = int(j);
                                linked[e] = true;
                            }
                            break;
                        }
                    }
                }
            }
        }
    }

    void Run(unsigned seed, std::vector<uint32_t>* indices, std::vector<uint32_t>* lengths)
    {
        std::srand(seed);
        for (STri& t : m_t) {
            t.prev = t.next = t.savedPrev = t.savedNext = -1;
            t.parity = t.savedParity = true;
            t.visited = false;
        }
        InitialStrips();
        Improve();
        Output(indices, lengths);
    }

private:
    struct STri {
        uint32_t idx[3];
        int adj[3] = {-1, -1, -1};
        int prev = -1, next = -1;
        bool parity = true;
        int savedPrev = -1, savedNext = -1;
        bool savedParity = true;
        bool visited = false;
    };

    bool Degenerate(uint32_t i) const
    {
        const uint32_t* f = m_t[i].idx;
        return f[0] == f[1] || f[1] == f[2] || f[2] == f[0];
    }
    int SlotOf(int t, int n) const
    {
        for (int s = 0; s < 3; ++s)
            if (m_t[size_t(t)].adj[s] == n)
                return s;
        return -1;
    }

    int Relink(int t, int p, bool parity)
    {
        STri& T = m_t[size_t(t)];
        int count;
        if (T.next >= 0 && T.prev >= 0) {
            STri& N = m_t[size_t(T.next)];
            N.prev = -1;
            m_t[size_t(T.prev)].next = -1;
            count = 1 + Orphan(N);
        } else if (T.next >= 0) {
            STri& N = m_t[size_t(T.next)];
            N.prev = -1;
            count = Orphan(N);
        } else if (T.prev >= 0) {
            m_t[size_t(T.prev)].next = -1;
            count = 0;
        } else {
            count = -1;
        }
        T.prev = p;
        T.next = -1;
        T.visited = true;
        T.parity = parity;
        if (p >= 0)
            m_t[size_t(p)].next = t;
        return count;
    }
    int Orphan(STri& n)
    {
        if (n.parity || n.next < 0)
            return 0;
        m_t[size_t(n.next)].prev = -1;
        n.next = -1;
        return 1;
    }

    bool Walk(int t, int e, int threshold)
    {
        int gain = 1;
        bool parity = true;
        int p = -1;
        for (;;) {
            gain += Relink(t, p, parity);
            if (gain <= threshold) {
                for (STri& x : m_t) {
                    x.savedPrev = x.prev;
                    x.savedNext = x.next;
                    x.savedParity = x.parity;
                    x.visited = false;
                }
                return gain != 0;
            }
            const int n = m_t[size_t(t)].adj[e];
            if (n < 0 || m_t[size_t(n)].visited) {
                for (STri& x : m_t) {
                    x.prev = x.savedPrev;
                    x.next = x.savedNext;
                    x.parity = x.savedParity;
                    x.visited = false;
                }
                return false;
            }
            const int s = SlotOf(n, t);
            e = parity ? (s + 2) % 3 : (s + 1) % 3;
            parity = !parity;
            p = t;
            t = n;
        }
    }

    void InitialStrips()
    {
        for (uint32_t start = 0; start < m_n; ++start) {
            const STri& S = m_t[start];
            const int neighbours = (S.adj[0] >= 0) + (S.adj[1] >= 0) + (S.adj[2] >= 0);
            if (neighbours != 1)
                continue;
            int e = S.adj[0] >= 0 ? 0 : S.adj[1] >= 0 ? 1 : 2;
            int t = int(start);
            std::vector<std::pair<int, int>> steps; // stop when stepping round a loop
            for (;;) {
                if (std::find(steps.begin(), steps.end(), std::make_pair(t, e)) != steps.end())
                    break;
                steps.emplace_back(t, e);
                while (Walk(t, e, -1)) {
                }
                const int n = m_t[size_t(t)].adj[e];
                if (n < 0)
                    break;
                const int t2 = m_t[size_t(n)].adj[(SlotOf(n, t) + 1) % 3];
                if (t2 < 0)
                    break;
                e = (SlotOf(t2, n) + 2) % 3;
                t = t2;
            }
        }
    }

    void Improve()
    {
        int checks = 2;
        int threshold = 0;
        while (checks > 0) {
            --checks;
            std::vector<std::pair<uint64_t, uint32_t>> order;
            for (uint32_t t = 0; t < m_n; ++t) {
                const uint64_t r0 = uint64_t(std::rand());
                const uint64_t r1 = uint64_t(std::rand());
                order.emplace_back(r0 * r1, t);
            }
            std::sort(order.begin(), order.end());
            bool changed = false;
            for (const auto& k : order)
                for (int e = 0; e < 3; ++e)
                    changed |= Walk(int(k.second), e, threshold);
            if (changed)
                checks = 2;
            threshold = threshold == 0 ? -1 : 0;
        }
    }

    void Output(std::vector<uint32_t>* indices, std::vector<uint32_t>* lengths) const
    {
        indices->clear();
        lengths->clear();
        for (uint32_t t = 0; t < m_n; ++t) {
            const STri& T = m_t[t];
            if (T.prev >= 0)
                continue;
            if (T.next < 0) {
                indices->insert(indices->end(), {T.idx[0], T.idx[1], T.idx[2]});
                lengths->push_back(1);
                continue;
            }
            const int s = SlotOf(int(t), T.next);
            uint32_t a = T.idx[(s + 2) % 3], b = T.idx[s];
            indices->push_back(a);
            indices->push_back(b);
            uint32_t length = 0;
            for (int u = int(t); u >= 0; u = m_t[size_t(u)].next) {
                const uint32_t* g = m_t[size_t(u)].idx;
                uint32_t c = g[0];
                for (int k = 0; k < 3; ++k)
                    if (g[k] != a && g[k] != b) {
                        c = g[k];
                        break;
                    }
                indices->push_back(c);
                a = b;
                b = c;
                ++length;
            }
            lengths->push_back(length);
        }
    }

    uint32_t m_n;
    std::vector<STri> m_t;
};

// All five attempts; the first with the fewest strips wins.
inline void LiteralTriStrips(const uint32_t* faces, uint32_t n, std::vector<uint32_t>* indices,
                             std::vector<uint32_t>* lengths)
{
    indices->clear();
    lengths->clear();
    if (n == 0)
        return;
    CLiteralStrips strips(faces, n);
    std::vector<uint32_t> i, l;
    for (unsigned seed = 0; seed < 5; ++seed) {
        strips.Run(seed, &i, &l);
        if (seed == 0 || l.size() < lengths->size()) {
            *indices = i;
            *lengths = l;
        }
    }
}

} // namespace reference
